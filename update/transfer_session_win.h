// HTTPS GETs through WinInet, read on a thread of the session's own: Wine's blocking reads wait
// until a whole block has come, however slowly it trickles in, and nothing ends such a read from
// outside. So the storing side watches the pace and, when a transfer has become too slow, leaves
// the reading thread behind with it; the session's next transfer gets a new one.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "update/transfer_limits.h"

// The session of one run (one InternetOpen handle), so that each transfer after the first finds
// its connection open, and the thread that reads for it.
struct TransferSessionState;
using TransferSession = std::shared_ptr<TransferSessionState>;
TransferSession OpenTransferSession(const TransferLimits& limits = kTransferLimits);

// What the server answered, before any of the body.
struct Answer {
    unsigned long status = 0;  // 200, or 206 for the rest of a file
    int64_t length = -1;       // the body's Content-Length, -1 when it has none
    int64_t rangeStart = -1;   // a 206's first byte
    std::string validator;     // names the version sent, for a later If-Range; "" when none does
};

// Where an answer goes: `onAnswer` hears it before any of the body, `onBlock` each block of the
// body. Either stops the transfer by returning false.
struct BodySink {
    std::function<bool(const Answer& answer)> onAnswer;
    std::function<bool(const char* bytes, DWORD length)> onBlock;
};

enum class BodyEnd {
    kFailed,     // an answer we cannot use (a 4xx, a redirect not followed), or the sink said no
    kBroken,     // a passing fault: no connection, a 5xx, a body cut short or coming too slowly
    kWhole,      // all of the body arrived: its announced length, or the end a body without one has
    kUnsure,     // a body without a length ended with a failed read: whole or cut, only a digest tells
    kCancelled,  // the cancel flag was set before the body ended
};

// Asks for a file from `firstByte` on, but only if the server still has the version `validator`
// names (Range with If-Range); otherwise the server sends it whole.
struct RangeRequest {
    uint64_t firstByte = 0;
    std::string validator;
};

// Fetches `address` on `session` (a session of its own when null) and hands the answer to `sink`,
// as long as the answer is a 200 (or, with a `range`, a 206) reached by at most
// limits.maxRedirects redirects over https://, the body arrives at a pace within the limits, and
// the sink takes it. Once `cancel` (when given) is set, it returns kCancelled within about 100 ms,
// leaving the reading thread behind as it does a transfer that became too slow.
BodyEnd Transfer(const TransferSession& session,
                 const std::string& address,
                 DWORD blockLength,
                 const TransferLimits& limits,
                 const BodySink& sink,
                 const RangeRequest* range = nullptr,
                 const std::atomic<bool>* cancel = nullptr);

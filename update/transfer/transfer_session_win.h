// HTTPS GETs on one WinInet session: each transfer hands its body to a sink block by block, from a
// reading thread the session lends it (see reading_thread_win.h). One thread may step several
// transfers at once, waiting for news of any of them.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "update/transfer/download_end.h"
#include "update/transfer/http_response.h"
#include "update/transfer/reading_thread_win.h"
#include "update/transfer/transfer_limits.h"

// The session of one run (one InternetOpen handle), so that each transfer after the first finds
// its connection open, and the reading threads that are free for the next transfers.
struct TransferSessionState;
using TransferSession = std::shared_ptr<TransferSessionState>;
TransferSession OpenTransferSession(const TransferLimits& limits = kTransferLimits);

// Where an answer goes: `onAnswer` hears it before any of the body, `onBlock` each block of the
// body. Either stops the transfer by returning false.
struct BodySink {
    std::function<bool(const Answer& answer)> onAnswer;
    std::function<bool(const char* bytes, DWORD length)> onBlock;
};

// Asks for a file from `firstByte` on, but only if the server still has the version `validator`
// names (Range with If-Range); otherwise the server sends it whole.
struct RangeRequest {
    uint64_t firstByte = 0;
    std::string validator;
};

// What a transfer asks for beyond a plain GET.
struct RequestOptions {
    RangeRequest range;
    // A validator the answer may be a bodiless 304 to, when the server still has that version: a
    // strong ETag (If-None-Match) or a date (If-Modified-Since).
    std::string unlessStill;
    // The answer may come gzip-compressed; the body reaches the sink decoded. Only for the list:
    // the lengths and ranges of files are their bytes'.
    bool acceptGzip = false;
    // Only bytes spanFirst to spanFirst + spanCount - 1 of the file (0: all of it), whichever
    // version the server has: a 206 with exactly those is the answer wanted.
    uint64_t spanFirst = 0;
    uint64_t spanCount = 0;
};

// What ends a transfer early: the player's CANCEL, or the run giving the file up. Either may be
// null.
struct TransferStop {
    const std::atomic<bool>* cancel = nullptr;
    const std::atomic<bool>* abandon = nullptr;
    bool IsSet() const {
        return (cancel && cancel->load(std::memory_order_relaxed)) ||
               (abandon && abandon->load(std::memory_order_relaxed));
    }
};

// One transfer under way, stepped by the thread that started it: the reader the session lent it,
// the job they share, its pace. Destroyed before its end, it hands the reader back to the session,
// to end at its next bytes.
struct TransferRun {
    TransferRun() = default;
    ~TransferRun();
    TransferRun(const TransferRun&) = delete;
    TransferRun& operator=(const TransferRun&) = delete;

    TransferSession session;
    Reader reader;
    std::shared_ptr<TransferJob> job;
    TransferLimits limits;
    TransferStop stop;
    const BodySink* sink = nullptr;
    TransferPace pace;
    bool heard = false;    // the sink has had the answer
    bool running = false;  // started and not ended
};

// What one transfer is asked to do: the address, the reads' block length, its limits, what it asks
// for beyond a plain GET, and what stops it.
struct TransferOrder {
    std::string address;
    DWORD blockLength = 0;
    TransferLimits limits = kTransferLimits;
    RequestOptions options;
    TransferStop stop;
};

// Starts fetching `order.address` on `session` (a session of its own when null) for `sink`, which
// must outlive the run. False when it cannot start: the stop was set (the end is then kCancelled)
// or no reading thread could be had (kFailed).
bool StartTransfer(TransferRun* run,
                   const TransferSession& session,
                   const TransferOrder& order,
                   const BodySink& sink,
                   BodyEnd* end);

// Hands the sink whatever has come, without waiting; true once the transfer has ended, with its
// `end` and (when given) `status`, the last answer's status (0 when none came). The answer is
// taken while it is a 200 (or a 206 to a range, or a 304 to `unlessStill`) reached by at most
// limits.maxRedirects redirects over https://, the body arrives at a pace within the limits, and
// the sink takes it. Once the order's stop is set it ends with kCancelled at the next step, handing the
// reading thread back to the session as it does for a transfer that became too slow.
bool StepTransfer(TransferRun* run, BodyEnd* end, unsigned long* status = nullptr);

// Waits at most `milliseconds` for news of any transfer on `session` after `*seen`, the count of
// the last call (start at 0).
void WaitForTransfers(const TransferSession& session, uint64_t* seen, DWORD milliseconds);

// A whole transfer, stepped on the calling thread until it ends.
BodyEnd Transfer(const TransferSession& session,
                 const TransferOrder& order,
                 const BodySink& sink,
                 unsigned long* status = nullptr);

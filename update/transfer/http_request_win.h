// One GET through WinInet: the request, its redirects and what the answer says of itself.
#pragma once

#include <windows.h>

#include <wininet.h>

#include <memory>
#include <string>

#include "base/scoped_win.h"
#include "update/transfer/http_response.h"
#include "update/transfer/transfer_limits.h"

using SharedInternet = std::shared_ptr<ScopedInternetHandle>;

// The session's handle (InternetOpen), each request's timeouts set on it, and the per-server
// connection limit raised for kTransfersAtOnce transfers.
SharedInternet OpenInternet(const TransferLimits& limits);

// What one reading thread keeps from one request to the next: the connection handle of the last
// host it spoke to, and the request under way.
struct RequestHandles {
    SharedInternet internet;
    std::string host;
    INTERNET_PORT port = 0;
    ScopedInternetHandle connection;
    ScopedInternetHandle request;
};

// What a request carries, and what it may be answered with.
struct PreparedRequest {
    std::string headers;       // each line ended by CR LF
    bool rangeAsked = false;   // a 206 is usable
    bool conditional = false;  // a 304 is usable
    bool decode = false;       // WinInet decodes a compressed body
};

enum class Opened { kUsable, kRefused, kPassing };

// Requests `address`, following at most limits.maxRedirects redirects while they stay on
// https://, and fills in `answer`: its status always, the rest when it is usable (IsUsableAnswer).
// A decoded body's length is unknown (-1): the announced one counts the compressed bytes; a body
// to decode in another coding than gzip passes for damaged, like a broken gzip. No connection and
// a 5xx are faults that may pass; anything else is a refusal. The body is then
// read from handles->request.
Opened OpenAnswer(const std::string& address,
                  const PreparedRequest& shape,
                  const TransferLimits& limits,
                  RequestHandles* handles,
                  Answer* answer);

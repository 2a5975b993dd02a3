#include "update/transfer/http_request_win.h"

#include <initializer_list>

#include "update/transfer/download_end.h"
#include "update/transfer/resume_record.h"

namespace {

constexpr char kUserAgent[] = "VardenhalUpdater";
// Always from the server, never stored in the cache, over TLS; redirects are followed here, so
// that none leads to plain HTTP or round in circles. No cookies: the update server needs none, and
// under Wine looking them up costs every request a lock and a mapped view shared across processes.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE |
                                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES;

DWORD QueryStatus(HINTERNET request) {
    DWORD status = 0;
    DWORD length = sizeof(status);
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr))
        return 0;
    return status;
}

std::string QueryText(HINTERNET request, DWORD what) {
    DWORD length = 0;
    HttpQueryInfoA(request, what, nullptr, &length, nullptr);
    if (length == 0)
        return std::string();
    std::string value(length, '\0');
    if (!HttpQueryInfoA(request, what, &value[0], &length, nullptr))
        return std::string();
    value.resize(length);
    return value;
}

void SetTimeouts(HINTERNET handle, const TransferLimits& limits) {
    DWORD timeout = limits.timeoutMs;
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionA(handle, option, &timeout, sizeof(timeout));
}

// One GET of `address`. The timeouts go on the request itself: Wine keeps none of those set on the
// session.
bool SendRequest(const std::string& address,
                 const PreparedRequest& shape,
                 const TransferLimits& limits,
                 RequestHandles* handles) {
    std::string host(INTERNET_MAX_HOST_NAME_LENGTH + 1, '\0');
    std::string path(address.size() + 1, '\0');
    std::string extra(address.size() + 1, '\0');
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = &host[0];
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = &path[0];
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = &extra[0];
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlA(address.c_str(), 0, 0, &parts))
        return false;
    host.resize(parts.dwHostNameLength);
    const std::string object = path.substr(0, parts.dwUrlPathLength) + extra.substr(0, parts.dwExtraInfoLength);

    handles->request.Reset();
    if (!handles->connection.IsValid() || host != handles->host || parts.nPort != handles->port) {
        handles->connection.Reset(InternetConnectA(handles->internet->Get(), host.c_str(), parts.nPort, nullptr,
                                                   nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        handles->host = host;
        handles->port = parts.nPort;
    }
    if (!handles->connection.IsValid())
        return false;
    handles->request.Reset(HttpOpenRequestA(handles->connection.Get(), "GET", object.empty() ? "/" : object.c_str(),
                                            nullptr, nullptr, nullptr, kRequestFlags, 0));
    if (!handles->request.IsValid())
        return false;
    SetTimeouts(handles->request.Get(), limits);
    BOOL decode = shape.decode ? TRUE : FALSE;
    InternetSetOptionA(handles->request.Get(), INTERNET_OPTION_HTTP_DECODING, &decode, sizeof(decode));
    const std::string& headers = shape.headers;
    return HttpSendRequestA(handles->request.Get(), headers.empty() ? nullptr : headers.c_str(),
                            static_cast<DWORD>(headers.size()), nullptr, 0) != FALSE;
}

}  // namespace

SharedInternet OpenInternet(const TransferLimits& limits) {
    // WinInet lets two connections to one server carry requests at once by default: the run's
    // transfers would queue behind them. The limit is the process's, so it is set before the
    // session opens.
    DWORD connections = static_cast<DWORD>(kTransfersAtOnce);
    for (DWORD option : {INTERNET_OPTION_MAX_CONNS_PER_SERVER, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER})
        InternetSetOptionA(nullptr, option, &connections, sizeof(connections));
    auto internet = std::make_shared<ScopedInternetHandle>(
        InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (internet->IsValid())
        SetTimeouts(internet->Get(), limits);
    return internet;
}

Opened OpenAnswer(const std::string& address,
                  const PreparedRequest& shape,
                  const TransferLimits& limits,
                  RequestHandles* handles,
                  Answer* answer) {
    if (!handles->internet || !handles->internet->IsValid())
        return Opened::kRefused;
    std::string current = address;
    for (int redirects = 0;; ++redirects) {
        if (!SendRequest(current, shape, limits, handles))
            return Opened::kPassing;
        HINTERNET request = handles->request.Get();
        const DWORD status = QueryStatus(request);
        answer->status = status;
        if (!IsRedirectStatus(status)) {
            if (!IsUsableAnswer(status, shape.rangeAsked, shape.conditional))
                return IsPassingStatus(status) || status == 0 ? Opened::kPassing : Opened::kRefused;
            // A list in a coding WinInet does not decode is damaged as far as the run can tell. The
            // headers as they came tell the coding: once Wine decodes, it drops the header and
            // answers the query for it with the content type.
            if (shape.decode &&
                !IsListCodingAccepted(HeaderValue(QueryText(request, HTTP_QUERY_RAW_HEADERS_CRLF), "Content-Encoding")))
                return Opened::kPassing;
            const bool decoded = shape.decode && !QueryText(request, HTTP_QUERY_CONTENT_ENCODING).empty();
            answer->length = decoded ? -1 : ParseContentLength(QueryText(request, HTTP_QUERY_CONTENT_LENGTH));
            answer->rangeStart =
                status == 206 ? ParseContentRangeStart(QueryText(request, HTTP_QUERY_CONTENT_RANGE)) : -1;
            answer->validator =
                ChooseValidator(QueryText(request, HTTP_QUERY_ETAG), QueryText(request, HTTP_QUERY_LAST_MODIFIED));
            return Opened::kUsable;
        }
        if (redirects == limits.maxRedirects)
            return Opened::kRefused;
        current = ResolveRedirect(current, QueryText(request, HTTP_QUERY_LOCATION));
        if (!IsSecureAddress(current))
            return Opened::kRefused;
    }
}

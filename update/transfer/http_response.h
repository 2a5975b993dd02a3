// What makes an HTTP answer from the update server usable.
#pragma once

#include <cstdint>
#include <string>

// What the server answered, before any of the body.
struct Answer {
    unsigned long status = 0;  // 200, or 206 for the rest of a file
    int64_t length = -1;       // the body's Content-Length, -1 when it has none
    int64_t rangeStart = -1;   // a 206's first byte
    std::string validator;     // names the version sent, for a later If-Range; "" when none does
};

// Only 200 carries the file; anything else (an error page, a redirect left unresolved) is refused.
bool IsUsableStatus(unsigned long status);

// Whether a failed transfer may succeed if tried again: a server error (5xx) passes, a refusal
// (4xx) or an answer we cannot use does not.
bool IsPassingStatus(unsigned long status);

// The first byte a 206 answer carries, from its Content-Range "bytes FIRST-LAST/TOTAL" (TOTAL may
// be "*"), or -1 when the value has another form.
int64_t ParseContentRangeStart(const std::string& value);

// The value of a Content-Length header as sent (decimal digits, surrounding blanks allowed),
// or -1 when it is absent or not a number that fits in 63 bits.
int64_t ParseContentLength(const std::string& value);

// A body is complete when no read failed and, if the server announced a length, exactly that
// many bytes arrived.
bool IsCompleteBody(bool readFailed, int64_t announcedLength, uint64_t received);

// 301, 302, 303, 307 and 308: the answer names another address in its Location header.
bool IsRedirectStatus(unsigned long status);

// The absolute address a redirect's Location names, read against the address that answered:
// a full address as it is, "//host/path" with the same scheme, "/path" on the same host, and
// anything else beside the answering path.
std::string ResolveRedirect(const std::string& address, const std::string& location);

// Whether an address is https://, in any letter case. Nothing is fetched over plain HTTP, where
// anyone on the way could choose the files.
bool IsSecureAddress(const std::string& address);

// The value of the header `name` (in any letter case) in an answer's header lines, each ended by
// CR LF or LF, as WinInet gives them; several lines of it are joined with ", ". "" when absent.
std::string HeaderValue(const std::string& headerLines, const std::string& name);

// Whether a list may come with this Content-Encoding: gzip, which the platform decodes, or none
// ("" or "identity"), in any letter case. Any other coding would reach the list's parser as raw
// bytes.
bool IsListCodingAccepted(const std::string& contentEncoding);

// The headers of a request, each line ended by CR LF: the rest of a file from `firstByte` if the
// server still has the version `rangeValidator` names (none when either is missing); a bodiless
// 304 if it still has the version `unlessStill` names (If-None-Match for an ETag, which starts
// with a quote, If-Modified-Since for a date); and gzip allowed.
std::string BuildRequestHeaders(uint64_t firstByte,
                                const std::string& rangeValidator,
                                const std::string& unlessStill,
                                bool acceptGzip);

// The Range header that asks for `count` bytes (at least one) from `first`.
std::string BuildSpanHeader(uint64_t first, uint64_t count);

// Whether an answer brings exactly the part asked for: a 206 from `first` whose Content-Length is
// `count`. A 200 (a server that ignores Range) would bring the whole file.
bool IsSpanAnswer(uint64_t first, uint64_t count, unsigned long status, int64_t rangeStart, int64_t length);

#include "update/transfer/http_response.h"

bool IsUsableStatus(unsigned long status) {
    return status == 200;
}

bool IsPassingStatus(unsigned long status) {
    return status >= 500 && status <= 599;
}

int64_t ParseContentRangeStart(const std::string& value) {
    const std::string unit = "bytes ";
    const size_t dash = value.find('-');
    const size_t slash = value.find('/');
    if (value.compare(0, unit.size(), unit) != 0 || dash == std::string::npos || slash == std::string::npos ||
        dash > slash || dash == unit.size())
        return -1;
    const int64_t first = ParseContentLength(value.substr(unit.size(), dash - unit.size()));
    const int64_t last = ParseContentLength(value.substr(dash + 1, slash - dash - 1));
    return first >= 0 && last >= first && value.find(' ', unit.size()) == std::string::npos ? first : -1;
}

int64_t ParseContentLength(const std::string& value) {
    size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
        ++i;
    if (i == value.size())
        return -1;
    int64_t length = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        if (length > (INT64_MAX - 9) / 10)
            return -1;
        length = length * 10 + (value[i] - '0');
    }
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
        ++i;
    return i == value.size() ? length : -1;
}

bool IsCompleteBody(bool readFailed, int64_t announcedLength, uint64_t received) {
    if (readFailed)
        return false;
    return announcedLength < 0 || static_cast<uint64_t>(announcedLength) == received;
}

bool IsRedirectStatus(unsigned long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string ResolveRedirect(const std::string& address, const std::string& location) {
    const size_t schemeEnd = address.find("://");
    if (location.find("://") != std::string::npos || schemeEnd == std::string::npos)
        return location;
    if (location.compare(0, 2, "//") == 0)
        return address.substr(0, schemeEnd + 1) + location;
    const size_t pathStart = address.find('/', schemeEnd + 3);
    const std::string origin = address.substr(0, pathStart);
    if (!location.empty() && location[0] == '/')
        return origin + location;
    if (pathStart == std::string::npos)
        return origin + "/" + location;
    const std::string path = address.substr(pathStart, address.find_first_of("?#", pathStart) - pathStart);
    return origin + path.substr(0, path.rfind('/') + 1) + location;
}

bool IsSecureAddress(const std::string& address) {
    static const char kScheme[] = "https://";
    if (address.size() < sizeof(kScheme) - 1)
        return false;
    for (size_t i = 0; i + 1 < sizeof(kScheme); ++i) {
        const char c = address[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kScheme[i])
            return false;
    }
    return true;
}

namespace {

std::string Lowered(std::string text) {
    for (char& c : text)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

std::string HeaderValue(const std::string& headerLines, const std::string& name) {
    const std::string wanted = Lowered(name);
    std::string value;
    size_t start = 0;
    while (start < headerLines.size()) {
        size_t end = headerLines.find('\n', start);
        if (end == std::string::npos)
            end = headerLines.size();
        const std::string line = headerLines.substr(start, end - start);
        const size_t colon = line.find(':');
        if (colon != std::string::npos && Lowered(Trimmed(line.substr(0, colon))) == wanted)
            value += (value.empty() ? "" : ", ") + Trimmed(line.substr(colon + 1));
        start = end + 1;
    }
    return value;
}

bool IsListCodingAccepted(const std::string& contentEncoding) {
    const std::string coding = Lowered(Trimmed(contentEncoding));
    return coding.empty() || coding == "gzip" || coding == "identity";
}

std::string BuildRequestHeaders(uint64_t firstByte,
                                const std::string& rangeValidator,
                                const std::string& unlessStill,
                                bool acceptGzip) {
    std::string headers;
    if (firstByte > 0 && !rangeValidator.empty())
        headers += "Range: bytes=" + std::to_string(firstByte) + "-\r\nIf-Range: " + rangeValidator + "\r\n";
    if (!unlessStill.empty())
        headers += (unlessStill[0] == '"' ? "If-None-Match: " : "If-Modified-Since: ") + unlessStill + "\r\n";
    if (acceptGzip)
        headers += "Accept-Encoding: gzip\r\n";
    return headers;
}

std::string BuildSpanHeader(uint64_t first, uint64_t count) {
    return "Range: bytes=" + std::to_string(first) + "-" + std::to_string(first + count - 1) + "\r\n";
}

bool IsSpanAnswer(uint64_t first, uint64_t count, unsigned long status, int64_t rangeStart, int64_t length) {
    return status == 206 && rangeStart >= 0 && static_cast<uint64_t>(rangeStart) == first && length >= 0 &&
           static_cast<uint64_t>(length) == count;
}

#include "update/http_response.h"

bool IsUsableStatus(unsigned long status) {
    return status == 200;
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

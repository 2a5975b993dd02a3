// What makes an HTTP answer from the update server usable.
#pragma once

#include <cstdint>
#include <string>

// Only 200 carries the file; anything else (an error page, a redirect left unresolved) is refused.
bool IsUsableStatus(unsigned long status);

// The value of a Content-Length header as sent (decimal digits, surrounding blanks allowed),
// or -1 when it is absent or not a number that fits in 63 bits.
int64_t ParseContentLength(const std::string& value);

// A body is complete when no read failed and, if the server announced a length, exactly that
// many bytes arrived.
bool IsCompleteBody(bool readFailed, int64_t announcedLength, uint64_t received);

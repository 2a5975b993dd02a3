// The list's gzip copy, for a web server that sends it to clients that take gzip (nginx:
// "gzip_static on;" sends FILE.gz for FILE). Its header holds no time and no system, so one list
// always gives the same copy, whoever makes it.
#pragma once

#include <string>

// False only when zlib fails.
bool GzipBytes(const std::string& bytes, std::string* gzip);

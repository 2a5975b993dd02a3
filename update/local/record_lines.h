// The "key value" lines, each ended by LF, of the small records the updater keeps on disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The rest of the line at `*offset` when it starts with `key`; moves `*offset` past its LF.
bool ReadRecordLine(const std::string& text, const std::string& key, size_t* offset, std::string* value);

// No control characters: a value that could split a line or a header is not one we wrote.
bool IsPlainText(const std::string& text);

// Decimal digits without a leading zero (but "0"), at most 2^64 - 1; `*value` is left alone otherwise.
bool ParseDecimal(const std::string& digits, uint64_t* value);

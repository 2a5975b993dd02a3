// What a download keeps beside its temporary file when it stops midway, so that the next attempt
// asks only for the rest: the server's validator for the version it was sending, and how many
// bytes of it the temporary file holds.
#pragma once

#include <cstdint>
#include <string>

struct ResumeRecord {
    std::string validator;  // a strong ETag as sent (quotes included), or a Last-Modified date
    // 0 while the transfer is under way: whatever the temporary file holds, should the launcher
    // be closed or stopped before the transfer ends.
    uint64_t bytes = 0;
};

// "validator <value>" and, once the transfer has stopped, "bytes <decimal>"; each line ended by LF.
std::string FormatResumeRecord(const ResumeRecord& record);
// False for anything else, and for a validator with control characters.
bool ParseResumeRecord(const std::string& text, ResumeRecord* record);

// The validator an If-Range may carry: the ETag unless it is weak ("W/..."), which If-Range
// refuses, else Last-Modified; "" when the answer brings neither, and the file cannot resume.
std::string ChooseValidator(const std::string& etag, const std::string& lastModified);

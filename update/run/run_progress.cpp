#include "update/run/run_progress.h"

#include <algorithm>
#include <limits>

int32_t ProgressUnitsPerEntry(size_t entryCount) {
    if (entryCount == 0)
        return kProgressUnitsPerEntry;
    const size_t fit = static_cast<size_t>(std::numeric_limits<int32_t>::max()) / entryCount;
    return static_cast<int32_t>(std::max<size_t>(1, std::min<size_t>(fit, kProgressUnitsPerEntry)));
}

int32_t ProgressFigure(int32_t handled, int32_t unitsPerEntry, int64_t received, int64_t length) {
    const int64_t whole = static_cast<int64_t>(handled) * unitsPerEntry;
    if (length <= 0 || received <= 0 || unitsPerEntry <= 1)
        return static_cast<int32_t>(whole);
    const int64_t part = static_cast<int64_t>(static_cast<double>(std::min(received, length)) / length * unitsPerEntry);
    return static_cast<int32_t>(whole + std::min<int64_t>(part, unitsPerEntry - 1));
}

// The figures of the progress bar during a run. Each entry is worth a number of units, so that a
// file under way moves the bar with its bytes and not only when it ends.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t kProgressUnitsPerEntry = 1000;

// kProgressUnitsPerEntry, or fewer for a list so long that its total would not fit in 32 bits
// (down to 1: then the bar moves by entries only).
int32_t ProgressUnitsPerEntry(size_t entryCount);

// The figure of a run that has handled `handled` entries and has `received` bytes of the next
// one, whose whole length is `length` (-1 or 0 while unknown). Less than the next entry's whole
// worth until that entry is handled, so the bar reaches its end only with the run.
int32_t ProgressFigure(int32_t handled, int32_t unitsPerEntry, int64_t received, int64_t length);

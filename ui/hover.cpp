#include "ui/hover.h"

#include <cmath>

namespace {

constexpr float kHoverStep = 0.06f;
constexpr float kHoverSpeed = 3.0f;
// Within this of the target the level snaps to it, so the repaints stop after 24 ticks.
constexpr float kHoverSnap = 0.01f;

}  // namespace

void StepHoverLevel(float& level, bool active, bool& changed) {
    const float target = active ? 1.0f : 0.0f;
    if (level == target)
        return;
    // Every intermediate is stored in a float so that it is rounded after each operation, in this
    // order: the x87 unit of the 32-bit build would otherwise carry wider intermediates and land
    // on other levels than the native build does.
    float step = target - level;
    step = step * kHoverStep;
    step = step * kHoverSpeed;
    float next = step + level;
    const float distance = std::fabs(next - target);
    if (distance < kHoverSnap)
        next = target;
    level = next;
    changed = true;
}

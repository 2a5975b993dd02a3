#include "ui/colour.h"

namespace {

constexpr int kHoverBrightening = 60;

uint8_t BlendChannel(uint8_t rest, float level) {
    const int lit = rest + kHoverBrightening > 255 ? 255 : rest + kHoverBrightening;
    // Each step stored in a float so that the x87 32-bit build rounds where the native one does.
    float value = static_cast<float>(lit - rest);
    value = value * level;
    value = value + static_cast<float>(rest);
    // Only the low 8 bits make the channel; with a level in 0..1 they are the whole value.
    return static_cast<uint8_t>(static_cast<int>(value) & 0xFF);
}

}  // namespace

Colour ComputeButtonFill(Colour base, float level) {
    return MakeRgb(BlendChannel(RedOf(base), level), BlendChannel(GreenOf(base), level),
                   BlendChannel(BlueOf(base), level));
}

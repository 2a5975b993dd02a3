// The launcher's colours, as Win32 COLORREF values (0x00BBGGRR: red in the low byte), and the
// button fill that brightens with the hover level. Kept free of windows.h so the maths is tested
// natively; a COLORREF and these values convert both ways unchanged.
#pragma once

#include <cstdint>

using Colour = uint32_t;

constexpr Colour MakeRgb(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<Colour>(red) | (static_cast<Colour>(green) << 8) | (static_cast<Colour>(blue) << 16);
}
constexpr uint8_t RedOf(Colour colour) {
    return static_cast<uint8_t>(colour & 0xFF);
}
constexpr uint8_t GreenOf(Colour colour) {
    return static_cast<uint8_t>((colour >> 8) & 0xFF);
}
constexpr uint8_t BlueOf(Colour colour) {
    return static_cast<uint8_t>((colour >> 16) & 0xFF);
}

// Palette of the main window.
constexpr Colour kFallbackBackgroundColour = MakeRgb(20, 10, 30);  // when the picture is missing
constexpr Colour kBottomBarColour = MakeRgb(0, 0, 0);
constexpr Colour kAccentPurple = MakeRgb(120, 40, 180);   // title box, UPDATE, volume level, progress fill
constexpr Colour kOutlineViolet = MakeRgb(160, 80, 220);  // button frames, slider frame and knob, bar frame
constexpr Colour kTextWhite = MakeRgb(255, 255, 255);
constexpr Colour kPlayFill = MakeRgb(30, 80, 160);
constexpr Colour kStopFill = MakeRgb(140, 30, 30);
constexpr Colour kVolFill = MakeRgb(40, 35, 55);  // also INFO
constexpr Colour kMutedFill = MakeRgb(120, 20, 20);
constexpr Colour kMutedText = MakeRgb(255, 100, 100);
constexpr Colour kSliderTrackColour = MakeRgb(20, 15, 35);
constexpr Colour kDisabledGrey = MakeRgb(60, 60, 60);  // GAME START not ready, volume level while muted
constexpr Colour kCancelFill = MakeRgb(160, 30, 30);
constexpr Colour kGameStartReadyFill = MakeRgb(140, 30, 100);
constexpr Colour kProgressTroughColour = MakeRgb(10, 5, 20);
constexpr Colour kStatusTextColour = MakeRgb(200, 200, 200);
constexpr Colour kStatusBackgroundColour = MakeRgb(15, 8, 25);

// A button's fill at hover `level` 0.0..1.0: each channel moves from its rest value c toward
// c + 60 (at most 255), in single precision, truncated.
Colour ComputeButtonFill(Colour base, float level);

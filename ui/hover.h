// Easing of the buttons' highlight: each animation tick closes part of the distance to fully lit
// or fully dark, so a highlight fades in and out instead of switching.
#pragma once

// Moves `level` (0.0..1.0) one step toward 1.0 when `active`, else toward 0.0, and sets `changed`
// when it moved. At its target it does nothing and leaves `changed` as it was, so a caller can
// step every level and repaint only when one of them moved.
void StepHoverLevel(float& level, bool active, bool& changed);

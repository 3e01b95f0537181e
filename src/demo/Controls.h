// Controls: the stepping rules of the SSAO settings that keys change. The
// radius and the ambient factor are counted in whole hundredths here, so a
// run of presses up and the same run down lands exactly where it started and
// the wrap points are met exactly; the renderer gets the value as a float.
#pragma once

#include <cstdint>

#include "ssao/SSAOSettings.h"

constexpr int kSettingStepHundredths = 5;

// The setting in hundredths, rounded to the nearest (a float the controls
// set is always some n / 100.0f, which rounds back to n).
int ToHundredths(float value);
float FromHundredths(int hundredths);

// One step up, wrapping past top to 0; the comparison is strict, so top
// itself is reached and kept.
int StepUpHundredths(int value, int top);
// One step down, wrapping below 0 to top; 0 itself is reached and kept.
int StepDownHundredths(int value, int top);

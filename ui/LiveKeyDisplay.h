// Shows key events in the open setup dialog instead of sending them to the host.
#pragma once

#include <stdint.h>

#include "engine/KeyEngine.h"

// Writes status, code and label into the dialog; a press also moves the two
// binding lists to the pressed button. code must be 0..92.
void ShowKeyEventInDialog(uint8_t code, int32_t eventValue);

// ShowKeyEventInDialog as a receiver of key events.
extern const KeyEventSink LIVE_KEY_DISPLAY;

// Shows key events in the open setup dialog instead of sending them to the host.
#pragma once

#include "engine/KeySession.h"

// The open dialog's receiver of key events: status, code and label of each
// event; a press also moves the two binding lists to the pressed button.
extern const KeyEventSink LIVE_KEY_DISPLAY;

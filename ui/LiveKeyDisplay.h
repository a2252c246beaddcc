// Shows key events in the open setup dialog instead of sending them to the host.
#pragma once

#include <windows.h>
#include <stdint.h>

// Writes status, code and label into the dialog; a press also moves the two
// binding lists to the pressed button. code must be 0..92.
void ShowKeyEventInDialog(uint8_t code, int32_t eventValue);

// Key events go to the dialog window from now on. A button the host has seen
// pressed is released to the host first, so no key stays down there.
void RouteKeyEventsToDialog(HWND dialog);

// Key events go to the host again. A button still down reaches the host as a
// fresh press, never as a repeat or release of a press it did not see.
void RouteKeyEventsToHost();

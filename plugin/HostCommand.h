// The host's receiver of key events: the command message of the host
// contract, sent with the one static record.
#pragma once

#include <stdint.h>

// Copies the bound command of code into the record and sends it to the host
// window; an unbound button, or no host window, sends nothing.
void SendCommandToHost(void* context, uint8_t code, int32_t eventValue);

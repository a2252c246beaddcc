// The tuner vendor's remote-control library as the plug-in calls it: the file
// it is loaded from and its six functions, all plain C (the caller removes the
// arguments) and each optional. The simulator defines its functions under
// these very declarations, so the two cannot drift apart unnoticed.
#pragma once

#include <stdint.h>

// Looked for in the system directory only.
inline constexpr char VENDOR_LIBRARY_NAME[] = "QuelmoRC.dll";

// What the plug-in takes where a function, a card or the library is missing.
constexpr int32_t VENDOR_NO_REMOTE_TYPE = -1;  // no card open
constexpr uint8_t VENDOR_NO_BUTTON = 255;      // no button down

extern "C" {
// Number of cards; a count with the top bit set is an error code.
uint32_t __cdecl GetCardCount();
// The card's name, owned by the library; may be null, or end unterminated.
const char* __cdecl GetCardName(uint32_t index);
// Non-zero when the card opened.
uint32_t __cdecl OpenCard(uint32_t index);
// The open card's remote: 1, 2, or any other family.
int32_t __cdecl GetRemoteType();
// The button down now, in the low 8 bits (VENDOR_NO_BUTTON: none).
uint32_t __cdecl GetRemoteCode();
// Closes the card; the result carries nothing.
uint32_t __cdecl UnInit();
}

typedef decltype(&GetCardCount) GetCardCountFn;
typedef decltype(&GetCardName) GetCardNameFn;
typedef decltype(&OpenCard) OpenCardFn;
typedef decltype(&GetRemoteType) GetRemoteTypeFn;
typedef decltype(&GetRemoteCode) GetRemoteCodeFn;
typedef decltype(&UnInit) UnInitFn;

// Wrapper around the tuner vendor's remote-control library, loaded from the
// system directory. Every vendor function is optional: a missing one makes the
// matching operation return its neutral value.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "device/VendorLibrary.h"

constexpr size_t CARD_NAME_SIZE = 64;  // a card name as shown: at most 63 characters

class RemoteDevice {
public:
    // Loads the vendor library; on failure shows the warning box and stays usable.
    RemoteDevice();

    uint32_t CardCount() const { return cardCount; }
    // The card's name copied into the device's own buffer, cut to 63 characters
    // (never null; "" for no name); valid until the next call.
    const char* CardName(uint32_t index);
    // Closes any open card (UnInit), then opens index; 1 on success, else 0.
    int32_t OpenCard(uint32_t index);
    int32_t RemoteType() const { return remoteType; }
    // Current code from the vendor; VENDOR_NO_BUTTON when no card is open or no entry point.
    uint8_t ReadCode() const;
    void CloseCard();
    // Called by the owner just before it frees the object: frees the library.
    void Release();

private:
    void LoadVendorLibrary();

    uint32_t cardCount = 0;
    int32_t opened = 0;
    int32_t remoteType = VENDOR_NO_REMOTE_TYPE;
    HMODULE library = nullptr;
    GetCardCountFn getCardCount = nullptr;
    GetCardNameFn getCardName = nullptr;
    OpenCardFn openCard = nullptr;
    GetRemoteTypeFn getRemoteType = nullptr;
    GetRemoteCodeFn getRemoteCode = nullptr;
    UnInitFn unInit = nullptr;
    char cardName[CARD_NAME_SIZE] = {};
};

// Builds "<system directory>\QuelmoRC.dll" into path (size bytes). Returns 1 when
// the whole path fits; 0 when it does not (path then holds as much as fits) or
// the directory is empty (path then holds the bare library name).
int BuildVendorLibraryPath(const char* systemDirectory, char* path, size_t size);

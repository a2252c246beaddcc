#include "device/RemoteDevice.h"

#include <stdio.h>
#include <string.h>

#include "device/ProcAddress.h"
#include "mapping/CopyText.h"
#include "mapping/PluginName.h"

namespace {

constexpr uint32_t MAX_CARD_COUNT = 64;  // the most cards a PC can hold

const char kEmptyName[] = "";

}  // namespace

int BuildVendorLibraryPath(const char* systemDirectory, char* path, size_t size)
{
    if (size == 0)
        return 0;
    // Without the system directory the library is not looked for at all: a
    // bare or rooted name would load whatever lies on the search path.
    if (!systemDirectory || systemDirectory[0] == '\0') {
        snprintf(path, size, "%s", VENDOR_LIBRARY_NAME);
        return 0;
    }
    const size_t dirLength = strlen(systemDirectory);
    const bool needsSeparator = systemDirectory[dirLength - 1] != '\\';
    const int written =
        snprintf(path, size, "%s%s%s", systemDirectory, needsSeparator ? "\\" : "", VENDOR_LIBRARY_NAME);
    return written >= 0 && static_cast<size_t>(written) < size;
}

RemoteDevice::RemoteDevice()
{
    LoadVendorLibrary();
}

void RemoteDevice::LoadVendorLibrary()
{
    // Larger than a path so that an over-long directory still shows in the warning.
    char directory[4 * MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory)
        directory[0] = '\0';

    // A path that does not fit the 260-byte buffer counts as a failed load.
    char path[MAX_PATH];
    const int fits = BuildVendorLibraryPath(directory, path, sizeof path);
    library = fits ? LoadLibraryA(path) : nullptr;
    if (!library) {
        char text[MAX_PATH + 64];
        snprintf(text, sizeof text, "Unable to load library '%s'!", path);
        MessageBoxA(nullptr, text, PLUGIN_NAME, MB_ICONWARNING);
        return;
    }

    getCardCount = ProcAddress<GetCardCountFn>(library, "GetCardCount");
    getCardName = ProcAddress<GetCardNameFn>(library, "GetCardName");
    openCard = ProcAddress<OpenCardFn>(library, "OpenCard");
    getRemoteType = ProcAddress<GetRemoteTypeFn>(library, "GetRemoteType");
    getRemoteCode = ProcAddress<GetRemoteCodeFn>(library, "GetRemoteCode");
    unInit = ProcAddress<UnInitFn>(library, "UnInit");

    // A count with the top bit set is an error code (-1: no driver), so no
    // cards; a count no machine has is taken as the most cards a PC can hold,
    // so nobody walks billions of card indexes.
    if (getCardCount) {
        const uint32_t count = getCardCount();
        if (count & 0x80000000u)
            cardCount = 0;
        else
            cardCount = count > MAX_CARD_COUNT ? MAX_CARD_COUNT : count;
    }
}

const char* RemoteDevice::CardName(uint32_t index)
{
    if (index >= cardCount || !getCardName)
        return kEmptyName;
    const char* name = getCardName(index);
    if (!name)
        return kEmptyName;
    // The vendor's name need not be terminated: CopyText never reads past
    // what is shown.
    CopyText(cardName, CARD_NAME_SIZE, name);
    return cardName;
}

int32_t RemoteDevice::OpenCard(uint32_t index)
{
    CloseCard();
    if (index >= cardCount || !getCardName || !openCard)
        return 0;
    if (openCard(index) == 0)
        return 0;
    remoteType = getRemoteType ? getRemoteType() : 0;
    opened = 1;
    return 1;
}

uint8_t RemoteDevice::ReadCode() const
{
    if (opened != 1 || !getRemoteCode)
        return VENDOR_NO_BUTTON;
    return static_cast<uint8_t>(getRemoteCode() & 0xFF);
}

void RemoteDevice::CloseCard()
{
    remoteType = VENDOR_NO_REMOTE_TYPE;
    opened = 0;
    if (unInit)
        unInit();
}

void RemoteDevice::Release()
{
    cardCount = 0;
    CloseCard();
    getCardCount = nullptr;
    getCardName = nullptr;
    openCard = nullptr;
    getRemoteType = nullptr;
    getRemoteCode = nullptr;
    unInit = nullptr;
    if (library) {
        FreeLibrary(library);
        library = nullptr;
    }
}

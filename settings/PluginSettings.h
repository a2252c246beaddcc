// The four settings of the plug-in: which card, and the three key timings in
// milliseconds. Plain data, shared by the key-event core, the settings file
// and the setup dialog.
#pragma once

#include <stdint.h>

struct PluginSettings {
    uint32_t DeviceIndex;
    uint32_t DelayBeforeRepeat;
    uint32_t RepeatInterval;
    uint32_t ReleaseTime;
};

constexpr uint32_t DEFAULT_DEVICE_INDEX = 0;
constexpr uint32_t DEFAULT_DELAY_BEFORE_REPEAT = 350;
constexpr uint32_t DEFAULT_REPEAT_INTERVAL = 100;
constexpr uint32_t DEFAULT_RELEASE_TIME = 60;

constexpr PluginSettings DEFAULT_SETTINGS = {DEFAULT_DEVICE_INDEX, DEFAULT_DELAY_BEFORE_REPEAT, DEFAULT_REPEAT_INTERVAL,
                                             DEFAULT_RELEASE_TIME};

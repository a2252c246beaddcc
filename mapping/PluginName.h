// The plug-in's name as it shows it: the caption of every warning box.
#pragma once

inline constexpr char PLUGIN_NAME[] = "VantorixRC";

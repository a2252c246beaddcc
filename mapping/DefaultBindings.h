// Factory timings and factory bindings per remote family.
#pragma once

// Sets the factory timings and rewrites every command of currentTable with the
// factory set of the open card's remote family; DeviceIndex is left alone.
void ApplyDefaultBindings();

// Factory bindings per remote family.
#pragma once

#include <stdint.h>

#include "mapping/ButtonTables.h"

// Empties every command of table, then binds the digits and Recall and the
// factory set of family: 1 and 2 the sets of those remote types, anything
// else the set for all other remotes. Codes the set does not name stay empty.
void ApplyFactoryBindings(ButtonTable& table, int32_t family);

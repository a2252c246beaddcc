// Factory bindings per remote family.
#pragma once

#include <stdint.h>

#include "mapping/ButtonTables.h"

// Empties every command of table, then binds the digits and Recall and the
// factory set of the family that ButtonTableForRemoteType gives for family
// (a remote type, or a table index, which it keeps). Codes the set does not
// name stay empty.
void ApplyFactoryBindings(ButtonTable& table, int32_t family);

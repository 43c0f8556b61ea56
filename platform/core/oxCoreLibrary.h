#pragma once

namespace Kel {
// Registers the object system's own storable classes: named objects and infos, the typed
// data lists, object lists, strings and maps, directories, registries, driver databases
// and folders. Classes otherwise register on first use; a program that reads files naming
// them calls this first.
void libOXCore_arkRegister();
} // namespace Kel

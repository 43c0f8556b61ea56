#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel {

// Registers every class of the scene-graph library, in the library's fixed order. Calling
// it again registers nothing twice.
void libOXSg_arkRegister();
// The library's classes in that order (registered when asked for); null outside 0..count-1.
int libOXSg_getClassCount();
Core::oxMetaObject* libOXSg_getClass(int index);
// Marks the library initialised; every registration passes through it.
void _libOXSg_Init();
bool _libOXSg_IsInitialized();

namespace Sg {
// Registers everything needed to read scene files: the graphics, attribute, scene-graph
// and utility libraries.
void oxArkRegisterForOXBFiles();
} // namespace Sg

} // namespace Kel

// The one entry the library exports by its plain name: hands the host a library object
// that carries the registration function. `out` holds the only reference.
extern "C" void createLibraryObject(Kel::Core::oxSmartPointer<Kel::Core::oxLibrary>& out);

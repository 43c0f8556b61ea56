#pragma once
#include "platform/core/oxDirectory.h"

namespace Kel::Core {

// Scene files as a program uses them: each file's directory, read on first request and kept
// by file name until released, so every part of a program that asks for a file shares one
// copy of its objects.
class oxResource {
public:
    // The directory of the scene file `fileName`; null (with the reader's warning) when it
    // cannot be read, in which case nothing is kept and a later request tries again.
    static oxDirectory* getDirectory(const char* fileName);
    // The directory of no file: the infos that libraries set up for the whole process
    // (their registries of shared objects), made on first request and kept for the whole
    // process (releaseAll leaves it). A program finds them there as it finds the infos of a file.
    static oxDirectory* getSystemDirectory();
    // The index-th info (from 0) of class `type` or a class derived from it in the
    // directory of `fileName`; null when the file cannot be read or has fewer.
    static oxInfo* getInfoByType(const oxMetaObject* type, const char* fileName, int index);
    // Keeps `directory` under `fileName` as though it had been read from there (null forgets).
    static void setDirectory(const char* fileName, oxDirectory* directory);
    static int getDirectoryCount();
    // Forgets the file's directory; its objects go when nothing else holds them.
    static oxResult releaseDirectory(const char* fileName);
    static void releaseAll();
};

} // namespace Kel::Core

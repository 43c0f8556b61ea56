#pragma once
#include <cstdint>
#include <vector>

#include "platform/core/oxTypes.h"

namespace Kel::Core {

// Stores an object graph in a binary scene file (".oxb"): `root` and every object it refers
// to, each once, so that shared objects stay shared; every persistent field of every
// class in declaration order, and what containers hold (oxObject::writeContents). A
// directory (oxDirectory) is stored like any other root.
//
// Refused, with one warning and nothing written: a cycle of holding references (its
// objects could never be released), a plain pointer to an object that nothing in the graph
// holds (it would dangle after reading; list such objects in a directory), and objects
// whose class cannot be instantiated. preWrite() runs on every object before it is stored.
class oxOXBWriter {
public:
    // Writes a new file with a unique name in the folder of `path`, flushes it to the disk
    // and renames it over `path`, so that a failed write leaves any earlier file as it was
    // and no other file is touched. `path` may name nothing yet, a regular file or a link
    // to one (the file it leads to is replaced); a directory, a device, a FIFO or a socket
    // is refused with a warning before anything is written.
    static oxResult writeFile(const char* path, oxObject* root);
    static oxResult writeMemory(oxObject* root, std::vector<uint8_t>& out);
};

} // namespace Kel::Core

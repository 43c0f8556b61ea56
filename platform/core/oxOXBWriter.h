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
    // Writes through a temporary file renamed into place, so a failed write leaves any
    // earlier file at `path` as it was.
    static oxResult writeFile(const char* path, oxObject* root);
    static oxResult writeMemory(oxObject* root, std::vector<uint8_t>& out);
};

} // namespace Kel::Core

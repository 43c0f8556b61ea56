#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/oxSmartPointer.h"
#include "platform/core/oxTypes.h"

namespace Kel::Core {

class oxDirectory;

// Builds the objects of a binary scene file (".oxb"). Objects are created by class name
// (the classes must be registered), their fields are matched by name, references are
// resolved, containers read their contents (oxObject::readContents), objects of a
// redirected class are handed to the newer class (makeConcrete), and finally postFileRead()
// runs on every object in file order.
//
// Tolerated, with one warning per class and field: a stored field the class no longer has,
// or has with another kind or width (skipped). A field the file lacks keeps its default.
//
// Refused, with one warning that names the file, the byte offset and the reason, and
// nothing kept: a malformed or truncated file, an unknown version, counts, numbers or sizes
// out of range, unregistered or abstract classes, references to objects of the wrong
// class, a cycle of holding references, a plain pointer to an object nothing holds.
// Nothing is allocated beyond what the remaining bytes can describe.
class oxOXBReader {
public:
    // Objects are created in `pool` (null: the default pool).
    explicit oxOXBReader(oxMemoryPool* pool = nullptr) : _pool(pool) {}
    ~oxOXBReader();
    oxOXBReader(const oxOXBReader&) = delete;
    oxOXBReader& operator=(const oxOXBReader&) = delete;

    // Files larger than this are refused before anything is read: reading one takes its
    // size in memory and several times that in objects, and record sizes are 32 bits.
    static constexpr uint64_t kMaxFileSize = uint64_t(1) << 31;

    // Replaces what an earlier read kept. `sourceName` names the bytes in messages.
    oxResult read(const void* data, size_t size, const char* sourceName);
    // Only regular files (or links to them) of at most kMaxFileSize bytes are read; a
    // directory, a device, a FIFO or a larger file is refused at once.
    oxResult readFile(const char* path);
    // The bytes of a file, refused as readFile refuses it; on failure a warning, `error`
    // (when given) holds its text and `bytes` is empty.
    static oxResult loadFile(const char* path, std::vector<uint8_t>& bytes, std::string* error = nullptr);
    // Releases every object the reader keeps.
    void clear();

    // After a successful read: the root, and every object by its number in the file
    // (1..count; class descriptions included). The reader holds them all until it is
    // cleared, so objects that the root does not reach live as long as the reader.
    oxObject* getRoot() const;
    uint32_t getObjectCount() const { return uint32_t(_objects.size()); }
    oxObject* getObject(uint32_t number) const;
    // The reason of the last failure, as warned.
    const std::string& getError() const { return _error; }

    // One-call forms: the root alone (objects it does not hold are released), or a
    // directory: the root when it is one, otherwise a new directory that lists the root and
    // everything it refers to (and the root among its infos when it is an oxInfo).
    static oxSmartPointer<oxObject> readObject(const char* path, oxMemoryPool* pool = nullptr);
    static oxSmartPointer<oxObject> readObject(const void* data, size_t size, const char* sourceName,
                                               oxMemoryPool* pool = nullptr);
    static oxSmartPointer<oxDirectory> readDirectory(const char* path, oxMemoryPool* pool = nullptr);

private:
    oxMemoryPool* _pool;
    std::vector<oxSmartPointer<oxObject>> _objects; // in file order
    uint32_t _root = 0;
    std::string _error;
};

} // namespace Kel::Core

#pragma once
#include <cstddef>
#include <cstdint>

namespace Kel::Core {

// A named accounting arena for objects and raw blocks. Every block remembers its pool, so
// a block is freed without the caller naming the pool again, and a pool can tell how
// much it holds: tests use that to prove that a graph was torn down completely.
//
// A block may be shared by several objects (an object and the members it keeps inside its
// own allocation, or a batch of pooled objects): it counts its users and goes back to the
// system when the last one releases it.
class oxMemoryPool {
public:
    explicit oxMemoryPool(const char* name);
    ~oxMemoryPool();
    oxMemoryPool(const oxMemoryPool&) = delete;
    oxMemoryPool& operator=(const oxMemoryPool&) = delete;

    static oxMemoryPool* getDefault();

    // A block of `size` bytes with one user, aligned to 16 bytes or to `alignment` (a power
    // of two up to 4096); null when the system refuses or the size is absurd.
    void* allocate(size_t size, size_t alignment = 16);
    // Frees a block from any pool whatever its users; null is ignored.
    static void free(void* block);
    // Shared blocks: one more user, or one fewer (the last frees the block). A block has at
    // most kMaxUsers users; whoever shares one keeps within that.
    static constexpr uint32_t kMaxUsers = 0xffff;
    static void addUser(void* block);
    static void releaseUser(void* block);
    static oxMemoryPool* poolOf(const void* block);
    static size_t sizeOf(const void* block);

    const char* getName() const { return _name; }
    size_t getBytesInUse() const { return _bytesInUse; }
    size_t getBlocksInUse() const { return _blocksInUse; }
    size_t getPeakBytes() const { return _peakBytes; }

private:
    const char* _name;
    size_t _bytesInUse = 0;
    size_t _blocksInUse = 0;
    size_t _peakBytes = 0;
};

namespace oxMemory {
void* oxMalloc(size_t size, oxMemoryPool* pool = nullptr);
void oxFree(void* block);
} // namespace oxMemory

} // namespace Kel::Core

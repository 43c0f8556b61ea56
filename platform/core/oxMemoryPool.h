#pragma once
#include <cstddef>
#include <cstdint>

namespace Kel::Core {

// A named accounting arena for objects and raw blocks. Every block remembers its pool, so
// a block is freed without the caller naming the pool again, and a pool can tell how
// much it holds: tests use that to prove that a graph was torn down completely.
class oxMemoryPool {
public:
    explicit oxMemoryPool(const char* name);
    ~oxMemoryPool();
    oxMemoryPool(const oxMemoryPool&) = delete;
    oxMemoryPool& operator=(const oxMemoryPool&) = delete;

    static oxMemoryPool* getDefault();

    void* allocate(size_t size);
    // Frees a block from any pool; null is ignored.
    static void free(void* block);
    static oxMemoryPool* poolOf(const void* block);

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

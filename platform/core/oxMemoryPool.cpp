#include "platform/core/oxMemoryPool.h"

#include <cstddef>
#include <cstdlib>

namespace Kel::Core {

namespace {
// Sits right before every block and keeps it 16-byte aligned. `lead` is how far before
// the header the system's allocation starts (alignment beyond 16 bytes moves the block up).
struct alignas(16) BlockHeader {
    oxMemoryPool* pool;
    uint64_t size : 36;
    uint64_t lead : 12;
    uint64_t users : 16;
};
static_assert(sizeof(BlockHeader) == 16, "the header keeps blocks 16-byte aligned");
static_assert(alignof(std::max_align_t) >= alignof(BlockHeader), "malloc's blocks can carry the header");

// Far beyond any real block; larger requests are refused rather than wrapped.
constexpr size_t kMaxBlock = (size_t(1) << 36) - 1;

BlockHeader* headerOf(const void* block)
{
    return static_cast<BlockHeader*>(const_cast<void*>(block)) - 1;
}
} // namespace

oxMemoryPool::oxMemoryPool(const char* name) : _name(name ? name : "") {}

oxMemoryPool::~oxMemoryPool() = default;

oxMemoryPool* oxMemoryPool::getDefault()
{
    // Never destroyed: objects released during static destruction still find their pool.
    static oxMemoryPool* pool = new oxMemoryPool("default");
    return pool;
}

void* oxMemoryPool::allocate(size_t size, size_t alignment)
{
    if (size > kMaxBlock || alignment > 4096 || (alignment & (alignment - 1)))
        return nullptr;
    if (alignment < alignof(BlockHeader))
        alignment = alignof(BlockHeader);
    // malloc aligns to 16 bytes; a wider boundary is found within `alignment - 16` bytes
    // more, and the header sits right before it. aligned_alloc, which splits a larger chunk
    // and frees the pieces, cost as much as building the object that the block is for, and
    // took more memory.
    void* raw = std::malloc(sizeof(BlockHeader) + size + (alignment - alignof(BlockHeader)));
    if (!raw)
        return nullptr;
    const uintptr_t start = (uintptr_t(raw) + sizeof(BlockHeader) + alignment - 1) & ~uintptr_t(alignment - 1);
    const size_t lead = start - sizeof(BlockHeader) - uintptr_t(raw);
    auto* header = reinterpret_cast<BlockHeader*>(start - sizeof(BlockHeader));
    header->pool = this;
    header->size = size;
    header->lead = lead;
    header->users = 1;
    _bytesInUse += size;
    ++_blocksInUse;
    if (_bytesInUse > _peakBytes)
        _peakBytes = _bytesInUse;
    return header + 1;
}

void oxMemoryPool::free(void* block)
{
    if (!block)
        return;
    BlockHeader* header = headerOf(block);
    header->pool->_bytesInUse -= header->size;
    --header->pool->_blocksInUse;
    std::free(reinterpret_cast<char*>(header) - header->lead);
}

void oxMemoryPool::addUser(void* block)
{
    if (block) {
        ++headerOf(block)->users;
    }
}

void oxMemoryPool::releaseUser(void* block)
{
    if (!block)
        return;
    BlockHeader* header = headerOf(block);
    if (header->users <= 1)
        free(block);
    else
        --header->users;
}

oxMemoryPool* oxMemoryPool::poolOf(const void* block)
{
    return block ? headerOf(block)->pool : nullptr;
}

size_t oxMemoryPool::sizeOf(const void* block)
{
    return block ? size_t(headerOf(block)->size) : 0;
}

void* oxMemory::oxMalloc(size_t size, oxMemoryPool* pool)
{
    return (pool ? pool : oxMemoryPool::getDefault())->allocate(size);
}

void oxMemory::oxFree(void* block)
{
    oxMemoryPool::free(block);
}

} // namespace Kel::Core

#include "platform/core/oxMemoryPool.h"

#include <cstdlib>
#include <new>

namespace Kel::Core {

namespace {
// Keeps the block 16-byte aligned after the header.
struct alignas(16) BlockHeader {
    oxMemoryPool* pool;
    size_t size;
};
} // namespace

oxMemoryPool::oxMemoryPool(const char* name) : _name(name ? name : "") {}

oxMemoryPool::~oxMemoryPool() = default;

oxMemoryPool* oxMemoryPool::getDefault()
{
    // Never destroyed: objects released during static destruction still find their pool.
    static oxMemoryPool* pool = new oxMemoryPool("default");
    return pool;
}

void* oxMemoryPool::allocate(size_t size)
{
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (!header)
        return nullptr;
    header->pool = this;
    header->size = size;
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
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    header->pool->_bytesInUse -= header->size;
    --header->pool->_blocksInUse;
    std::free(header);
}

oxMemoryPool* oxMemoryPool::poolOf(const void* block)
{
    return block ? (static_cast<const BlockHeader*>(block) - 1)->pool : nullptr;
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

#include "platform/core/oxMemoryPool.h"

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
    // The header takes the end of the alignment unit before the block.
    const size_t lead = alignment > sizeof(BlockHeader) ? alignment - sizeof(BlockHeader) : 0;
    void* raw = nullptr;
    if (alignment <= 16)
        raw = std::malloc(sizeof(BlockHeader) + size);
    else
        raw = std::aligned_alloc(alignment, (lead + sizeof(BlockHeader) + size + alignment - 1) & ~(alignment - 1));
    if (!raw)
        return nullptr;
    auto* header = reinterpret_cast<BlockHeader*>(static_cast<char*>(raw) + lead);
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

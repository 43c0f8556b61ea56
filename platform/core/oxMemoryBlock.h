#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kel::Core {

// An owned block of raw bytes held by a field (packed vertex data, compressed keys ...).
// Copying an owner copies the bytes.
class oxMemoryBlock {
public:
    oxMemoryBlock() = default;
    oxMemoryBlock(const void* bytes, size_t size) { assign(bytes, size); }

    void assign(const void* bytes, size_t size)
    {
        const auto* b = static_cast<const uint8_t*>(bytes);
        _bytes.assign(b, b + size);
    }
    void resize(size_t size) { _bytes.resize(size); }
    void clear() { _bytes.clear(); _bytes.shrink_to_fit(); }

    size_t size() const { return _bytes.size(); }
    bool empty() const { return _bytes.empty(); }
    uint8_t* data() { return _bytes.data(); }
    const uint8_t* data() const { return _bytes.data(); }

    bool operator==(const oxMemoryBlock& other) const { return _bytes == other._bytes; }

private:
    std::vector<uint8_t> _bytes;
};

} // namespace Kel::Core

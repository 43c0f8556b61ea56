#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

// A growable bit set over 32-bit words: bit i lives in word i / 32 at position i % 32,
// least significant first. The word count is always (_bitCount + 31) / 32. Indices are not
// checked against the bit count.
class oxBitMask : public oxUnsignedIntList {
    OX_CLASS(oxBitMask, oxUnsignedIntList)
    OX_FIELDS(bitCount)
public:
    // Growing clears the bits above the old count, so stale bits never reappear.
    void setBitCount(unsigned n);
    void setBitCountUnsafe(unsigned n);
    unsigned getBitCount() const { return _bitCount; }
    void addBit(bool value);
    void removeBit(unsigned index);

    void setBit(unsigned index) { word(index) |= bit(index); }
    void setBit(unsigned index, bool value) { value ? setBit(index) : clearBit(index); }
    void clearBit(unsigned index) { word(index) &= ~bit(index); }
    void toggleBit(unsigned index) { word(index) ^= bit(index); }
    bool getBit(unsigned index) const { return (get(int(index / 32)) & bit(index)) != 0; }
    bool isOn(unsigned index) const { return getBit(index); }
    // Every word, unused high bits of the last one included.
    void setAll(bool value);
    void setAll() { setAll(true); }
    void clearAll() { setAll(false); }

protected:
    oxBitMask() = default;
    static void arkRegisterInitialize(oxFields<oxBitMask>& f);

    uint32_t& word(unsigned index) { return (*this)[int(index / 32)]; }
    static uint32_t bit(unsigned index) { return 1u << (index % 32); }

    unsigned _bitCount = 0;
};

} // namespace Kel::Sg

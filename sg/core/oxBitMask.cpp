#include "sg/core/oxBitMask.h"

namespace Kel::Sg {

void oxBitMask::arkRegisterInitialize(oxFields<oxBitMask>& f)
{
    f.add(OX_FIELD(bitCount)).setDefault(0u);
}

void oxBitMask::setBitCount(unsigned n)
{
    if (n > _bitCount) {
        if (_bitCount % 32)
            word(_bitCount) &= bit(_bitCount) - 1;
        resizeAndSetCount(int((n + 31) / 32)); // new words arrive zeroed
    } else
        resizeAndSetCount(int((n + 31) / 32));
    _bitCount = n;
}

void oxBitMask::setBitCountUnsafe(unsigned n)
{
    _bitCount = n;
    resizeAndSetCount(int((n + 31) / 32));
}

void oxBitMask::addBit(bool value)
{
    setBitCount(_bitCount + 1);
    setBit(_bitCount - 1, value);
}

void oxBitMask::removeBit(unsigned index)
{
    for (unsigned i = index; i + 1 < _bitCount; ++i)
        setBit(i, getBit(i + 1));
    if (_bitCount > 0)
        setBitCountUnsafe(_bitCount - 1);
}

void oxBitMask::setAll(bool value)
{
    for (uint32_t& w : *this)
        w = value ? ~0u : 0u;
}

} // namespace Kel::Sg

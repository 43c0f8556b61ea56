#include "sg/deform/oxMorphBase.h"

#include <utility>

namespace Kel::Sg {

namespace {

bool strictlyAscending(const int32_t* v, int n)
{
    for (int i = 1; i < n; ++i)
        if (v[i] <= v[i - 1])
            return false;
    return true;
}

// Quicksort on the median of three, carrying the displacements along; short ranges finish
// by insertion, which the nearly sorted lists that exporters write favour anyway.
void sortTogether(int32_t* key, oxVec3f* value, int lo, int hi)
{
    while (hi - lo > 12) {
        const int mid = lo + (hi - lo) / 2;
        auto order = [&](int a, int b) {
            if (key[b] < key[a]) {
                std::swap(key[a], key[b]);
                std::swap(value[a], value[b]);
            }
        };
        order(lo, mid);
        order(lo, hi);
        order(mid, hi);
        const int32_t pivot = key[mid];
        int i = lo, j = hi;
        while (i <= j) {
            while (key[i] < pivot)
                ++i;
            while (pivot < key[j])
                --j;
            if (i <= j) {
                std::swap(key[i], key[j]);
                std::swap(value[i], value[j]);
                ++i;
                --j;
            }
        }
        // The smaller side recursively, the larger one by looping: the stack stays shallow.
        if (j - lo < hi - i) {
            sortTogether(key, value, lo, j);
            lo = i;
        } else {
            sortTogether(key, value, i, hi);
            hi = j;
        }
    }
    for (int i = lo + 1; i <= hi; ++i) {
        const int32_t k = key[i];
        const oxVec3f v = value[i];
        int j = i - 1;
        for (; j >= lo && k < key[j]; --j) {
            key[j + 1] = key[j];
            value[j + 1] = value[j];
        }
        key[j + 1] = k;
        value[j + 1] = v;
    }
}

template <class L>
void giveCount(L* lists, int n)
{
    while (lists->getCount() < n)
        lists->append(nullptr);
    while (lists->getCount() > n)
        lists->remove(lists->getCount() - 1);
}

} // namespace

void oxMorphBase::arkRegisterInitialize(oxFields<oxMorphBase>& f)
{
    f.add(OX_FIELD(vertexArray));
    f.add(OX_FIELD(indexArray));
    f.add(OX_FIELD(vertCount)).setDefault(int32_t(0));
    f.add(OX_FIELD(coefCount)).setDefault(int32_t(0));
    f.add(OX_FIELD(posDispList));
    f.add(OX_FIELD(posIndexList));
    f.add(OX_FIELD(normDispList));
    f.add(OX_FIELD(normIndexList));
    f.add(OX_FIELD(primType)).enumeration(&Gfx::getOX_GFX_DRAWMetaEnum).setDefault(Gfx::OX_GFX_DRAW_POINTS);
    f.add(OX_FIELD(numPrims)).setDefault(uint32_t(0));
    f.add(OX_FIELD(offset)).setDefault(uint32_t(0));
    f.add(OX_FIELD(primLengths));
    f.add(OX_FIELD(stripLengths));
}

void oxMorphBase::setVertexArray(oxVertexArray* vertices)
{
    _vertexArray = vertices;
    _vertCount = vertices ? vertices->getVertexCount() : 0;
}

void oxMorphBase::setMaxCoefficients(int n)
{
    if (_coefCount != 0) {
        oxReportWarning("oxMorphBase::setMaxCoefficients: the base already has %d targets", int(_coefCount));
        return;
    }
    if (n <= 0) {
        oxReportWarning("oxMorphBase::setMaxCoefficients: %d targets", n);
        return;
    }
    _coefCount = n;
    if (!_posDispList)
        _posDispList = oxVec3fListList::_instantiateRef();
    if (!_posIndexList)
        _posIndexList = oxIntListList::_instantiateRef();
    if (!_normDispList)
        _normDispList = oxVec3fListList::_instantiateRef();
    if (!_normIndexList)
        _normIndexList = oxIntListList::_instantiateRef();
    giveCount(_posDispList.get(), n);
    giveCount(_posIndexList.get(), n);
    giveCount(_normDispList.get(), n);
    giveCount(_normIndexList.get(), n);
}

bool oxMorphBase::checkTarget(const char* what, int target) const
{
    if (target >= 0 && target < _coefCount && _posDispList && _posIndexList && _normDispList && _normIndexList &&
        target < _posDispList->getCount() && target < _posIndexList->getCount() &&
        target < _normDispList->getCount() && target < _normIndexList->getCount())
        return true;
    oxReportWarning("oxMorphBase::%s: no target %d (the base has %d)", what, target, int(_coefCount));
    return false;
}

int oxMorphBase::storedIndexCount(const oxIntList* indices)
{
    if (!indices)
        return 0;
    const int n = indices->getCount();
    return n > 0 && indices->get(n - 1) == kIndexTerminator ? n - 1 : n;
}

void oxMorphBase::sortIfMatched(oxIntList* indices, oxVec3fList* displacements)
{
    if (!indices || !displacements || displacements->getCount() + 1 != indices->getCount())
        return;
    const int n = displacements->getCount();
    if (n > 1 && !strictlyAscending(indices->data(), n))
        sortTogether(indices->data(), displacements->data(), 0, n - 1);
}

void oxMorphBase::setPositionDisplacementVec(int target, oxVec3fList* displacements)
{
    if (!checkTarget("setPositionDisplacementVec", target))
        return;
    _posDispList->set(target, displacements);
    sortIfMatched(_posIndexList->get(target), displacements);
}

void oxMorphBase::setPositionIndexArray(int target, oxIntList* indices)
{
    if (!checkTarget("setPositionIndexArray", target))
        return;
    _posIndexList->set(target, indices);
    if (!indices)
        return;
    indices->append(kIndexTerminator);
    sortIfMatched(indices, _posDispList->get(target));
}

void oxMorphBase::setNormalDisplacementVec(int target, oxVec3fList* displacements)
{
    if (!checkTarget("setNormalDisplacementVec", target))
        return;
    _normDispList->set(target, displacements);
    sortIfMatched(_normIndexList->get(target), displacements);
}

void oxMorphBase::setNormalIndexArray(int target, oxIntList* indices)
{
    if (!checkTarget("setNormalIndexArray", target))
        return;
    _normIndexList->set(target, indices);
    if (!indices)
        return;
    indices->append(kIndexTerminator);
    sortIfMatched(indices, _normDispList->get(target));
}

void oxMorphBase::configurePrimitive(Gfx::OX_GFX_DRAW type, unsigned int count, unsigned int offset)
{
    _primType = type;
    _numPrims = count;
    _offset = offset;
}

// Both length lists follow: the unsigned list is the base's record, the strip lengths are
// what the instances hand the device.
void oxMorphBase::setPrimitiveLength(unsigned int index, unsigned int length)
{
    if (index >= 0x10000000u) {
        oxReportWarning("oxMorphBase::setPrimitiveLength: primitive %u", index);
        return;
    }
    if (!_primLengths)
        _primLengths = oxUnsignedIntList::_instantiateRef();
    if (!_stripLengths)
        _stripLengths = oxPrimLengthArray::_instantiateRef();
    if (unsigned(_primLengths->getCount()) <= index)
        _primLengths->setCount(int(index) + 1);
    if (unsigned(_stripLengths->getCount()) <= index)
        _stripLengths->setCount(int(index) + 1);
    _primLengths->set(int(index), length);
    _stripLengths->set(int(index), length);
}

unsigned int oxMorphBase::getPrimitiveLength(unsigned int index) const
{
    return _primLengths && index < unsigned(_primLengths->getCount()) ? _primLengths->get(int(index)) : 0;
}

} // namespace Kel::Sg

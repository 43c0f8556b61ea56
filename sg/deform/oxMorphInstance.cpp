#include "sg/deform/oxMorphInstance.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Kel::Sg {

using Attrs::oxGeometryAttr;
using Gfx::oxVertexStream;

namespace {

// Vertex v's new value is the already blended one when an earlier target of this blend
// wrote it (its dirty bit), the base's otherwise, plus w × the displacement. The choice is a
// select, not a branch: which vertices earlier targets shared follows no pattern the
// processor could predict. Returns the indices that name no vertex.
// The dirty bits of a blend walked in ascending vertex order: the word in use stays in a
// register until the indices move past it, instead of going through memory once per vertex.
class DirtyWords {
public:
    explicit DirtyWords(uint32_t* dirty) : _dirty(dirty) {}
    ~DirtyWords()
    {
        if (_at != ~0u)
            _dirty[_at] = _word;
    }
    // Whether v was written in this blend; marks it written.
    bool testAndSet(uint32_t v)
    {
        if ((v >> 5) != _at) {
            if (_at != ~0u)
                _dirty[_at] = _word;
            _at = v >> 5;
            _word = _dirty[_at];
        }
        const uint32_t bit = 1u << (v & 31);
        const bool was = (_word & bit) != 0;
        _word |= bit;
        return was;
    }

private:
    uint32_t* _dirty;
    uint32_t _at = ~0u, _word = 0;
};

int blendTarget(uint8_t* out, const uint8_t* base, size_t stride, uint32_t* dirty, uint32_t vertexCount,
                const int32_t* index, int count, const oxVec3f* displacement, float w)
{
    int bad = 0;
    DirtyWords words(dirty);
    for (int k = 0; k < count; ++k) {
        const uint32_t v = uint32_t(index[k]);
        if (v >= vertexCount) {
            ++bad;
            continue;
        }
        uint8_t* to = out + size_t(v) * stride;
        const uint8_t* from = words.testAndSet(v) ? to : base + size_t(v) * stride;
        float p[3];
        std::memcpy(p, from, sizeof p);
        p[0] += w * displacement[k].x;
        p[1] += w * displacement[k].y;
        p[2] += w * displacement[k].z;
        std::memcpy(to, p, sizeof p);
    }
    return bad;
}

// A target whose weight fell to 0 only hands its vertices back: to the base, or to what the
// targets before it in this blend made of them.
int restoreTarget(uint8_t* out, const uint8_t* base, size_t stride, uint32_t* dirty, uint32_t vertexCount,
                  const int32_t* index, int count)
{
    int bad = 0;
    DirtyWords words(dirty);
    for (int k = 0; k < count; ++k) {
        const uint32_t v = uint32_t(index[k]);
        if (v >= vertexCount) {
            ++bad;
            continue;
        }
        if (!words.testAndSet(v))
            std::memcpy(out + size_t(v) * stride, base + size_t(v) * stride, 3 * sizeof(float));
    }
    return bad;
}

bool isFloat3(const oxVertexStream& s)
{
    return s.isValid() && s.scalarType == Gfx::OX_GFX_SCALAR_FLOAT && s.scalarCount >= 3;
}

// Whether some target has indices and displacements for the component.
bool anyTarget(const oxIntListList* indices, const oxVec3fListList* displacements, int n)
{
    if (!indices || !displacements)
        return false;
    for (int c = 0; c < n && c < indices->getCount() && c < displacements->getCount(); ++c) {
        const oxVec3fList* d = displacements->get(c);
        if (indices->get(c) && d && d->getCount() > 0)
            return true;
    }
    return false;
}

// The blocked blend's inner loop: adds w × displacement to every vertex of one run of
// ascending indices below `end`, which already holds the base or what earlier targets made of
// it; with `Mark`, sets the vertices' bits in `touched` (the word in use stays in a register
// while the indices stay in it). Returns where it stopped, so that the next block of
// vertices goes on from there.
template <bool Mark>
int addRange(uint8_t* out, size_t stride, uint32_t* touched, uint32_t end, const int32_t* index, int k, int count,
             const oxVec3f* displacement, float w)
{
    uint32_t at = ~0u, word = 0;
    for (; k < count; ++k) {
        const uint32_t v = uint32_t(index[k]);
        if (v >= end)
            break;
        if constexpr (Mark) {
            if ((v >> 5) != at) {
                if (at != ~0u)
                    touched[at] = word;
                at = v >> 5;
                word = touched[at];
            }
            word |= 1u << (v & 31);
        }
        float* to = reinterpret_cast<float*>(out + size_t(v) * stride);
        const oxVec3f d = displacement[k];
        to[0] += w * d.x;
        to[1] += w * d.y;
        to[2] += w * d.z;
    }
    if (Mark && at != ~0u)
        touched[at] = word;
    return k;
}

// addRange without marks over a run that ends with the terminator, which no block end
// exceeds: the index alone ends the loop, without a count.
int addRangeToTerminator(uint8_t* out, size_t stride, uint32_t end, const int32_t* index, int k,
                         const oxVec3f* displacement, float w)
{
    for (;; ++k) {
        const uint32_t v = uint32_t(index[k]);
        if (v >= end)
            return k;
        float* to = reinterpret_cast<float*>(out + size_t(v) * stride);
        const oxVec3f d = displacement[k];
        to[0] += w * d.x;
        to[1] += w * d.y;
        to[2] += w * d.z;
    }
}

// Vertices per block of the blocked blend: the block's instance and base vertices stay in
// the first-level cache while every target adds to them.
constexpr uint32_t kBlockVertices = 512;

} // namespace

void oxMorphInstance::arkRegisterInitialize(oxFields<oxMorphInstance>& f)
{
    f.add(OX_FIELD(base));
    f.add(OX_FIELD(coef));
    f.add(OX_FIELD(oldCoef));
    f.add(OX_FIELD(coefSource));
    f.add(OX_FIELD(dirty)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(morphVa));
    f.add(OX_FIELD(morphSeq));
    f.add(OX_FIELD(privateBase));
    f.add(OX_FIELD(dirtyNormal)).constructWithOwner().notPersistent();
}

void oxMorphInstance::setBase(oxMorphBase* base)
{
    _base = base;
    while (getGeometryAttrCount() > 0)
        removeGeometryAttr(getGeometryAttrCount() - 1);
    _morphVa = nullptr;
    oxVertexArray* from = base ? base->getVertexArray() : nullptr;
    if (base && !from)
        oxReportWarning("oxMorphInstance::setBase: the base has no vertices; nothing is drawn");
    if (from) {
        _morphVa = oxVertexArray::_instantiateFromPool(getMemoryPool());
        const int count = from->getVertexCount();
        if (_morphVa->configure(from->getFormat(), count))
            std::memcpy(_morphVa->getVertexData(), from->getVertexData(), size_t(from->getStride()) * size_t(count));
        else
            _morphVa = nullptr;
    }
    const int n = base ? base->getCoefficientCount() : 0;
    _coef = oxFloatList::_instantiateFromPool(getMemoryPool());
    _oldCoef = oxFloatList::_instantiateFromPool(getMemoryPool());
    _coefSource = oxUnsignedCharList::_instantiateFromPool(getMemoryPool());
    _coef->setCount(n);
    _oldCoef->setCount(n);
    _coefSource->setCount(n);
    if (!_morphVa)
        return;
    oxSmartPointer<oxGeometryAttr> draw = oxGeometryAttr::_instantiateFromPool(getMemoryPool());
    draw->setVertexArray(_morphVa);
    draw->setIndexArray(base->getIndexArray());
    draw->configurePrimitive(base->getPrimitiveType(), int(base->getPrimitiveCount()), int(base->getPrimitiveOffset()));
    draw->setPrimLengthArray(base->getStripLengths());
    addGeometryAttr(draw);
    // The blend rewrites the array whenever a weight changes.
    updateUsageFlags(Gfx::oxVertexArrayBase::kUsageDynamic, true);
}

void oxMorphInstance::setCoefficient(int target, float weight)
{
    if (!_coef || target < 0 || target >= _coef->getCount()) {
        oxReportWarning("oxMorphInstance::setCoefficient: no weight %d", target);
        return;
    }
    _coef->set(target, weight);
}

float oxMorphInstance::getCoefficient(int target) const
{
    return _coef && target >= 0 && target < _coef->getCount() ? _coef->get(target) : 0.0f;
}

bool oxMorphInstance::prepareWeights()
{
    if (!_base)
        return false;
    const int n = _base->getCoefficientCount();
    if (!_coef)
        _coef = oxFloatList::_instantiateFromPool(getMemoryPool());
    if (!_oldCoef)
        _oldCoef = oxFloatList::_instantiateFromPool(getMemoryPool());
    if (!_coefSource)
        _coefSource = oxUnsignedCharList::_instantiateFromPool(getMemoryPool());
    if (_coef->getCount() != n)
        _coef->setCount(n);
    if (_oldCoef->getCount() != n)
        _oldCoef->setCount(n);
    if (_coefSource->getCount() != n)
        _coefSource->setCount(n);
    return true;
}

void oxMorphInstance::update()
{
    if (_morphVa && prepareWeights())
        rebuildVA();
}

void oxMorphInstance::update(int64_t time)
{
    if (!prepareWeights())
        return;
    if (_morphSeq)
        _morphSeq->update(_coef, time);
    if (_morphVa)
        rebuildVA();
}

void oxMorphInstance::rebuildVA()
{
    oxMorphBase* base = _base;
    const int n = base->getCoefficientCount();
    float* coef = _coef->data();
    float* old = _oldCoef->data();
    int c = 0;
    while (c < n && coef[c] == old[c])
        ++c;
    if (c == n)
        return;

    oxVertexArray* from = base->getVertexArray();
    const int count = _morphVa->getVertexCount();
    if (!from || from->getVertexCount() < count || from->getFormat().getBits() != _morphVa->getFormat().getBits()) {
        oxReportWarning("oxMorphInstance: the base's vertices no longer match the instance's; set the base again");
        for (c = 0; c < n; ++c)
            old[c] = coef[c];
        return;
    }
    const oxVertexStream outP = _morphVa->getStream(Gfx::OX_GFX_COMPONENT_POSITION);
    const oxVertexStream inP = from->getStream(Gfx::OX_GFX_COMPONENT_POSITION);
    const bool positions = isFloat3(outP) && isFloat3(inP) &&
                           anyTarget(base->getPositionIndexLists(), base->getPositionDisplacementLists(), n);
    const oxVertexStream outN = _morphVa->getStream(Gfx::OX_GFX_COMPONENT_NORMAL);
    const oxVertexStream inN = from->getStream(Gfx::OX_GFX_COMPONENT_NORMAL);
    const bool normals = isFloat3(outN) && isFloat3(inN) &&
                         anyTarget(base->getNormalIndexLists(), base->getNormalDisplacementLists(), n);
    if (!_dirty)
        _dirty = oxBitMask::_instantiateFromPool(getMemoryPool());
    if (!_dirtyNormal)
        _dirtyNormal = oxBitMask::_instantiateFromPool(getMemoryPool());
    if (positions) {
        _dirty->setBitCount(unsigned(count));
        _dirty->clearAll();
        const bool ascending = gatherRuns(_positionRuns, base->getPositionIndexLists(),
                                          base->getPositionDisplacementLists(), coef, old, n, "position");
        blendRuns(_positionRuns, ascending, outP.data, inP.data, size_t(outP.stride), _dirty->data(),
                  uint32_t(count), "position", false);
    }
    if (normals) {
        _dirtyNormal->setBitCount(unsigned(count));
        _dirtyNormal->clearAll();
        const bool ascending = gatherRuns(_normalRuns, base->getNormalIndexLists(), base->getNormalDisplacementLists(),
                                          coef, old, n, "normal");
        blendRuns(_normalRuns, ascending, outN.data, inN.data, size_t(outN.stride), _dirtyNormal->data(),
                  uint32_t(count), "normal", true);
    }
    for (c = 0; c < n; ++c)
        old[c] = coef[c];
    if (normals) {
        const uint32_t* bits = _dirtyNormal->data();
        for (int word = 0; word < (count + 31) / 32; ++word)
            for (uint32_t b = bits[word]; b; b &= b - 1) {
                const int v = word * 32 + __builtin_ctz(b);
                if (v >= count)
                    break;
                uint8_t* at = outN.at(v);
                float p[3];
                std::memcpy(p, at, sizeof p);
                const float length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
                if (length > 0.0f) {
                    for (float& x : p)
                        x /= length;
                    std::memcpy(at, p, sizeof p);
                }
            }
    }
    if (positions || normals)
        _morphVa->touch();
}

bool oxMorphInstance::gatherRuns(std::vector<BlendRun>& runs, const oxIntListList* indices,
                                 const oxVec3fListList* displacements, const float* coef, const float* old, int n,
                                 const char* what)
{
    runs.clear();
    uint32_t descents = 0;
    for (int c = 0; c < n; ++c) {
        if (coef[c] == 0.0f && old[c] == 0.0f)
            continue;
        const oxIntList* index = c < indices->getCount() ? indices->get(c) : nullptr;
        const oxVec3fList* disp = c < displacements->getCount() ? displacements->get(c) : nullptr;
        if (!index || !disp)
            continue;
        const int stored = oxMorphBase::storedIndexCount(index);
        int count = stored;
        if (disp->getCount() < count) {
            oxReportWarning("oxMorphInstance: target %d has %d %s indices but %d displacements; the rest is ignored",
                            c, stored, what, disp->getCount());
            count = disp->getCount();
        }
        const int32_t* v = index->data();
        for (int k = 1; k < count; ++k)
            descents |= uint32_t(uint32_t(v[k - 1]) > uint32_t(v[k]));
        BlendRun run;
        run.index = v;
        run.displacement = disp->data();
        run.count = count;
        run.weight = coef[c];
        run.target = c;
        run.terminated = count == stored && count < index->getCount() && v[count] == oxMorphBase::kIndexTerminator;
        runs.push_back(run);
    }
    return descents == 0;
}

// With ascending indices the vertices are taken a block at a time: the block starts from the
// base, and every run adds its part before the next block. Each vertex still sums its targets
// in their order, but the instance's and the base's vertices are read from memory once per
// blend instead of once per target, and the inner loop needs no choice between the base and
// the blended value. A vertex that no run reaches holds its base value already (no target
// that moves it had a weight), so starting it over from the base changes nothing. Every
// position is written, so every bit of `dirty` is set; for normals (`markTouched`) only the
// vertices a run reaches are marked, as those alone are renormalised. Indices that do not
// ascend are blended target after target, choosing per vertex.
void oxMorphInstance::blendRuns(std::vector<BlendRun>& runs, bool ascending, uint8_t* out, const uint8_t* base,
                                size_t stride, uint32_t* dirty, uint32_t vertexCount, const char* what,
                                bool markTouched)
{
    if (ascending) {
        for (uint32_t begin = 0; begin < vertexCount; begin += kBlockVertices) {
            const uint32_t end = std::min(vertexCount, begin + kBlockVertices);
            for (uint32_t v = begin; v < end; ++v)
                std::memcpy(out + size_t(v) * stride, base + size_t(v) * stride, 3 * sizeof(float));
            for (BlendRun& r : runs) {
                if (markTouched)
                    r.next = addRange<true>(out, stride, dirty, end, r.index, r.next, r.count, r.displacement,
                                            r.weight);
                else if (r.weight == 0.0f)
                    // Its vertices are back at the base already; only its place moves on.
                    while (r.next < r.count && uint32_t(r.index[r.next]) < end)
                        ++r.next;
                else if (r.terminated && vertexCount <= uint32_t(oxMorphBase::kIndexTerminator))
                    r.next = addRangeToTerminator(out, stride, end, r.index, r.next, r.displacement, r.weight);
                else
                    r.next = addRange<false>(out, stride, dirty, end, r.index, r.next, r.count, r.displacement,
                                             r.weight);
            }
        }
        if (!markTouched)
            for (uint32_t w = 0; w < (vertexCount + 31) / 32; ++w)
                dirty[w] = ~0u;
    }
    for (BlendRun& r : runs) {
        const int bad = ascending ? r.count - r.next
                        : r.weight != 0.0f
                            ? blendTarget(out, base, stride, dirty, vertexCount, r.index, r.count, r.displacement,
                                          r.weight)
                            : restoreTarget(out, base, stride, dirty, vertexCount, r.index, r.count);
        if (bad)
            oxReportWarning("oxMorphInstance: target %d names %d %s vertices beyond the %u there are", r.target, bad,
                            what, vertexCount);
    }
}

void oxMorphInstance::transform(const oxMatrix44f& m)
{
    if (!_base)
        return;
    oxSmartPointer<oxMorphBase> copy = oxMorphBase::dynamicCast(_base->createCopy(kDeepCopy));
    if (!copy)
        return;
    oxVertexArray* vertices = copy->getVertexArray();
    if (vertices && !vertices->transform(m)) {
        oxReportWarning("oxMorphInstance::transform: the matrix has no inverse; nothing moved");
        return;
    }
    oxMatrix44f normalMatrix = m;
    normalMatrix.invert();
    normalMatrix.transpose();
    for (int c = 0; c < copy->getCoefficientCount(); ++c) {
        if (oxVec3fList* d = copy->getPositionDisplacementVec(c))
            for (oxVec3f& v : *d)
                v = m.transformVector(v);
        if (oxVec3fList* d = copy->getNormalDisplacementVec(c))
            for (oxVec3f& v : *d)
                v = normalMatrix.transformVector(v);
    }
    _privateBase = copy;
    setBase(copy);
}

void oxMorphInstance::postFileRead()
{
    oxGeometry::postFileRead();
    updateUsageFlags(Gfx::oxVertexArrayBase::kUsageDynamic, true);
}

} // namespace Kel::Sg

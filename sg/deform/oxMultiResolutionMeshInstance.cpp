#include "sg/deform/oxMultiResolutionMeshInstance.h"

#include <algorithm>
#include <cmath>

namespace Kel::Sg {

void oxMultiResolutionMeshInstance::arkRegisterInitialize(oxFields<oxMultiResolutionMeshInstance>& f)
{
    f.add(OX_FIELD(mrmCore));
    f.add(OX_FIELD(instanceArray)).constructWithOwner();
    f.add(OX_FIELD(terminalArray)).constructWithOwner();
    f.add(OX_FIELD(terminalArrayBits)).constructWithOwner();
    f.add(OX_FIELD(lastPolygonCount)).setDefault(uint32_t(0));
    f.add(OX_FIELD(currentPolygonCount)).setDefault(uint32_t(0));
    f.add(OX_FIELD(lastVertexCount)).setDefault(uint16_t(0));
    f.add(OX_FIELD(currentVertexCount)).setDefault(uint16_t(0));
    f.add(OX_FIELD(evaluationPolicy)).setDefault(EVALUATION_LINEAR);
    f.add(OX_FIELD(evaluationCenter)).setDefault(oxVec3f(0, 0, 0));
    f.add(OX_FIELD(nearEvaluationDistance)).setDefault(0.1f);
    f.add(OX_FIELD(farEvaluationDistance)).setDefault(1000.0f);
}

void oxMultiResolutionMeshInstance::setMultiResolutionMeshCore(oxMultiResolutionMeshCore* core)
{
    _mrmCore = core;
    _corners.core = nullptr;
    _lastPolygonCount = _currentPolygonCount = 0;
    _lastVertexCount = _currentVertexCount = 0;
}

bool oxMultiResolutionMeshInstance::evaluateResolution(float d, float& r) const
{
    const float nearD = _nearEvaluationDistance, farD = _farEvaluationDistance;
    if (d <= nearD || _evaluationPolicy == EVALUATION_NONE) {
        r = 1.0f;
        return true;
    }
    if (d >= farD) {
        r = 0.0f;
        return true;
    }
    const float x = (farD - d) / (farD - nearD);
    switch (_evaluationPolicy) {
    case EVALUATION_LINEAR:
        r = x;
        return true;
    case EVALUATION_SQUARED:
        r = x * x;
        return true;
    case EVALUATION_SQUARE_ROOT:
        r = std::sqrt(x);
        return true;
    default:
        return false;
    }
}

oxGeometryAttr* oxMultiResolutionMeshInstance::getDrawAttr()
{
    for (int i = 0; i < getGeometryAttrCount(); ++i)
        if (oxGeometryAttr* g = oxGeometryAttr::dynamicCast(getGeometryAttr(i)))
            if (g->getIndexArray() == _instanceArray.get()) {
                if (_mrmCore && g->getVertexArray() != _mrmCore->getVertexArray())
                    g->setVertexArray(_mrmCore->getVertexArray());
                return g;
            }
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configurePrimitive(Gfx::OX_GFX_DRAW_TRIANGLES, 0);
    g->setVertexArray(_mrmCore ? _mrmCore->getVertexArray() : nullptr);
    g->setIndexArray(_instanceArray);
    addGeometryAttr(g);
    return g;
}

bool oxMultiResolutionMeshInstance::cornersMatch() const
{
    return _corners.core == _mrmCore.get() && _corners.coreIndices == _mrmCore->getIndexArray() &&
           _corners.instanceIndices == _instanceArray->getData() && _corners.instanceCount == _instanceArray->getCount();
}

void oxMultiResolutionMeshInstance::rebuild(oxMultiResolutionMeshCore* core)
{
    const int corners = int(core->getMaximumPolygonCount()) * 3;
    _instanceArray->setCount(corners);
    _corners.head.assign(size_t(core->getMaximumVertexCount()), -1);
    _corners.next.assign(size_t(corners), -1);
    _corners.prev.assign(size_t(corners), -1);
    _terminalArrayBits->setBitCount(core->getMaximumVertexCount());
    _terminalArrayBits->clearAll();
    _terminalArray->setCount(0);
    _corners.core = core;
    _corners.coreIndices = core->getIndexArray();
    _corners.instanceIndices = _instanceArray->getData();
    _corners.instanceCount = _instanceArray->getCount();
    // Nothing drawn, and every vertex a survivor can stand for allowed.
    _lastPolygonCount = 0;
    _lastVertexCount = uint16_t(std::max(1, int(core->getMinimumVertexCount())) - 1);
}

void oxMultiResolutionMeshInstance::link(int32_t corner, uint16_t vertex)
{
    const int32_t first = _corners.head[vertex];
    _corners.prev[size_t(corner)] = -1;
    _corners.next[size_t(corner)] = first;
    if (first >= 0)
        _corners.prev[size_t(first)] = corner;
    _corners.head[vertex] = corner;
}

void oxMultiResolutionMeshInstance::unlink(int32_t corner, uint16_t vertex)
{
    const int32_t p = _corners.prev[size_t(corner)], n = _corners.next[size_t(corner)];
    if (p >= 0)
        _corners.next[size_t(p)] = n;
    else
        _corners.head[vertex] = n;
    if (n >= 0)
        _corners.prev[size_t(n)] = p;
}

uint16_t oxMultiResolutionMeshInstance::mapDown(uint16_t vertex, uint16_t highest) const
{
    const uint16_t* proxy = _mrmCore->getProxyArray()->data();
    while (vertex > highest && proxy[vertex] != vertex)
        vertex = proxy[vertex];
    return vertex;
}

// From (_lastPolygonCount, _lastVertexCount) to (n, v), keeping for every drawn corner k the
// invariant index[k] = the first vertex at or below v on the proxy chain of the core's
// index k. Triangles that go are dropped first, vertices then collapse or split, and the
// triangles that come are mapped last.
void oxMultiResolutionMeshInstance::applyCounts(uint32_t n, uint16_t v)
{
    uint16_t* index = _instanceArray->data();
    const uint16_t* source = _mrmCore->getIndexArray()->data();
    for (uint32_t k = n * 3; k < _lastPolygonCount * 3; ++k)
        unlink(int32_t(k), index[k]);
    if (v < _lastVertexCount) {
        // Every corner at a vertex that goes moves straight to where its chain now ends.
        for (uint32_t u = _lastVertexCount; u > v; --u) {
            const uint16_t to = mapDown(uint16_t(u), v);
            int32_t c = _corners.head[u];
            while (c >= 0) {
                const int32_t following = _corners.next[size_t(c)];
                index[c] = to;
                link(c, to);
                c = following;
            }
            _corners.head[u] = -1;
        }
    } else if (v > _lastVertexCount) {
        // The vertices that the newly allowed ones collapsed into, as drawn so far, are
        // marked; only their corners can move up, each to the first vertex of its chain at
        // or below v.
        _terminalArray->setCount(0);
        for (uint32_t u = uint32_t(_lastVertexCount) + 1; u <= v; ++u) {
            const uint16_t w = mapDown(uint16_t(u), _lastVertexCount);
            if (!_terminalArrayBits->getBit(w)) {
                _terminalArrayBits->setBit(w);
                _terminalArray->append(w);
            }
        }
        for (uint16_t w : *_terminalArray) {
            int32_t c = _corners.head[w];
            while (c >= 0) {
                const int32_t following = _corners.next[size_t(c)];
                const uint16_t to = mapDown(source[c], v);
                if (to != w) {
                    unlink(c, w);
                    index[c] = to;
                    link(c, to);
                }
                c = following;
            }
            _terminalArrayBits->clearBit(w);
        }
        _terminalArray->setCount(0);
    }
    for (uint32_t k = _lastPolygonCount * 3; k < n * 3; ++k) {
        index[k] = mapDown(source[k], v);
        link(int32_t(k), index[k]);
    }
}

void oxMultiResolutionMeshInstance::setTargetResolution(float r)
{
    oxMultiResolutionMeshCore* core = _mrmCore;
    const uint32_t maxN = core ? core->getMaximumPolygonCount() : 0;
    if (!core || !core->getVertexArray() || !core->getIndexArray() ||
        uint32_t(core->getFolderArray()->getCount()) != maxN ||
        uint32_t(core->getIndexArray()->getCount()) != maxN * 3 ||
        core->getProxyArray()->getCount() != core->getVertexArray()->getVertexCount() || maxN == 0) {
        oxReportWarning("oxMultiResolutionMeshInstance::setTargetResolution: %s",
                        core ? "the core has not been generated" : "no core");
        return;
    }
    const uint32_t minN = std::min(core->getMinimumPolygonCount(), maxN);
    if (!(r >= 0.0f))
        r = 0.0f;
    if (r > 1.0f)
        r = 1.0f;
    uint32_t n = std::min(maxN, uint32_t(float(minN) + float(maxN - minN) * r));
    const uint16_t* folder = core->getFolderArray()->data();
    uint16_t v;
    if (n != minN) {
        v = folder[n - 1];
        if (n < maxN && folder[n] == v)
            ++n;
    } else {
        v = uint16_t(std::max(1, int(core->getMinimumVertexCount())) - 1);
    }
    _currentPolygonCount = n;
    _currentVertexCount = v;
    if (!_instanceArray)
        _instanceArray = oxIndexArray::_instantiateRef();
    if (!_terminalArray)
        _terminalArray = oxUnsignedShortList::_instantiateRef();
    if (!_terminalArrayBits)
        _terminalArrayBits = oxBitMask::_instantiateRef();
    const bool fresh = !cornersMatch();
    if (!fresh && n == _lastPolygonCount)
        return;
    oxGeometryAttr* attr = getDrawAttr();
    if (fresh)
        rebuild(core);
    applyCounts(n, v);
    _lastPolygonCount = n;
    _lastVertexCount = v;
    attr->configurePrimitive(Gfx::OX_GFX_DRAW_TRIANGLES, int(n));
    attr->touch();
}

} // namespace Kel::Sg

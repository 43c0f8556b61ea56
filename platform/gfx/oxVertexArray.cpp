#include "platform/gfx/oxVertexArray.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/core/oxOutput.h"

namespace Kel::Gfx {

namespace {
oxVec3f readVec3(const uint8_t* p)
{
    oxVec3f v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void writeVec3(uint8_t* p, const oxVec3f& v)
{
    std::memcpy(p, &v, sizeof v);
}

// Applies `fn` to the first three floats of every vertex of a float stream.
template <class F>
void forEachVec3(const oxVertexStream& s, int count, F&& fn)
{
    if (!s.isValid() || s.scalarType != OX_GFX_SCALAR_FLOAT || s.scalarCount < 3)
        return;
    for (int i = 0; i < count; ++i) {
        uint8_t* p = s.at(i);
        writeVec3(p, fn(readVec3(p)));
    }
}

uint8_t toByte(float v)
{
    v = std::clamp(v, 0.0f, 1.0f);
    return uint8_t(std::lround(v * 255.0f));
}
} // namespace

void oxVertexArrayBase::arkRegisterInitialize(oxFields<oxVertexArrayBase>& f)
{
    f.add(OX_FIELD(usageFlags));
}

void oxVertexArrayBase::userCopyShallow(const Core::oxObject* source)
{
    Core::oxObject::userCopyShallow(source);
    touch();
}

void oxVertexArrayBase::userCopyDeep(const Core::oxObject* source)
{
    Core::oxObject::userCopyDeep(source);
    touch();
}

bool oxVertexArrayBase::extendBox(oxBox3f& box) const
{
    oxVertexStream s = getStream(OX_GFX_COMPONENT_POSITION);
    if (!s.isValid() || s.scalarType != OX_GFX_SCALAR_FLOAT || s.scalarCount < 3)
        return false;
    int n = getVertexCount();
    for (int i = 0; i < n; ++i)
        box.extendBy(readVec3(s.at(i)));
    return true;
}

bool oxVertexArrayBase::transform(const oxMatrix44f& m)
{
    oxMatrix44f normalMatrix = m;
    if (!normalMatrix.invert()) {
        Core::oxReportWarning("%s: cannot transform by a singular matrix", getMetaObject()->getName());
        return false;
    }
    normalMatrix.transpose();
    int n = getVertexCount();
    forEachVec3(getStream(OX_GFX_COMPONENT_POSITION), n, [&](const oxVec3f& p) { return m.transformPoint(p); });
    forEachVec3(getStream(OX_GFX_COMPONENT_NORMAL), n,
                [&](const oxVec3f& v) { return normalMatrix.transformVector(v).normalized(); });
    for (OX_GFX_COMPONENT c : {OX_GFX_COMPONENT_BINORMAL, OX_GFX_COMPONENT_TANGENT})
        forEachVec3(getStream(c), n, [&](const oxVec3f& v) { return m.transformVector(v).normalized(); });
    touch();
    return true;
}

void oxVertexArray::arkRegisterInitialize(oxFields<oxVertexArray>& f)
{
    f.add(OX_FIELD(format));
    f.add(OX_FIELD(vertexCount));
    f.add(OX_FIELD(data));
}

bool oxVertexArray::configure(oxVertexFormat format, int vertexCount)
{
    if (!format.isValid() || vertexCount < 0) {
        Core::oxReportWarning("oxVertexArray: invalid format 0x%08x or vertex count %d", format.getBits(),
                              vertexCount);
        return false;
    }
    _format = format.getBits();
    _vertexCount = vertexCount;
    _data.clear();
    _data.resize(size_t(format.getStride()) * size_t(vertexCount));
    touch();
    return true;
}

bool oxVertexArray::setVertexCount(int vertexCount)
{
    if (vertexCount < 0 || !oxVertexFormat(_format).isValid())
        return false;
    _data.resize(size_t(getStride()) * size_t(vertexCount));
    _vertexCount = vertexCount;
    touch();
    return true;
}

bool oxVertexArray::isConsistent() const
{
    oxVertexFormat f(_format);
    return f.isValid() && _vertexCount >= 0 && _data.size() == size_t(f.getStride()) * size_t(_vertexCount);
}

void oxVertexArray::postFileRead()
{
    oxVertexArrayBase::postFileRead();
    if (!isConsistent())
        Core::oxReportWarning("oxVertexArray: %zu bytes do not hold %d vertices of format 0x%08x; the array is "
                              "treated as empty",
                              _data.size(), _vertexCount, _format);
}

oxVertexStream oxVertexArray::getStream(OX_GFX_COMPONENT component, int index) const
{
    oxVertexStream s;
    oxVertexFormat f(_format);
    int offset = f.getOffset(component, index);
    if (offset < 0 || !isConsistent() || _vertexCount == 0)
        return s;
    s.data = const_cast<uint8_t*>(_data.data()) + offset;
    s.stride = f.getStride();
    s.scalarCount = f.getScalarCount(component, index);
    s.scalarType = f.getScalarType(component);
    return s;
}

uint8_t* oxVertexArray::element(OX_GFX_COMPONENT component, int index, int vertex) const
{
    if (vertex < 0 || vertex >= getVertexCount())
        return nullptr;
    oxVertexStream s = getStream(component, index);
    return s.isValid() ? s.at(vertex) : nullptr;
}

oxVec3f oxVertexArray::getVec3(OX_GFX_COMPONENT component, int i) const
{
    const uint8_t* p = element(component, 0, i);
    return p ? readVec3(p) : oxVec3f();
}

bool oxVertexArray::setVec3(OX_GFX_COMPONENT component, int i, const oxVec3f& v)
{
    uint8_t* p = element(component, 0, i);
    if (!p)
        return false;
    writeVec3(p, v);
    touch();
    return true;
}

uint32_t oxVertexArray::getPackedColor(int i) const
{
    const uint8_t* p = element(OX_GFX_COMPONENT_COLOR, 0, i);
    uint32_t c = 0;
    if (p)
        std::memcpy(&c, p, 4);
    return c;
}

bool oxVertexArray::setPackedColor(int i, uint32_t color)
{
    uint8_t* p = element(OX_GFX_COMPONENT_COLOR, 0, i);
    if (!p)
        return false;
    std::memcpy(p, &color, 4);
    touch();
    return true;
}

oxVec4f oxVertexArray::getTexCoord(int set, int i) const
{
    oxVec4f v;
    if (const uint8_t* p = element(OX_GFX_COMPONENT_TEXCOORD, set, i))
        std::memcpy(&v, p, sizeof(float) * size_t(oxVertexFormat(_format).getTexCoordSize()));
    return v;
}

bool oxVertexArray::setTexCoord(int set, int i, const oxVec4f& v)
{
    uint8_t* p = element(OX_GFX_COMPONENT_TEXCOORD, set, i);
    if (!p)
        return false;
    std::memcpy(p, &v, sizeof(float) * size_t(oxVertexFormat(_format).getTexCoordSize()));
    touch();
    return true;
}

float oxVertexArray::getBlendWeight(int i, int k) const
{
    const uint8_t* p = element(OX_GFX_COMPONENT_BLEND_WEIGHT, 0, i);
    float w = 0.0f;
    if (p && k >= 0 && k < oxVertexFormat(_format).getBlendWeightCount())
        std::memcpy(&w, p + 4 * k, 4);
    return w;
}

bool oxVertexArray::setBlendWeight(int i, int k, float w)
{
    uint8_t* p = element(OX_GFX_COMPONENT_BLEND_WEIGHT, 0, i);
    if (!p || k < 0 || k >= oxVertexFormat(_format).getBlendWeightCount())
        return false;
    std::memcpy(p + 4 * k, &w, 4);
    touch();
    return true;
}

int oxVertexArray::getBlendIndex(int i, int k) const
{
    const uint8_t* p = element(OX_GFX_COMPONENT_BLEND_INDEX, 0, i);
    return p && k >= 0 && k < oxVertexFormat(_format).getBlendIndexCount() ? p[k] : 0;
}

bool oxVertexArray::setBlendIndex(int i, int k, int index)
{
    uint8_t* p = element(OX_GFX_COMPONENT_BLEND_INDEX, 0, i);
    if (!p || k < 0 || k >= oxVertexFormat(_format).getBlendIndexCount() || index < 0 || index > 255)
        return false;
    p[k] = uint8_t(index);
    touch();
    return true;
}

bool oxVertexArray::copyVertex(const oxVertexArray* from, int fromIndex, int toIndex, oxVertexFormat format)
{
    if (!from || fromIndex < 0 || fromIndex >= from->getVertexCount() || toIndex < 0 ||
        toIndex >= getVertexCount())
        return false;
    for (int c = 0; c < kComponentTypeCount; ++c) {
        auto component = OX_GFX_COMPONENT(c);
        int sets = component == OX_GFX_COMPONENT_TEXCOORD ? oxVertexFormat::kMaxTexCoordSets : 1;
        for (int index = 0; index < sets; ++index) {
            if (!format.has(component, index))
                continue;
            oxVertexStream src = from->getStream(component, index);
            oxVertexStream dst = getStream(component, index);
            if (!src.isValid() || !dst.isValid())
                continue;
            int scalars = std::min(src.scalarCount, dst.scalarCount);
            std::memcpy(dst.at(toIndex), src.at(fromIndex), size_t(scalars) * size_t(oxGetScalarSize(src.scalarType)));
        }
    }
    touch();
    return true;
}

uint32_t oxVertexArray::packColor(const oxVec4f& c)
{
    return uint32_t(toByte(c.x)) | uint32_t(toByte(c.y)) << 8 | uint32_t(toByte(c.z)) << 16 |
           uint32_t(toByte(c.w)) << 24;
}

oxVec4f oxVertexArray::unpackColor(uint32_t c)
{
    return {float(c & 0xFF) / 255.0f, float((c >> 8) & 0xFF) / 255.0f, float((c >> 16) & 0xFF) / 255.0f,
            float(c >> 24) / 255.0f};
}

} // namespace Kel::Gfx

#include "platform/gfx/oxVertexArray2.h"

#include "platform/core/oxOutput.h"

namespace Kel::Gfx {

void oxVertexData::arkRegisterInitialize(oxFields<oxVertexData>& f)
{
    f.add(OX_FIELD(componentType)).enumeration(&getOX_GFX_COMPONENTMetaEnum);
    f.add(OX_FIELD(componentIndex));
    f.add(OX_FIELD(scalarType)).enumeration(&getOX_GFX_SCALARMetaEnum).setDefault(OX_GFX_SCALAR_FLOAT);
    f.add(OX_FIELD(scalarCount)).setDefault(3);
    f.add(OX_FIELD(data));
}

bool oxVertexData::configure(OX_GFX_COMPONENT type, int index, OX_GFX_SCALAR scalarType, int scalarCount,
                             int vertexCount)
{
    if (scalarCount < 1 || scalarCount > 16 || vertexCount < 0 || oxGetScalarSize(scalarType) == 0 ||
        type < 0 || type >= kComponentTypeCount) {
        Core::oxReportWarning("oxVertexData: invalid layout (type %d, %d scalars of type %d, %d vertices)",
                              int(type), scalarCount, int(scalarType), vertexCount);
        return false;
    }
    _componentType = type;
    _componentIndex = index;
    _scalarType = scalarType;
    _scalarCount = scalarCount;
    _data.clear();
    _data.resize(size_t(getElementSize()) * size_t(vertexCount));
    touch();
    return true;
}

bool oxVertexData::resize(int vertexCount)
{
    if (vertexCount < 0 || getElementSize() == 0)
        return false;
    _data.resize(size_t(getElementSize()) * size_t(vertexCount));
    touch();
    return true;
}

int oxVertexData::getElementSize() const
{
    return _scalarCount >= 1 && _scalarCount <= 16 ? _scalarCount * oxGetScalarSize(_scalarType) : 0;
}

int oxVertexData::getCount() const
{
    int size = getElementSize();
    return size ? int(_data.size() / size_t(size)) : 0;
}

void oxVertexArray2::arkRegisterInitialize(oxFields<oxVertexArray2>& f)
{
    f.add(OX_FIELD(vertexCount));
    f.add(OX_FIELD(vertexData)).constructWithOwner();
}

bool oxVertexArray2::setVertexCount(int vertexCount)
{
    if (vertexCount < 0)
        return false;
    _vertexCount = vertexCount;
    for (int i = 0; _vertexData && i < _vertexData->getCount(); ++i)
        if (oxVertexData* d = _vertexData->get(i))
            d->resize(vertexCount);
    touch();
    return true;
}

oxVertexData* oxVertexArray2::findVertexData(int componentType, int index) const
{
    for (int i = 0; _vertexData && i < _vertexData->getCount(); ++i) {
        oxVertexData* d = _vertexData->get(i);
        if (d && d->getComponentType() == componentType && d->getComponentIndex() == index)
            return d;
    }
    return nullptr;
}

oxVertexData* oxVertexArray2::addVertexData(OX_GFX_COMPONENT type, int index, OX_GFX_SCALAR scalarType,
                                            int scalarCount)
{
    if (!_vertexData)
        return nullptr;
    Core::oxSmartPointer<oxVertexData> d = oxVertexData::_instantiateFromPool(getMemoryPool());
    if (!d->configure(type, index, scalarType, scalarCount, _vertexCount))
        return nullptr;
    removeVertexData(type, index);
    _vertexData->append(d);
    touch();
    return d;
}

bool oxVertexArray2::removeVertexData(int componentType, int index)
{
    oxVertexData* d = findVertexData(componentType, index);
    if (!d)
        return false;
    _vertexData->removeObject(d);
    touch();
    return true;
}

oxVertexStream oxVertexArray2::getStream(OX_GFX_COMPONENT component, int index) const
{
    oxVertexStream s;
    oxVertexData* d = findVertexData(component, index);
    // A component shorter than the vertex count (a file may say so) is not drawable.
    if (!d || _vertexCount == 0 || d->getCount() < _vertexCount)
        return s;
    s.data = d->getData();
    s.stride = d->getElementSize();
    s.scalarCount = d->getScalarCount();
    s.scalarType = d->getScalarType();
    return s;
}

oxVertexFormat oxVertexArray2::getFormat() const
{
    uint32_t bits = 0;
    auto present = [&](OX_GFX_COMPONENT c, int i = 0) { return getStream(c, i).isValid(); };
    if (present(OX_GFX_COMPONENT_POSITION))
        bits |= oxVertexFormat::kPositions;
    if (present(OX_GFX_COMPONENT_NORMAL))
        bits |= oxVertexFormat::kNormals;
    if (present(OX_GFX_COMPONENT_COLOR))
        bits |= oxVertexFormat::kColors;
    if (present(OX_GFX_COMPONENT_SECONDARY_COLOR))
        bits |= oxVertexFormat::kSecondaryColors;
    if (present(OX_GFX_COMPONENT_BINORMAL))
        bits |= oxVertexFormat::kBinormals;
    if (present(OX_GFX_COMPONENT_TANGENT))
        bits |= oxVertexFormat::kTangents;
    oxVertexFormat format(bits);
    if (present(OX_GFX_COMPONENT_BLEND_WEIGHT))
        format = format | oxVertexFormat::blendWeights(getStream(OX_GFX_COMPONENT_BLEND_WEIGHT).scalarCount);
    if (present(OX_GFX_COMPONENT_BLEND_INDEX))
        format = format | oxVertexFormat::blendIndices(getStream(OX_GFX_COMPONENT_BLEND_INDEX).scalarCount);
    int sets = 0;
    while (sets < oxVertexFormat::kMaxTexCoordSets && present(OX_GFX_COMPONENT_TEXCOORD, sets))
        ++sets;
    if (sets > 0) {
        int size = getStream(OX_GFX_COMPONENT_TEXCOORD, 0).scalarCount;
        format = format | oxVertexFormat::texCoords(sets, size < 2 ? 2 : size > 4 ? 4 : size);
    }
    return format;
}

} // namespace Kel::Gfx

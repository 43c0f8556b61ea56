#include "platform/attrs/oxGeometryAttr.h"

namespace Kel::Attrs {

using namespace Gfx;

void oxBaseGeometryAttr::arkRegisterInitialize(oxFields<oxBaseGeometryAttr>& f)
{
    f.add(OX_FIELD(primType)).enumeration(&getOX_GFX_DRAWMetaEnum);
    f.add(OX_FIELD(primCount));
    f.add(OX_FIELD(firstVertex));
    f.add(OX_FIELD(indexArray));
    f.add(OX_FIELD(primLengths));
}

void oxBaseGeometryAttr::configurePrimitive(OX_GFX_DRAW type, int count, int firstVertex)
{
    _primType = type;
    _primCount = count < 0 ? 0 : count;
    _firstVertex = firstVertex < 0 ? 0 : firstVertex;
    touch();
}

oxIndexArray* oxBaseGeometryAttr::configureIndexArray(int count)
{
    _indexArray = oxIndexArray::_instantiateFromPool(getMemoryPool());
    _indexArray->setCount(count);
    touch();
    return _indexArray;
}

bool oxBaseGeometryAttr::setPrimitiveLength(int index, unsigned length)
{
    if (index < 0)
        return false;
    if (!_primLengths)
        _primLengths = oxPrimLengthArray::_instantiateFromPool(getMemoryPool());
    if (_primLengths->getCount() <= index)
        _primLengths->setCount(index + 1);
    _primLengths->set(index, length);
    touch();
    return true;
}

unsigned oxBaseGeometryAttr::getPrimitiveLength(int index) const
{
    return _primLengths && index >= 0 && index < _primLengths->getCount() ? _primLengths->get(index) : 0;
}

int oxBaseGeometryAttr::getVertexCount() const
{
    oxVertexArrayBase* v = getVertexSource();
    return v ? v->getVertexCount() : 0;
}

oxVertexFormat oxBaseGeometryAttr::getVertexFormat() const
{
    oxVertexArrayBase* v = getVertexSource();
    return v ? v->getFormat() : oxVertexFormat();
}

oxDrawDescription oxBaseGeometryAttr::describe() const
{
    oxDrawDescription d;
    d.primitiveType = _primType;
    d.primitiveCount = _primCount;
    d.firstVertex = _firstVertex;
    d.vertices = getVertexSource();
    d.indices = _indexArray;
    d.lengths = _primLengths;
    return d;
}

bool oxBaseGeometryAttr::transform(const oxMatrix44f& m)
{
    oxVertexArrayBase* v = getVertexSource();
    return v && v->transform(m);
}

bool oxBaseGeometryAttr::extendBounds(oxBox3f& box) const
{
    oxVertexArrayBase* v = getVertexSource();
    return v && v->extendBox(box);
}

bool oxBaseGeometryAttr::stampMatches(const CacheStamp& s) const
{
    const oxVertexArrayBase* v = getVertexSource();
    if (s.version != _version || s.vertices.get() != v || s.indices.get() != _indexArray.get() ||
        s.lengths.get() != _primLengths.get() || s.primType != _primType || s.primCount != _primCount ||
        s.firstVertex != _firstVertex)
        return false;
    if (v && (s.vertexVersion != v->getVersion() || s.vertexCount != v->getVertexCount() ||
              s.positions != v->getStream(OX_GFX_COMPONENT_POSITION).data))
        return false;
    if (_indexArray && (s.indexCount != _indexArray->getCount() || s.indexData != _indexArray->getData()))
        return false;
    return !_primLengths || (s.lengthCount == _primLengths->getCount() && s.lengthData == _primLengths->getData());
}

oxGeometryCache* oxBaseGeometryAttr::getCache() const
{
    if (_cache && !stampMatches(_cacheStamp))
        setCache(nullptr);
    return _cache.get();
}

void oxBaseGeometryAttr::setCache(std::unique_ptr<oxGeometryCache> cache) const
{
    _cache = std::move(cache);
    CacheStamp s;
    if (_cache) {
        oxVertexArrayBase* v = getVertexSource();
        s.vertices = v;
        s.indices = _indexArray;
        s.lengths = _primLengths;
        s.version = _version;
        s.primType = _primType;
        s.primCount = _primCount;
        s.firstVertex = _firstVertex;
        if (v) {
            s.vertexVersion = v->getVersion();
            s.vertexCount = v->getVertexCount();
            s.positions = v->getStream(OX_GFX_COMPONENT_POSITION).data;
        }
        if (_indexArray) {
            s.indexCount = _indexArray->getCount();
            s.indexData = _indexArray->getData();
        }
        if (_primLengths) {
            s.lengthCount = _primLengths->getCount();
            s.lengthData = _primLengths->getData();
        }
    }
    _cacheStamp = std::move(s);
}

void oxBaseGeometryAttr::applyTo(oxVisualContext& vc)
{
    if (getVertexSource())
        vc.drawGeometry(describe());
}

void oxGeometryAttr::arkRegisterInitialize(oxFields<oxGeometryAttr>& f)
{
    f.add(OX_FIELD(vertexArray));
}

oxVertexArray* oxGeometryAttr::configureVertexArray(oxVertexFormat format, int vertexCount)
{
    oxSmartPointer<oxVertexArray> v = oxVertexArray::_instantiateFromPool(getMemoryPool());
    if (!v->configure(format, vertexCount))
        return nullptr;
    _vertexArray = v;
    return v;
}

bool oxGeometryAttr::setPosition(int i, const oxVec3f& p)
{
    return _vertexArray && _vertexArray->setPosition(i, p);
}

bool oxGeometryAttr::setNormal(int i, const oxVec3f& n)
{
    return _vertexArray && _vertexArray->setNormal(i, n);
}

bool oxGeometryAttr::setColor(int i, const oxVec4f& c)
{
    return _vertexArray && _vertexArray->setColor(i, c);
}

bool oxGeometryAttr::setTextureCoord(int i, int set, const Math::oxVec2f& uv)
{
    return _vertexArray && _vertexArray->setTexCoord(set, i, uv);
}

} // namespace Kel::Attrs

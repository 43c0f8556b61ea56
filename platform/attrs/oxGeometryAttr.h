#pragma once
#include <memory>

#include "platform/attrs/oxAttr.h"
#include "platform/gfx/oxIndexArray.h"
#include "platform/gfx/oxVertexArray.h"

namespace Kel::Attrs {

// Something made from a geometry attribute's vertices and primitives for a purpose of its
// own (a search structure for rays, say) and kept with the attribute. It is no field: never
// stored, copied or compared.
class oxGeometryCache {
public:
    virtual ~oxGeometryCache() = default;
};

// What every geometry attribute holds beside its vertices: a primitive type (0 points,
// 1 lines, 2 line strips, 3 triangles, 4 triangle strips, 5 fans), a primitive count, a
// first-vertex offset added to every vertex number, optional 16-bit indices, and for strips
// and fans one length per primitive. Applying it draws it (oxDrawDescription tells how the
// parts combine); a geometry without vertices draws nothing.
class oxBaseGeometryAttr : public oxAttr {
    OX_CLASS(oxBaseGeometryAttr, oxAttr)
    OX_FIELDS(primType, primCount, firstVertex, indexArray, primLengths)
public:
    virtual Gfx::oxVertexArrayBase* getVertexSource() const = 0;

    void configurePrimitive(Gfx::OX_GFX_DRAW type, int count, int firstVertex = 0);
    Gfx::OX_GFX_DRAW getPrimitiveType() const { return _primType; }
    int getPrimitiveCount() const { return _primCount; }
    void setPrimitiveCount(int count)
    {
        _primCount = count < 0 ? 0 : count;
        touch();
    }
    int getFirstVertex() const { return _firstVertex; }

    Gfx::oxIndexArray* getIndexArray() const { return _indexArray; }
    void setIndexArray(Gfx::oxIndexArray* indices)
    {
        _indexArray = indices;
        touch();
    }
    // A new index array of `count` zero indices.
    Gfx::oxIndexArray* configureIndexArray(int count);
    Gfx::oxPrimLengthArray* getPrimLengthArray() const { return _primLengths; }
    void setPrimLengthArray(Gfx::oxPrimLengthArray* lengths)
    {
        _primLengths = lengths;
        touch();
    }
    // Sets the length of strip or fan `index`, growing the length array as needed.
    bool setPrimitiveLength(int index, unsigned length);
    unsigned getPrimitiveLength(int index) const;

    int getVertexCount() const;
    Gfx::oxVertexFormat getVertexFormat() const;
    // Elements drawn by the primitives, or -1 when they do not fit the arrays.
    int countElements() const { return describe().countElements(); }
    Gfx::oxDrawDescription describe() const;

    // Transforms the vertices (see oxVertexArrayBase::transform).
    virtual bool transform(const oxMatrix44f& m);
    bool extendBounds(oxBox3f& box) const override;

    // Writes into the index or length list behind the attribute's back are announced here,
    // as vertex writes are through the vertex array's touch(); the attribute's own setters,
    // and the vertex arrays, announce theirs.
    void touch() { ++_version; }
    uint32_t getVersion() const { return _version; }
    // The cache, while nothing it was made from has changed since setCache(); null
    // otherwise, a stale cache being let go. Caches of several purposes do not share an
    // attribute: the last one set stays.
    oxGeometryCache* getCache() const;
    void setCache(std::unique_ptr<oxGeometryCache> cache) const;

protected:
    oxBaseGeometryAttr() = default;
    static void arkRegisterInitialize(oxFields<oxBaseGeometryAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    Gfx::OX_GFX_DRAW _primType = Gfx::OX_GFX_DRAW_POINTS;
    int32_t _primCount = 0;
    int32_t _firstVertex = 0;
    oxSmartPointer<Gfx::oxIndexArray> _indexArray;
    oxSmartPointer<Gfx::oxPrimLengthArray> _primLengths;

private:
    // What a cache was made from. The arrays are held, so that a new array made where a
    // freed one was cannot pass for it; their sizes and data addresses catch changes made
    // through the lists without a touch() when they reallocate.
    struct CacheStamp {
        oxSmartPointer<Gfx::oxVertexArrayBase> vertices;
        oxSmartPointer<Gfx::oxIndexArray> indices;
        oxSmartPointer<Gfx::oxPrimLengthArray> lengths;
        uint32_t vertexVersion = 0, version = 0;
        int vertexCount = 0, indexCount = 0, lengthCount = 0;
        const void *positions = nullptr, *indexData = nullptr, *lengthData = nullptr;
        int primType = 0, primCount = 0, firstVertex = 0;
    };
    bool stampMatches(const CacheStamp& s) const;
    uint32_t _version = 0;
    mutable std::unique_ptr<oxGeometryCache> _cache;
    mutable CacheStamp _cacheStamp;
};

// Geometry over an interleaved oxVertexArray.
class oxGeometryAttr : public oxBaseGeometryAttr {
    OX_CLASS(oxGeometryAttr, oxBaseGeometryAttr)
    OX_FIELDS(vertexArray)
public:
    Gfx::oxVertexArrayBase* getVertexSource() const override { return _vertexArray; }
    Gfx::oxVertexArray* getVertexArray() const { return _vertexArray; }
    void setVertexArray(Gfx::oxVertexArray* vertices)
    {
        _vertexArray = vertices;
        touch();
    }
    // A new vertex array of that format and count (null, with a warning, for a bad format).
    Gfx::oxVertexArray* configureVertexArray(Gfx::oxVertexFormat format, int vertexCount);

    // Vertex writes; false without a vertex array or for a missing component or bad index.
    bool setPosition(int i, const oxVec3f& p);
    bool setNormal(int i, const oxVec3f& n);
    bool setColor(int i, const oxVec4f& c);
    bool setTextureCoord(int i, int set, const Math::oxVec2f& uv);

protected:
    oxGeometryAttr() = default;
    static void arkRegisterInitialize(oxFields<oxGeometryAttr>& f);

    oxSmartPointer<Gfx::oxVertexArray> _vertexArray;
};

OX_OBJECT_LIST(oxGeometryAttrList, oxGeometryAttr)

} // namespace Kel::Attrs

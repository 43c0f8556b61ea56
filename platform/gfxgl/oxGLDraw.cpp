#include <algorithm>
#include <cstring>

#include "platform/gfxgl/oxGLPrivate.h"

namespace Kel::Gfx {

namespace {
// Scalar k of a vertex as a float; integers keep their value unless `normalised`, where
// they map their range onto 0..1 (or -1..1 for signed ones), as colours do.
float readScalar(const oxVertexStream& s, int vertex, int k, bool normalised = false)
{
    const uint8_t* p = s.at(vertex);
    switch (s.scalarType) {
    case OX_GFX_SCALAR_FLOAT: {
        float f;
        std::memcpy(&f, p + 4 * k, 4);
        return f;
    }
    case OX_GFX_SCALAR_UNSIGNED_BYTE: return normalised ? float(p[k]) / 255.0f : float(p[k]);
    case OX_GFX_SCALAR_UNSIGNED_SHORT: {
        uint16_t v;
        std::memcpy(&v, p + 2 * k, 2);
        return normalised ? float(v) / 65535.0f : float(v);
    }
    case OX_GFX_SCALAR_SHORT: {
        int16_t v;
        std::memcpy(&v, p + 2 * k, 2);
        return normalised ? std::max(float(v) / 32767.0f, -1.0f) : float(v);
    }
    }
    return 0.0f;
}

oxVec3f readVec3(const oxVertexStream& s, int vertex)
{
    oxVec3f v;
    for (int k = 0; k < std::min(s.scalarCount, 3); ++k)
        v[k] = readScalar(s, vertex, k);
    return v;
}

GLenum glScalar(OX_GFX_SCALAR t)
{
    switch (t) {
    case OX_GFX_SCALAR_FLOAT: return GL_FLOAT;
    case OX_GFX_SCALAR_UNSIGNED_BYTE: return GL_UNSIGNED_BYTE;
    case OX_GFX_SCALAR_UNSIGNED_SHORT: return GL_UNSIGNED_SHORT;
    case OX_GFX_SCALAR_SHORT: return GL_SHORT;
    }
    return GL_FLOAT;
}

// What one fixed-function array takes: its sizes, whether it reads integers as they are
// (positions and texture coordinates take shorts), and whether integers are normalised
// (colours take every type).
struct ArrayKind {
    int minSize, maxSize;
    bool takesShorts;
    bool takesAllIntegers;
};
constexpr ArrayKind kPositions{2, 4, true, false};
constexpr ArrayKind kNormals{3, 3, false, false};
constexpr ArrayKind kColors{3, 4, true, true};
constexpr ArrayKind kTexCoords{1, 4, true, false};

struct GLArray {
    GLint size = 0;
    GLenum type = GL_FLOAT;
    GLsizei stride = 0;
    const void* data = nullptr;
};

// The stream from vertex `first` on as GL takes it: in place when GL reads it as it is,
// else converted to floats in `scratch` (`count` vertices).
GLArray arrayOf(const oxVertexStream& s, ArrayKind kind, int first, int count, std::vector<float>& scratch)
{
    bool typeOk = s.scalarType == OX_GFX_SCALAR_FLOAT || (kind.takesShorts && s.scalarType == OX_GFX_SCALAR_SHORT) ||
                  kind.takesAllIntegers;
    if (typeOk && s.scalarCount >= kind.minSize && s.scalarCount <= kind.maxSize)
        return {s.scalarCount, glScalar(s.scalarType), s.stride, s.at(first)};
    int size = std::clamp(s.scalarCount, kind.minSize, kind.maxSize);
    scratch.assign(size_t(count) * size_t(size), 0.0f);
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < std::min(size, s.scalarCount); ++k)
            scratch[size_t(i) * size_t(size) + size_t(k)] = readScalar(s, first + i, k, kind.takesAllIntegers);
    // A colour without alpha is opaque.
    if (kind.takesAllIntegers && size == 4 && s.scalarCount < 4)
        for (int i = 0; i < count; ++i)
            scratch[size_t(i) * 4 + 3] = 1.0f;
    return {size, GL_FLOAT, 0, scratch.data()};
}
} // namespace

void oxGLDraw::enable(GLenum array, bool& on, bool want)
{
    if (on == want)
        return;
    if (want)
        glEnableClientState(array);
    else
        glDisableClientState(array);
    on = want;
}

void oxGLDraw::selectClientUnit(int unit)
{
    if (clientUnit != unit)
        oxGL.ClientActiveTexture(GLenum(GL_TEXTURE0 + unit));
    clientUnit = unit;
}

void oxGLDraw::enableTexCoords(int unit, bool want)
{
    if (texCoordArrays[size_t(unit)] == want)
        return;
    selectClientUnit(unit);
    enable(GL_TEXTURE_COORD_ARRAY, texCoordArrays[size_t(unit)], want);
}

void oxGLDraw::blend(const oxGLState& s, oxVertexArrayBase* v, int first, int count, bool withNormals)
{
    oxVertexStream p = v->getStream(OX_GFX_COMPONENT_POSITION);
    oxVertexStream n = v->getStream(OX_GFX_COMPONENT_NORMAL);
    oxVertexStream w = v->getStream(OX_GFX_COMPONENT_BLEND_WEIGHT);
    oxVertexStream m = v->getStream(OX_GFX_COMPONENT_BLEND_INDEX);
    withNormals = withNormals && n.isValid();
    positions.resize(size_t(count) * 3);
    normals.resize(withNormals ? size_t(count) * 3 : 0);
    const oxMatrix44f identity;
    for (int i = 0; i < count; ++i) {
        int vertex = first + i;
        oxVec3f position = readVec3(p, vertex), normal = withNormals ? readVec3(n, vertex) : oxVec3f();
        oxVec3f blendedPosition, blendedNormal;
        float total = 0.0f;
        for (int k = 0; k < w.scalarCount; ++k) {
            float weight = readScalar(w, vertex, k);
            if (weight == 0.0f)
                continue;
            // Without indices weight k goes with matrix k (vertex blending), with them with
            // the matrix the index names (a palette).
            size_t index = m.isValid() && k < m.scalarCount ? size_t(readScalar(m, vertex, k)) : size_t(k);
            const oxMatrix44f& matrix = index < s.blendMatrices.size() ? s.blendMatrices[index] : identity;
            blendedPosition += matrix.transformPoint(position) * weight;
            if (withNormals)
                blendedNormal += matrix.transformVector(normal) * weight;
            total += weight;
        }
        if (total == 0.0f) {
            blendedPosition = position;
            blendedNormal = normal;
        }
        std::memcpy(&positions[size_t(i) * 3], &blendedPosition, sizeof blendedPosition);
        if (withNormals) {
            oxVec3f unit = blendedNormal.normalized();
            std::memcpy(&normals[size_t(i) * 3], &unit, sizeof unit);
        }
    }
}

void oxGLDraw::bindBlendAttributes(oxVertexArrayBase* v, int first)
{
    oxVertexStream w = v->getStream(OX_GFX_COMPONENT_BLEND_WEIGHT);
    oxVertexStream m = v->getStream(OX_GFX_COMPONENT_BLEND_INDEX);
    // As the host reads them: integers keep their values.
    oxGL.VertexAttribPointer(oxGLBlendProgram::kWeightLocation, w.scalarCount, glScalar(w.scalarType), GL_FALSE,
                             w.stride, w.at(first));
    oxGL.EnableVertexAttribArray(oxGLBlendProgram::kWeightLocation);
    if (m.isValid()) {
        oxGL.VertexAttribPointer(oxGLBlendProgram::kIndexLocation, m.scalarCount, glScalar(m.scalarType), GL_FALSE,
                                 m.stride, m.at(first));
        oxGL.EnableVertexAttribArray(oxGLBlendProgram::kIndexLocation);
    }
}

void oxGLDraw::unbindBlendAttributes()
{
    // Left on, they would be read (and their pointers followed) by every later draw that a
    // display list compiles.
    oxGL.DisableVertexAttribArray(oxGLBlendProgram::kWeightLocation);
    oxGL.DisableVertexAttribArray(oxGLBlendProgram::kIndexLocation);
}

void oxGLDraw::draw(oxGLVisualContext& vc, const oxDrawDescription& d, const oxGLMorphDraw* morph)
{
    int elements = d.countElements();
    GLenum mode = oxGLPrimitive(d.primitiveType);
    if (elements <= 0 || mode == kGLNoEnum)
        return;
    const oxGLState& s = *vc._state;
    oxVertexArrayBase* v = d.vertices;
    oxVertexFormat format = v->getFormat();
    oxVertexFormat mask(s.geometryMask);
    int first = d.firstVertex;
    // Vertices from `first` on that the primitives can reach.
    int count = d.indices ? v->getVertexCount() - first : elements;

    oxVertexStream positionStream = v->getStream(OX_GFX_COMPONENT_POSITION);
    oxVertexStream normalStream = mask.hasNormals() ? v->getStream(OX_GFX_COMPONENT_NORMAL) : oxVertexStream();
    GLArray position, normal;
    bool blended = !morph && s.vertexBlend && format.getBlendWeightCount() > 0 && mask.getBlendWeightCount() > 0;
    oxGLBlendProgram* program = morph ? morph->program : blended ? vc.blendProgramFor(v) : nullptr;
    if (blended && !program) {
        blend(s, v, first, count, normalStream.isValid());
        position = {3, GL_FLOAT, 0, positions.data()};
        if (normalStream.isValid())
            normal = {3, GL_FLOAT, 0, normals.data()};
    } else {
        position = arrayOf(positionStream, kPositions, first, count, convertedPositions);
        if (normalStream.isValid())
            normal = arrayOf(normalStream, kNormals, first, count, convertedNormals);
    }
    enable(GL_VERTEX_ARRAY, vertexArray, true);
    glVertexPointer(position.size, position.type, position.stride, position.data);
    enable(GL_NORMAL_ARRAY, normalArray, normal.data != nullptr);
    if (normal.data)
        glNormalPointer(normal.type, normal.stride, normal.data);
    else
        glNormal3f(0.0f, 0.0f, 1.0f);

    oxVertexStream colorStream = mask.hasColors() ? v->getStream(OX_GFX_COMPONENT_COLOR) : oxVertexStream();
    enable(GL_COLOR_ARRAY, colorArray, colorStream.isValid());
    if (colorStream.isValid()) {
        GLArray color = arrayOf(colorStream, kColors, first, count, convertedColors);
        glColorPointer(color.size, color.type, color.stride, color.data);
    }
    oxVertexStream secondaryStream =
        mask.hasSecondaryColors() ? v->getStream(OX_GFX_COMPONENT_SECONDARY_COLOR) : oxVertexStream();
    enable(GL_SECONDARY_COLOR_ARRAY, secondaryArray, secondaryStream.isValid());
    if (secondaryStream.isValid()) {
        GLArray secondary = arrayOf(secondaryStream, kColors, first, count, convertedSecondary);
        // Secondary colours have no alpha; the stride steps over it.
        oxGL.SecondaryColorPointer(3, secondary.type, secondary.stride ? secondary.stride : GLsizei(secondary.size * sizeof(float)),
                                   secondary.data);
        glEnable(GL_COLOR_SUM);
    }

    // A unit samples coordinates when it textures from a set the vertices (and the mask) have.
    int maskSets = mask.getTexCoordSetCount();
    for (int u = 0; u < vc._unitCount; ++u) {
        const oxGLUnitState& unit = s.units[size_t(u)];
        oxVertexStream coords;
        if (unit.enabledTarget && unit.source == OX_GFX_TEXCOORD_SET && unit.set < maskSets)
            coords = v->getStream(OX_GFX_COMPONENT_TEXCOORD, unit.set);
        enableTexCoords(u, coords.isValid());
        if (coords.isValid()) {
            GLArray c = arrayOf(coords, kTexCoords, first, count, convertedTexCoords[size_t(u)]);
            selectClientUnit(u);
            glTexCoordPointer(c.size, c.type, c.stride, c.data);
        }
    }

    if (morph) {
        // Morphed normals are used as they come, as fixed function would.
        vc.beginBlendProgram(*program, v, false);
        vc.beginMorph(*morph);
    } else if (program) {
        bindBlendAttributes(v, first);
        vc.beginBlendProgram(*program, v, normalStream.isValid());
    }

    const uint16_t* indices = d.indices ? d.indices->data() : nullptr;
    bool oneRun = d.primitiveType <= OX_GFX_DRAW_LINES || d.primitiveType == OX_GFX_DRAW_TRIANGLES || !d.lengths;
    int start = 0;
    for (int p = 0; p < (oneRun ? 1 : d.primitiveCount); ++p) {
        int n = oneRun ? elements : int((*d.lengths)[p]);
        if (n > 0) {
            if (indices)
                glDrawElements(mode, n, GL_UNSIGNED_SHORT, indices + start);
            else
                glDrawArrays(mode, start, n);
        }
        start += n;
    }

    if (program) {
        vc.endBlendProgram();
        unbindBlendAttributes();
    }
    if (secondaryStream.isValid())
        glDisable(GL_COLOR_SUM);
    // GL leaves the current colour undefined after drawing with colours; the device's stands.
    if (colorStream.isValid()) {
        oxVec4f color = s.color;
        glColor4fv(&color.x);
        vc.change([color](oxGLState& state) { state.color = color; });
    }
}

} // namespace Kel::Gfx

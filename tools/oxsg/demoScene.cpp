#include "tools/oxsg/demoScene.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "tools/oxsg/demoCharacter.h"

namespace oxsg {

using namespace Kel::Sg;
using namespace Kel::Attrs;
using namespace Kel::Gfx;
using Kel::Math::oxVec2f;

namespace {

constexpr float kPi = 3.14159265f;

// Vertices with normals and one set of texture coordinates, as indexed triangles.
struct Mesh {
    std::vector<oxVec3f> positions, normals;
    std::vector<oxVec2f> uvs;
    std::vector<uint16_t> indices;

    uint16_t vertex(const oxVec3f& p, const oxVec3f& n, const oxVec2f& uv)
    {
        positions.push_back(p);
        normals.push_back(n);
        uvs.push_back(uv);
        return uint16_t(positions.size() - 1);
    }
    void triangle(uint16_t a, uint16_t b, uint16_t c) { indices.insert(indices.end(), {a, b, c}); }

    // A (columns + 1) × (rows + 1) lattice whose point at (u, v) in [0, 1]² `at` places;
    // triangles wind counter-clockwise seen from where the normals point.
    template <class F>
    void lattice(int columns, int rows, F&& at)
    {
        const uint16_t base = uint16_t(positions.size());
        for (int j = 0; j <= rows; ++j)
            for (int i = 0; i <= columns; ++i) {
                oxVec3f p, n;
                oxVec2f uv(float(i) / float(columns), float(j) / float(rows));
                at(uv.x, uv.y, p, n, uv);
                vertex(p, n, uv);
            }
        for (int j = 0; j < rows; ++j)
            for (int i = 0; i < columns; ++i) {
                const uint16_t a = uint16_t(base + j * (columns + 1) + i), b = uint16_t(a + columns + 1);
                triangle(a, b, uint16_t(a + 1));
                triangle(uint16_t(a + 1), b, uint16_t(b + 1));
            }
    }

    // The mesh's coordinates are set 0; further sets are left for an effect to write.
    oxSmartPointer<oxGeometryAttr> build(int texCoordSets = 1) const
    {
        oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
        g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals |
                                    oxVertexFormat::texCoords(texCoordSets),
                                int(positions.size()));
        for (size_t i = 0; i < positions.size(); ++i) {
            g->setPosition(int(i), positions[i]);
            g->setNormal(int(i), normals[i]);
            g->setTextureCoord(int(i), 0, uvs[i]);
        }
        oxIndexArray* out = g->configureIndexArray(int(indices.size()));
        for (size_t i = 0; i < indices.size(); ++i)
            out->set(int(i), indices[i]);
        g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, int(indices.size() / 3));
        return g;
    }
};

// A square of side `size` in the xz plane facing up, its texture repeated `repeats` times.
Mesh ground(float size, int cells, float repeats)
{
    Mesh m;
    m.lattice(cells, cells, [&](float u, float v, oxVec3f& p, oxVec3f& n, oxVec2f& uv) {
        p = oxVec3f((u - 0.5f) * size, 0, (0.5f - v) * size);
        n = oxVec3f(0, 1, 0);
        uv = oxVec2f(u * repeats, v * repeats);
    });
    return m;
}

Mesh sphere(float radius, int slices, int stacks)
{
    Mesh m;
    m.lattice(slices, stacks, [&](float u, float v, oxVec3f& p, oxVec3f& n, oxVec2f&) {
        const float theta = kPi * (1 - v), phi = 2 * kPi * u;
        n = oxVec3f(std::sin(theta) * std::cos(phi), std::cos(theta), -std::sin(theta) * std::sin(phi));
        p = n * radius;
    });
    return m;
}

Mesh torus(float major, float minor, int segments, int sides)
{
    Mesh m;
    m.lattice(segments, sides, [&](float u, float v, oxVec3f& p, oxVec3f& n, oxVec2f&) {
        const float a = 2 * kPi * u, b = 2 * kPi * v;
        const oxVec3f ring(std::cos(a), 0, -std::sin(a));
        n = ring * std::cos(b) + oxVec3f(0, std::sin(b), 0);
        p = ring * major + n * minor;
    });
    return m;
}

// An axis-aligned cube of side `size` resting on y = 0, each face textured whole.
Mesh crate(float size)
{
    Mesh m;
    const float h = size / 2;
    const oxVec3f axes[3] = {oxVec3f(1, 0, 0), oxVec3f(0, 1, 0), oxVec3f(0, 0, 1)};
    for (int axis = 0; axis < 3; ++axis)
        for (float sign : {1.0f, -1.0f}) {
            const oxVec3f n = axes[axis] * sign, s = axes[(axis + 1) % 3] * sign, t = axes[(axis + 2) % 3];
            m.lattice(1, 1, [&](float u, float v, oxVec3f& p, oxVec3f& normal, oxVec2f&) {
                p = n * h + s * ((u - 0.5f) * size) + t * ((v - 0.5f) * size) + oxVec3f(0, h, 0);
                normal = n;
            });
        }
    return m;
}

// A quad in the xy plane facing +z, bottom edge centred on the origin.
Mesh card(float width, float height)
{
    Mesh m;
    m.lattice(1, 1, [&](float u, float v, oxVec3f& p, oxVec3f& n, oxVec2f&) {
        p = oxVec3f((u - 0.5f) * width, v * height, 0);
        n = oxVec3f(0, 0, 1);
    });
    return m;
}

// Procedural pictures, top row first, as the images are stored.
template <class F>
oxSmartPointer<oxTextureAttr> texture(int size, bool alpha, F&& texel)
{
    std::vector<uint8_t> pixels;
    pixels.reserve(size_t(size) * size * 4);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            oxVec4f c = texel(float(x) + 0.5f, float(y) + 0.5f);
            pixels.push_back(uint8_t(std::fmin(std::fmax(c.x, 0.0f), 1.0f) * 255 + 0.5f));
            pixels.push_back(uint8_t(std::fmin(std::fmax(c.y, 0.0f), 1.0f) * 255 + 0.5f));
            pixels.push_back(uint8_t(std::fmin(std::fmax(c.z, 0.0f), 1.0f) * 255 + 0.5f));
            if (alpha)
                pixels.push_back(uint8_t(std::fmin(std::fmax(c.w, 0.0f), 1.0f) * 255 + 0.5f));
        }
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    image->loadBuffer(pixels.data(), alpha ? OX_GFX_PIXEL_RGBA8 : OX_GFX_PIXEL_RGB8, size, size);
    oxSmartPointer<oxTextureAttr> t = oxTextureAttr::_instantiateRef();
    t->setImage(image, 0);
    return t;
}

// A cheap deterministic value noise, enough to keep flat colours from looking flat.
float noise(int x, int y)
{
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return float(h & 0xFFFF) / 65535.0f;
}

// Stone flags in two tones with dark joints.
oxSmartPointer<oxTextureAttr> flagstones()
{
    return texture(128, false, [](float x, float y) {
        const int tileX = int(x) / 64, tileY = int(y) / 64;
        const float jx = std::fabs(std::fmod(x, 64.0f) - 32), jy = std::fabs(std::fmod(y, 64.0f) - 32);
        const float joint = std::fmax(jx, jy) > 30 ? 0.55f : 1.0f;
        const float tone = (tileX + tileY) % 2 ? 0.78f : 0.66f;
        const float grain = 0.9f + 0.2f * noise(int(x), int(y));
        const float v = tone * joint * grain;
        return oxVec4f(v * 0.95f, v * 0.9f, v * 0.8f, 1);
    });
}

// Planks with a frame: the crate.
oxSmartPointer<oxTextureAttr> planks()
{
    return texture(64, false, [](float x, float y) {
        const bool frame = x < 6 || x > 58 || y < 6 || y > 58 || std::fabs(x - y) < 4;
        const float plank = std::fmod(y, 16.0f) < 1.5f ? 0.6f : 1.0f;
        const float grain = 0.85f + 0.15f * std::sin(x * 0.7f + 3 * noise(int(y) / 16, 0));
        const float v = (frame ? 0.7f : 1.0f) * plank * grain;
        return oxVec4f(0.72f * v, 0.5f * v, 0.28f * v, 1);
    });
}

// A round canopy on a trunk, transparent around them: the billboard.
oxSmartPointer<oxTextureAttr> tree()
{
    return texture(64, true, [](float x, float y) {
        const float dx = x - 32, dy = y - 24, r = std::sqrt(dx * dx + dy * dy);
        if (r < 22) {
            const float shade = 0.75f + 0.25f * (-dx - dy) / 30 + 0.1f * noise(int(x) / 3, int(y) / 3);
            return oxVec4f(0.2f * shade, 0.55f * shade, 0.18f * shade, 1);
        }
        if (std::fabs(x - 32) < 4 && y > 40)
            return oxVec4f(0.4f, 0.26f, 0.12f, 1);
        return oxVec4f(0, 0, 0, 0);
    });
}

template <class T>
oxSmartPointer<T> named(const char* name)
{
    oxSmartPointer<T> node = T::_instantiateRef();
    node->setName(name);
    return node;
}

oxSmartPointer<oxMaterialAttr> material(const oxVec4f& diffuse, float shininess = 0, float specular = 0)
{
    oxSmartPointer<oxMaterialAttr> m = oxMaterialAttr::_instantiateRef();
    m->setAmbient(oxVec4f(diffuse.x * 0.6f, diffuse.y * 0.6f, diffuse.z * 0.6f, diffuse.w));
    m->setDiffuse(diffuse);
    m->setSpecular(oxVec4f(specular, specular, specular, 1));
    m->setShininess(shininess);
    return m;
}

// A geometry node with its material and, when given, its texture on unit 0.
oxSmartPointer<oxGeometry> shape(const char* name, const Mesh& mesh, oxMaterialAttr* surface,
                                 oxTextureAttr* picture = nullptr)
{
    oxSmartPointer<oxGeometry> g = named<oxGeometry>(name);
    // The node's attributes apply in order: its state first, then the drawing.
    g->appendAttr(surface);
    oxSmartPointer<oxTextureStateAttr> texturing = oxTextureStateAttr::_instantiateRef();
    texturing->setEnabled(picture != nullptr);
    g->appendAttr(texturing);
    if (picture) {
        oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
        bind->setTexture(picture);
        g->appendAttr(bind);
    }
    oxSmartPointer<oxGeometryAttr> attr = mesh.build();
    g->addGeometryAttr(attr);
    oxBox3f box;
    attr->extendBounds(box);
    oxSmartPointer<oxSphere> bound = oxSphere::_instantiateRef();
    bound->set((box.min + box.max) * 0.5f, (box.max - box.min).length() * 0.5f);
    g->setBound(bound);
    return g;
}

oxSmartPointer<oxTransform> placed(const char* name, const oxMatrix44f& m, oxNode* child)
{
    oxSmartPointer<oxTransform> t = named<oxTransform>(name);
    t->setMatrix(&m);
    t->appendChild(child);
    return t;
}

oxMatrix44f at(float x, float y, float z)
{
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(x, y, z));
    return m;
}

// Motion as a keyframed transform over one subtree: `keys` poses a period apart / keys,
// `pose(f)` giving the matrix at the fraction f of the period, blended between keys (rotations
// along the sphere). The last key closes the cycle on the first pose.
template <class F>
oxSmartPointer<oxTransform> keyed(const char* name, oxNode* subject, double period, int keys, PLAY_MODE mode,
                                  F&& pose)
{
    oxSmartPointer<oxTransformSequence1_5> motion = oxTransformSequence1_5::_instantiateRef();
    motion->setComponentChannels(TRANSLATION | QUATERNION_ROTATION);
    motion->setKeyFrameCount(keys + 1);
    const int64_t cycle = int64_t(period * 1e9);
    for (int i = 0; i <= keys; ++i) {
        const float f = float(i) / float(keys);
        const oxMatrix44f m = pose(f);
        motion->setTimeAsLong(i, cycle * i / keys);
        motion->setMatrix(i, &m);
    }
    motion->validateKeyframes();
    motion->setDuration(cycle);
    motion->setPlayMode(mode);
    oxSmartPointer<oxTransform> t = named<oxTransform>(name);
    t->setTransformSource(motion);
    t->appendChild(subject);
    return t;
}

oxSmartPointer<oxLightAttr> light(OX_GFX_LIGHT_TYPE type, const oxVec3f& where, const oxVec4f& colour,
                                  const oxVec4f& ambient)
{
    oxSmartPointer<oxLightAttr> l = oxLightAttr::_instantiateRef();
    l->setType(type);
    if (type == OX_GFX_LIGHT_POSITIONAL)
        l->setPosition(where);
    else
        l->setDirection(where.normalized());
    l->setDiffuse(colour);
    l->setSpecular(colour);
    l->setAmbient(ambient);
    return l;
}

} // namespace

oxSmartPointer<oxMultiResolutionMeshInstance> buildProgressiveRock()
{
    // A sphere made lumpy by a sum of waves, fine enough that its coarsening shows.
    Mesh lumpy;
    lumpy.lattice(64, 32, [&](float u, float v, oxVec3f& p, oxVec3f& n, oxVec2f&) {
        const float theta = kPi * (1 - v), phi = 2 * kPi * u;
        const oxVec3f dir(std::sin(theta) * std::cos(phi), std::cos(theta), -std::sin(theta) * std::sin(phi));
        const float bumps = 1.0f + 0.12f * std::sin(5 * phi + 2 * theta) * std::sin(4 * theta) +
                            0.06f * std::cos(11 * phi - 3 * theta);
        p = dir * bumps;
        n = dir;
    });
    oxSmartPointer<oxGeometryAttr> source = lumpy.build();
    oxSmartPointer<oxMultiResolutionMeshCore> core = oxMultiResolutionMeshCore::_instantiateRef();
    core->setGeometryAttr(source);
    core->setPlacementPolicy(oxMultiResolutionMeshCore::PLACEMENT_OPTIMAL);
    core->setMinimumPolygonCount(60);
    core->generate();
    oxSmartPointer<oxMultiResolutionMeshInstance> rock = named<oxMultiResolutionMeshInstance>("rock");
    rock->appendAttr(material(oxVec4f(0.55f, 0.5f, 0.45f, 1), 20, 0.2f));
    oxSmartPointer<oxTextureStateAttr> plain = oxTextureStateAttr::_instantiateRef();
    plain->setEnabled(false);
    rock->appendAttr(plain);
    rock->setMultiResolutionMeshCore(core);
    // Every triangle within 8 units of the eye, the fewest from 40 on.
    rock->setNearEvaluationDistance(8);
    rock->setFarEvaluationDistance(40);
    return rock;
}

namespace {
// Vertex normals of `positions` under `indices`: the sum of the faces' area normals.
std::vector<oxVec3f> vertexNormals(const std::vector<oxVec3f>& positions, const std::vector<uint16_t>& indices)
{
    std::vector<oxVec3f> normals(positions.size());
    for (size_t i = 0; i + 2 < indices.size(); i += 3) {
        const oxVec3f &a = positions[indices[i]], &b = positions[indices[i + 1]], &c = positions[indices[i + 2]];
        const oxVec3f n = (b - a).cross(c - a);
        for (size_t k = 0; k < 3; ++k)
            normals[indices[i + k]] += n;
    }
    for (oxVec3f& n : normals)
        n = n.lengthSquared() > 0 ? n.normalized() : oxVec3f(0, 1, 0);
    return normals;
}

Kel::Gfx::oxVertexData* addVectors(Kel::Gfx::oxVertexData* data, const std::vector<oxVec3f>& vectors)
{
    std::memcpy(data->getData(), vectors.data(), vectors.size() * sizeof(oxVec3f));
    data->touch();
    return data;
}
} // namespace

oxSmartPointer<oxMorphInstance2> buildMorphingBlob()
{
    // A ball with two targets, spikes and a squashed drop, each with the normals its shape
    // has, weighed by a sequence that visits ball, spikes, drop and ball again.
    const Mesh ball = sphere(1, 48, 24);
    auto shaped = [&](float (*radius)(const oxVec3f&)) {
        std::vector<oxVec3f> p(ball.positions.size());
        for (size_t i = 0; i < p.size(); ++i)
            p[i] = ball.positions[i] * radius(ball.positions[i]);
        return p;
    };
    const std::vector<oxVec3f> shapes[2] = {
        shaped([](const oxVec3f& d) {
            return 1.0f + 0.35f * std::pow(std::fabs(std::sin(4 * std::atan2(d.z, d.x)) * std::sin(3 * std::acos(d.y))), 3.0f);
        }),
        shaped([](const oxVec3f& d) { return d.y > 0 ? 1.0f + 0.6f * d.y * d.y : 1.0f - 0.25f * d.y * d.y; })};
    const std::vector<oxVec3f> baseNormals = vertexNormals(ball.positions, ball.indices);

    oxSmartPointer<oxMorphedGeometryAttr> g = oxMorphedGeometryAttr::_instantiateRef();
    oxVertexArray2* v = g->configureVertexArray(int(ball.positions.size()));
    addVectors(v->addVertexData(OX_GFX_COMPONENT_POSITION, 0, OX_GFX_SCALAR_FLOAT, 3), ball.positions);
    addVectors(v->addVertexData(OX_GFX_COMPONENT_NORMAL, 0, OX_GFX_SCALAR_FLOAT, 3), baseNormals);
    oxIndexArray* out = g->configureIndexArray(int(ball.indices.size()));
    for (size_t i = 0; i < ball.indices.size(); ++i)
        out->set(int(i), ball.indices[i]);
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, int(ball.indices.size() / 3));
    oxMorphEntry* positions = g->appendMorphEntry(OX_GFX_COMPONENT_POSITION);
    oxMorphEntry* normals = g->appendMorphEntry(OX_GFX_COMPONENT_NORMAL);
    for (const std::vector<oxVec3f>& shape : shapes) {
        std::vector<oxVec3f> moved(shape.size()), turned = vertexNormals(shape, ball.indices);
        for (size_t i = 0; i < shape.size(); ++i) {
            moved[i] = shape[i] - ball.positions[i];
            turned[i] = turned[i] - baseNormals[i];
        }
        addVectors(positions->addTarget(int(shape.size())), moved);
        addVectors(normals->addTarget(int(shape.size())), turned);
    }

    oxSmartPointer<oxMorphSequence> weights = oxMorphSequence::_instantiateRef();
    weights->setCoefficientCount(2);
    weights->setKeyFrameCount(4);
    const float keys[2][4] = {{0, 1, 0, 0}, {0, 0, 1, 0}};
    for (int k = 0; k < 4; ++k)
        weights->setTime(k, 1.5f * float(k));
    for (int t = 0; t < 2; ++t)
        weights->setKeyCoefficient(t, keys[t]);
    weights->setDuration(4.5f);
    weights->setPlayMode(oxMorphSequence::REPEAT);
    weights->setInterpolationMethod(oxMorphSequence::LINEAR);

    oxSmartPointer<oxMorphInstance2> blob = named<oxMorphInstance2>("blob");
    blob->appendAttr(material(oxVec4f(0.85f, 0.35f, 0.2f, 1), 40, 0.6f));
    oxSmartPointer<oxTextureStateAttr> plain = oxTextureStateAttr::_instantiateRef();
    plain->setEnabled(false);
    blob->appendAttr(plain);
    blob->setMorphGeometry(g);
    blob->setMorphSequence(weights);
    return blob;
}

// A one-row picture for a texture looked up by a cosine, as RGB.
template <class F>
oxSmartPointer<oxTextureBindAttr> ramp(int width, F&& texel)
{
    std::vector<uint8_t> pixels;
    for (int x = 0; x < width; ++x) {
        const oxVec4f c = texel(x);
        for (float v : {c.x, c.y, c.z})
            pixels.push_back(uint8_t(std::fmin(std::fmax(v, 0.0f), 1.0f) * 255 + 0.5f));
    }
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    image->loadBuffer(pixels.data(), OX_GFX_PIXEL_RGB8, width, 1);
    oxSmartPointer<oxTextureAttr> t = oxTextureAttr::_instantiateRef();
    t->setImage(image, 0);
    oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
    bind->setTexture(t);
    return bind;
}

// A brick wall bumped by its height map, lit by a lamp in front of it: a grid of quads with
// colours, the brick coordinates, a second set the bump map may overwrite, and the tangent
// frame the bumps are measured in.
oxSmartPointer<oxBumpMapShader> buildBumpedWall()
{
    constexpr int kCells = 24;
    constexpr float kWide = 6.0f, kHigh = 3.0f;
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::kColors |
                                oxVertexFormat::texCoords(2),
                            6 * kCells * kCells);
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 2 * kCells * kCells);
    int v = 0;
    for (int j = 0; j < kCells; ++j)
        for (int i = 0; i < kCells; ++i)
            for (auto [du, dv] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}}) {
                const float u = float(i + du) / kCells, w = float(j + dv) / kCells;
                g->setPosition(v, oxVec3f(kWide * (u - 0.5f), kHigh * w, 0));
                g->setNormal(v, oxVec3f(0, 0, 1));
                g->setColor(v, oxVec4f(1, 1, 1, 1));
                g->setTextureCoord(v, 0, oxVec2f(4 * u, 2 * w));
                ++v;
            }
    oxVertexArrayHelper::_instantiateRef()->generateTangentsAndBinormals(g, 0);
    oxSmartPointer<oxGeometry> wall = named<oxGeometry>("brick wall");
    wall->addGeometryAttr(g);

    // Raised bricks with bevelled edges in sunken mortar.
    std::vector<uint8_t> heights;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const int shift = (y / 16) % 2 ? 16 : 0;
            const int bx = (x + shift) % 32, by = y % 16;
            const int edge = std::min(std::min(bx, 31 - bx), std::min(by, 15 - by));
            heights.push_back(uint8_t(edge < 1 ? 25 : std::min(255, 115 + 38 * edge)));
        }
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    image->loadBuffer(heights.data(), OX_GFX_PIXEL_L8, 64, 64);
    oxSmartPointer<oxTextureAttr> texture = oxTextureAttr::_instantiateRef();
    texture->setImage(image, 0);
    oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
    bind->setTexture(texture);

    oxSmartPointer<oxBumpMapShader> bump = named<oxBumpMapShader>("bumps");
    bump->setBumpTexture(bind);
    bump->setBumpTextureCoordIndex(0);
    bump->setReservedTextureCoordIndex(1);
    bump->setBumpStrength(3);
    bump->setAmbient(0.2f);
    bump->setDiffuseMaterial(oxVec3f(0.8f, 0.45f, 0.32f));
    bump->setLightCount(1);
    bump->setLightPosition(0, oxVec3f(-5.0f, 3.5f, -7.0f));
    bump->setLightIntensity(0, 1.0f);
    bump->appendChild(wall);
    return bump;
}

// A snowman in three balls, shaded in hard bands by the sun with dark outlines.
oxSmartPointer<oxCartoonShader> buildCartoonFigure(oxLightAttr* sun)
{
    oxSmartPointer<oxCartoonShader> cartoon = named<oxCartoonShader>("cartoon");
    cartoon->setShadingTexture(ramp(16, [](int x) {
        const float band = x < 7 ? 0.35f : x < 13 ? 0.7f : 1.0f;
        return oxVec4f(band * 0.55f, band * 0.8f, band, 1);
    }));
    cartoon->setOutlineTexture(ramp(16, [](int x) {
        const float ink = x < 6 ? 0.05f : 1.0f;
        return oxVec4f(ink, ink, ink, 1);
    }));
    cartoon->setShadingTextureCoordIndex(0);
    cartoon->setOutlineTextureCoordIndex(1);
    cartoon->setLight(sun);
    cartoon->setLightPosition(oxVec4f(-0.6f, -1.0f, -0.45f, 0));
    float y = 0;
    int i = 0;
    for (float radius : {0.75f, 0.55f, 0.38f}) {
        y += radius;
        // The cartoon node writes two coordinate sets of its own.
        oxSmartPointer<oxGeometryAttr> surface = sphere(radius, 32, 16).build(2);
        const std::string name = "snow " + std::to_string(i++);
        oxSmartPointer<oxGeometry> node = named<oxGeometry>(name.c_str());
        node->addGeometryAttr(surface);
        cartoon->appendChild(placed(name.c_str(), at(0, y, 0), node));
        y += radius * 0.8f;
    }
    return cartoon;
}

oxSmartPointer<oxGroup> buildDemoScene()
{
    oxSmartPointer<oxGroup> root = named<oxGroup>("courtyard");

    // Lighting for everything below: a warm low sun and a cool lamp over the glass.
    oxSmartPointer<oxLightAttr> sun =
        light(OX_GFX_LIGHT_DIRECTIONAL, oxVec3f(-0.6f, -1.0f, -0.45f), oxVec4f(1.0f, 0.9f, 0.75f, 1),
              oxVec4f(0.22f, 0.22f, 0.26f, 1));
    oxSmartPointer<oxLightAttr> lamp =
        light(OX_GFX_LIGHT_POSITIONAL, oxVec3f(4.5f, 2.5f, -1), oxVec4f(0.5f, 0.75f, 1.4f, 1), oxVec4f(0, 0, 0, 1));
    lamp->setAttenuation(oxVec3f(0.3f, 0.1f, 0.04f));
    oxSmartPointer<oxLightSet> lights = named<oxLightSet>("lights");
    lights->appendLightAttr(sun);
    lights->appendLightAttr(lamp);
    root->appendChild(lights);

    oxSmartPointer<oxLightStateSet> lit = named<oxLightStateSet>("lit");
    for (oxLightAttr* l : {sun.get(), lamp.get()}) {
        oxSmartPointer<oxLightStateAttr> on = oxLightStateAttr::_instantiateRef();
        on->setLight(l);
        lit->appendLightStateAttr(on);
    }
    oxSmartPointer<oxLightingStateAttr> lighting = oxLightingStateAttr::_instantiateRef();
    lighting->setEnabled(true);
    oxSmartPointer<oxAttrSet> world = named<oxAttrSet>("world");
    world->appendAttr(lighting);
    root->appendChild(world);
    world->appendChild(lit);

    // The ground receives the figure's soft shadow, projected from the sun.
    oxSmartPointer<oxProjectiveShadowShader> softShadow = named<oxProjectiveShadowShader>("figure shadow");
    softShadow->appendShadowReceiver(
        shape("ground", ground(80, 64, 20), material(oxVec4f(1, 1, 1, 1)), flagstones()));
    lit->appendChild(softShadow);
    // Sharp shadows of the spinning and bouncing things, flattened onto the ground.
    oxSmartPointer<oxPlanarShadowShader> flatShadows = named<oxPlanarShadowShader>("flat shadows");
    flatShadows->addLight(sun);
    flatShadows->setShadowPlane(oxVec3f(0, 1, 0), 0.01f);
    flatShadows->setShadowUseBlend(true);
    flatShadows->setShadowColor(oxVec4f(0.05f, 0.05f, 0.1f, 0.55f));
    lit->appendChild(flatShadows);

    // Things that move.
    oxSmartPointer<oxGeometry> ring =
        shape("torus", torus(0.8f, 0.3f, 48, 24), material(oxVec4f(0.85f, 0.2f, 0.12f, 1), 60, 0.8f));
    flatShadows->appendChild(keyed("spin", ring, 4.0, 24, REPEAT, [](float f) {
        oxMatrix44f m;
        m.makeRotationX(0.5f * kPi);
        m.postMultiply(oxMatrix44f().makeRotationY(2 * kPi * f));
        m.postTranslate(oxVec3f(-3.5f, 1.6f, 1));
        return m;
    }));
    oxSmartPointer<oxGeometry> box = shape("crate", crate(1.1f), material(oxVec4f(1, 1, 1, 1)), planks());
    oxSmartPointer<oxTransform> orbit = keyed("orbit", box, 8.0, 32, REPEAT, [](float f) {
        const float a = 2 * kPi * f;
        oxMatrix44f m;
        m.makeRotationY(a + 0.4f);
        m.postTranslate(oxVec3f(6.5f * std::cos(a), 0, -6.5f * std::sin(a) - 1));
        return m;
    });
    lit->appendChild(orbit);
    // The figure stands inside the crate's orbit, where the crate passes within arm's reach
    // a little after five seconds.
    oxSmartPointer<oxTransform> crateCentre = named<oxTransform>("crate centre");
    const oxMatrix44f centre = at(0, 0.55f, 0);
    crateCentre->setMatrix(&centre);
    orbit->appendChild(crateCentre);
    oxSmartPointer<oxTransform> figure = placed("figure place", at(-2.9f, 0.005f, 3.5f), buildDemoCharacter(crateCentre));
    lit->appendChild(figure);
    // The sun is far and its rays parallel: an orthographic view along them over the figure.
    softShadow->appendShadowCaster(figure);
    softShadow->setUseOrthographic(true);
    const oxVec3f sunward = oxVec3f(-0.6f, -1.0f, -0.45f).normalized();
    softShadow->setLightDirection(sunward);
    softShadow->setLightPosition(oxVec3f(-2.9f, 1.0f, 3.5f) - sunward * 10.0f);
    softShadow->setUpVector(oxVec3f(0, 0, 1));
    softShadow->setLeft(-2.0f);
    softShadow->setRight(2.0f);
    softShadow->setBottom(-2.0f);
    softShadow->setTop(2.0f);
    softShadow->setZNear(1.0f);
    softShadow->setZFar(30.0f);
    softShadow->setShadowFactor(0.2f);

    lit->appendChild(placed("wall place", at(-1.0f, 0, -10.5f), buildBumpedWall()));
    lit->appendChild(placed("snowman place", at(2.4f, 0, -5.4f), buildCartoonFigure(sun)));
    oxSmartPointer<oxGeometry> ball =
        shape("ball", sphere(0.55f, 32, 16), material(oxVec4f(0.95f, 0.75f, 0.15f, 1), 80, 0.9f));
    flatShadows->appendChild(keyed("bounce", ball, 1.2, 12, BOUNCE, [](float f) {
        return at(3.2f, 0.55f + 1.8f * std::sin(0.5f * kPi * f), 2.2f);
    }));

    // A rock that rolls away into the distance and back, losing triangles as it goes.
    lit->appendChild(keyed("roll", buildProgressiveRock(), 6.0, 24, BOUNCE, [](float f) {
        oxMatrix44f m;
        m.makeRotationX(-3.0f * kPi * f);
        m.postTranslate(oxVec3f(-6.0f, 1.0f, 4.0f - 24.0f * f));
        return m;
    }));

    // A ball that grows spikes, melts into a drop and comes back (morph targets).
    lit->appendChild(placed("blob place", at(6.2f, 1.2f, 4.0f), buildMorphingBlob()));

    // A switch over three gems, the middle one off.
    oxSmartPointer<oxSwitch> gems = named<oxSwitch>("gems");
    const oxVec4f gemColours[3] = {oxVec4f(0.1f, 0.75f, 0.3f, 1), oxVec4f(0.8f, 0.1f, 0.6f, 1),
                                   oxVec4f(0.15f, 0.4f, 0.95f, 1)};
    for (int i = 0; i < 3; ++i) {
        const std::string name = "gem " + std::to_string(i);
        gems->appendChild(placed(name.c_str(), at(-1.2f + 1.2f * float(i), 0.4f, 5.5f),
                                 shape(name.c_str(), sphere(0.5f, 8, 4), material(gemColours[i], 30, 0.6f))));
    }
    gems->activateAllChildren();
    gems->deactivateChild(1);
    lit->appendChild(gems);

    // The same ball in three levels of detail, near and far.
    oxSmartPointer<oxMaterialAttr> pearl = material(oxVec4f(0.92f, 0.92f, 0.96f, 1), 90, 1);
    oxSmartPointer<oxGeometry> levels[3] = {shape("pearl fine", sphere(0.9f, 48, 24), pearl),
                                            shape("pearl medium", sphere(0.9f, 16, 8), pearl),
                                            shape("pearl coarse", sphere(0.9f, 7, 4), pearl)};
    for (auto [name, where] : {std::pair{"near pearl", oxVec3f(-5.5f, 0.9f, 5)}, {"far pearl", oxVec3f(7, 0.9f, -9)}}) {
        oxSmartPointer<oxLod> lod = named<oxLod>(name);
        for (float range : {0.0f, 16.0f, 24.0f, 200.0f})
            lod->appendRange(range);
        for (oxGeometry* level : levels)
            lod->appendChild(level);
        lit->appendChild(placed(name, at(where.x, where.y, where.z), lod));
    }

    // A ball cut open at its equator by a clip plane in the plane's own space.
    oxSmartPointer<oxClipPlaneSet> cut = named<oxClipPlaneSet>("cut");
    cut->addClipPlane(0, oxVec4f(0.3f, -1, 0.2f, 0));
    cut->appendChild(shape("cut ball", sphere(1.1f, 40, 20), material(oxVec4f(0.3f, 0.75f, 0.85f, 1), 40, 0.5f)));
    lit->appendChild(placed("cut place", at(0, 1.1f, -4.5f), cut));

    // A tree that always faces the viewer, its outline cut out by the alpha test.
    oxSmartPointer<oxBillboard> board = named<oxBillboard>("tree board");
    oxSmartPointer<oxAttrSet> cutout = named<oxAttrSet>("cutout");
    oxSmartPointer<oxAlphaStateAttr> alphaTest = oxAlphaStateAttr::_instantiateRef();
    alphaTest->setEnabled(true);
    oxSmartPointer<oxAlphaFunctionAttr> alphaFunction = oxAlphaFunctionAttr::_instantiateRef();
    alphaFunction->setFunction(OX_GFX_COMPARE_GREATER);
    alphaFunction->setReference(0.5f);
    cutout->appendAttr(alphaTest);
    cutout->appendAttr(alphaFunction);
    // The card is flat: some light of its own keeps it from going dark when it turns away.
    oxSmartPointer<oxMaterialAttr> leaves = material(oxVec4f(1, 1, 1, 1));
    leaves->setEmission(oxVec4f(0.35f, 0.35f, 0.35f, 1));
    cutout->appendChild(shape("tree", card(3.2f, 4.2f), leaves, tree()));
    board->appendChild(cutout);
    lit->appendChild(placed("tree place", at(-7, 0, -5), board));

    // Glass panes, blended and sorted back to front.
    oxSmartPointer<oxAttrSet> glass = named<oxAttrSet>("glass");
    oxSmartPointer<oxBlendStateAttr> blend = oxBlendStateAttr::_instantiateRef();
    blend->setEnabled(true);
    glass->appendAttr(blend);
    glass->appendAttr(oxBlendFunctionAttr::_instantiate());
    const oxVec4f tints[3] = {oxVec4f(0.95f, 0.2f, 0.2f, 0.55f), oxVec4f(0.2f, 0.9f, 0.3f, 0.55f),
                              oxVec4f(0.25f, 0.45f, 1.0f, 0.55f)};
    for (int i = 0; i < 3; ++i) {
        const std::string name = "pane " + std::to_string(i);
        oxMatrix44f m;
        m.makeRotationY(0.5f);
        m.postTranslate(oxVec3f(3.0f + 1.3f * float(i), 0, -1.2f - 1.6f * float(i)));
        glass->appendChild(placed(name.c_str(), m, shape(name.c_str(), card(1.8f, 2.4f), material(tints[i], 90, 1))));
    }
    lit->appendChild(glass);

    // Where `oxsg render` looks from.
    oxSmartPointer<oxCamera> camera = named<oxCamera>("viewpoint");
    camera->setHorizontalFieldOfView(62);
    camera->setNearPlane(0.5f);
    camera->setFarPlane(200);
    oxMatrix44f eye;
    eye.lookAt(oxVec3f(1.5f, 7, 15.5f), oxVec3f(0.3f, 0.6f, -1.2f), oxVec3f(0, 1, 0));
    eye.invert();
    root->appendChild(placed("viewpoint place", eye, camera));
    return root;
}

} // namespace oxsg

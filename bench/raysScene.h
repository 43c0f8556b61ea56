#pragma once
// What the ray benchmarks shoot at, generated as plain data so that the OXSg-only program
// and the comparison with OpenSceneGraph build the same triangles and fire the same rays.
//
// The mesh: a bumpy sphere of radius about 10, nLon × nLat quads cut into two triangles
// each, as a plain triangle list (no indices: 16-bit indices cannot reach a million
// triangles' vertices). Rays start 40 from the centre in random directions and aim at
// random points within 8 of it, 100 long: each passes through the surface twice or more.
//
// The scene: the root over 50 groups over 100 transforms each, every transform over a
// geometry node of its own sharing one small sphere (16 × 8 quads, 256 triangles): 10,051
// nodes. The transforms stand on a 100 × 50 grid 3 apart, turned and lifted at random.
// Rays come from a viewpoint above one corner towards random points of the grid, 400 long.
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "sg/OXSg.h"

namespace raysscene {

using Kel::Sg::oxVec3f;

struct Ray {
    oxVec3f origin, direction; // unit direction
    float length;
};

// Three corners per triangle.
inline std::vector<oxVec3f> sphereTriangles(int nLon, int nLat, float radius, float bumps)
{
    const float pi = 3.14159265f;
    auto at = [&](int i, int j) {
        const float lon = 2 * pi * float(i % nLon) / float(nLon), lat = pi * float(j) / float(nLat);
        const float r = radius + bumps * std::sin(7 * lon) * std::sin(5 * lat);
        return oxVec3f(r * std::sin(lat) * std::cos(lon), r * std::sin(lat) * std::sin(lon), r * std::cos(lat));
    };
    std::vector<oxVec3f> corners;
    corners.reserve(size_t(nLon) * size_t(nLat) * 6);
    for (int j = 0; j < nLat; ++j)
        for (int i = 0; i < nLon; ++i) {
            const oxVec3f a = at(i, j), b = at(i, j + 1), c = at(i + 1, j + 1), d = at(i + 1, j);
            corners.insert(corners.end(), {a, b, c, a, c, d});
        }
    return corners;
}

inline std::vector<oxVec3f> meshTriangles()
{
    return sphereTriangles(1000, 500, 10, 0.5f);
}

inline std::vector<Ray> meshRays(int n, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    std::normal_distribution<float> gauss;
    std::uniform_real_distribution<float> unit(0, 1);
    auto direction = [&] {
        oxVec3f v(gauss(rng), gauss(rng), gauss(rng));
        return v.normalized();
    };
    std::vector<Ray> rays;
    for (int i = 0; i < n; ++i) {
        const oxVec3f origin = direction() * 40.0f;
        const oxVec3f target = direction() * (8 * std::cbrt(unit(rng)));
        rays.push_back({origin, (target - origin).normalized(), 100});
    }
    return rays;
}

constexpr int kGroups = 50, kPerGroup = 100;
constexpr float kSpacing = 3;

inline std::vector<oxVec3f> sceneShape()
{
    return sphereTriangles(16, 8, 1, 0.1f);
}

// Where transform k of group g stands: turned by `angle` about z, then moved.
struct Placement {
    float angle;
    oxVec3f offset;
};

inline std::vector<Placement> scenePlacements(unsigned seed = 2)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0, 1);
    std::vector<Placement> out;
    for (int g = 0; g < kGroups; ++g)
        for (int k = 0; k < kPerGroup; ++k)
            out.push_back({unit(rng) * 6.2831853f, oxVec3f(float(k) * kSpacing, float(g) * kSpacing, unit(rng) * 2)});
    return out;
}

inline std::vector<Ray> sceneRays(int n, unsigned seed = 3)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> x(0, kPerGroup * kSpacing), y(0, kGroups * kSpacing), z(0, 2);
    const oxVec3f eye(-20, -20, 60);
    std::vector<Ray> rays;
    for (int i = 0; i < n; ++i) {
        const oxVec3f target(x(rng), y(rng), z(rng));
        rays.push_back({eye, (target - eye).normalized(), 400});
    }
    return rays;
}

inline Kel::Sg::oxMatrix44f placementMatrix(const Placement& p)
{
    Kel::Sg::oxMatrix44f m, t;
    m.makeRotationZ(p.angle);
    t.makeTranslation(p.offset);
    return m * t;
}

inline Kel::Sg::oxSmartPointer<Kel::Attrs::oxGeometryAttr> makeAttr(const std::vector<oxVec3f>& corners)
{
    using namespace Kel::Sg;
    oxSmartPointer<oxGeometryAttr> attr = oxGeometryAttr::_instantiateRef();
    attr->configureVertexArray(Kel::Gfx::oxVertexFormat::kPositions, int(corners.size()));
    Kel::Gfx::oxVertexStream s = attr->getVertexArray()->getStream(Kel::Gfx::OX_GFX_COMPONENT_POSITION);
    for (size_t i = 0; i < corners.size(); ++i)
        std::memcpy(s.at(int(i)), &corners[i], sizeof(oxVec3f));
    attr->getVertexArray()->touch();
    attr->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, int(corners.size() / 3));
    return attr;
}

inline Kel::Sg::oxSmartPointer<Kel::Sg::oxGeometry> buildMesh()
{
    using namespace Kel::Sg;
    Kel::libOXSg_arkRegister();
    oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
    g->addGeometryAttr(makeAttr(meshTriangles()));
    return g;
}

// Bounds as a bounding-boxes maker would leave them: every group and transform gets the box
// around its children, in its parent's space.
inline Kel::Sg::oxSmartPointer<Kel::Sg::oxGroup> buildScene()
{
    using namespace Kel::Sg;
    Kel::libOXSg_arkRegister();
    const std::vector<oxVec3f> shape = sceneShape();
    oxBox3f shapeBox;
    for (const oxVec3f& c : shape)
        shapeBox.extendBy(c);
    oxSmartPointer<oxGeometryAttr> attr = makeAttr(shape);
    const std::vector<Placement> placements = scenePlacements();
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxBox3f rootBox;
    for (int g = 0; g < kGroups; ++g) {
        oxGroup* group = oxGroup::_instantiate();
        oxBox3f groupBox;
        for (int k = 0; k < kPerGroup; ++k) {
            const oxMatrix44f m = placementMatrix(placements[size_t(g * kPerGroup + k)]);
            oxTransform* t = oxTransform::_instantiate();
            t->setMatrix(&m);
            oxGeometry* geometry = oxGeometry::_instantiate();
            geometry->addGeometryAttr(attr);
            oxAABox* own = oxAABox::_instantiate();
            own->set(shapeBox);
            geometry->setBound(own);
            t->appendChild(geometry);
            oxBox3f placed = shapeBox;
            placed.transform(m);
            oxAABox* tb = oxAABox::_instantiate();
            tb->set(placed);
            t->setBound(tb);
            groupBox.extendBy(placed);
            group->appendChild(t);
        }
        oxAABox* gb = oxAABox::_instantiate();
        gb->set(groupBox);
        group->setBound(gb);
        rootBox.extendBy(groupBox);
        root->appendChild(group);
    }
    oxAABox* rb = oxAABox::_instantiate();
    rb->set(rootBox);
    root->setBound(rb);
    return root;
}

} // namespace raysscene

// Random meshes under random transforms against random rays: every hit the traversal reports,
// against a brute-force test of every triangle in probe space, in double precision.
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "tests/sg/traversal/oxIntersectTestSupport.h"

using namespace isecttest;

namespace {

using Kel::Gfx::OX_GFX_DRAW_TRIANGLE_STRIPS;
using Kel::Gfx::OX_GFX_DRAW_TRIANGLES;

struct Vec {
    double x, y, z;
    Vec operator-(const Vec& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec operator+(const Vec& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec operator*(double s) const { return {x * s, y * s, z * s}; }
    double dot(const Vec& o) const { return x * o.x + y * o.y + z * o.z; }
    Vec cross(const Vec& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double length() const { return std::sqrt(dot(*this)); }
};

Vec toVec(const oxVec3f& v)
{
    return {v.x, v.y, v.z};
}

Vec transformPoint(const oxMatrix44f& m, const oxVec3f& p)
{
    Vec r;
    r.x = double(p.x) * m.m[0][0] + double(p.y) * m.m[1][0] + double(p.z) * m.m[2][0] + m.m[3][0];
    r.y = double(p.x) * m.m[0][1] + double(p.y) * m.m[1][1] + double(p.z) * m.m[2][1] + m.m[3][1];
    r.z = double(p.x) * m.m[0][2] + double(p.y) * m.m[1][2] + double(p.z) * m.m[2][2] + m.m[3][2];
    return r;
}

// One triangle as drawn: its place in the walk and its corners in the drawn winding.
struct Triangle {
    int attribute, primitive, position;
    std::array<oxVec3f, 3> corners;
};

// The triangles of a list (one per primitive) or of strips given by lengths, written here
// from what is drawn rather than from the traversal's code.
void drawnTriangles(const Mesh& m, int attribute, std::vector<Triangle>& out)
{
    auto vertex = [&](int element) {
        return m.positions[size_t((m.indices.empty() ? element : m.indices[size_t(element)]) + m.firstVertex)];
    };
    if (m.type == OX_GFX_DRAW_TRIANGLES) {
        for (int p = 0; p < m.primCount; ++p)
            out.push_back({attribute, p, 3 * p, {vertex(3 * p), vertex(3 * p + 1), vertex(3 * p + 2)}});
        return;
    }
    int start = 0;
    for (int p = 0; p < m.primCount; ++p) {
        for (int k = 0; k + 2 < int(m.lengths[size_t(p)]); ++k) {
            const int e = start + k;
            if (k % 2)
                out.push_back({attribute, p, e, {vertex(e + 1), vertex(e), vertex(e + 2)}});
            else
                out.push_back({attribute, p, e, {vertex(e), vertex(e + 1), vertex(e + 2)}});
        }
        start += int(m.lengths[size_t(p)]);
    }
}

enum class Verdict { Hit, Miss, Unsure };

// Möller–Trumbore in double precision with margins: a hit well inside the triangle and the
// ray's extent, a miss well outside either, anything in between left undecided.
Verdict bruteForce(const Vec& origin, const Vec& dir, double length, const Vec& a, const Vec& b, const Vec& c,
                   int sides, double& t)
{
    const Vec e1 = b - a, e2 = c - a;
    const Vec n = e1.cross(e2);
    const Vec p = dir.cross(e2);
    const double det = e1.dot(p); // -dir·n: positive seen from the counter-clockwise side
    if (n.length() < 1e-9 || std::abs(det) / (dir.length() * n.length()) < 1e-3)
        return Verdict::Unsure;
    const Vec s = origin - a, q = s.cross(e1);
    const double u = s.dot(p) / det, v = dir.dot(q) / det;
    t = e2.dot(q) / det;
    const bool front = det > 0;
    const double m = 1e-4;
    const double scale = std::max({e1.length(), e2.length(), 1.0});
    const double tm = 1e-4 * scale;
    const bool inside = u > m && v > m && u + v < 1 - m && t > tm && t < length - tm;
    const bool outside = u < -m || v < -m || u + v > 1 + m || t < -tm || t > length + tm;
    const bool sideOk = sides & (front ? ISET_FRONT : ISET_BACK);
    if (inside)
        return sideOk ? Verdict::Hit : Verdict::Miss;
    if (outside || !sideOk)
        return Verdict::Miss;
    return Verdict::Unsure;
}

struct Scene {
    oxSmartPointer<oxGroup> root;
    std::vector<Mesh> meshes;
    oxMatrix44f nodeToProbe;
};

oxMatrix44f randomTransform(std::mt19937& rng)
{
    std::uniform_real_distribution<float> unit(-1, 1), scale(0.5f, 2.0f);
    oxMatrix44f s, r, t;
    s.makeScale(oxVec3f(scale(rng), scale(rng), scale(rng)));
    oxVec3f axis(unit(rng), unit(rng), unit(rng));
    r.makeRotation(axis.lengthSquared() > 1e-4f ? axis : oxVec3f(0, 0, 1), unit(rng) * 3.1f);
    t.makeTranslation(oxVec3f(unit(rng), unit(rng), unit(rng)) * 5.0f);
    return s * r * t;
}

Mesh randomMesh(std::mt19937& rng)
{
    std::uniform_real_distribution<float> coord(-1, 1);
    std::uniform_int_distribution<int> coin(0, 1);
    Mesh m;
    m.type = coin(rng) ? OX_GFX_DRAW_TRIANGLES : OX_GFX_DRAW_TRIANGLE_STRIPS;
    const bool indexed = coin(rng);
    m.firstVertex = coin(rng) * 3;
    const int vertexCount = std::uniform_int_distribution<int>(8, 60)(rng);
    for (int i = 0; i < vertexCount + m.firstVertex; ++i)
        m.positions.push_back({coord(rng), coord(rng), coord(rng) * 0.3f});
    int elements = 0;
    if (m.type == OX_GFX_DRAW_TRIANGLES) {
        m.primCount = std::uniform_int_distribution<int>(10, 80)(rng);
        elements = 3 * m.primCount;
    } else {
        m.primCount = std::uniform_int_distribution<int>(1, 6)(rng);
        for (int p = 0; p < m.primCount; ++p) {
            m.lengths.push_back(unsigned(std::uniform_int_distribution<int>(3, 20)(rng)));
            elements += int(m.lengths.back());
        }
    }
    std::uniform_int_distribution<int> pick(0, vertexCount - 1);
    if (indexed) {
        for (int i = 0; i < elements; ++i)
            m.indices.push_back(uint16_t(pick(rng)));
    } else if (elements > vertexCount) {
        for (int i = vertexCount; i < elements; ++i)
            m.positions.push_back({coord(rng), coord(rng), coord(rng) * 0.3f});
    }
    return m;
}

// Walking every triangle, then searching every attribute through its box hierarchy.
class IntersectRandomTest : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() { Kel::libOXSg_arkRegister(); }
    void SetUp() override { oxIntersectTraversal::setTriangleSearchThreshold(GetParam()); }
    void TearDown() override { oxIntersectTraversal::setTriangleSearchThreshold(_threshold); }

private:
    int _threshold = oxIntersectTraversal::getTriangleSearchThreshold();
};

INSTANTIATE_TEST_SUITE_P(WalkOrSearch, IntersectRandomTest, ::testing::Values(1 << 30, 0));

TEST_P(IntersectRandomTest, EveryReportedHitIsATriangleTheRayMeetsAndNoneIsMissed)
{
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> unit(-1, 1), zeroOne(0, 1);
    int clearHits = 0, rays = 0, reported = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        // root ─ outer ─ inner ─ geometry with two attributes
        Scene scene;
        scene.root = named<oxGroup>("root");
        auto outer = named<oxTransform>("outer"), inner = named<oxTransform>("inner");
        oxMatrix44f mo = randomTransform(rng), mi = randomTransform(rng);
        outer->setMatrix(&mo);
        inner->setMatrix(&mi);
        scene.nodeToProbe = mi * mo;
        auto g = named<oxGeometry>("g");
        for (int a = 0; a < 2; ++a) {
            scene.meshes.push_back(randomMesh(rng));
            g->addGeometryAttr(makeAttr(scene.meshes.back()));
        }
        inner->appendChild(g);
        outer->appendChild(inner);
        scene.root->appendChild(outer);

        std::vector<Triangle> triangles;
        for (int a = 0; a < 2; ++a)
            drawnTriangles(scene.meshes[size_t(a)], a, triangles);

        oxSmartPointer<oxIntersectTraversal> t = oxIntersectTraversal::_instantiateRef();
        t->setHitFunction(&Recorder::onHit);
        oxProbe* probe = t->getProbe();
        std::uniform_int_distribution<int> sides(1, 3), which(0, int(triangles.size()) - 1);
        for (int r = 0; r < 40; ++r) {
            oxVec3f origin, target;
            if (r % 2) {
                // Aimed at a random point of a random triangle.
                const Triangle& tri = triangles[size_t(which(rng))];
                float u = zeroOne(rng), v = zeroOne(rng);
                if (u + v > 1) {
                    u = 1 - u;
                    v = 1 - v;
                }
                const oxVec3f local = tri.corners[0] + (tri.corners[1] - tri.corners[0]) * u +
                                      (tri.corners[2] - tri.corners[0]) * v;
                target = scene.nodeToProbe.transformPoint(local);
            } else {
                target = scene.nodeToProbe.transformPoint(oxVec3f(unit(rng), unit(rng), unit(rng) * 0.3f));
            }
            origin = target + oxVec3f(unit(rng), unit(rng), unit(rng)).normalized() * 20.0f;
            // Unlimited, or ending somewhere around the mesh.
            const float length = r % 3 ? 1e30f : (target - origin).length() + unit(rng) * 2;
            probe->appendRay(origin, target - origin, length, sides(rng));
        }
        rays += probe->getRayCount();

        for (int mode : {int(oxIntersectTraversal::RAYS_POLYGON),
                         int(oxIntersectTraversal::VOLUME_VOLUME | oxIntersectTraversal::RAYS_VOLUME |
                             oxIntersectTraversal::RAYS_POLYGON)}) {
            SCOPED_TRACE(mode);
            Recorder rec;
            probe->setVolume(sphere({0, 0, 0}, 1000));
            t->clearMode(~0);
            t->setMode(mode);
            t->reset();
            t->apply(scene.root);

            std::map<std::tuple<int, int, int, int>, const Hit*> found;
            std::map<std::pair<int, int>, std::pair<int, int>> lastOf;
            for (const Hit& h : rec.hits) {
                if (h.type != oxIntersectTraversal::RAYS_POLYGON)
                    continue;
                EXPECT_TRUE(found.emplace(std::make_tuple(h.ray, h.attribute, h.primitive, h.position), &h).second)
                    << "each triangle once";
                // Within one ray and attribute, in walking order.
                auto key = std::make_pair(h.ray, h.attribute);
                auto it = lastOf.find(key);
                if (it != lastOf.end()) {
                    EXPECT_LT(it->second, std::make_pair(h.primitive, h.position));
                }
                lastOf[key] = {h.primitive, h.position};
                EXPECT_EQ(h.path, (Names{"root", "outer", "inner", "g"}));
            }
            for (int r = 0; r < probe->getRayCount(); ++r) {
                const oxRay* ray = probe->getRay(r);
                const Vec origin = toVec(ray->getOrigin()), dir = toVec(ray->getDirection());
                for (const Triangle& tri : triangles) {
                    double tHit = 0;
                    const Verdict v = bruteForce(origin, dir, ray->getLength(),
                                                 transformPoint(scene.nodeToProbe, tri.corners[0]),
                                                 transformPoint(scene.nodeToProbe, tri.corners[1]),
                                                 transformPoint(scene.nodeToProbe, tri.corners[2]),
                                                 probe->getRaySides(r), tHit);
                    auto it = found.find({r, tri.attribute, tri.primitive, tri.position});
                    if (v == Verdict::Hit) {
                        ++clearHits;
                        if (it == found.end()) {
                            ADD_FAILURE() << "ray " << r << " misses attribute " << tri.attribute << " primitive "
                                          << tri.primitive << " position " << tri.position;
                            continue;
                        }
                        const Vec expected = origin + dir * tHit;
                        const Hit& h = *it->second;
                        EXPECT_LT((toVec(h.point) - expected).length(), 1e-3 * std::max(1.0, tHit));
                        EXPECT_NEAR(h.distance, tHit, 1e-3 * std::max(1.0, tHit));
                    } else if (v == Verdict::Miss) {
                        EXPECT_EQ(it, found.end()) << "ray " << r << " reports a triangle it misses: attribute "
                                                   << tri.attribute << " primitive " << tri.primitive
                                                   << " position " << tri.position;
                    }
                }
            }
            reported += int(found.size());
        }
    }
    // The rays are aimed so that the comparison means something.
    EXPECT_GE(rays, 400);
    EXPECT_GT(clearHits, 400);
    EXPECT_GT(reported, clearHits / 2);
}

} // namespace

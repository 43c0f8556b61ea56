#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "platform/core/oxOXBReader.h"
#include "platform/core/oxOXBWriter.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "sg/OXSg.h"
#include "tests/sg/deform/oxDeclaredFields.h"
#include "tests/sg/core/oxbTestSupport.h"
#include "tests/sg/traversal/oxSorterAllocationCounter.h"

using namespace Kel::Sg;
using Kel::Attrs::oxMorphEntry;
using Kel::Gfx::oxRecordingVisualContext;
using Kel::Gfx::oxVertexFormat;
using oxbtest::WarningCatcher;

namespace {

// A device that keeps the positions of the last vertices it was asked to draw.
class PositionsDevice : public oxRecordingVisualContext {
    OX_CLASS(PositionsDevice, oxRecordingVisualContext)
public:
    void drawGeometry(const Kel::Gfx::oxDrawDescription& d) override
    {
        drawn.clear();
        const Kel::Gfx::oxVertexStream s = d.vertices ? d.vertices->getStream(Kel::Gfx::OX_GFX_COMPONENT_POSITION)
                                                      : Kel::Gfx::oxVertexStream();
        for (int i = 0; s.isValid() && i < d.vertices->getVertexCount(); ++i) {
            oxVec3f p;
            std::memcpy(&p, s.at(i), sizeof p);
            drawn.push_back(p);
        }
        oxRecordingVisualContext::drawGeometry(d);
    }
    std::vector<oxVec3f> drawn;

protected:
    PositionsDevice() = default;
};

oxSmartPointer<oxMorphSequence> twoTargetSequence();

class MorphTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::Sg::oxArkRegisterForOXBFiles(); }
};

oxSmartPointer<oxIntList> ints(std::initializer_list<int> v)
{
    oxSmartPointer<oxIntList> l = oxIntList::_instantiateRef();
    for (int x : v)
        l->append(x);
    return l;
}

oxSmartPointer<oxVec3fList> vecs(std::initializer_list<oxVec3f> v)
{
    oxSmartPointer<oxVec3fList> l = oxVec3fList::_instantiateRef();
    for (const oxVec3f& x : v)
        l->append(x);
    return l;
}

// Targets as the test sees them, to sum by hand: per target, vertex → displacement.
struct Target {
    std::vector<int> index;
    std::vector<oxVec3f> position, normal;
};

// A base of `vertices` points with normals and `targets` random sparse targets (indices
// handed over unsorted); each moves positions and normals of about a third of the vertices.
oxSmartPointer<oxMorphBase> randomBase(int vertices, int targets, std::vector<Target>& out, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1, 1);
    oxSmartPointer<oxVertexArray> va = oxVertexArray::_instantiateRef();
    va->configure(oxVertexFormat::kPositions | oxVertexFormat::kNormals, vertices);
    for (int i = 0; i < vertices; ++i) {
        va->setPosition(i, oxVec3f(u(rng), u(rng), u(rng)));
        oxVec3f n(u(rng), u(rng), 1.5f);
        va->setNormal(i, n * (1.0f / n.length()));
    }
    oxSmartPointer<oxMorphBase> base = oxMorphBase::_instantiateRef();
    base->setVertexArray(va);
    base->setMaxCoefficients(targets);
    out.assign(size_t(targets), Target());
    for (int c = 0; c < targets; ++c) {
        std::vector<int> chosen;
        for (int i = 0; i < vertices; ++i)
            if (rng() % 3 == 0)
                chosen.push_back(i);
        std::shuffle(chosen.begin(), chosen.end(), rng);
        oxSmartPointer<oxIntList> pi = oxIntList::_instantiateRef(), ni = oxIntList::_instantiateRef();
        oxSmartPointer<oxVec3fList> pd = oxVec3fList::_instantiateRef(), nd = oxVec3fList::_instantiateRef();
        for (int i : chosen) {
            const oxVec3f p(u(rng), u(rng), u(rng)), n(u(rng) * 0.3f, u(rng) * 0.3f, u(rng) * 0.3f);
            out[size_t(c)].index.push_back(i);
            out[size_t(c)].position.push_back(p);
            out[size_t(c)].normal.push_back(n);
            pi->append(i);
            pd->append(p);
            ni->append(i);
            nd->append(n);
        }
        // Displacements first for positions, indices first for normals: both orders sort.
        base->setPositionDisplacementVec(c, pd);
        base->setPositionIndexArray(c, pi);
        base->setNormalIndexArray(c, ni);
        base->setNormalDisplacementVec(c, nd);
    }
    return base;
}

// base + Σ w·d in target order, over targets with a non-zero weight; normals renormalised
// where some such target moved them.
void bruteForce(const oxVertexArray* base, const std::vector<Target>& targets, const std::vector<float>& w,
                std::vector<oxVec3f>& pos, std::vector<oxVec3f>& nrm)
{
    const int n = base->getVertexCount();
    pos.resize(size_t(n));
    nrm.resize(size_t(n));
    std::vector<bool> moved(size_t(n), false);
    for (int i = 0; i < n; ++i) {
        pos[size_t(i)] = base->getPosition(i);
        nrm[size_t(i)] = base->getNormal(i);
    }
    for (size_t c = 0; c < targets.size(); ++c) {
        if (w[c] == 0)
            continue;
        for (size_t k = 0; k < targets[c].index.size(); ++k) {
            const size_t v = size_t(targets[c].index[k]);
            pos[v] = pos[v] + targets[c].position[k] * w[c];
            nrm[v] = nrm[v] + targets[c].normal[k] * w[c];
            moved[v] = true;
        }
    }
    for (int i = 0; i < n; ++i)
        if (moved[size_t(i)])
            nrm[size_t(i)] = nrm[size_t(i)] * (1.0f / nrm[size_t(i)].length());
}

void expectBlend(oxMorphInstance* m, const std::vector<Target>& targets, const std::vector<float>& w)
{
    std::vector<oxVec3f> pos, nrm;
    bruteForce(m->getBase()->getVertexArray(), targets, w, pos, nrm);
    const oxVertexArray* va = m->getMorphedVertexArray();
    ASSERT_EQ(va->getVertexCount(), int(pos.size()));
    int wrong = 0;
    for (int i = 0; i < va->getVertexCount(); ++i) {
        const float dp = (va->getPosition(i) - pos[size_t(i)]).length();
        const float dn = (va->getNormal(i) - nrm[size_t(i)]).length();
        if (dp > 1e-5f || dn > 1e-5f) {
            if (++wrong <= 3)
                ADD_FAILURE() << "vertex " << i << ": position off by " << dp << ", normal by " << dn;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(MorphTest, BaseSortsTargetsInStepAndTakesItsTargetCountOnce)
{
    oxSmartPointer<oxMorphBase> base = oxMorphBase::_instantiateRef();
    EXPECT_EQ(base->getCoefficientCount(), 0);
    EXPECT_EQ(base->getPositionIndexArray(0), nullptr);
    {
        WarningCatcher warnings;
        base->setPositionIndexArray(0, ints({1}));
        EXPECT_EQ(warnings.count(), 1u) << "no targets yet";
    }
    base->setMaxCoefficients(2);
    EXPECT_EQ(base->getCoefficientCount(), 2);
    EXPECT_EQ(base->getPositionIndexLists()->getCount(), 2);
    EXPECT_EQ(base->getNormalDisplacementLists()->getCount(), 2);
    {
        WarningCatcher warnings;
        base->setMaxCoefficients(5);
        EXPECT_EQ(base->getCoefficientCount(), 2);
        EXPECT_EQ(base->getPositionIndexLists()->getCount(), 2);
        base->setPositionDisplacementVec(2, vecs({{1, 0, 0}}));
        EXPECT_EQ(warnings.count(), 2u) << warnings.all();
    }

    // Displacements, then unsorted indices: sorted together, terminator last.
    base->setPositionDisplacementVec(0, vecs({{3, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 0, 0}}));
    oxSmartPointer<oxIntList> idx = ints({30, 10, 20, 5});
    base->setPositionIndexArray(0, idx);
    ASSERT_EQ(base->getPositionIndexArray(0), idx.get());
    ASSERT_EQ(idx->getCount(), 5);
    const int sorted[] = {5, 10, 20, 30, oxMorphBase::kIndexTerminator};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(idx->get(i), sorted[i]);
    const float xs[] = {0, 1, 2, 3};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(base->getPositionDisplacementVec(0)->get(i).x, xs[i]);
    EXPECT_EQ(oxMorphBase::storedIndexCount(idx), 4);

    // Indices first, then the displacements: the same, here over a long reversed list that
    // the quicksort itself has to order.
    oxSmartPointer<oxIntList> many = oxIntList::_instantiateRef();
    oxSmartPointer<oxVec3fList> along = oxVec3fList::_instantiateRef();
    for (int i = 0; i < 100; ++i) {
        many->append(((i * 37) % 100) * 2);
        along->append(oxVec3f(float(((i * 37) % 100) * 2), 0, 0));
    }
    base->setNormalIndexArray(1, many);
    EXPECT_EQ(many->get(0), 0) << "not yet matched, not sorted";
    EXPECT_EQ(many->get(1), 74);
    base->setNormalDisplacementVec(1, along);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(many->get(i), 2 * i);
        EXPECT_EQ(along->get(i).x, float(2 * i)) << "displacement " << i << " did not move with its index";
    }
    EXPECT_EQ(many->get(100), oxMorphBase::kIndexTerminator);

    // A displacement list of another length leaves the indices as given.
    oxSmartPointer<oxIntList> loose = ints({9, 3});
    base->setPositionIndexArray(1, loose);
    base->setPositionDisplacementVec(1, vecs({{1, 1, 1}}));
    EXPECT_EQ(loose->get(0), 9);

    base->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_TRIANGLE_STRIPS, 2, 4);
    base->setPrimitiveLength(1, 7);
    EXPECT_EQ(base->getPrimitiveLength(0), 0u);
    EXPECT_EQ(base->getPrimitiveLength(1), 7u);
    EXPECT_EQ(base->getPrimitiveLength(9), 0u);
    EXPECT_EQ(base->getStripLengths()->getCount(), 2);
    EXPECT_EQ(base->getStripLengths()->get(1), 7u);
}

TEST_F(MorphTest, TheBlendIsTheBasePlusTheWeightedTargetsAtEveryWeightSet)
{
    std::vector<Target> targets;
    // More vertices than one block of the blend, so that targets run across blocks.
    const int kVertices = 1300;
    oxSmartPointer<oxMorphBase> base = randomBase(kVertices, 6, targets, 7);
    oxSmartPointer<oxMorphInstance> m = oxMorphInstance::_instantiateRef();
    m->setBase(base);
    ASSERT_TRUE(m->getMorphedVertexArray());
    EXPECT_NE(m->getMorphedVertexArray(), base->getVertexArray());
    EXPECT_EQ(m->getCoefficientCount(), 6);
    ASSERT_EQ(m->getGeometryAttrCount(), 1);

    std::vector<float> w = {0.5f, 0, -1.25f, 2, 0, 0.75f};
    for (int c = 0; c < 6; ++c)
        m->setCoefficient(c, w[size_t(c)]);
    m->update();
    expectBlend(m, targets, w);

    // Another set: some weights fall to 0, others change or start.
    w = {0, 0.3f, -1.25f, 0, 1, 0.1f};
    for (int c = 0; c < 6; ++c)
        m->setCoefficient(c, w[size_t(c)]);
    m->update();
    expectBlend(m, targets, w);

    // The same weights again: nothing is written.
    const uint32_t version = m->getMorphedVertexArray()->getVersion();
    const size_t bytes = size_t(m->getMorphedVertexArray()->getStride()) * kVertices;
    const std::vector<uint8_t> before(m->getMorphedVertexArray()->getVertexData(),
                                      m->getMorphedVertexArray()->getVertexData() + bytes);
    for (int c = 0; c < 6; ++c)
        m->setCoefficient(c, w[size_t(c)]);
    m->update();
    EXPECT_EQ(m->getMorphedVertexArray()->getVersion(), version);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), m->getMorphedVertexArray()->getVertexData()));

    // One target from 0.5 back to 0: its vertices return to the base plus the others.
    m->setCoefficient(1, 0.5f);
    m->update();
    w[1] = 0.5f;
    expectBlend(m, targets, w);
    m->setCoefficient(1, 0);
    m->update();
    w[1] = 0;
    expectBlend(m, targets, w);
    EXPECT_GT(m->getMorphedVertexArray()->getVersion(), version);

    // Blending new weights, with the sequence's help or without, allocates nothing.
    m->setMorphSequence(twoTargetSequence());
    m->update(int64_t(100000000));
    if (sortertest::AllocationCounter::available()) {
        sortertest::AllocationCounter::start();
        for (int frame = 1; frame <= 5; ++frame) {
            m->update(int64_t(100000000) * (frame + 1));
            m->setCoefficient(4, 0.1f * float(frame));
            m->update();
        }
        EXPECT_EQ(sortertest::AllocationCounter::stop(), 0);
    }
    m->setMorphSequence(nullptr);

    // Every weight 0: the base itself.
    for (int c = 0; c < 6; ++c)
        m->setCoefficient(c, 0);
    m->update();
    const oxVertexArray* a = m->getMorphedVertexArray();
    for (int i = 0; i < kVertices; ++i)
        ASSERT_EQ(a->getPosition(i), base->getVertexArray()->getPosition(i)) << i;
}

TEST_F(MorphTest, InstancesRefuseWhatTheyCannotHoldAndSurviveBrokenTargets)
{
    oxSmartPointer<oxMorphInstance> m = oxMorphInstance::_instantiateRef();
    {
        WarningCatcher warnings;
        m->setCoefficient(0, 1);
        EXPECT_EQ(warnings.count(), 1u);
    }
    EXPECT_EQ(m->getCoefficient(0), 0.0f);
    EXPECT_EQ(m->getCoefficientCount(), 0);
    EXPECT_EQ(m->getCoeffList(), nullptr);
    m->update(5);
    EXPECT_EQ(m->getGeometryAttrCount(), 0);

    // A base without vertices draws nothing; one whose target names a vertex that does not
    // exist and has too few displacements blends what it can, with warnings.
    oxSmartPointer<oxMorphBase> bare = oxMorphBase::_instantiateRef();
    bare->setMaxCoefficients(1);
    {
        WarningCatcher warnings;
        m->setBase(bare);
        EXPECT_TRUE(warnings.contains("no vertices"));
    }
    EXPECT_EQ(m->getGeometryAttrCount(), 0);
    m->setCoefficient(0, 1);
    m->update();

    oxSmartPointer<oxMorphBase> base = oxMorphBase::_instantiateRef();
    oxSmartPointer<oxVertexArray> va = oxVertexArray::_instantiateRef();
    va->configure(oxVertexFormat::kPositions, 4);
    base->setVertexArray(va);
    base->setMaxCoefficients(1);
    base->setPositionIndexArray(0, ints({1, 3, 99, 2}));
    base->setPositionDisplacementVec(0, vecs({{1, 0, 0}, {2, 0, 0}, {3, 0, 0}}));
    m->setBase(base);
    EXPECT_EQ(m->getCoefficient(0), 0.0f) << "a new base starts from zero weights";
    m->setCoefficient(0, 1);
    {
        WarningCatcher warnings;
        m->update();
        EXPECT_TRUE(warnings.contains("beyond")) << warnings.all();
        EXPECT_TRUE(warnings.contains("displacements")) << warnings.all();
    }
    // The three displacements pair with the three smallest indices (1, 2, 3) only when the
    // lists matched; here they did not, so they pair in the order given: 1, 3, 99.
    const oxVertexArray* out = m->getMorphedVertexArray();
    EXPECT_EQ(out->getPosition(1), oxVec3f(1, 0, 0));
    EXPECT_EQ(out->getPosition(3), oxVec3f(2, 0, 0));
    EXPECT_EQ(out->getPosition(2), oxVec3f(0, 0, 0));
    EXPECT_EQ(out->getPosition(0), oxVec3f(0, 0, 0));

    // Ascending indices with a displacement short, and one past the vertices: the blocked
    // blend moves what it can and names the rest.
    oxSmartPointer<oxMorphBase> sorted = oxMorphBase::_instantiateRef();
    sorted->setVertexArray(va);
    sorted->setMaxCoefficients(2);
    sorted->setPositionIndexArray(0, ints({0, 2, 3}));
    sorted->setPositionDisplacementVec(0, vecs({{1, 0, 0}, {0, 1, 0}}));
    sorted->setPositionIndexArray(1, ints({2, 7}));
    sorted->setPositionDisplacementVec(1, vecs({{0, 0, 1}, {5, 5, 5}}));
    m->setBase(sorted);
    m->setCoefficient(0, 2);
    m->setCoefficient(1, 1);
    {
        WarningCatcher warnings;
        m->update();
        EXPECT_TRUE(warnings.contains("target 0 has 3 position indices but 2")) << warnings.all();
        EXPECT_TRUE(warnings.contains("target 1 names 1 position vertices beyond")) << warnings.all();
    }
    out = m->getMorphedVertexArray();
    EXPECT_EQ(out->getPosition(0), oxVec3f(2, 0, 0));
    EXPECT_EQ(out->getPosition(1), oxVec3f(0, 0, 0));
    EXPECT_EQ(out->getPosition(2), oxVec3f(0, 2, 1));
    EXPECT_EQ(out->getPosition(3), oxVec3f(0, 0, 0));
}

// A sequence of two targets with master keys at 0, 1 and 2 s (units of 2^18 ns).
oxSmartPointer<oxMorphSequence> twoTargetSequence()
{
    oxSmartPointer<oxMorphSequence> s = oxMorphSequence::_instantiateRef();
    s->setCoefficientCount(2);
    s->setKeyFrameCount(3);
    for (int k = 0; k < 3; ++k)
        s->setTimeAsLong(k, int64_t(k) * 1000000000);
    const float a[] = {0, 1, 0.5f}, b[] = {2, 0, -1};
    s->setKeyCoefficient(0, a);
    s->setKeyCoefficient(1, b);
    return s;
}

std::vector<float> at(oxMorphSequence* s, int64_t t)
{
    oxSmartPointer<oxFloatList> w = oxFloatList::_instantiateRef();
    w->setCount(s->getCoefficientCount());
    s->update(w, t);
    return std::vector<float>(w->begin(), w->end());
}

int64_t units(int64_t u)
{
    return u << 18;
}

TEST_F(MorphTest, SequencesInterpolateBetweenKeysAndFollowTheirPlayMode)
{
    oxSmartPointer<oxMorphSequence> s = twoTargetSequence();
    EXPECT_EQ(s->getKeyFrameCount(), 3);
    EXPECT_EQ(s->getKeyFrameCount(0), 0) << "master keys";
    // Key times are kept in 2^18 ns units: read back rounded down to them.
    EXPECT_EQ(s->getTimeAsLong(1), (int64_t(1000000000) >> 18) << 18);
    EXPECT_EQ(s->getDuration(), s->getTimeAsLong(2)) << "the last key time raised the duration";
    EXPECT_NEAR(s->getTime(2), 2.0f, 1e-3f);
    EXPECT_EQ(s->getPlayMode(), oxMorphSequence::REPEAT);
    EXPECT_EQ(s->getInterpolationMethod(), oxMorphSequence::LINEAR);

    // Between keys, linearly, at the fraction of the stored (rounded) times.
    const int64_t t1 = s->getTimeAsLong(1), t2 = s->getTimeAsLong(2);
    std::vector<float> w = at(s, t1 / 4);
    EXPECT_NEAR(w[0], 0.25f, 1e-3f);
    EXPECT_NEAR(w[1], 1.5f, 1e-3f);
    w = at(s, t1 + (t2 - t1) / 2);
    EXPECT_NEAR(w[0], 0.75f, 1e-3f);
    EXPECT_NEAR(w[1], -0.5f, 1e-3f);
    w = at(s, t1);
    EXPECT_FLOAT_EQ(w[0], 1);
    EXPECT_FLOAT_EQ(w[1], 0);

    // REPEAT wraps by the duration.
    EXPECT_EQ(at(s, t2 + t1 / 4), at(s, t1 / 4));

    // Before the offset: the first keys, whatever the mode.
    s->setKeyFrameTimeOffset(int64_t(5000000000));
    EXPECT_EQ(at(s, 4000000000LL), (std::vector<float>{0, 2}));
    EXPECT_EQ(at(s, 5000000000LL), (std::vector<float>{0, 2}));
    EXPECT_NEAR(at(s, 5000000000LL + t1 / 4)[0], 0.25f, 1e-3f);
    s->setKeyFrameTimeOffset(int64_t(0));

    // CLAMP after the duration: the last keys.
    s->setPlayMode(oxMorphSequence::CLAMP);
    EXPECT_EQ(at(s, t2 + units(1)), (std::vector<float>{0.5f, -1}));
    EXPECT_EQ(at(s, 50000000000LL), (std::vector<float>{0.5f, -1}));

    // NONE holds the key before.
    s->setInterpolationMethod(oxMorphSequence::NONE);
    EXPECT_EQ(at(s, t1 + (t2 - t1) / 2), (std::vector<float>{1, 0}));
    s->setInterpolationMethod(oxMorphSequence::LINEAR);

    // BOUNCE over a duration of 10 units: 13 and 7 units are the same moment.
    oxSmartPointer<oxMorphSequence> b = oxMorphSequence::_instantiateRef();
    b->setCoefficientCount(1);
    b->setKeyFrameCount(2);
    b->setTimeAsLong(0, 0);
    b->setTimeAsLong(1, units(10));
    b->setKeyCoefficient(0, 0, 0.0f);
    b->setKeyCoefficient(0, 1, 10.0f);
    b->setPlayMode(oxMorphSequence::BOUNCE);
    EXPECT_FLOAT_EQ(at(b, units(13))[0], 7);
    EXPECT_EQ(at(b, units(13)), at(b, units(7)));
    EXPECT_FLOAT_EQ(at(b, units(27))[0], 7) << "the next cycle runs forward again";
    // BOUNCEONCE: once there and back, then the first key for good.
    b->setPlayMode(oxMorphSequence::BOUNCEONCE);
    EXPECT_FLOAT_EQ(at(b, units(13))[0], 7);
    EXPECT_FLOAT_EQ(at(b, units(20))[0], 0);
    EXPECT_FLOAT_EQ(at(b, units(27))[0], 0);

    // LOOP: past the last key, towards key 0 over the rest of the duration.
    b->setPlayMode(oxMorphSequence::LOOP);
    b->setDuration(units(20));
    EXPECT_EQ(b->getDuration(), units(20));
    EXPECT_FLOAT_EQ(at(b, units(15))[0], 5);
    EXPECT_FLOAT_EQ(at(b, units(19))[0], 1);
    EXPECT_FLOAT_EQ(at(b, units(25))[0], 5) << "and around again";
    // Other modes hold the last key after it.
    b->setPlayMode(oxMorphSequence::REPEAT);
    EXPECT_FLOAT_EQ(at(b, units(15))[0], 10);

    // A sequence of duration 0 holds its first keys (and CLAMP its last ones).
    oxSmartPointer<oxMorphSequence> z = oxMorphSequence::_instantiateRef();
    z->setCoefficientCount(1);
    z->setKeyFrameCount(1);
    z->setKeyCoefficient(0, 0, 3.0f);
    EXPECT_EQ(z->getDuration(), 0);
    EXPECT_FLOAT_EQ(at(z, 12345678)[0], 3);
}

TEST_F(MorphTest, TargetsOwnKeysBezierCurvesAndKeyEditing)
{
    oxSmartPointer<oxMorphSequence> s = twoTargetSequence();
    // Target 1 gets keys of its own, at 0 and 4 units.
    s->setKeyFrameCount(1, 2);
    EXPECT_EQ(s->getKeyFrameCount(1), 2);
    s->setTimeAsLong(1, 0, 0);
    s->setTimeAsLong(1, 1, units(4));
    s->setKeyCoefficient(1, 0, 0.0f);
    s->setKeyCoefficient(1, 1, 8.0f);
    EXPECT_EQ(s->getTimeAsLong(1, 1), units(4));
    EXPECT_EQ(s->getDuration(), s->getTimeAsLong(2)) << "per-target times leave the duration";
    EXPECT_FLOAT_EQ(at(s, units(1))[1], 2);
    EXPECT_FLOAT_EQ(at(s, units(3))[1], 6);
    // It cannot go back to the master times while its key count differs from theirs.
    s->useMasterKeyFrames(1);
    EXPECT_EQ(s->getKeyFrameCount(1), 2);

    // Bezier: the de Casteljau value with the key's two control values.
    s->setInterpolationMethod(oxMorphSequence::BEZIER);
    s->setInterpolationData(0, 0, 3.0f, -2.0f);
    const int64_t t1 = s->getTimeAsLong(1);
    // The fraction of the stored key times, in units.
    const float f = float(double(uint32_t((t1 / 4) >> 18)) / double(uint32_t(t1 >> 18)));
    const std::vector<float> w = at(s, t1 / 4);
    auto lerp = [f](float x, float y) { return (y - x) * f + x; };
    const float a = lerp(0, 3), b = lerp(3, -2), e = lerp(-2, 1);
    EXPECT_NEAR(w[0], lerp(lerp(a, b), lerp(b, e)), 1e-5f);

    // Inserting a key repeats its neighbour, so the curve is unchanged until edited.
    s->setInterpolationMethod(oxMorphSequence::LINEAR);
    const std::vector<float> before = at(s, t1 / 4);
    s->insertKeyFrame(1);
    EXPECT_EQ(s->getKeyFrameCount(), 4);
    EXPECT_EQ(s->getTimeAsLong(1), s->getTimeAsLong(2));
    EXPECT_EQ(s->getKeyCoefficient(0, 1), 1.0f);
    EXPECT_EQ(at(s, t1 / 4), before);
    s->removeKeyFrame(1);
    EXPECT_EQ(s->getKeyFrameCount(), 3);
    EXPECT_EQ(at(s, t1 / 4), before);
    s->insertKeyFrame(1, 2);
    EXPECT_EQ(s->getKeyFrameCount(1), 3);
    s->removeKeyFrame(1, 0);
    EXPECT_EQ(s->getKeyFrameCount(1), 2);
    EXPECT_EQ(s->getTimeAsLong(1, 0), units(4));

    // Bad keys and targets are refused with a warning.
    WarningCatcher warnings;
    s->setTimeAsLong(7, 0);
    s->setKeyCoefficient(5, 0, 1.0f);
    s->setKeyFrameCount(9, 2);
    s->insertKeyFrame(0, 0);
    EXPECT_EQ(warnings.count(), 4u) << warnings.all();
    EXPECT_EQ(s->getTimeAsLong(7), 0);

    // A third target added later takes the master key count.
    s->setCoefficientCount(3);
    EXPECT_EQ(s->getCoefficientData(2)->getDataList()->getCount(), 3);
    s->setKeyFrameCount(5);
    EXPECT_EQ(s->getCoefficientData(2)->getDataList()->getCount(), 5);
    EXPECT_EQ(s->getCoefficientData(1)->getDataList()->getCount(), 2) << "own keys stay";
}

TEST_F(MorphTest, TheDrawBlendsAtTheFramesTimeAndSkipsInvisibleInstances)
{
    std::vector<Target> targets;
    oxSmartPointer<oxMorphBase> base = randomBase(40, 2, targets, 3);
    base->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_POINTS, 40, 0);
    oxSmartPointer<oxMorphSequence> s = twoTargetSequence();
    oxSmartPointer<oxMorphInstance> m = oxMorphInstance::_instantiateRef();
    m->setBase(base);
    m->setMorphSequence(s);
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(m);

    oxSmartPointer<PositionsDevice> vc = PositionsDevice::_instantiateRef();
    oxSmartPointer<oxCommonTraversal> t = oxCommonTraversal::_instantiateRef();
    t->setVisualContext(vc);
    t->setUserTimeState(true);
    auto draw = [&](int64_t time) {
        t->reset();
        t->setTimeAsLong(time);
        t->apply(root);
        vc->drawn.clear();
        t->getOutput()->apply(vc);
    };
    const int64_t t1 = s->getTimeAsLong(1);
    draw(t1 / 4);
    EXPECT_NEAR(m->getCoefficient(0), 0.25f, 1e-3f);
    EXPECT_NEAR(m->getCoefficient(1), 1.5f, 1e-3f);
    std::vector<oxVec3f> pos, nrm;
    bruteForce(base->getVertexArray(), targets, {m->getCoefficient(0), m->getCoefficient(1)}, pos, nrm);
    ASSERT_EQ(vc->drawn.size(), pos.size()) << vc->getTrace();
    for (size_t i = 0; i < pos.size(); ++i)
        EXPECT_LT((vc->drawn[i] - pos[i]).length(), 1e-5f) << i;
    const float first = m->getCoefficient(0);

    // Invisible: neither drawn nor blended.
    m->setFlags(oxNode::IS_INVISIBLE, true);
    draw(t1);
    EXPECT_TRUE(vc->drawn.empty());
    EXPECT_EQ(m->getCoefficient(0), first);
    m->setFlags(oxNode::IS_INVISIBLE, false);
    draw(t1);
    EXPECT_FLOAT_EQ(m->getCoefficient(0), 1);
    bruteForce(base->getVertexArray(), targets, {1, 0}, pos, nrm);
    ASSERT_EQ(vc->drawn.size(), pos.size());
    for (size_t i = 0; i < pos.size(); ++i)
        EXPECT_LT((vc->drawn[i] - pos[i]).length(), 1e-5f) << i;
}

TEST_F(MorphTest, TheSecondInstanceHandsExactlyTheActiveWeightsToItsAttribute)
{
    oxSmartPointer<oxMorphedGeometryAttr> g = oxMorphedGeometryAttr::_instantiateRef();
    Kel::Gfx::oxVertexArray2* va = g->configureVertexArray(3);
    va->addVertexData(Kel::Gfx::OX_GFX_COMPONENT_POSITION, 0, Kel::Gfx::OX_GFX_SCALAR_FLOAT, 3);
    g->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1);
    oxMorphEntry* positions = g->appendMorphEntry(Kel::Gfx::OX_GFX_COMPONENT_POSITION);
    oxMorphEntry* normals = g->appendMorphEntry(Kel::Gfx::OX_GFX_COMPONENT_NORMAL);
    for (int i = 0; i < 5; ++i) {
        positions->addTarget(3);
        normals->addTarget(3);
    }
    oxSmartPointer<oxMorphInstance2> m = oxMorphInstance2::_instantiateRef();
    EXPECT_FALSE(m->isTransformable());
    m->setMorphGeometry(g);
    ASSERT_EQ(m->getGeometryAttrCount(), 1);
    EXPECT_EQ(m->getGeometryAttr(0), g.get());

    const float w[] = {4e-7f, 6e-7f, 0, -6e-7f, 0.75f};
    m->getCoefficient()->setCount(5);
    for (int i = 0; i < 5; ++i)
        m->getCoefficient()->set(i, w[i]);
    m->updateCoefficientList();
    const oxIntList* active = m->getNonNullCoefficientIndex();
    ASSERT_EQ(active->getCount(), 3);
    EXPECT_EQ(active->get(0), 1);
    EXPECT_EQ(active->get(1), 3);
    EXPECT_EQ(active->get(2), 4);
    for (oxMorphEntry* e : {positions, normals}) {
        ASSERT_EQ(e->getActiveCount(), 3);
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(e->getTargetIndex(j), active->get(j));
            EXPECT_EQ(e->getWeight(j), w[active->get(j)]);
        }
    }
    // Fewer active weights shrink the active count; the slots beyond are not read.
    m->getCoefficient()->set(4, 0);
    m->getCoefficient()->set(3, 0);
    m->updateCoefficientList();
    EXPECT_EQ(positions->getActiveCount(), 1);
    EXPECT_EQ(positions->getTargetIndex(0), 1);

    // Drawn from a sequence: the weights follow the time, and normals are renormalised
    // around the draw.
    oxSmartPointer<oxMorphSequence> s = twoTargetSequence();
    m->setMorphSequence(s);
    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxCommonTraversal> t = oxCommonTraversal::_instantiateRef();
    t->setVisualContext(vc);
    t->setUserTimeState(true);
    t->reset();
    t->setTimeAsLong(s->getTimeAsLong(1));
    t->apply(m);
    t->getOutput()->apply(vc);
    EXPECT_FLOAT_EQ(m->getCoefficient()->get(0), 1);
    EXPECT_FLOAT_EQ(m->getCoefficient()->get(1), 0);
    ASSERT_EQ(positions->getActiveCount(), 1) << "weight 1 is 0 now, and weight 2 had none";
    EXPECT_EQ(positions->getTargetIndex(0), 0);
    const std::string trace = vc->getTrace();
    const size_t on = trace.find("setSwitch NORMALIZE on"), drawn = trace.find("drawGeometry");
    ASSERT_NE(on, std::string::npos) << trace;
    ASSERT_NE(drawn, std::string::npos) << trace;
    EXPECT_LT(on, drawn);

    // Replacing the attribute replaces the node's geometry.
    oxSmartPointer<oxMorphedGeometryAttr> other = oxMorphedGeometryAttr::_instantiateRef();
    m->setMorphGeometry(other);
    ASSERT_EQ(m->getGeometryAttrCount(), 1);
    EXPECT_EQ(m->getGeometryAttr(0), other.get());
}

TEST_F(MorphTest, ABaseWithTargetsComesBackFromASceneFileAndBlendsTheSame)
{
    std::vector<Target> targets;
    oxSmartPointer<oxMorphBase> base = randomBase(50, 3, targets, 11);
    base->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_TRIANGLE_STRIPS, 1, 0);
    base->setPrimitiveLength(0, 50);
    oxSmartPointer<oxMorphInstance> m = oxMorphInstance::_instantiateRef();
    m->setBase(base);
    m->setMorphSequence(twoTargetSequence());
    m->setCoefficient(2, 0.5f);
    m->update(int64_t(300000000));

    // Reading marks the instance's vertices as rewritten often, whatever the file says.
    m->getMorphedVertexArray()->setUsageFlags(0);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(m, bytes), kSuccess);
    oxSmartPointer<oxObject> read = oxOXBReader::readObject(bytes.data(), bytes.size(), "morph");
    auto* back = oxMorphInstance::dynamicCast(read.get());
    ASSERT_TRUE(back);
    oxMorphBase* b = back->getBase();
    ASSERT_TRUE(b);
    ASSERT_EQ(b->getCoefficientCount(), 3);
    EXPECT_EQ(b->getPrimitiveType(), Kel::Gfx::OX_GFX_DRAW_TRIANGLE_STRIPS);
    EXPECT_EQ(b->getPrimitiveLength(0), 50u);
    for (int c = 0; c < 3; ++c) {
        ASSERT_TRUE(b->getPositionIndexArray(c) && b->getPositionDisplacementVec(c));
        ASSERT_EQ(b->getPositionIndexArray(c)->getCount(), base->getPositionIndexArray(c)->getCount());
        for (int k = 0; k < b->getPositionIndexArray(c)->getCount(); ++k)
            EXPECT_EQ(b->getPositionIndexArray(c)->get(k), base->getPositionIndexArray(c)->get(k));
        for (int k = 0; k < b->getNormalDisplacementVec(c)->getCount(); ++k)
            EXPECT_EQ(b->getNormalDisplacementVec(c)->get(k), base->getNormalDisplacementVec(c)->get(k));
    }
    ASSERT_TRUE(back->getMorphedVertexArray());
    EXPECT_TRUE(back->getMorphedVertexArray()->getUsageFlags() & Kel::Gfx::oxVertexArrayBase::kUsageDynamic);
    ASSERT_EQ(back->getGeometryAttrCount(), 1);
    // The read instance draws what was blended, and blends on as the original does.
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(back->getMorphedVertexArray()->getPosition(i), m->getMorphedVertexArray()->getPosition(i));
    m->update(int64_t(1700000000));
    back->update(int64_t(1700000000));
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(back->getMorphedVertexArray()->getPosition(i), m->getMorphedVertexArray()->getPosition(i));
    expectBlend(back, targets, {back->getCoefficient(0), back->getCoefficient(1), back->getCoefficient(2)});
}

TEST_F(MorphTest, TransformMovesACopyOfTheBaseAndMorphsGetNoStoredBound)
{
    std::vector<Target> targets;
    oxSmartPointer<oxMorphBase> base = randomBase(30, 2, targets, 5);
    oxSmartPointer<oxMorphInstance> m = oxMorphInstance::_instantiateRef();
    m->setBase(base);
    const std::vector<float> w = {0.5f, -2};
    m->setCoefficient(0, w[0]);
    m->setCoefficient(1, w[1]);
    m->update();
    std::vector<oxVec3f> expectedAt;
    oxMatrix44f move;
    move.makeTranslation(oxVec3f(1, 2, 3));
    oxMatrix44f turn;
    turn.makeRotationZ(0.5f);
    const oxMatrix44f mat = turn * move;
    for (int i = 0; i < 30; ++i)
        expectedAt.push_back(mat.transformPoint(m->getMorphedVertexArray()->getPosition(i)));
    const oxVec3f original0 = base->getVertexArray()->getPosition(0);

    m->transform(mat);
    EXPECT_EQ(base->getVertexArray()->getPosition(0), original0) << "the shared base stays";
    ASSERT_NE(m->getBase(), base.get());
    m->setCoefficient(0, w[0]);
    m->setCoefficient(1, w[1]);
    m->update();
    for (int i = 0; i < 30; ++i)
        EXPECT_LT((m->getMorphedVertexArray()->getPosition(i) - expectedAt[size_t(i)]).length(), 1e-4f) << i;

    // Bounds: the morphs count in their parent's extent but nothing above them keeps one;
    // a static sibling does.
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxGroup> morphs = oxGroup::_instantiateRef();
    oxSmartPointer<oxMorphInstance2> m2 = oxMorphInstance2::_instantiateRef();
    oxSmartPointer<oxGeometry> still = oxGeometry::_instantiateRef();
    oxSmartPointer<oxGeometryAttr> a = oxGeometryAttr::_instantiateRef();
    a->configureVertexArray(oxVertexFormat::kPositions, 1)->setPosition(0, oxVec3f(50, 0, 0));
    a->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_POINTS, 1);
    still->addGeometryAttr(a);
    morphs->appendChild(m);
    morphs->appendChild(m2);
    root->appendChild(morphs);
    root->appendChild(still);
    oxBoundingBoxesMaker::_instantiateRef()->apply(root);
    EXPECT_FALSE(m->getBound());
    EXPECT_FALSE(m2->getBound());
    EXPECT_FALSE(morphs->getBound());
    EXPECT_FALSE(root->getBound());
    EXPECT_TRUE(still->getBound());
    oxSmartPointer<oxAABox> box = oxBoundingBoxesMaker::_instantiateRef()->getBoundingBox(morphs);
    oxBox3f blended;
    m->getMorphedVertexArray()->extendBox(blended);
    EXPECT_EQ(box->getBox().min, blended.min);
    EXPECT_EQ(box->getBox().max, blended.max);
}

TEST_F(MorphTest, ClassesRegisterWithTheirDeclaredFieldsInOrder)
{
    const auto names = oxDeclaredFieldNames;
    EXPECT_EQ(names("oxMorphBase"), "_vertexArray _indexArray _vertCount _coefCount _posDispList _posIndexList "
                                    "_normDispList _normIndexList _primType _numPrims _offset _primLengths "
                                    "_stripLengths ");
    EXPECT_EQ(names("oxMorphSequenceData"), "_keyCount _timeList _dataList _interpList _lastKey _unifTime ");
    EXPECT_EQ(names("oxMorphSequence"), "_playMode _interpolationMethod _coefCount _coefList _keyCount _timeList "
                                        "_lastKey _unifTime _startTime _keyFrameTimeOffset _animationDuration ");
    EXPECT_EQ(names("oxMorphInstance"),
              "_base _coef _oldCoef _coefSource _dirty _morphVa _morphSeq _privateBase _dirtyNormal ");
    EXPECT_EQ(names("oxMorphInstance2"), "_coefficient _nonNullCoefficientIndex _morphSequence _morphGeometry ");
    const oxMetaObject* seq = oxMetaObject::findType("oxMorphSequence");
    ASSERT_TRUE(seq);
    EXPECT_EQ(std::string(seq->getMetaField("_playMode")->getMetaEnum()->getName()), "PLAY_MODE");
    EXPECT_FALSE(oxMetaObject::findType("oxMorphInstance")->getMetaField("_dirty")->isPersistent());
    EXPECT_TRUE(oxMetaObject::findType("oxMorphInstance")->isDerivedFrom(oxGeometry::getClassTypeSafe()));
    oxSmartPointer<oxMorphSequence> fresh = oxMorphSequence::_instantiateRef();
    EXPECT_EQ(fresh->getKeyFrameCount(), -1);
}

} // namespace

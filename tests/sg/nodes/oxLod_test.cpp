#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"
#include "tests/sg/nodes/oxNodeTestSupport.h"

using namespace Kel::Sg;

namespace {

using LodTest = nodetest::Registered;

// The selection as the rules describe it, kept apart from the node's search: a choice is
// kept while the squared distance stays inside its band; otherwise the choice becomes the
// last range not above the distance (none when it is below the first), except that a node
// that never chose (or was reset) takes range 0 at least. A band runs from the chosen range
// to the next one (the largest float after the last); a hysteresis entry for a range moves
// that range's edge outwards by a plain distance.
class LodModel {
public:
    LodModel(std::vector<float> ranges, std::vector<float> hysteresis)
        : _ranges(std::move(ranges)), _hysteresis(std::move(hysteresis))
    {
    }

    void forget() { _fresh = true; }
    // Whether the last choice was range 0 only because the node chose for the first time.
    bool floored() const { return _floored; }

    int choose(float d2)
    {
        if (!_fresh && _lower <= d2 && d2 < _upper)
            return _index;
        int chosen = -1;
        for (int i = 0; i < int(_ranges.size()); ++i)
            if (_ranges[i] <= d2)
                chosen = i;
        _floored = _fresh && chosen < 0;
        if (_fresh)
            chosen = std::max(chosen, 0);
        _fresh = false;
        _index = chosen;
        _lower = chosen >= 0 ? edge(chosen, _ranges[chosen], -1) : 0.0f;
        const int next = chosen + 1;
        _upper = edge(next, next < int(_ranges.size()) ? _ranges[next] : std::numeric_limits<float>::max(), +1);
        return _index;
    }

    // Whether d2 lies in the band of `index` as the rules give it.
    bool inBand(int index, float d2) const
    {
        float lower = index >= 0 ? edge(index, _ranges[index], -1) : 0.0f;
        int next = index + 1;
        float upper = edge(next, next < int(_ranges.size()) ? _ranges[next] : std::numeric_limits<float>::max(), +1);
        return lower <= d2 && d2 < upper;
    }

    int lastBelow(float d2) const
    {
        int chosen = -1;
        for (int i = 0; i < int(_ranges.size()); ++i)
            if (_ranges[i] <= d2)
                chosen = i;
        return chosen;
    }

private:
    float edge(int index, float squared, int direction) const
    {
        if (index >= int(_hysteresis.size()))
            return squared;
        float widened = std::sqrt(squared) + float(direction) * _hysteresis[index];
        return widened * widened;
    }

    std::vector<float> _ranges;
    std::vector<float> _hysteresis;
    bool _fresh = true;
    bool _floored = false;
    int _index = -1;
    float _lower = 0, _upper = 0;
};

struct LodCase {
    oxSmartPointer<oxLod> lod;
    std::vector<oxSmartPointer<oxNode>> children;
    std::vector<float> ranges; // squared, as stored
    std::vector<float> hysteresis;
};

// Random ascending ranges (the first often 0), between one fewer and one more children than
// ranges, and, when asked, a hysteresis list of random length (longer than the ranges too).
LodCase makeCase(std::mt19937& rng, bool withHysteresis)
{
    LodCase c;
    c.lod = oxLod::_instantiateRef();
    std::uniform_int_distribution<int> rangeCount(1, 6);
    std::uniform_real_distribution<float> gap(0.5f, 20.0f);
    const int n = rangeCount(rng);
    float distance = rng() % 2 ? 0.0f : gap(rng);
    for (int i = 0; i < n; ++i) {
        c.lod->appendRange(distance);
        distance += gap(rng);
    }
    for (int i = 0; i < n; ++i)
        c.ranges.push_back(c.lod->getRangeList()->get(i));
    const int childCount = std::max(0, n - 1 + int(rng() % 3));
    for (int i = 0; i < childCount; ++i) {
        c.children.push_back(oxNode::_instantiateRef());
        c.lod->appendChild(c.children.back());
    }
    if (withHysteresis) {
        oxSmartPointer<oxFloatList> h = oxFloatList::_instantiateRef();
        const int count = int(rng() % (n + 2));
        for (int i = 0; i < count; ++i) {
            // Up to the sum of the distances of the range and the next: beyond, a lower
            // edge widened past zero comes back above the next range, bands of
            // non-neighbours overlap and the choice depends on the search order.
            float limit = i < n ? std::sqrt(c.ranges[i]) + (i + 1 < n ? std::sqrt(c.ranges[i + 1]) : 3.0f) : 3.0f;
            float value = std::uniform_real_distribution<float>(0.0f, 0.95f)(rng) * limit;
            h->append(value);
            c.hysteresis.push_back(value);
        }
        c.lod->setHysteresisList(h);
    }
    return c;
}

// The viewer's next squared distance: mostly small steps (to linger at edges), sometimes a
// jump, sometimes exactly on a range or a band edge, where off-by-one faults show.
float nextDistance(std::mt19937& rng, float d2, const LodCase& c, const oxLod& lod)
{
    switch (rng() % 10) {
    case 0: return c.ranges[rng() % c.ranges.size()];
    case 1: return lod.getLastLower();
    case 2: return lod.getLastUpper() < 1e30f ? lod.getLastUpper() : d2;
    case 3: {
        float far = c.ranges.back() * 1.5f + 10.0f;
        return std::uniform_real_distribution<float>(0.0f, far)(rng);
    }
    default: {
        float d = std::sqrt(d2) + std::normal_distribution<float>(0.0f, 1.5f)(rng);
        return d * d;
    }
    }
}

void runWalks(bool withHysteresis, uint32_t seed)
{
    std::mt19937 rng(seed);
    int kept = 0, changed = 0;
    for (int walk = 0; walk < 300; ++walk) {
        LodCase c = makeCase(rng, withHysteresis);
        LodModel model(c.ranges, c.hysteresis);
        float d2 = c.ranges[0];
        int previous = -2;
        for (int step = 0; step < 200; ++step) {
            if (rng() % 97 == 0) {
                // Forgetting the choice, by hand or by reading the node from a file.
                rng() % 2 ? c.lod->reset() : c.lod->postFileRead();
                model.forget();
            }
            d2 = nextDistance(rng, d2, c, *c.lod);
            const int expected = model.choose(d2);
            oxNode* got = c.lod->select(d2);
            const std::string where = "walk " + std::to_string(walk) + " step " + std::to_string(step) +
                                      " d2 " + std::to_string(d2);
            oxNode* child = expected >= 0 && expected < int(c.children.size()) ? c.children[expected].get() : nullptr;
            ASSERT_EQ(got, child) << where << " expected range " << expected;
            ASSERT_EQ(c.lod->getLastSelectedLod(), child ? expected : -1) << where;
            // A choice other than the last range not above the distance needs a reason: the
            // distance is inside that choice's band, or the node was choosing afresh.
            ASSERT_TRUE(expected == model.lastBelow(d2) || model.inBand(expected, d2) || model.floored()) << where;
            // Without hysteresis the band is exactly the range's own interval.
            if (!withHysteresis && !model.floored()) {
                ASSERT_EQ(expected, model.lastBelow(d2)) << where;
            }
            (expected == previous ? kept : changed)++;
            previous = expected;
        }
    }
    // The walks must have exercised both keeping and changing a choice.
    EXPECT_GT(kept, 1000);
    EXPECT_GT(changed, 1000);
}

} // namespace

TEST_F(LodTest, WalksWithoutHysteresisMatchTheBandModel)
{
    runWalks(false, 20240611u);
}

TEST_F(LodTest, WalksWithHysteresisMatchTheBandModel)
{
    runWalks(true, 777u);
}

TEST_F(LodTest, ChoosesByRangeAndSearchesBothWays)
{
    oxSmartPointer<oxLod> lod = oxLod::_instantiateRef();
    oxSmartPointer<oxNode> a = oxNode::_instantiateRef(), b = oxNode::_instantiateRef(), c = oxNode::_instantiateRef();
    for (float r : {0.0f, 10.0f, 100.0f})
        lod->appendRange(r);
    EXPECT_EQ(lod->getRangeList()->get(1), 100.0f);
    EXPECT_EQ(lod->getRangeList()->get(2), 10000.0f);
    EXPECT_EQ(lod->getRange(2), 100.0f);
    lod->appendChild(a);
    lod->appendChild(b);
    lod->appendChild(c);
    EXPECT_TRUE(lod->isChildrenOrdered());
    EXPECT_EQ(lod->getLastSelectedLod(), -1);

    EXPECT_EQ(lod->select(50), a.get());
    EXPECT_EQ(lod->getLastSelectedLod(), 0);
    EXPECT_EQ(lod->select(200), b.get());
    EXPECT_EQ(lod->select(20000), c.get());
    EXPECT_EQ(lod->getLastUpper(), std::numeric_limits<float>::max());
    EXPECT_EQ(lod->select(5), a.get());
    EXPECT_EQ(lod->select(100), b.get()); // a range's own distance belongs to it

    // A fresh node nearer than a first range above 0 still starts with range 0 ...
    oxSmartPointer<oxLod> far = oxLod::_instantiateRef();
    far->appendRange(10);
    far->appendRange(20);
    far->appendChild(a);
    far->appendChild(b);
    EXPECT_EQ(far->select(25), a.get());
    // ... but once it searches downwards from there, nearer than range 0 is nothing.
    EXPECT_EQ(far->select(25), nullptr);
    EXPECT_EQ(far->getLastSelectedLod(), -1);
    EXPECT_EQ(far->select(900), b.get());

    // No ranges at all select nothing.
    oxSmartPointer<oxLod> empty = oxLod::_instantiateRef();
    empty->appendChild(a);
    EXPECT_EQ(empty->select(4), nullptr);
    EXPECT_EQ(empty->getLastSelectedLod(), -1);
}

TEST_F(LodTest, HysteresisKeepsTheChoiceInsideTheWidenedBand)
{
    oxSmartPointer<oxLod> lod = oxLod::_instantiateRef();
    oxSmartPointer<oxNode> a = oxNode::_instantiateRef(), b = oxNode::_instantiateRef(), c = oxNode::_instantiateRef();
    for (float r : {0.0f, 10.0f, 100.0f})
        lod->appendRange(r);
    lod->appendChild(a);
    lod->appendChild(b);
    lod->appendChild(c);
    oxSmartPointer<oxFloatList> h = oxFloatList::_instantiateRef();
    for (int i = 0; i < 3; ++i)
        h->append(2.0f);
    lod->setHysteresisList(h);

    EXPECT_EQ(lod->select(144), b.get());
    EXPECT_EQ(lod->getLastLower(), 64.0f);
    EXPECT_EQ(lod->getLastUpper(), 102.0f * 102.0f);
    for (float d : {8.0f, 9.0f, 50.0f, 101.9f})
        EXPECT_EQ(lod->select(d * d), b.get()) << d;
    EXPECT_EQ(lod->select(7.9f * 7.9f), a.get());
    EXPECT_EQ(lod->select(11.9f * 11.9f), a.get());
    EXPECT_EQ(lod->select(12 * 12), b.get());
    EXPECT_EQ(lod->select(102 * 102), c.get());
}

TEST_F(LodTest, MoreRangesThanChildrenSelectNothingBeyondTheChildren)
{
    oxSmartPointer<oxLod> lod = oxLod::_instantiateRef();
    oxSmartPointer<oxNode> a = oxNode::_instantiateRef();
    lod->appendRange(0);
    lod->appendRange(5);
    lod->appendChild(a);
    EXPECT_EQ(lod->select(1), a.get());
    EXPECT_EQ(lod->select(30), nullptr);
    EXPECT_EQ(lod->getLastSelectedLod(), -1);
    EXPECT_EQ(lod->select(2), a.get());

    // A range list shortened under a remembered choice is searched within its new length.
    EXPECT_EQ(lod->select(30), nullptr);
    lod->getRangeList()->setCount(1);
    EXPECT_EQ(lod->select(1), a.get());
    EXPECT_EQ(lod->select(std::numeric_limits<float>::infinity()), a.get());
}

TEST_F(LodTest, ResetTransformAndFileReadingForgetTheChoice)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxLod> lod = oxLod::_instantiateRef();
    root->appendChild(lod);
    oxSmartPointer<oxNode> a = oxNode::_instantiateRef(), b = oxNode::_instantiateRef();
    lod->appendRange(0);
    lod->appendRange(10);
    lod->appendChild(a);
    lod->appendChild(b);
    lod->insertRange(1, 3);
    EXPECT_EQ(lod->getRange(1), 3.0f);
    lod->setCenter(oxVec3f(1, 2, 3));

    ASSERT_EQ(lod->select(50), b.get());
    lod->postFileRead();
    EXPECT_EQ(lod->getLastSelectedLod(), -1);
    EXPECT_EQ(lod->getLastLower(), 0.0f);
    EXPECT_EQ(lod->getLastUpper(), 0.0f);
    // The group's own repair ran too: the children still list the node once.
    EXPECT_EQ(a->getParentCount(), 1);

    ASSERT_EQ(lod->select(50), b.get());
    lod->reset();
    EXPECT_EQ(lod->getLastSelectedLod(), -1);

    // The centre moves with the children; the ranges stay.
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(10, 0, 0));
    lod->transform(m);
    EXPECT_EQ(lod->getCenter(), oxVec3f(11, 2, 3));
    EXPECT_EQ(lod->getRange(2), 10.0f);

    // Through a file: ranges, centre and hysteresis come back, the choice does not.
    oxSmartPointer<oxFloatList> h = oxFloatList::_instantiateRef();
    h->append(1.5f);
    lod->setHysteresisList(h);
    lod->select(50);
    oxSmartPointer<oxObject> read = nodetest::throughFile(root);
    auto* readRoot = oxGroup::dynamicCast(read.get());
    ASSERT_TRUE(readRoot);
    auto* readLod = oxLod::dynamicCast(readRoot->getChild(0));
    ASSERT_TRUE(readLod);
    EXPECT_EQ(readLod->getLastSelectedLod(), -1);
    EXPECT_EQ(readLod->getCenter(), oxVec3f(11, 2, 3));
    ASSERT_EQ(readLod->getRangeCount(), 3);
    ASSERT_TRUE(readLod->getHysteresisList());
    EXPECT_EQ(readLod->getHysteresisList()->get(0), 1.5f);
    EXPECT_EQ(readLod->select(50), readLod->getChild(1));
}

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"
#include "tests/sg/nodes/oxNodeTestSupport.h"

using namespace Kel::Sg;
using nodetest::translation;

namespace {

using SelectionTest = nodetest::Registered;

std::vector<bool> bits(const oxSwitch& s)
{
    std::vector<bool> out;
    for (int i = 0; i < s.getChildCount(); ++i)
        out.push_back(s.isChildActive(i));
    return out;
}

} // namespace

TEST_F(SelectionTest, SwitchMaskFollowsTheChildrenPositionally)
{
    oxSmartPointer<oxSwitch> sw = oxSwitch::_instantiateRef();
    ASSERT_TRUE(sw->getChildMask());
    EXPECT_TRUE(sw->isChildrenOrdered());
    std::vector<oxSmartPointer<oxNode>> kids;
    for (int i = 0; i < 4; ++i)
        kids.push_back(oxNode::_instantiateRef());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sw->appendChild(kids[i]), i);
    EXPECT_EQ(sw->getChildMask()->getBitCount(), 3u);
    sw->activateChild(0);
    sw->activateChild(2);
    EXPECT_EQ(bits(*sw), (std::vector<bool>{true, false, true}));

    EXPECT_EQ(sw->appendChild(kids[3]), 3);
    EXPECT_EQ(bits(*sw), (std::vector<bool>{true, false, true, false}));
    sw->activateAllChildren();
    EXPECT_EQ(bits(*sw), (std::vector<bool>(4, true)));
    sw->deactivateChild(1);
    EXPECT_EQ(bits(*sw), (std::vector<bool>{true, false, true, true}));

    // Bits stay where they are: a child inserted in front takes the first bit's state and
    // the new last bit arrives clear, even though setAll had set the spare bits of the word.
    oxSmartPointer<oxNode> front = oxNode::_instantiateRef();
    EXPECT_TRUE(sw->insertChild(0, front));
    EXPECT_EQ(sw->getChild(0), front.get());
    EXPECT_EQ(bits(*sw), (std::vector<bool>{true, false, true, true, false}));
    EXPECT_FALSE(sw->insertChild(0, nullptr));
    EXPECT_EQ(sw->getChildMask()->getBitCount(), 5u);

    // Removal hands back the child while another holder keeps it; the mask shrinks.
    EXPECT_EQ(sw->removeChild(0), front.get());
    EXPECT_EQ(front->getParentCount(), 0);
    EXPECT_EQ(sw->getChildMask()->getBitCount(), 4u);
    EXPECT_EQ(sw->removeChild(17), nullptr);
    EXPECT_EQ(sw->removeChild(kids[3].get()), 3);
    EXPECT_EQ(sw->getChildMask()->getBitCount(), 3u);
    EXPECT_FALSE(sw->isChildActive(3));
    EXPECT_FALSE(sw->isChildActive(-1));
    sw->deactivateAllChildren();
    EXPECT_EQ(bits(*sw), (std::vector<bool>(3, false)));

    // A mask edited out of step through the group's own operations never reads past its
    // words, and a mask handed in is fitted to the children.
    static_cast<oxGroup*>(sw.get())->appendChild(kids[3]);
    EXPECT_FALSE(sw->isChildActive(3));
    oxSmartPointer<oxBitMask> mask = oxBitMask::_instantiateRef();
    mask->setBitCount(1);
    mask->setBit(0);
    sw->setChildMask(mask);
    EXPECT_EQ(mask->getBitCount(), 4u);
    EXPECT_EQ(bits(*sw), (std::vector<bool>{true, false, false, false}));
    sw->removeAllChildren();
    EXPECT_EQ(mask->getBitCount(), 0u);

    sw->setChildMask(nullptr);
    sw->appendChild(kids[0]);
    sw->activateChild(0);
    sw->activateAllChildren();
    EXPECT_FALSE(sw->isChildActive(0));
}

TEST_F(SelectionTest, SwitchReadFromAFileFitsItsMaskToItsChildren)
{
    oxSmartPointer<oxSwitch> sw = oxSwitch::_instantiateRef();
    for (int i = 0; i < 3; ++i)
        sw->appendChild(oxNode::_instantiateRef());
    sw->activateChild(0);
    sw->activateChild(1);
    // A stored mask too short for the children, as a damaged or hand-made file might have;
    // the bit beyond its count is stale and must not come back.
    sw->getChildMask()->setBitCountUnsafe(1);
    oxSmartPointer<oxObject> read = nodetest::throughFile(sw);
    auto* back = oxSwitch::dynamicCast(read.get());
    ASSERT_TRUE(back);
    ASSERT_EQ(back->getChildCount(), 3);
    EXPECT_EQ(back->getChildMask()->getBitCount(), 3u);
    EXPECT_EQ(bits(*back), (std::vector<bool>{true, false, false}));
}

TEST_F(SelectionTest, SpecialDoubleListFindsTheFirstElementNotBelow)
{
    oxSmartPointer<oxSpecialDoubleList> list = oxSpecialDoubleList::_instantiateRef();
    EXPECT_EQ(list->findIndex(3.0), 0);
    for (double t : {1.0, 2.0, 2.0, 5.0})
        list->append(t);
    EXPECT_EQ(list->findIndex(-1.0), 0);
    EXPECT_EQ(list->findIndex(1.0), 0);
    EXPECT_EQ(list->findIndex(1.5), 1);
    EXPECT_EQ(list->findIndex(2.0), 1);
    EXPECT_EQ(list->findIndex(4.999), 3);
    EXPECT_EQ(list->findIndex(5.0), 3);
    EXPECT_EQ(list->findIndex(5.5), 4);
}

TEST_F(SelectionTest, TimeSwitchPlaysItsChildrenByEndTime)
{
    std::vector<oxSmartPointer<oxNode>> kids;
    for (int i = 0; i < 3; ++i)
        kids.push_back(oxNode::_instantiateRef());
    auto make = [&](oxTimeSwitch::PLAY_MODE mode) {
        oxSmartPointer<oxTimeSwitch> ts = oxTimeSwitch::_instantiateRef();
        // Appended out of order: children and times are kept sorted by end time.
        ts->appendChild(kids[2], 3.0);
        ts->appendChild(kids[0], 1.0);
        ts->appendChild(kids[1], 2.0);
        ts->setPlayMode(mode);
        return ts;
    };

    oxSmartPointer<oxTimeSwitch> repeat = make(oxTimeSwitch::REPEAT);
    ASSERT_EQ(repeat->getCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(repeat->getChild(i), kids[i].get());
        EXPECT_EQ(repeat->getTime(i), double(i + 1));
    }
    EXPECT_TRUE(repeat->isChildrenOrdered());
    EXPECT_EQ(repeat->getStartTime(), -1.0);
    EXPECT_EQ(repeat->getNode(10), kids[0].get());
    EXPECT_EQ(repeat->getStartTime(), 10.0);
    EXPECT_EQ(repeat->getNode(11), kids[0].get()); // an end time belongs to its child
    EXPECT_EQ(repeat->getNode(11.5), kids[1].get());
    EXPECT_EQ(repeat->getNode(12), kids[1].get());
    EXPECT_EQ(repeat->getNode(13.5), kids[0].get());
    EXPECT_EQ(repeat->getNode(9), kids[0].get()); // before the start counts as the start

    oxSmartPointer<oxTimeSwitch> clamp = make(oxTimeSwitch::CLAMP);
    EXPECT_EQ(clamp->getNode(10), kids[0].get());
    EXPECT_EQ(clamp->getNode(11.5), kids[1].get());
    EXPECT_EQ(clamp->getNode(13.5), kids[2].get());
    EXPECT_EQ(clamp->getNode(100), kids[2].get());

    oxSmartPointer<oxTimeSwitch> bounce = make(oxTimeSwitch::BOUNCE);
    EXPECT_EQ(bounce->getNode(10), kids[0].get());
    EXPECT_EQ(bounce->getNode(11.5), kids[1].get());
    EXPECT_EQ(bounce->getNode(13.5), kids[2].get()); // local time 2.5, going back
    EXPECT_EQ(bounce->getNode(15.5), kids[0].get()); // local time 0.5
    EXPECT_EQ(bounce->getNode(17.5), kids[1].get()); // forwards again, local time 1.5

    // Setting the start negative restarts the clock at the next call.
    repeat->setStartTime(-1);
    EXPECT_EQ(repeat->getNode(50.5), kids[0].get());
    EXPECT_EQ(repeat->getNode(52.5), kids[1].get());
    EXPECT_EQ(repeat->getNode(53), kids[2].get());
}

TEST_F(SelectionTest, TimeSwitchWithoutAUsableCycleShowsNothing)
{
    oxSmartPointer<oxTimeSwitch> ts = oxTimeSwitch::_instantiateRef();
    EXPECT_EQ(ts->getNode(1), nullptr);
    EXPECT_EQ(ts->getStartTime(), 1.0);

    // A refused child records no time.
    ts->appendChild(nullptr, 2.0);
    EXPECT_EQ(ts->getTimeList()->getCount(), 0);

    oxSmartPointer<oxNode> a = oxNode::_instantiateRef();
    ts->appendChild(a, 0.0);
    EXPECT_EQ(ts->getNode(2), nullptr); // the last end time is not positive

    // A child added through the group alone has no time: no defined choice.
    oxSmartPointer<oxTimeSwitch> partial = oxTimeSwitch::_instantiateRef();
    partial->appendChild(a, 1.0);
    static_cast<oxGroup*>(partial.get())->appendChild(oxNode::_instantiateRef());
    EXPECT_EQ(partial->getNode(0.5), nullptr);
    // Later timed children still line up with their times.
    oxSmartPointer<oxNode> b = oxNode::_instantiateRef();
    partial->appendChild(b, 5.0);
    EXPECT_EQ(partial->getChild(1), b.get());
    EXPECT_EQ(partial->getTime(1), 5.0);
}

namespace {

oxVec3f row(const oxMatrix44f& m, int i)
{
    return m.getRow(i).xyz();
}

void expectRotationRows(const oxMatrix44f& m, const char* where)
{
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(row(m, i).length(), 1.0f, 1e-4f) << where << " row " << i;
        EXPECT_NEAR(row(m, i).dot(row(m, (i + 1) % 3)), 0.0f, 1e-4f) << where << " rows " << i;
        EXPECT_EQ(m.m[i][3], 0.0f) << where;
    }
    // Right-handed: x × y = z.
    EXPECT_TRUE(oxIsEqual(row(m, 0).cross(row(m, 1)), row(m, 2), 1e-4f)) << where;
}

} // namespace

TEST_F(SelectionTest, BillboardAboutUpTurnsItsZAxisToTheEye)
{
    oxSmartPointer<oxBillboard> bb = oxBillboard::_instantiateRef();
    EXPECT_EQ(bb->getMode(), oxBillboard::ABOUT_UP);
    EXPECT_EQ(bb->getAxis(), oxVec3f(0, 0, 1));
    EXPECT_FALSE(bb->isTransformable());
    EXPECT_FALSE(bb->isChildrenOrdered());
    const oxMatrix44f model;
    oxMatrix44f out;

    oxMatrix44f eye = translation(0, 0, 5);
    bb->computeTransform(&out, &model, &eye);
    EXPECT_EQ(out, oxMatrix44f());

    eye = translation(5, 0, 0);
    bb->computeTransform(&out, &model, &eye);
    EXPECT_TRUE(oxIsEqual(row(out, 0), oxVec3f(0, 0, -1)));
    EXPECT_TRUE(oxIsEqual(row(out, 1), oxVec3f(0, 1, 0)));
    EXPECT_TRUE(oxIsEqual(row(out, 2), oxVec3f(1, 0, 0)));
    EXPECT_EQ(out.getTranslation(), oxVec3f(0, 0, 0));

    // The origin moves with the model matrix; the eye is seen from there.
    bb->setOrigin(oxVec3f(0, 0, 1));
    const oxMatrix44f moved = translation(3, 0, 0);
    eye = translation(3, 7, 1);
    bb->computeTransform(&out, &moved, &eye);
    EXPECT_EQ(out.getTranslation(), oxVec3f(3, 0, 1));
    // Straight above: up points at the eye, so the x axis is taken as it is.
    EXPECT_TRUE(oxIsEqual(row(out, 0), oxVec3f(1, 0, 0)));
    EXPECT_TRUE(oxIsEqual(row(out, 1), oxVec3f(0, 1, 0)));
    EXPECT_TRUE(oxIsEqual(row(out, 2), oxVec3f(0, 0, 1)));
}

TEST_F(SelectionTest, BillboardAxisAndPointModesStayRotationsAndFaceTheEye)
{
    oxSmartPointer<oxBillboard> bb = oxBillboard::_instantiateRef();
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> coord(-10.0f, 10.0f);
    auto vec = [&] { return oxVec3f(coord(rng), coord(rng), coord(rng)); };
    for (int trial = 0; trial < 200; ++trial) {
        oxMatrix44f model;
        model.makeRotation(vec(), coord(rng));
        model.setTranslation(vec());
        oxMatrix44f eye;
        eye.makeRotation(vec(), coord(rng));
        eye.setTranslation(vec());
        bb->setOrigin(vec());
        bb->setAxis(vec());
        const oxVec3f pos = model.getTranslation() + model.transformVector(bb->getOrigin());
        const oxVec3f toEye = (eye.getTranslation() - pos).normalized();
        oxMatrix44f out;
        for (int mode = 0; mode < 4; ++mode) {
            bb->setMode(oxBillboard::Mode(mode));
            bb->computeTransform(&out, &model, &eye);
            expectRotationRows(out, "random");
            EXPECT_TRUE(oxIsEqual(out.getTranslation(), pos, 1e-4f));
            if (mode == oxBillboard::ABOUT_AXIS) {
                // The y axis is the node's axis in the target space; z faces the eye as
                // far as turning about it allows.
                EXPECT_TRUE(oxIsEqual(row(out, 1), model.transformVector(bb->getAxis()).normalized(), 1e-4f));
                EXPECT_GE(row(out, 2).dot(toEye), -1e-5f);
            } else if (mode == oxBillboard::ABOUT_POINT_WORLD_UP || mode == oxBillboard::ABOUT_POINT_EYE_UP) {
                // Turned about a point, the billboard faces the eye squarely.
                EXPECT_TRUE(oxIsEqual(row(out, 2), toEye, 1e-4f)) << mode;
                const oxVec3f up = mode == oxBillboard::ABOUT_POINT_WORLD_UP ? oxVec3f(0, 1, 0)
                                                                             : eye.transformVector(oxVec3f(0, 1, 0));
                // y is the wanted up with its part along the view taken out.
                const oxVec3f expectedUp = (up - toEye * up.dot(toEye)).normalized();
                EXPECT_TRUE(oxIsEqual(row(out, 1), expectedUp, 1e-3f)) << mode;
            }
        }
    }
}

TEST_F(SelectionTest, BillboardDegenerateViewsStayFinite)
{
    oxSmartPointer<oxBillboard> bb = oxBillboard::_instantiateRef();
    const oxMatrix44f model;
    oxMatrix44f out;
    for (int mode = 0; mode < 4; ++mode) {
        bb->setMode(oxBillboard::Mode(mode));
        // Up along x and the eye along x too: the fallback needs its second axis.
        bb->setAxis(oxVec3f(1, 0, 0));
        for (const oxMatrix44f& eye : {translation(0, 4, 0), translation(0, 0, 0), translation(6, 0, 0)}) {
            bb->computeTransform(&out, &model, &eye);
            for (float v : out.m[0])
                EXPECT_TRUE(std::isfinite(v));
            expectRotationRows(out, "degenerate");
        }
    }
    bb->setMode(oxBillboard::ABOUT_AXIS);
    bb->setAxis(oxVec3f(0, 0, 0));
    const oxMatrix44f eye = translation(0, 0, 3);
    bb->computeTransform(&out, &model, &eye);
    expectRotationRows(out, "zero axis");
}

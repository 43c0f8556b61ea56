#include <gtest/gtest.h>

#include <vector>

#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"
#include "tests/sg/nodes/oxNodeTestSupport.h"

using namespace Kel::Sg;
using Kel::Attrs::oxClipPlaneAttr;
using Kel::Attrs::oxLightStateAttr;

namespace {

using LightsTest = nodetest::Registered;

oxSmartPointer<oxLightAttr> light(const oxVec3f& position, const oxVec3f& direction)
{
    oxSmartPointer<oxLightAttr> l = oxLightAttr::_instantiateRef();
    l->setPosition(position);
    l->setDirection(direction);
    return l;
}

oxSmartPointer<oxLightStateAttr> state(oxLightAttr* l, bool enabled)
{
    oxSmartPointer<oxLightStateAttr> s = oxLightStateAttr::_instantiateRef();
    s->setLight(l);
    s->setEnabled(enabled);
    return s;
}

} // namespace

TEST_F(LightsTest, LightSetMarksItsAncestorsAndMovesItsLights)
{
    oxSmartPointer<oxLightSet> set = oxLightSet::_instantiateRef();
    EXPECT_TRUE(set->getFlags() & oxNode::HAS_LIGHT);

    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef(), mid = oxGroup::_instantiateRef();
    root->appendChild(mid);
    EXPECT_FALSE(root->getFlags() & oxNode::HAS_LIGHT);
    mid->appendChild(set);
    EXPECT_TRUE(mid->getFlags() & oxNode::HAS_LIGHT);
    EXPECT_TRUE(root->getFlags() & oxNode::HAS_LIGHT);

    oxSmartPointer<oxLightAttr> a = light(oxVec3f(1, 2, 3), oxVec3f(0, 0, -1));
    oxSmartPointer<oxLightAttr> b = light(oxVec3f(0, 0, 0), oxVec3f(1, 0, 0));
    set->appendLightAttr(a);
    set->appendLightAttr(b);
    set->appendLightAttr(a);
    set->setLightCount(4); // a null entry is skipped by every operation below
    ASSERT_EQ(set->getLightCount(), 4);

    oxMatrix44f move;
    move.makeTranslation(oxVec3f(10, 0, 0));
    set->transform(move);
    // Listed twice, a is moved twice; directions ignore translations.
    EXPECT_EQ(a->getPosition(), oxVec3f(21, 2, 3));
    EXPECT_EQ(a->getDirection(), oxVec3f(0, 0, -1));
    EXPECT_EQ(b->getPosition(), oxVec3f(10, 0, 0));

    oxMatrix44f turn;
    turn.makeRotationZ(kHalfPi);
    set->transform(turn);
    EXPECT_TRUE(oxIsEqual(b->getPosition(), oxVec3f(0, 10, 0), 1e-5f));
    EXPECT_TRUE(oxIsEqual(b->getDirection(), oxVec3f(0, 1, 0), 1e-5f));
    // Moved through the light's own setters: where it is this frame follows.
    EXPECT_EQ(b->getTransformedDirection(), b->getDirection());

    // Reset reaches every light: the frame's transformed values go back.
    b->setTransformedPosition(oxVec3f(7, 7, 7));
    set->reset();
    EXPECT_EQ(b->getTransformedPosition(), b->getPosition());

    set->removeLightAttr(a.get());
    ASSERT_EQ(set->getLightCount(), 3);
    EXPECT_EQ(set->getLight(0), b.get());
    EXPECT_EQ(set->getLight(1), a.get());
    set->setLight(2, b);
    EXPECT_EQ(set->getLight(2), b.get());

    mid->removeChild(set.get());
    EXPECT_FALSE(mid->getFlags() & oxNode::HAS_LIGHT);
    EXPECT_FALSE(root->getFlags() & oxNode::HAS_LIGHT);
}

TEST_F(LightsTest, FirstActiveLightIsFoundOnTheWayUpThroughFirstParents)
{
    oxSmartPointer<oxLightAttr> l1 = light({}, {}), l2 = light({}, {}), l3 = light({}, {});
    oxSmartPointer<oxLightStateSet> top = oxLightStateSet::_instantiateRef();
    top->appendLightStateAttr(state(l1, false));
    top->appendLightStateAttr(state(nullptr, true));
    top->appendLightStateAttr(state(l2, true));
    top->appendLightStateAttr(state(l3, true));
    oxSmartPointer<oxLightStateSet> near = oxLightStateSet::_instantiateRef();
    near->appendLightStateAttr(state(l3, false));
    oxSmartPointer<oxGroup> mid = oxGroup::_instantiateRef();
    oxSmartPointer<oxNode> leaf = oxNode::_instantiateRef();
    top->appendChild(mid);
    mid->appendChild(near);
    near->appendChild(leaf);

    // The nearer set has only a disabled state, so the search goes on upwards.
    EXPECT_EQ(oxLightStateSet::findFirstActiveLight(leaf), l2.get());
    EXPECT_EQ(oxLightStateSet::findFirstActiveLight(top), l2.get());
    near->getLightStateAttr(0)->setEnabled(true);
    EXPECT_EQ(oxLightStateSet::findFirstActiveLight(leaf), l3.get());
    EXPECT_EQ(oxLightStateSet::findFirstActiveLight(mid), l2.get());
    EXPECT_EQ(oxLightStateSet::findFirstActiveLight(nullptr), nullptr);

    // Only the first parent is followed.
    oxSmartPointer<oxNode> shared = oxNode::_instantiateRef();
    oxSmartPointer<oxGroup> dark = oxGroup::_instantiateRef();
    dark->appendChild(shared);
    mid->appendChild(shared);
    EXPECT_EQ(oxLightStateSet::findFirstActiveLight(shared), nullptr);
    dark->removeChild(shared.get());
    EXPECT_EQ(oxLightStateSet::findFirstActiveLight(shared), l2.get());

    // Nothing enabled up to the root.
    top->getLightStateAttr(2)->setEnabled(false);
    top->getLightStateAttr(3)->setEnabled(false);
    EXPECT_EQ(oxLightStateSet::findFirstActiveLight(shared), nullptr);
}

TEST_F(LightsTest, LightStateSetWithoutAListIgnoresEdits)
{
    oxSmartPointer<oxLightStateSet> set = oxLightStateSet::_instantiateRef();
    oxSmartPointer<oxLightStateAttr> s1 = state(light({}, {}), true);
    set->appendLightStateAttr(s1);
    set->appendLightStateAttr(s1);
    set->removeLightStateAttr(s1.get());
    ASSERT_EQ(set->getLightStateAttrCount(), 1);
    set->setLightStateAttrCount(0);
    EXPECT_EQ(s1->getRefCount(), 1);

    set->setLightStateAttrs(nullptr);
    set->appendLightStateAttr(s1);
    EXPECT_EQ(set->getLightStateAttrCount(), 0);
    EXPECT_EQ(oxLightStateSet::findFirstActiveLight(set), nullptr);
}

TEST_F(LightsTest, ClipPlaneSetHoldsPlanesAndRebuildsItsAttributes)
{
    oxSmartPointer<oxClipPlaneSet> set = oxClipPlaneSet::_instantiateRef();
    const int before = oxClipPlane::getClassTypeSafe()->getInstanceCount();
    set->addClipPlane(3, oxVec4f(0, 1, 0, -2));
    ASSERT_EQ(set->getClipPlaneCount(), 1);
    oxClipPlane* made = set->getClipPlane(0);
    EXPECT_EQ(made->getUnitID(), 3);
    EXPECT_EQ(made->getPlane(), oxVec4f(0, 1, 0, -2));
    EXPECT_EQ(made->getRefCount(), 1); // held once, by the list
    // Units are 16-bit.
    set->addClipPlane(65536 + 5, oxVec4f(1, 0, 0, 0));
    EXPECT_EQ(set->getClipPlane(1)->getUnitID(), 5);

    oxSmartPointer<oxClipPlane> own = oxClipPlane::_instantiateRef();
    own->setUnitID(1);
    own->setPlane(oxVec4f(0, 0, 1, 4));
    set->addClipPlane(own);
    EXPECT_EQ(set->getClipPlane(2), own.get());

    // The attributes are the draw's and are not stored; the planes are.
    oxSmartPointer<oxClipPlaneAttr> attr = oxClipPlaneAttr::_instantiateRef();
    set->getClipPlaneAttrList()->append(attr);
    oxSmartPointer<oxObject> read = nodetest::throughFile(set);
    auto* back = oxClipPlaneSet::dynamicCast(read.get());
    ASSERT_TRUE(back);
    ASSERT_EQ(back->getClipPlaneCount(), 3);
    EXPECT_EQ(back->getClipPlane(0)->getUnitID(), 3);
    EXPECT_EQ(back->getClipPlane(2)->getPlane(), oxVec4f(0, 0, 1, 4));
    ASSERT_TRUE(back->getClipPlaneAttrList());
    EXPECT_EQ(back->getClipPlaneAttrList()->getCount(), 0);

    EXPECT_FALSE(set->removeClipPlane(7));
    EXPECT_TRUE(set->removeClipPlane(0));
    EXPECT_EQ(set->getClipPlane(0)->getUnitID(), 5);
    set->removeAllClipPlanes();
    EXPECT_EQ(set->getClipPlaneCount(), 0);
    EXPECT_EQ(own->getRefCount(), 1);
    read = nullptr;
    EXPECT_EQ(oxClipPlane::getClassTypeSafe()->getInstanceCount(), before + 1);

    set->setClipPlaneList(nullptr);
    set->addClipPlane(2, oxVec4f());
    EXPECT_EQ(set->getClipPlaneCount(), 0);
    EXPECT_EQ(oxClipPlane::getClassTypeSafe()->getInstanceCount(), before + 1);
}

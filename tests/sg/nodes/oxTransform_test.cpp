#include <gtest/gtest.h>

#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"
#include "tests/sg/nodes/oxNodeTestSupport.h"

using namespace Kel::Sg;
using nodetest::translation;
using oxbtest::ScaleSource;

namespace {

// An attribute that counts its resets, so that a set's reset can be observed.
class CountingAttr : public Kel::Attrs::oxAttr {
    OX_CLASS(CountingAttr, Kel::Attrs::oxAttr)
public:
    int _resets = 0;
    void reset() override { ++_resets; }

protected:
    CountingAttr() = default;
    void applyTo(Kel::Gfx::oxVisualContext&) override {}
};

class TransformTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        oxbtest::registerAll();
        CountingAttr::arkRegister();
    }
};

TEST_F(TransformTest, NewTransformMarksItsAncestorsAndTargetsKeepTheirStoredValues)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxGroup> mid = oxGroup::_instantiateRef();
    root->appendChild(mid);
    oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
    EXPECT_TRUE(t->getFlags() & oxNode::HAS_TRANSFORM);
    EXPECT_FALSE(root->getFlags() & oxNode::HAS_TRANSFORM);
    mid->appendChild(t);
    EXPECT_TRUE(mid->getFlags() & oxNode::HAS_TRANSFORM);
    EXPECT_TRUE(root->getFlags() & oxNode::HAS_TRANSFORM);
    // Targets are stored by value.
    int value = -1;
    EXPECT_TRUE(oxTransform::getTARGETMetaEnum()->getEnumValue("TEXTURE_MATRIX_7", value));
    EXPECT_EQ(value, 16);
    EXPECT_EQ(oxTransform::getTARGETMetaEnum()->getItemCount(), 18);
}

TEST_F(TransformTest, TransformabilityDependsOnSharingTargetAndSourceOnly)
{
    oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
    oxSmartPointer<oxGroup> a = oxGroup::_instantiateRef(), b = oxGroup::_instantiateRef();
    a->appendChild(t);
    EXPECT_TRUE(t->isTransformable());

    // The children are not consulted: a shared child does not stop the transform.
    oxSmartPointer<oxNode> shared = oxNode::_instantiateRef();
    t->appendChild(shared);
    b->appendChild(shared);
    EXPECT_TRUE(t->isTransformable());

    t->setTarget(oxTransform::TEXTURE_MATRIX_0);
    EXPECT_FALSE(t->isTransformable());
    t->setTarget(oxTransform::MODEL_VIEW_MATRIX);

    oxSmartPointer<ScaleSource> source = ScaleSource::_instantiateRef();
    t->setTransformSource(source);
    EXPECT_FALSE(t->isTransformable());
    source->_transformable = true;
    EXPECT_TRUE(t->isTransformable());

    b->appendChild(t);
    EXPECT_FALSE(t->isTransformable());
}

TEST_F(TransformTest, TransformMultipliesOwnMatrixOrHandsItToTheSource)
{
    oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
    oxSmartPointer<oxNode> child = oxNode::_instantiateRef();
    t->appendChild(child);
    const oxMatrix44f m = translation(1, 2, 3);
    oxMatrix44f r;
    r.makeRotation(oxVec3f(0, 0, 1), 0.5f);
    t->transform(m);
    EXPECT_EQ(*t->getMatrix(), m);
    t->transform(r);
    EXPECT_EQ(*t->getMatrix(), m * r);

    oxSmartPointer<ScaleSource> source = ScaleSource::_instantiateRef();
    t->setTransformSource(source);
    t->transform(m);
    EXPECT_EQ(source->_baked, m);
    EXPECT_EQ(*t->getMatrix(), m * r);
}

TEST_F(TransformTest, UpdateAndResetFollowTheSource)
{
    oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
    const oxMatrix44f byHand = translation(4, 5, 6);
    t->setMatrix(&byHand);
    t->update(500);
    t->reset();
    EXPECT_EQ(*t->getMatrix(), byHand);

    oxSmartPointer<ScaleSource> source = ScaleSource::_instantiateRef();
    source->_perSecond = 2;
    t->setTransformSource(source);
    t->update(500);
    oxMatrix44f expected;
    expected.makeScale(2.0f);
    EXPECT_EQ(*t->getMatrix(), expected);
    // A source that produces nothing leaves the matrix as it was.
    t->update(-1);
    EXPECT_EQ(*t->getMatrix(), expected);
    t->reset();
    EXPECT_EQ(source->_resets, 1);
    EXPECT_EQ(*t->getMatrix(), oxMatrix44f());
}

TEST_F(TransformTest, SourceDefaultsDeriveEverythingFromTheMatrix)
{
    oxSmartPointer<ScaleSource> source = ScaleSource::_instantiateRef();
    source->_perSecond = 0;
    oxMatrix44f r;
    r.makeRotation(oxVec3f(0, 1, 0), 1.0f);
    source->transform(r * translation(7, 8, 9));

    oxQuaternionf q, plain;
    oxVec3f v;
    int cursor = 41;
    EXPECT_TRUE(source->getQuaternionAndTranslation(q, v, 0, cursor, nullptr));
    EXPECT_EQ(cursor, 41);
    EXPECT_NEAR(v.x, 7, 1e-5f);
    EXPECT_NEAR(v.y, 8, 1e-5f);
    EXPECT_NEAR(v.z, 9, 1e-5f);
    EXPECT_TRUE(source->getQuaternion(plain, 0));
    EXPECT_TRUE(oxIsEqual(plain.toMatrix(), r, 1e-5f));
    EXPECT_TRUE(oxIsEqual(q.toMatrix(), r, 1e-5f));
    EXPECT_FALSE(source->getQuaternion(plain, -5));

    source->transform(translation(1, 0, 0));
    EXPECT_EQ(source->getFirstFrameTime(), 0);
    EXPECT_EQ(source->getLastFrameTime(), 0);
}

TEST_F(TransformTest, AttrSetListsAndResetsItsAttributes)
{
    oxSmartPointer<oxAttrSet> set = oxAttrSet::_instantiateRef();
    set->reset();
    oxSmartPointer<CountingAttr> a = CountingAttr::_instantiateRef(), b = CountingAttr::_instantiateRef();
    set->appendAttr(a);
    set->appendAttr(b);
    set->appendAttr(a);
    set->reset();
    EXPECT_EQ(a->_resets, 2);
    EXPECT_EQ(b->_resets, 1);

    set->removeAttr(a.get());
    ASSERT_EQ(set->getAttrCount(), 2);
    EXPECT_EQ(set->getAttr(0), b.get());
    EXPECT_EQ(set->getAttr(1), a.get());
}

} // namespace

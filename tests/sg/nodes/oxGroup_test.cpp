#include <gtest/gtest.h>

#include <vector>

#include "sg/OXSg.h"

using namespace Kel::Sg;

namespace {
// A group that always carries the transform flag, as transforms do.
class TestTransform : public oxGroup {
    OX_CLASS(TestTransform, oxGroup)
public:
    int getInherantFlags() override { return HAS_TRANSFORM; }

protected:
    TestTransform() = default;
};

// A leaf that always carries the light flag, as light sets do.
class TestLight : public oxNode {
    OX_CLASS(TestLight, oxNode)
public:
    int getInherantFlags() override { return HAS_LIGHT; }

protected:
    TestLight() = default;
};

oxSmartPointer<oxGroup> group(const char* name = nullptr)
{
    oxSmartPointer<oxGroup> g = oxGroup::_instantiateRef();
    if (name)
        g->setName(name);
    return g;
}

int parentsEqualTo(oxNode* node, oxNode* parent)
{
    int n = 0;
    for (int i = 0; i < node->getParentCount(); ++i)
        n += node->getParent(i) == parent;
    return n;
}

struct Counts {
    int nodes = oxNode::getClassTypeSafe()->getInstanceCount();
    int groups = oxGroup::getClassTypeSafe()->getInstanceCount();
    int lists = oxNodeList::getClassTypeSafe()->getInstanceCount();
    int parentLists = oxNonRefCountedNodeList::getClassTypeSafe()->getInstanceCount();
    bool operator==(const Counts&) const = default;
};
} // namespace

TEST(Group, SharedChildrenAndTeardownLeaveNothingBehind)
{
    Counts before;
    {
        oxSmartPointer<oxGroup> root = group("root");
        oxSmartPointer<oxGroup> a = group("a"), b = group("b");
        oxSmartPointer<oxNode> leaf = oxNode::_instantiateRef();
        EXPECT_EQ(root->appendChild(a), 0);
        EXPECT_EQ(root->appendChild(b), 1);
        EXPECT_EQ(a->appendChild(leaf), 0);
        EXPECT_EQ(b->appendChild(leaf), 0);
        EXPECT_EQ(b->appendChild(leaf), 1); // twice under b
        EXPECT_EQ(leaf->getParentCount(), 3);
        EXPECT_EQ(parentsEqualTo(leaf, b), 2);
        EXPECT_FALSE(leaf->isTransformable());
        EXPECT_FALSE(root->isTransformable()); // a child is shared
        EXPECT_EQ(b->getChild(leaf.get()), 0);

        EXPECT_EQ(b->removeChild(leaf.get()), 0);
        EXPECT_EQ(parentsEqualTo(leaf, b), 1);
        EXPECT_EQ(b->removeChild(leaf.get()), 0);
        EXPECT_EQ(b->removeChild(leaf.get()), -1);
        EXPECT_TRUE(leaf->isTransformable());
        EXPECT_EQ(b->removeChild(5), nullptr);
        EXPECT_EQ(b->removeChild(-1), nullptr);
        EXPECT_FALSE(b->insertChild(0, nullptr));
        EXPECT_FALSE(b->insertChild(3, leaf));
        EXPECT_EQ(b->appendChild(nullptr), -1);

        // A removed child lives on in the caller's hands.
        b->appendChild(leaf);
        oxSmartPointer<oxNode> taken = b->removeChild(0);
        EXPECT_EQ(taken, leaf);
        EXPECT_EQ(leaf->getParentCount(), 1);

        // A group released while its child lives elsewhere must leave no dangling parent.
        b->appendChild(leaf);
        root->removeChild(b.get());
        b.reset();
        EXPECT_EQ(leaf->getParentCount(), 1);
        EXPECT_EQ(leaf->getParent(0), a.get());
    }
    EXPECT_EQ(Counts(), before);
}

TEST(Group, FlagsPropagateUpAndClearUnlessStillCarried)
{
    oxSmartPointer<oxGroup> root = group(), mid = group(), other = group();
    root->appendChild(mid);
    root->appendChild(other);
    oxSmartPointer<TestLight> light = TestLight::_instantiateRef();
    EXPECT_EQ(light->getFlags(), oxNode::HAS_LIGHT); // inherent on creation
    mid->appendChild(light);
    EXPECT_TRUE(mid->getFlags() & oxNode::HAS_LIGHT);
    EXPECT_TRUE(root->getFlags() & oxNode::HAS_LIGHT);

    // A second light keeps the bit on root after the first goes.
    oxSmartPointer<TestLight> light2 = TestLight::_instantiateRef();
    other->appendChild(light2);
    mid->removeChild(light.get());
    EXPECT_FALSE(mid->getFlags() & oxNode::HAS_LIGHT);
    EXPECT_TRUE(root->getFlags() & oxNode::HAS_LIGHT);
    other->removeAllChildren();
    EXPECT_FALSE(root->getFlags() & oxNode::HAS_LIGHT);
    EXPECT_FALSE(other->hasChildren());

    // A transform keeps its own bit whatever happens below it.
    oxSmartPointer<TestTransform> xf = TestTransform::_instantiateRef();
    oxSmartPointer<TestTransform> inner = TestTransform::_instantiateRef();
    root->appendChild(xf);
    xf->appendChild(inner);
    EXPECT_TRUE(root->getFlags() & oxNode::HAS_TRANSFORM);
    xf->removeChild(inner.get());
    EXPECT_TRUE(xf->getFlags() & oxNode::HAS_TRANSFORM);
    root->removeChild(xf.get());
    EXPECT_FALSE(root->getFlags() & oxNode::HAS_TRANSFORM);

    // Bits outside the mask never travel; setFlags never propagates.
    oxSmartPointer<oxNode> dynamicLeaf = oxNode::_instantiateRef();
    dynamicLeaf->setFlags(oxNode::IS_DYNAMIC, true);
    mid->appendChild(dynamicLeaf);
    EXPECT_FALSE(mid->getFlags() & oxNode::IS_DYNAMIC);

    unsigned mask = oxNode::getPropagationMask();
    oxNode::setPropagationMask(0);
    oxSmartPointer<oxGroup> quiet = group();
    quiet->appendChild(TestLight::_instantiateRef());
    EXPECT_EQ(quiet->getFlags(), 0);
    oxNode::setPropagationMask(mask);
}

TEST(Group, InsertGroupAboveTakesTheNodesPlaceEverywhere)
{
    oxSmartPointer<oxGroup> p1 = group(), p2 = group(), p3 = group();
    oxSmartPointer<oxNode> first = oxNode::_instantiateRef(), node = oxNode::_instantiateRef();
    p1->appendChild(node);
    p2->appendChild(first);
    p2->appendChild(node);
    p3->appendChild(first);
    p3->appendChild(first);
    p3->appendChild(node);
    oxSmartPointer<oxGroup> g = group("inserted");
    node->insertGroupAbove(g);
    EXPECT_EQ(p1->getChild(0), g.get());
    EXPECT_EQ(p2->getChild(1), g.get());
    EXPECT_EQ(p3->getChild(2), g.get());
    EXPECT_EQ(p3->getChildCount(), 3);
    ASSERT_EQ(node->getParentCount(), 1);
    EXPECT_EQ(node->getParent(0), g.get());
    EXPECT_EQ(g->getParentCount(), 3);
    EXPECT_EQ(g->getChildCount(), 1);

    oxSmartPointer<oxNode> orphan = oxNode::_instantiateRef();
    oxSmartPointer<oxGroup> g2 = group();
    g2->appendChild(first);
    orphan->insertGroupAbove(g2);
    EXPECT_EQ(g2->getChild(1), orphan.get());
}

TEST(Group, FindNamedNodeIsPreOrderAndTypeAware)
{
    oxSmartPointer<oxGroup> root = group("root"), a = group("a"), b = group("b");
    oxSmartPointer<oxNode> x1 = oxNode::_instantiateRef(), x2 = oxNode::_instantiateRef(),
                           unnamed = oxNode::_instantiateRef();
    x1->setName("x");
    x2->setName("x");
    root->appendChild(a);
    root->appendChild(b);
    a->appendChild(unnamed);
    b->appendChild(x2);
    a->appendChild(x1);
    oxMetaObject* node = oxNode::getClassTypeSafe();
    EXPECT_EQ(oxNode::findNamedNodeOfType(root, "x", node), x1.get());
    EXPECT_EQ(oxNode::findNamedNodeOfType(root, "b", node), b.get());
    EXPECT_EQ(oxNode::findNamedNodeOfType(root, "x", oxGroup::getClassTypeSafe()), nullptr);
    EXPECT_EQ(oxNode::findNamedNodeOfType(root, "", node), nullptr); // unnamed never matches
    EXPECT_EQ(oxNode::findNamedNodeOfType(root, "X", node), nullptr);
    EXPECT_EQ(oxNode::findNamedNodeOfType(nullptr, "x", node), nullptr);
}

TEST(Group, CopiesAndReadsRebuildParentLists)
{
    oxSmartPointer<oxGroup> g = group("g");
    oxSmartPointer<oxNode> child = oxNode::_instantiateRef();
    g->appendChild(child);
    g->appendChild(child);
    oxSmartPointer<oxGroup> shallow = static_cast<oxGroup*>(g->createCopy(oxObject::kShallowCopy));
    EXPECT_EQ(shallow->getChild(1), child.get());
    EXPECT_EQ(parentsEqualTo(child, shallow), 2);
    EXPECT_EQ(shallow->getParentCount(), 0);

    oxSmartPointer<oxGroup> deep = static_cast<oxGroup*>(g->createCopy(oxObject::kDeepCopy));
    oxNode* copied = deep->getChild(0);
    EXPECT_NE(copied, child.get());
    EXPECT_EQ(deep->getChild(1), copied);
    EXPECT_EQ(parentsEqualTo(copied, deep), 2);

    // After a read the parent list may disagree; postFileRead settles it both ways.
    child->removeParent(g);
    child->removeParent(g);
    child->addParent(g);
    g->postFileRead();
    EXPECT_EQ(parentsEqualTo(child, g), 2);
    child->addParent(g);
    g->postFileRead();
    EXPECT_EQ(parentsEqualTo(child, g), 2);

    // Counted on the stack for a few children, in a map for many: both settle the same way.
    for (int others : {5, 31, 32, 100}) {
        oxSmartPointer<oxGroup> big = group("big");
        std::vector<oxSmartPointer<oxNode>> kids;
        for (int i = 0; i < others; ++i) {
            kids.push_back(oxNode::_instantiateRef());
            big->appendChild(kids.back());
            if (i % 3 == 0)
                big->appendChild(child);
        }
        int listed = (others + 2) / 3;
        ASSERT_EQ(parentsEqualTo(child, big), listed);
        child->removeParent(big);
        kids[0]->addParent(big);
        kids[1]->removeParent(big);
        big->postFileRead();
        EXPECT_EQ(parentsEqualTo(child, big), listed) << others;
        EXPECT_EQ(parentsEqualTo(kids[0], big), 1) << others;
        EXPECT_EQ(parentsEqualTo(kids[1], big), 1) << others;
        EXPECT_EQ(parentsEqualTo(kids.back(), big), 1) << others;
    }
}

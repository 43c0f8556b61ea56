#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sg/OXSg.h"

using namespace Kel::Sg;

namespace {

// A traversal that records, by node name, which node functions ran, and can be told to
// answer PRUNE or STOP at a given node.
class RecordingTraversal : public oxTraversal {
    OX_TRAVERSAL_CLASS(RecordingTraversal, oxTraversal)
public:
    std::vector<std::string> visited;
    std::string pruneAt, stopAt, ignore, passThrough;

    static OX_TRAVERSAL_RETURN visit(RecordingTraversal* t, oxObject* object)
    {
        auto* node = static_cast<oxNode*>(object);
        const std::string name = node->getName().c_str();
        t->visited.push_back(name);
        if (name == t->stopAt)
            return OX_TRAVERSAL_STOP;
        if (name == t->pruneAt)
            return OX_TRAVERSAL_PRUNE;
        return node->isOfType<oxGroup>() ? oxTraverseGroup(t, node) : OX_TRAVERSAL_CONTINUE;
    }
    static void _registerClass(oxTraversalFunctionList* list, oxMetaObject* meta)
    {
        oxTraversal::_registerClass(list, meta);
        if (meta->isDerivedFrom(oxNode::getClassTypeSafe()))
            _setFunction(list, meta, reinterpret_cast<oxTraversalFunction>(&visit));
    }
    static OX_TRAVERSAL_SELECT_NODE_RETURN select(oxTraversal* traversal, oxNode* node)
    {
        auto* t = static_cast<RecordingTraversal*>(traversal);
        const std::string name = node->getName().c_str();
        if (name == t->ignore)
            return OX_SELECT_NODE_IGNORE;
        return name == t->passThrough ? OX_SELECT_NODE_PASS_THROUGH : OX_SELECT_NODE_TRAVERSE;
    }

protected:
    RecordingTraversal() = default;
};

// A node class registered only after the traversal classes exist.
class LateNode : public oxNode {
    OX_CLASS(LateNode, oxNode)
protected:
    LateNode() = default;
};

class LateGroup : public oxGroup {
    OX_CLASS(LateGroup, oxGroup)
protected:
    LateGroup() = default;
};

template <class T>
oxSmartPointer<T> named(const char* name)
{
    oxSmartPointer<T> n = T::_instantiateRef();
    n->setName(name);
    return n;
}

// root
//  ├ a ─ a1, a2 (a2 is a transform holding a21)
//  ├ b ─ b1, b2, b3, b4
//  └ c
struct Graph {
    oxSmartPointer<oxGroup> root = named<oxGroup>("root");
    oxSmartPointer<oxGroup> a = named<oxGroup>("a"), b = named<oxGroup>("b");
    oxSmartPointer<oxTransform> a2 = named<oxTransform>("a2");
    Graph()
    {
        root->appendChild(a);
        root->appendChild(b);
        root->appendChild(named<oxNode>("c"));
        a->appendChild(named<oxNode>("a1"));
        a->appendChild(a2);
        a2->appendChild(named<oxNode>("a21"));
        for (const char* n : {"b1", "b2", "b3", "b4"})
            b->appendChild(named<oxNode>(n));
    }
};

using Names = std::vector<std::string>;

class TraversalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Kel::libOXSg_arkRegister();
        RecordingTraversal::arkRegister();
    }
    oxSmartPointer<RecordingTraversal> t = RecordingTraversal::_instantiateRef();
    Graph g;
};

TEST_F(TraversalTest, PruneSkipsRemainingSiblingsAndStopEndsEverything)
{
    t->apply(g.root);
    EXPECT_EQ(t->visited, (Names{"root", "a", "a1", "a2", "a21", "b", "b1", "b2", "b3", "b4", "c"}));

    t->visited.clear();
    t->pruneAt = "b2";
    t->apply(g.root);
    EXPECT_EQ(t->visited, (Names{"root", "a", "a1", "a2", "a21", "b", "b1", "b2", "c"}));

    t->visited.clear();
    t->pruneAt.clear();
    t->stopAt = "a21";
    EXPECT_EQ(t->dispatch(g.root), OX_TRAVERSAL_STOP);
    EXPECT_EQ(t->visited, (Names{"root", "a", "a1", "a2", "a21"}));

    // Plain group walking over the same table.
    t->visited.clear();
    t->stopAt = "b";
    EXPECT_EQ(oxTraverseGroup(t, g.root), OX_TRAVERSAL_STOP);
    EXPECT_EQ(t->visited, (Names{"a", "a1", "a2", "a21", "b"}));
}

TEST_F(TraversalTest, SelectionIgnoresOrPassesThrough)
{
    t->setNodeSelectFunction(&RecordingTraversal::select);
    t->ignore = "a";
    t->apply(g.root);
    EXPECT_EQ(t->visited, (Names{"root", "a", "a1", "a2", "a21", "b", "b1", "b2", "b3", "b4", "c"}))
        << "the callback must not run while disabled";

    t->setNodeSelectFunctionState(true);
    t->visited.clear();
    t->apply(g.root);
    EXPECT_EQ(t->visited, (Names{"root", "b", "b1", "b2", "b3", "b4", "c"}));

    // Through a transform group: its children run, its own function does not.
    t->ignore.clear();
    t->passThrough = "a2";
    t->visited.clear();
    t->apply(g.root);
    EXPECT_EQ(t->visited, (Names{"root", "a", "a1", "a21", "b", "b1", "b2", "b3", "b4", "c"}));

    // A plain node passed through is visited normally, and STOP still crosses a passed group.
    t->passThrough = "c";
    t->stopAt = "b3";
    t->visited.clear();
    EXPECT_EQ(t->dispatch(g.root), OX_TRAVERSAL_STOP);
    EXPECT_EQ(t->visited, (Names{"root", "a", "a1", "a2", "a21", "b", "b1", "b2", "b3"}));
    t->passThrough = "b";
    t->visited.clear();
    EXPECT_EQ(t->dispatch(g.root), OX_TRAVERSAL_STOP);
    EXPECT_EQ(t->visited, (Names{"root", "a", "a1", "a2", "a21", "b1", "b2", "b3"}));
}

TEST_F(TraversalTest, TablesShareHandlesAndCoverLateClasses)
{
    oxSmartPointer<oxTraversal> plain = oxTraversal::_instantiateRef();
    oxTraversalFunctionList* base = oxTraversal::_getTraversalFunctions();
    oxTraversalFunctionList* mine = RecordingTraversal::_getTraversalFunctions();
    ASSERT_NE(base, mine);
    EXPECT_EQ(plain->getTraversalFunctions(), base);
    EXPECT_EQ(t->getTraversalFunctions(), mine);

    const int before = base->getCount();
    LateNode::arkRegister();
    LateGroup::arkRegister();
    const int node = oxTraversal::getNodeHandle(LateNode::getClassTypeSafe());
    const int group = oxTraversal::getNodeHandle(LateGroup::getClassTypeSafe());
    EXPECT_GE(node, before);
    EXPECT_EQ(group, node + 1);
    EXPECT_EQ(base->getCount(), mine->getCount());
    EXPECT_EQ(plain->getFunction(LateNode::getClassTypeSafe()), &oxTraverseNode);
    EXPECT_EQ(plain->getFunction(LateGroup::getClassTypeSafe()), &oxTraverseGroup);
    EXPECT_EQ(plain->getFunction(oxTransform::getClassTypeSafe()), &oxTraverseGroup);
    EXPECT_EQ(t->getFunction(LateNode::getClassTypeSafe()),
              reinterpret_cast<oxTraversalFunction>(&RecordingTraversal::visit));

    // Handles are dense over the node classes, and nothing else gets one.
    std::vector<int> seen(size_t(base->getCount()), 0);
    for (int i = 0; i < oxMetaObject::getRegisteredCount(); ++i) {
        oxMetaObject* meta = oxMetaObject::getRegistered(i);
        const int h = meta->getNodeHandle();
        if (!meta->isDerivedFrom(oxNode::getClassTypeSafe())) {
            EXPECT_EQ(h, -1) << meta->getName();
            continue;
        }
        ASSERT_GE(h, 0) << meta->getName();
        ASSERT_LT(h, base->getCount()) << meta->getName();
        ++seen[size_t(h)];
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), base->getCount());

    // Not a node class: ignored.
    oxTraversal::_setFunction(base, oxTraversal::getClassTypeSafe(), &oxTraverseGroup);
    EXPECT_EQ(oxTraversal::getClassTypeSafe()->getNodeHandle(), -1);
}

TEST_F(TraversalTest, SetFunctionEditsTheSharedTableUnlessAnInstanceHasItsOwn)
{
    oxSmartPointer<RecordingTraversal> other = RecordingTraversal::_instantiateRef();
    oxSmartPointer<RecordingTraversal> own = RecordingTraversal::_instantiateRef();
    oxSmartPointer<oxTraversalFunctionList> copy = oxTraversalFunctionList::_instantiateRef();
    copy->copy(RecordingTraversal::_getTraversalFunctions());
    own->setTraversalFunctions(copy);

    oxMetaObject* nodeClass = oxNode::getClassTypeSafe();
    const oxTraversalFunction original = t->getFunction(nodeClass);
    t->setFunction(nodeClass, &oxTraverseNode);
    EXPECT_EQ(other->getFunction(nodeClass), &oxTraverseNode);
    EXPECT_EQ(own->getFunction(nodeClass), original);

    own->visited.clear();
    own->apply(g.root);
    EXPECT_EQ(own->visited.size(), 11u);
    t->apply(g.root);
    EXPECT_EQ(t->visited, (Names{"root", "a", "a2", "b"})) << "plain nodes now run oxTraverseNode";

    own->cacheTravProcs();
    EXPECT_EQ(own->getFunction(nodeClass), &oxTraverseNode);
    t->setFunction(nodeClass, original);

    EXPECT_EQ(copy->setAll(&oxTraverseNode), copy->getCount());
    for (oxTraversalFunction fn : *copy)
        EXPECT_EQ(fn, &oxTraverseNode);
    EXPECT_EQ(oxTraversalFunctionList::_instantiateRef()->setAll(&oxTraverseNode), 0);
}

TEST_F(TraversalTest, UserTimeAndRunTimeOnlyFields)
{
    static int64_t clock;
    clock = 5000;
    const oxTimer::Clock old = oxTimer::setClock([] { return clock; });
    EXPECT_EQ(t->getTimeAsLong(), 5000);
    t->setTimeAsLong(42);
    EXPECT_EQ(t->getTime(), 5000);
    t->setUserTimeState(true);
    EXPECT_EQ(t->getTime(), 42);
    clock = 6000;
    EXPECT_EQ(t->getTimeAsLong(), 42);
    t->setUserTimeState(false);
    EXPECT_EQ(t->getTimeAsLong(), 6000);
    oxTimer::setClock(old);

    // The callback is a plain pointer: never stored, never parsed from text.
    const oxMetaField* proc = oxTraversal::getClassTypeSafe()->getMetaField("_nodeSelectProc");
    ASSERT_TRUE(proc);
    EXPECT_EQ(proc->getKind(), oxFieldKind::Pointer);
    EXPECT_FALSE(proc->isPersistent());
    EXPECT_EQ(proc->toText(t), "null");
    EXPECT_FALSE(proc->setFromText(t, "0x1234"));
    EXPECT_EQ(oxTraversal::getClassTypeSafe()->getMetaField("_timeLong")->toText(oxTraversal::_instantiateRef()), "-1");
}

} // namespace

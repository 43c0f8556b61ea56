#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"

using namespace Kel::Sg;
using oxbtest::WarningCatcher;

namespace {

class AppearanceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { oxbtest::registerAll(); }

    static std::vector<std::string> names(const oxAppearance* a)
    {
        std::vector<std::string> out;
        for (int i = 0; i < a->getSegmentOverrideCount(); ++i)
            out.push_back(a->getSegmentOverrideNameList()->get(i)->get());
        return out;
    }
    static oxSmartPointer<oxNode> node(const char* name)
    {
        oxSmartPointer<oxNode> n = oxNode::_instantiateRef();
        n->setName(name);
        return n;
    }
};

TEST_F(AppearanceTest, SegmentOverridesStayLowerCaseSortedAndPaired)
{
    oxSmartPointer<oxAppearance> a = oxAppearance::_instantiateRef();
    ASSERT_TRUE(a->getAttachedGraphs());
    EXPECT_EQ(a->getSegmentOverrideCount(), 0);
    oxSmartPointer<oxNode> gB = node("gB"), ga = node("ga"), gHead = node("gHead"), gHead2 = node("gHead2");
    a->addSegmentOverride("B", gB);
    a->addSegmentOverride("a", ga);
    EXPECT_EQ(names(a), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(a->getSegmentOverrideGraphList()->get(0), ga.get());
    EXPECT_EQ(a->getSegmentOverrideGraphList()->get(1), gB.get());

    // Equal names are kept in the order they came; a null name is the empty one, first.
    a->addSegmentOverride("HEAD", gHead);
    a->addSegmentOverride("head", gHead2);
    a->addSegmentOverride(nullptr, nullptr);
    a->addSegmentOverride("\xC3\x89t\xC3\xA9", ga); // bytes above 127 sort after ASCII
    EXPECT_EQ(names(a), (std::vector<std::string>{"", "a", "b", "head", "head", "\xC3\x89t\xC3\xA9"}));
    EXPECT_EQ(a->getSegmentOverrideGraphList()->get(3), gHead.get());
    EXPECT_EQ(a->getSegmentOverrideGraphList()->get(4), gHead2.get());

    EXPECT_TRUE(a->removeSegmentOverride("A"));
    EXPECT_EQ(names(a), (std::vector<std::string>{"", "b", "head", "head", "\xC3\x89t\xC3\xA9"}));
    EXPECT_EQ(a->getSegmentOverrideGraphList()->find(ga.get()), 4);
    EXPECT_FALSE(a->removeSegmentOverride("a"));
    EXPECT_FALSE(a->removeSegmentOverride("hea"));
    EXPECT_TRUE(a->removeSegmentOverride("Head"));
    EXPECT_EQ(a->getSegmentOverrideGraphList()->get(2), gHead2.get());
    EXPECT_TRUE(a->removeSegmentOverride(nullptr));
    EXPECT_EQ(names(a), (std::vector<std::string>{"b", "head", "\xC3\x89t\xC3\xA9"}));
    EXPECT_EQ(a->getSegmentOverrideGraphList()->getCount(), 3);
}

TEST_F(AppearanceTest, AttachedGraphsAreRemovedWithEveryOccurrence)
{
    oxSmartPointer<oxAppearance> a = oxAppearance::_instantiateRef();
    oxSmartPointer<oxModelViewMatrixBoneSelect> hat = oxModelViewMatrixBoneSelect::_instantiateRef();
    oxSmartPointer<oxModelViewMatrixBoneSelect> sword = oxModelViewMatrixBoneSelect::_instantiateRef();
    a->attachGraph(hat);
    a->attachGraph(sword);
    a->attachGraph(hat);
    EXPECT_TRUE(a->removeAttachedGraph(hat));
    ASSERT_EQ(a->getAttachedGraphs()->getCount(), 1);
    EXPECT_EQ(a->getAttachedGraphs()->get(0), sword.get());
    EXPECT_FALSE(a->removeAttachedGraph(hat));
}

TEST_F(AppearanceTest, AStoredAppearanceComesBackAndUnpairedOverridesAreMended)
{
    oxSmartPointer<oxAppearance> a = oxAppearance::_instantiateRef();
    a->setName("knight");
    a->addSegmentOverride("Helmet", node("visor"));
    a->addSegmentOverride("arm", node("shield arm"));
    a->attachGraph(oxModelViewMatrixBoneSelect::_instantiateRef());

    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(a, bytes), kSuccess);
    oxSmartPointer<oxAppearance> read =
        oxAppearance::dynamicCast(oxOXBReader::readObject(bytes.data(), bytes.size(), "memory").get());
    ASSERT_TRUE(read);
    EXPECT_EQ(names(read), (std::vector<std::string>{"arm", "helmet"}));
    EXPECT_STREQ(read->getSegmentOverrideGraphList()->get(1)->getName().c_str(), "visor");
    EXPECT_EQ(read->getAttachedGraphs()->getCount(), 1);

    // A file from elsewhere may hold names out of order, in capitals, or more graphs than
    // names: nothing is dropped, the pairs are sorted and the missing name is empty.
    oxSmartPointer<oxStringObj> upper = oxStringObj::_instantiateRef();
    upper->set("Boots");
    a->getSegmentOverrideNameList()->insert(0, upper);
    a->getSegmentOverrideGraphList()->insert(0, node("boots"));
    a->getSegmentOverrideGraphList()->append(node("spare"));
    bytes.clear();
    ASSERT_EQ(oxOXBWriter::writeMemory(a, bytes), kSuccess);
    WarningCatcher warnings;
    read = oxAppearance::dynamicCast(oxOXBReader::readObject(bytes.data(), bytes.size(), "memory").get());
    ASSERT_TRUE(read);
    EXPECT_TRUE(warnings.contains("appearance knight: its segment overrides")) << warnings.all();
    EXPECT_EQ(names(read), (std::vector<std::string>{"", "arm", "boots", "helmet"}));
    std::vector<std::string> graphs;
    for (int i = 0; i < read->getSegmentOverrideGraphList()->getCount(); ++i)
        graphs.push_back(read->getSegmentOverrideGraphList()->get(i)->getName().c_str());
    EXPECT_EQ(graphs, (std::vector<std::string>{"spare", "shield arm", "boots", "visor"}));
    EXPECT_TRUE(read->removeSegmentOverride("BOOTS"));
}

} // namespace

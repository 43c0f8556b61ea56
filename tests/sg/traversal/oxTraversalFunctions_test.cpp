// Which function a traversal table gives each node class, and the draw traversal's choices
// that depend on it: a class takes the function of its nearest ancestor that has a row,
// however the rows are ordered.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "sg/OXSg.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;
using Kel::Gfx::oxImage;

namespace {

// Functions that differ in their code, so that no linker folds two of them into one address.
int g_marked = 0;
template <int N>
OX_TRAVERSAL_RETURN mark(oxTraversal*, oxObject*)
{
    g_marked = N;
    return OX_TRAVERSAL_CONTINUE;
}

// Classes registered after every traversal class, derived from classes the draw traversal
// has rows for.
class ThickGeometry : public oxGeometry {
    OX_CLASS(ThickGeometry, oxGeometry)
protected:
    ThickGeometry() = default;
};

class StickyOverrideSet : public oxOverrideAttrSet {
    OX_CLASS(StickyOverrideSet, oxOverrideAttrSet)
protected:
    StickyOverrideSet() = default;
};

class WarningCatcher {
public:
    WarningCatcher() : _old(Kel::Core::oxSetWarningHandler(&collect)) { messages().clear(); }
    ~WarningCatcher() { Kel::Core::oxSetWarningHandler(_old); }
    static std::vector<std::string>& messages()
    {
        static std::vector<std::string> list;
        return list;
    }

private:
    static void collect(const char* message) { messages().push_back(message); }
    Kel::Core::oxWarningHandler _old;
};

class TraversalFunctionsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::Sg::oxArkRegisterForOXBFiles(); }
};

TEST_F(TraversalFunctionsTest, NearestRowWinsWhateverTheOrderOfTheRows)
{
    std::array<oxTraversalFunctionRow, 6> rows = {{
        {&oxNode::getClassTypeSafe, &mark<1>},
        {&oxGroup::getClassTypeSafe, &mark<2>},
        {&oxAttrSet::getClassTypeSafe, &mark<3>},
        {&oxGeometry::getClassTypeSafe, &mark<4>},
        {&oxOverrideAttrSet::getClassTypeSafe, &mark<5>},
        {&oxTransform::getClassTypeSafe, &mark<6>},
    }};
    const std::vector<std::pair<oxMetaObject*, oxTraversalFunction>> expected = {
        {oxNode::getClassTypeSafe(), &mark<1>},
        {oxLightSet::getClassTypeSafe(), &mark<1>},
        {oxCamera::getClassTypeSafe(), &mark<1>},
        {oxGroup::getClassTypeSafe(), &mark<2>},
        {oxSwitch::getClassTypeSafe(), &mark<2>},
        {oxLod::getClassTypeSafe(), &mark<2>},
        {oxAttrSet::getClassTypeSafe(), &mark<3>},
        {oxBlendMatrixSelect::getClassTypeSafe(), &mark<3>},
        {oxGeometry::getClassTypeSafe(), &mark<4>},
        {ThickGeometry::getClassTypeSafe(), &mark<4>},
        {oxOverrideAttrSet::getClassTypeSafe(), &mark<5>},
        {StickyOverrideSet::getClassTypeSafe(), &mark<5>},
        {oxTransform::getClassTypeSafe(), &mark<6>},
        {oxImage::getClassTypeSafe(), nullptr},
    };
    std::array<int, 6> order = {0, 1, 2, 3, 4, 5};
    int orders = 0;
    do {
        std::array<oxTraversalFunctionRow, 6> shuffled;
        for (int i = 0; i < 6; ++i)
            shuffled[i] = rows[order[i]];
        for (const auto& [cls, fn] : expected)
            ASSERT_EQ(oxTraversal::_findNearestFunction(shuffled, cls), fn)
                << cls->getName() << " with rows in order " << order[0] << order[1] << order[2] << order[3]
                << order[4] << order[5];
        ++orders;
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_EQ(orders, 720);
}

TEST_F(TraversalFunctionsTest, AClassListedTwiceWithDifferentFunctionsIsReported)
{
    const oxTraversalFunctionRow same[] = {{&oxGroup::getClassTypeSafe, &mark<1>},
                                           {&oxGroup::getClassTypeSafe, &mark<1>}};
    const oxTraversalFunctionRow clash[] = {{&oxNode::getClassTypeSafe, &mark<1>},
                                            {&oxGroup::getClassTypeSafe, &mark<2>},
                                            {&oxGroup::getClassTypeSafe, &mark<3>}};
    WarningCatcher warnings;
    EXPECT_EQ(oxTraversal::_findNearestFunction(same, oxSwitch::getClassTypeSafe()), &mark<1>);
    EXPECT_TRUE(warnings.messages().empty());
    oxTraversal::_findNearestFunction(clash, oxSwitch::getClassTypeSafe());
    ASSERT_EQ(warnings.messages().size(), 1u);
    EXPECT_NE(warnings.messages()[0].find("oxGroup"), std::string::npos) << warnings.messages()[0];
}

TEST_F(TraversalFunctionsTest, DrawTraversalGivesEveryClassItsOwnFunctionOrItsNearestAncestors)
{
    oxSmartPointer<oxCommonTraversal> draw = oxCommonTraversal::_instantiateRef();
    const std::vector<std::pair<oxMetaObject*, oxTraversalFunction>> expected = {
        {oxNode::getClassTypeSafe(), &oxTraverseNode},
        {oxCamera::getClassTypeSafe(), &oxTraverseNode},
        {oxGroup::getClassTypeSafe(), &oxTraverseGroup},
        {oxSegment::getClassTypeSafe(), &oxCommonTraverseSegment},
        {oxLod::getClassTypeSafe(), &oxCommonTraverseLod},
        {oxSwitch::getClassTypeSafe(), &oxCommonTraverseSwitch},
        {oxTimeSwitch::getClassTypeSafe(), &oxCommonTraverseTimeSwitch},
        {oxLightStateSet::getClassTypeSafe(), &oxCommonTraverseLightStateSet},
        {oxLightSet::getClassTypeSafe(), &oxCommonTraverseLightSet},
        {oxAttrSet::getClassTypeSafe(), &oxCommonTraverseAttributeSet},
        {oxOverrideAttrSet::getClassTypeSafe(), &oxCommonTraverseOverrideAttributeSet},
        {StickyOverrideSet::getClassTypeSafe(), &oxCommonTraverseOverrideAttributeSet},
        {oxBlendMatrixSelect::getClassTypeSafe(), &oxCommonTraverseBlendMatrixSelect},
        {oxGeometry::getClassTypeSafe(), &oxCommonTraverseGeometry},
        {ThickGeometry::getClassTypeSafe(), &oxCommonTraverseGeometry},
        {oxTransform::getClassTypeSafe(), &oxCommonTraverseTransform},
        {oxBillboard::getClassTypeSafe(), &oxCommonTraverseBillboard},
        {oxModelViewMatrixBoneSelect::getClassTypeSafe(), &oxCommonTraverseModelViewMatrixBoneSelect},
        {oxClipPlaneSet::getClassTypeSafe(), &oxCommonTraverseClipPlaneSet},
    };
    for (const auto& [cls, fn] : expected)
        EXPECT_EQ(draw->getFunction(cls), fn) << cls->getName();
}

} // namespace

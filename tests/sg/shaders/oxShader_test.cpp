// The multi-pass shader: what each pass pushes, which children it draws and in what order
// its state leaves the stacks.
#include <gtest/gtest.h>

#include "tests/sg/shaders/oxShaderTestSupport.h"

using namespace shadertest;

namespace {

using Names = std::vector<std::string>;

oxMatrix44f translation(float x, float y, float z)
{
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(x, y, z));
    return m;
}

class ShaderTest : public ShaderDrawTest {};

} // namespace

TEST_F(ShaderTest, OnePerPassPairsPassesWithChildrenAndPopsEachPassAfterIt)
{
    oxSmartPointer<oxShader> shader = oxShader::_instantiateRef();
    shader->setPassCount(3);
    shader->appendAttr(0, log.attr<oxBlendStateAttr>("blend0"));
    shader->appendAttr(0, log.attr<oxDepthStateAttr>("depth0"));
    shader->appendAttr(1, log.attr<oxCullFaceAttr>("cull1"));
    shader->appendAttr(2, log.attr<oxBlendStateAttr>("blend2"));
    shader->appendChild(log.probe("a"));
    shader->appendChild(log.probe("b", OX_TRAVERSAL_STOP));
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(shader);
    root->appendChild(log.probe("after"));

    frame(root);
    // The stop of child b ends neither the passes nor the walk of the shader's siblings.
    EXPECT_EQ(log.entries, (Names{"visit a [- blend0 depth0 -]", "pop depth0", "pop blend0",
                                  "visit b [- - - cull1]", "pop cull1", "visit a [- blend2 - -]", "pop blend2",
                                  "visit after [- - - -]"}));

    // All per pass: every pass draws every child in order; a pass switched off is skipped
    // whole.
    shader->setChildMode(oxShader::ALL_PER_PASS);
    shader->setPassState(1, false);
    EXPECT_FALSE(shader->getPassState(1));
    frame(root);
    EXPECT_EQ(log.only("visit"), (Names{"a [- blend0 depth0 -]", "b [- blend0 depth0 -]", "a [- blend2 - -]",
                                        "b [- blend2 - -]", "after [- - - -]"}));

    // Another mode value draws no child but still pushes and pops the passes.
    shader->setChildMode(7);
    frame(root);
    EXPECT_EQ(log.only("visit"), (Names{"after [- - - -]"}));
    EXPECT_EQ(log.only("pop"), (Names{"depth0", "blend0", "blend2"}));
}

TEST_F(ShaderTest, InheritedPassesStayInForceAndLeaveLastPassFirst)
{
    oxSmartPointer<oxShader> shader = oxShader::_instantiateRef();
    shader->setPassCount(2);
    shader->setPassInheritState(true);
    shader->appendAttr(0, log.attr<oxBlendStateAttr>("blend0"));
    shader->appendAttr(0, log.attr<oxDepthStateAttr>("depth0"));
    shader->appendAttr(1, log.attr<oxBlendStateAttr>("blend1"));
    shader->appendAttr(1, log.attr<oxCullFaceAttr>("cull1"));
    const oxMatrix44f up = translation(0, 1, 0), right = translation(2, 0, 0);
    ASSERT_TRUE(shader->setMatrix(0, &up));
    ASSERT_TRUE(shader->setMatrix(1, &right));
    log.names[shader->getModelViewMatrix(0)] = "mv0";
    log.names[shader->getModelViewMatrix(1)] = "mv1";
    shader->appendChild(log.probe("a"));
    shader->appendChild(log.probe("b"));

    const oxMatrix44f view = translation(0, 0, -10);
    traversal->setViewMatrix(view);
    frame(shader);
    EXPECT_EQ(log.entries, (Names{"visit a [mv0 blend0 depth0 -]", "visit b [mv1 blend1 depth0 cull1]", "pop cull1",
                                  "pop blend1", "pop mv1", "pop depth0", "pop blend0", "pop mv0"}));
    // A pass's matrix goes in front of the model-view matrix the shader found.
    EXPECT_EQ(shader->getModelViewMatrix(0)->getMatrix(), up * view);
    EXPECT_EQ(shader->getModelViewMatrix(1)->getMatrix(), right * view);
    EXPECT_EQ(*shader->getMatrix(1), right);

    // Without children nothing is pushed at all.
    shader->removeAllChildren();
    frame(shader);
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(ShaderTest, PassCountKeepsAttributeListsAndResetsMatricesAndMask)
{
    oxSmartPointer<oxShader> shader = oxShader::_instantiateRef();
    EXPECT_EQ(shader->getChildMode(), oxShader::ONE_PER_PASS);
    EXPECT_EQ(shader->getDefaultPass(), -1);
    EXPECT_TRUE(shader->isChildrenOrdered());
    shader->setPassCount(2);
    oxSmartPointer<oxBlendStateAttr> blend = oxBlendStateAttr::_instantiateRef();
    ASSERT_TRUE(shader->appendAttr(1, blend));
    const oxMatrix44f m = translation(1, 2, 3);
    shader->setMatrix(0, &m);
    shader->setPassState(1, false);

    shader->setPassCount(3);
    EXPECT_EQ(shader->getPassCount(), 3);
    EXPECT_EQ(shader->getAttr(1, 0), blend.get()) << "existing lists are kept";
    ASSERT_NE(shader->getPassAttrs(2), nullptr);
    EXPECT_EQ(shader->getPassAttrs(2)->getCount(), 0);
    EXPECT_EQ(shader->getMatrix(0)->m[3][0], 0.0f) << "matrices are cleared";
    EXPECT_EQ(shader->getMatrix(0)->m[0][0], 0.0f);
    EXPECT_EQ(shader->getModelViewMatrix(0), nullptr);
    for (int p = 0; p < 3; ++p)
        EXPECT_TRUE(shader->getPassState(p)) << p;

    // Passes outside the count are refused, not written past the lists.
    EXPECT_FALSE(shader->appendAttr(3, blend));
    EXPECT_FALSE(shader->setMatrix(-1, &m));
    EXPECT_EQ(shader->getAttr(5, 0), nullptr);
    EXPECT_EQ(shader->getMatrix(3), nullptr);

    shader->removeAllPasses();
    EXPECT_EQ(shader->getPassCount(), 0);
    EXPECT_EQ(shader->getTransformList()->getCount(), 0);
    EXPECT_EQ(shader->getModelViewMatrixList()->getCount(), 3) << "model-view attributes and mask stay";
    EXPECT_EQ(shader->getPassMask()->getBitCount(), 3u);
}

#include <gtest/gtest.h>

#include <string>

#include "tests/sg/animation/oxAnimationTestSupport.h"
#include "tests/sg/nodes/oxNodeTestSupport.h"

using namespace animtest;
using oxbtest::ScaleSource;

namespace {

class AnimationInfoTest : public Registered {};

std::string tokenNames(const oxAnimationInfo* info)
{
    std::string out;
    for (int i = 0; i < info->getTokenCount(); ++i)
        out += std::string(info->getToken(i)->getTransformName().c_str()) + " ";
    return out;
}

TEST_F(AnimationInfoTest, TokensStayInByteOrderOnePerName)
{
    oxSmartPointer<oxAnimationInfo> info = oxAnimationInfo::_instantiateRef();
    oxSmartPointer<ScaleSource> a = ScaleSource::_instantiateRef(), b = ScaleSource::_instantiateRef();
    EXPECT_EQ(info->addToken("neck", a), 0);
    EXPECT_EQ(info->addToken("arm", b), 0);
    EXPECT_EQ(info->addToken("Zed", nullptr), 0) << "upper case sorts before lower case";
    EXPECT_EQ(info->addToken("leg", b), 2);
    EXPECT_EQ(info->addToken("neck", b), -1);
    EXPECT_EQ(info->addToken(nullptr, b), -1);
    EXPECT_EQ(info->addToken(static_cast<oxAnimationToken*>(nullptr)), -1);
    EXPECT_EQ(tokenNames(info), "Zed arm leg neck ");

    EXPECT_EQ(info->getSource("neck"), a.get());
    EXPECT_EQ(info->getSource("arm"), b.get());
    EXPECT_EQ(info->getSource("Zed"), nullptr);
    EXPECT_EQ(info->getSource("Neck"), nullptr) << "names are compared exactly";
    EXPECT_EQ(info->getSource("ne"), nullptr);
    EXPECT_EQ(info->getSource(nullptr), nullptr);
    EXPECT_EQ(info->resolve("leg"), b.get());
    EXPECT_EQ(info->getToken(4), nullptr);

    // Many names, added in an order of their own, are all found.
    oxSmartPointer<oxAnimationInfo> many = oxAnimationInfo::_instantiateRef();
    for (int i = 0; i < 50; ++i)
        ASSERT_GE(many->addToken(("bone" + std::to_string((i * 37) % 50)).c_str(), i % 2 ? a : b), 0);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(many->findToken(("bone" + std::to_string(i)).c_str()) >= 0, true) << i;
    for (int i = 1; i < many->getTokenCount(); ++i)
        EXPECT_LT(many->getToken(i - 1)->getTransformName().compare(many->getToken(i)->getTransformName()), 0);
}

oxSmartPointer<oxTransform> transformNamed(const char* name, oxTransformSource* source = nullptr)
{
    oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
    if (name)
        t->setName(name);
    t->setTransformSource(source);
    return t;
}

TEST_F(AnimationInfoTest, PatchingGivesTransformsTheirTokensSourcesAndTakesOthersAway)
{
    oxSmartPointer<ScaleSource> walk = ScaleSource::_instantiateRef(), old = ScaleSource::_instantiateRef();
    oxSmartPointer<oxAnimationInfo> info = oxAnimationInfo::_instantiateRef();
    info->addToken("hips", walk);
    info->addToken("knee", walk);

    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxTransform> hips = transformNamed("hips");
    oxSmartPointer<oxTransform> knee = transformNamed("knee", old);
    oxSmartPointer<oxTransform> stray = transformNamed("tail", old);
    oxSmartPointer<oxTransform> unnamed = transformNamed(nullptr, old);
    oxSmartPointer<oxTransform> still = transformNamed("Hips");
    oxSmartPointer<oxGroup> leg = oxGroup::_instantiateRef();
    root->appendChild(hips);
    hips->appendChild(leg);
    leg->appendChild(knee);
    knee->appendChild(stray);
    root->appendChild(unnamed);
    root->appendChild(still);
    const oxMatrix44f kept = nodetest::translation(1, 2, 3);
    stray->setMatrix(&kept);

    EXPECT_EQ(info->patchAnimation(root), kSuccess);
    EXPECT_EQ(hips->getTransformSource(), walk.get());
    EXPECT_EQ(knee->getTransformSource(), walk.get());
    EXPECT_EQ(stray->getTransformSource(), nullptr);
    EXPECT_EQ(unnamed->getTransformSource(), nullptr);
    EXPECT_EQ(still->getTransformSource(), nullptr);
    EXPECT_EQ(*stray->getMatrix(), kept) << "only the source goes";
    EXPECT_EQ(old->getRefCount(), 1) << "released by every transform that held it";

    // A subtree alone is patched alone.
    stray->setTransformSource(old);
    hips->setTransformSource(old);
    EXPECT_EQ(info->patchAnimation(leg), kSuccess);
    EXPECT_EQ(stray->getTransformSource(), nullptr);
    EXPECT_EQ(hips->getTransformSource(), old.get());
    EXPECT_EQ(info->patchAnimation(nullptr), kFailure);
}

TEST_F(AnimationInfoTest, TokensReadFromAFileAreFoundAgainInOrder)
{
    oxSmartPointer<ScaleSource> s = ScaleSource::_instantiateRef();
    oxSmartPointer<oxAnimationInfo> info = oxAnimationInfo::_instantiateRef();
    info->setName("moves");
    info->addToken("b", s);
    // Entries put in the list by hand, out of order and empty, as another writer may store them.
    oxSmartPointer<oxAnimationToken> a = oxAnimationToken::_instantiateRef();
    a->configure("a", s);
    info->getTokenList()->append(a);
    info->getTokenList()->append(nullptr);
    EXPECT_EQ(info->getSource("a"), nullptr) << "the search relies on the order";

    oxSmartPointer<oxAnimationInfo> back = oxAnimationInfo::dynamicCast(nodetest::throughFile(info));
    ASSERT_TRUE(back);
    EXPECT_EQ(tokenNames(back), "a b ");
    ASSERT_TRUE(back->getSource("a"));
    EXPECT_EQ(back->getSource("a"), back->getSource("b")) << "one source, read once";
    EXPECT_TRUE(ScaleSource::dynamicCast(back->resolve("a")));
}

} // namespace

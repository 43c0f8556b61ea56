#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"

using namespace Kel::Sg;
using Kel::Attrs::oxTextureAttr;

namespace {

// A transform source that covers a fixed span of time.
class SpanSource : public oxTransformSource {
    OX_CLASS(SpanSource, oxTransformSource)
    OX_FIELDS(first, last)
public:
    int64_t _first = 0;
    int64_t _last = 0;

    bool getMatrix(oxMatrix44f& m, int64_t) override
    {
        m.makeIdentity();
        return true;
    }
    int64_t getFirstFrameTime() override { return _first; }
    int64_t getLastFrameTime() override { return _last; }

protected:
    SpanSource() = default;
    static void arkRegisterInitialize(oxFields<SpanSource>& f)
    {
        f.add(OX_FIELD(first));
        f.add(OX_FIELD(last));
    }
};

class SceneInfoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        oxbtest::registerAll();
        SpanSource::arkRegister();
    }
};

oxSmartPointer<oxTransform> animated(int64_t first, int64_t last)
{
    oxSmartPointer<SpanSource> source = SpanSource::_instantiateRef();
    source->_first = first;
    source->_last = last;
    oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
    t->setTransformSource(source);
    return t;
}

std::vector<oxNode*> nodesOf(const oxGraphPath* path)
{
    std::vector<oxNode*> out;
    for (int i = 0; i < path->getDepth(); ++i)
        out.push_back(path->getNode(i));
    return out;
}

} // namespace

TEST_F(SceneInfoTest, ResolveFindsTheSceneGraphByTheInfosOwnName)
{
    oxSmartPointer<oxSceneInfo> info = oxSceneInfo::_instantiateRef();
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    EXPECT_EQ(info->resolve("scene"), nullptr); // no name yet
    info->setSceneGraph(root);
    info->setName("scene");
    EXPECT_EQ(info->resolve("scene"), root.get());
    EXPECT_EQ(info->resolve("Scene"), nullptr);
    EXPECT_EQ(info->resolve("scene "), nullptr);
    EXPECT_EQ(info->resolve(nullptr), nullptr);
}

TEST_F(SceneInfoTest, AnimationSpanCoversEveryUsedSourceAndZero)
{
    oxSmartPointer<oxSceneInfo> info = oxSceneInfo::_instantiateRef();
    info->setAnimationBegin(-9);
    info->setAnimationEnd(9);
    info->updateAnimationTime(); // no scene graph: nothing animates
    EXPECT_EQ(info->getAnimationBegin(), 0);
    EXPECT_EQ(info->getAnimationEnd(), 0);

    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(animated(2, 5));
    info->setSceneGraph(root);
    info->updateAnimationTime();
    EXPECT_EQ(info->getAnimationBegin(), 0);
    EXPECT_EQ(info->getAnimationEnd(), 5);

    // Deeper sources count too, and 64-bit times stay whole.
    oxSmartPointer<oxGroup> deep = oxGroup::_instantiateRef();
    root->appendChild(deep);
    const int64_t late = int64_t(1) << 40;
    deep->appendChild(animated(-3'000'000'000, late));
    info->updateAnimationTime();
    EXPECT_EQ(info->getAnimationBegin(), -3'000'000'000);
    EXPECT_EQ(info->getAnimationEnd(), late);

    // Over a directory: only what it lists counts.
    oxSmartPointer<oxDirectory> dir = oxDirectory::_instantiateRef();
    dir->addObject(animated(1, 7));
    info->updateAnimationTime(dir);
    EXPECT_EQ(info->getAnimationBegin(), 0);
    EXPECT_EQ(info->getAnimationEnd(), 7);
    info->updateAnimationTime(nullptr);
    EXPECT_EQ(info->getAnimationEnd(), 0);
}

TEST_F(SceneInfoTest, CameraListHasOnePathPerRouteInDepthFirstOrder)
{
    oxSmartPointer<oxSceneInfo> info = oxSceneInfo::_instantiateRef();
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxGroup> left = oxGroup::_instantiateRef(), right = oxGroup::_instantiateRef();
    oxSmartPointer<oxCamera> shared = oxCamera::_instantiateRef();
    oxSmartPointer<oxDOFCamera> own = oxDOFCamera::_instantiateRef();
    oxSmartPointer<oxTransform> move = oxTransform::_instantiateRef();
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(0, 0, 8));
    move->setMatrix(&m);
    root->appendChild(left);
    root->appendChild(oxNode::_instantiateRef());
    root->appendChild(right);
    left->appendChild(shared);
    right->appendChild(move);
    move->appendChild(shared);
    move->appendChild(own);
    info->setSceneGraph(root);

    oxGraphPathList* old = info->getCameras();
    info->updateCameraList();
    oxGraphPathList* cameras = info->getCameras();
    ASSERT_TRUE(cameras);
    EXPECT_NE(cameras, old);
    ASSERT_EQ(cameras->getCount(), 3);
    EXPECT_EQ(nodesOf(cameras->get(0)), (std::vector<oxNode*>{root, left, shared}));
    EXPECT_EQ(nodesOf(cameras->get(1)), (std::vector<oxNode*>{root, right, move, shared}));
    EXPECT_EQ(nodesOf(cameras->get(2)), (std::vector<oxNode*>{root, right, move, own}));

    // Each path places its camera: only the second route goes through the transform.
    oxMatrix44f placed;
    cameras->get(0)->getTransformMatrixInclusive(&placed, 0);
    EXPECT_EQ(placed, oxMatrix44f());
    cameras->get(1)->getTransformMatrixInclusive(&placed, 0);
    EXPECT_EQ(placed.getTranslation(), oxVec3f(0, 0, 8));

    // A camera as the root itself is one path of one node.
    info->setSceneGraph(shared);
    info->updateCameraList();
    ASSERT_EQ(info->getCameras()->getCount(), 1);
    EXPECT_TRUE(info->getCameras()->get(0)->isTop());

    // No cameras, or no graph: an empty new list.
    oxSmartPointer<oxGroup> bare = oxGroup::_instantiateRef();
    bare->appendChild(oxNode::_instantiateRef());
    info->setSceneGraph(bare);
    info->updateCameraList();
    ASSERT_TRUE(info->getCameras());
    EXPECT_EQ(info->getCameras()->getCount(), 0);
    info->setSceneGraph(nullptr);
    info->updateCameraList();
    ASSERT_TRUE(info->getCameras());
    EXPECT_EQ(info->getCameras()->getCount(), 0);
}

TEST_F(SceneInfoTest, TextureListNamesEachUsedTextureOnce)
{
    oxSmartPointer<oxSceneInfo> info = oxSceneInfo::_instantiateRef();
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxTextureAttr> wood = oxTextureAttr::_instantiateRef(), stone = oxTextureAttr::_instantiateRef();
    oxSmartPointer<oxAttrSet> a = oxAttrSet::_instantiateRef(), b = oxAttrSet::_instantiateRef();
    a->appendAttr(wood);
    a->appendAttr(Kel::Attrs::oxClipPlaneAttr::_instantiateRef()); // not a texture
    b->appendAttr(stone);
    b->appendAttr(wood);
    root->appendChild(a);
    root->appendChild(b);
    info->setSceneGraph(root);
    info->updateTextureList();
    ASSERT_EQ(info->getTextures()->getCount(), 2);
    EXPECT_EQ(info->getTextures()->get(0), wood.get());
    EXPECT_EQ(info->getTextures()->get(1), stone.get());

    info->setSceneGraph(nullptr);
    info->updateTextureList();
    EXPECT_EQ(info->getTextures()->getCount(), 0);
}

TEST_F(SceneInfoTest, SceneFileDirectoryGivesTheInfoBackToResolveAndUpdate)
{
    oxSmartPointer<oxSceneInfo> info = oxSceneInfo::_instantiateRef();
    info->setName("level");
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxAttrSet> look = oxAttrSet::_instantiateRef();
    look->appendAttr(oxTextureAttr::_instantiateRef());
    oxSmartPointer<oxTransform> spin = animated(-4, 11);
    root->appendChild(look);
    look->appendChild(spin);
    spin->appendChild(oxCamera::_instantiateRef());
    info->setSceneGraph(root);
    info->setUpVector(oxVec3f(0, 0, 1));
    info->updateCameraList();

    oxSmartPointer<oxDirectory> dir = oxDirectory::_instantiateRef();
    ASSERT_GE(dir->appendInfo(info), 0);
    const std::string file = ::testing::TempDir() + "oxsg_scene_info.oxb";
    ASSERT_EQ(oxOXBWriter::writeFile(file.c_str(), dir), kSuccess);

    auto* read = oxSceneInfo::dynamicCast(oxResource::getInfoByType(oxSceneInfo::getClassTypeSafe(), file.c_str(), 0));
    ASSERT_TRUE(read);
    ASSERT_NE(read, info.get());
    auto* readRoot = oxGroup::dynamicCast(read->resolve("level"));
    ASSERT_TRUE(readRoot);
    EXPECT_EQ(readRoot, read->getSceneGraph());
    EXPECT_EQ(read->getUpVector(), oxVec3f(0, 0, 1));
    ASSERT_EQ(read->getCameras()->getCount(), 1);
    EXPECT_EQ(read->getCameras()->get(0)->getDepth(), 4);
    EXPECT_EQ(read->getCameras()->get(0)->getNode(0), readRoot);

    // The lists are worked out again from the graph as read.
    read->updateTextureList();
    ASSERT_EQ(read->getTextures()->getCount(), 1);
    auto* readLook = oxAttrSet::dynamicCast(readRoot->getChild(0));
    ASSERT_TRUE(readLook);
    EXPECT_EQ(read->getTextures()->get(0), readLook->getAttr(0));
    read->updateAnimationTime(oxResource::getDirectory(file.c_str()));
    EXPECT_EQ(read->getAnimationBegin(), -4);
    EXPECT_EQ(read->getAnimationEnd(), 11);

    EXPECT_EQ(oxResource::releaseDirectory(file.c_str()), kSuccess);
    std::remove(file.c_str());
}

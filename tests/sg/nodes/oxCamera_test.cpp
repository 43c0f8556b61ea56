#include <gtest/gtest.h>

#include <vector>

#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"
#include "tests/sg/nodes/oxNodeTestSupport.h"

using namespace Kel::Sg;
using nodetest::translation;
using oxbtest::ScaleSource;

namespace {

using CameraTest = nodetest::Registered;

oxSmartPointer<oxTransform> transformOf(const oxMatrix44f& m)
{
    oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
    t->setMatrix(&m);
    return t;
}

oxVec3f project(const oxMatrix44f& projection, const oxVec3f& p)
{
    oxVec4f clip = oxVec4f(p, 1) * projection;
    return clip.xyz() / clip.w;
}

} // namespace

TEST_F(CameraTest, ProjectionKeepsTheHorizontalAngleAndRefusesDegenerateVolumes)
{
    oxSmartPointer<oxCamera> cam = oxCamera::_instantiateRef();
    // Near 0 (as made) gives no perspective: refused, the matrix untouched.
    oxMatrix44f projection = translation(1, 2, 3);
    EXPECT_FALSE(cam->computeProjection(projection, 1.5f));
    EXPECT_EQ(projection, translation(1, 2, 3));

    cam->setHorizontalFieldOfView(90);
    cam->setNearPlane(1);
    cam->setFarPlane(100);
    ASSERT_TRUE(cam->computeProjection(projection, 2.0f));
    // A point 45 degrees to the right lands on the right edge; the vertical extent follows
    // from the aspect ratio.
    EXPECT_NEAR(project(projection, oxVec3f(5, 0, -5)).x, 1.0f, 1e-5f);
    EXPECT_NEAR(project(projection, oxVec3f(0, 2.5f, -5)).y, 1.0f, 1e-5f);
    EXPECT_NEAR(project(projection, oxVec3f(0, 0, -1)).z, -1.0f, 1e-5f);
    EXPECT_NEAR(project(projection, oxVec3f(0, 0, -100)).z, 1.0f, 1e-4f);
    EXPECT_FALSE(cam->computeProjection(projection, 0.0f));
    cam->setFarPlane(1);
    EXPECT_FALSE(cam->computeProjection(projection, 1.0f));
}

TEST_F(CameraTest, DepthOfFieldCameraHandsItsValuesToTheShaderOnActivation)
{
    oxSmartPointer<oxDOFCamera> cam = oxDOFCamera::_instantiateRef();
    cam->activate(); // no shader: nothing to do
    cam->deactivate();

    oxSmartPointer<oxDOFShader> shader = oxDOFShader::_instantiateRef();
    shader->clearParametersChanged();
    cam->setShader(shader);
    cam->setNearPlane(0.5f);
    cam->setFarPlane(250);
    cam->setHorizontalFieldOfView(60);
    EXPECT_FALSE(shader->getState());
    EXPECT_FALSE(shader->getParametersChanged()); // nothing reaches it before activation

    cam->setFocusDistance(5);
    cam->activate();
    EXPECT_TRUE(shader->getState());
    EXPECT_EQ(shader->getFocusRange(), 5.0f);
    EXPECT_EQ(shader->getHorizontalFieldOfView(), 60.0f);
    EXPECT_EQ(shader->getVerticalFieldOfView(), -1.0f); // derived from the horizontal one
    EXPECT_EQ(shader->getAspectRatio(), 1.3333334f);
    EXPECT_EQ(shader->getNearClip(), 0.5f);
    EXPECT_EQ(shader->getFarClip(), 250.0f);
    EXPECT_TRUE(shader->getParametersChanged());

    // Later changes wait for the next activation.
    shader->clearParametersChanged();
    cam->setFocusDistance(12);
    cam->setBlurriness(0.25f);
    EXPECT_EQ(shader->getFocusRange(), 5.0f);
    cam->deactivate();
    EXPECT_FALSE(shader->getState());
    EXPECT_FALSE(shader->getParametersChanged());
    cam->activate();
    EXPECT_EQ(shader->getFocusRange(), 12.0f);
    EXPECT_EQ(shader->getBlurriness(), 0.25f);

    // Only focus and projection changes mark the parameters; blur and the switch do not.
    shader->clearParametersChanged();
    shader->setBlurriness(3);
    shader->setState(false);
    EXPECT_FALSE(shader->getParametersChanged());
    shader->setNearFarClip(1, 2);
    EXPECT_TRUE(shader->getParametersChanged());
}

TEST_F(CameraTest, GraphPathWalksUpAndDownTheGraph)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef(), mid = oxGroup::_instantiateRef();
    oxSmartPointer<oxNode> a = oxNode::_instantiateRef(), b = oxNode::_instantiateRef();
    root->appendChild(a);
    root->appendChild(mid);
    mid->appendChild(b);

    oxSmartPointer<oxGraphPath> path = oxGraphPath::_instantiateRef();
    EXPECT_EQ(path->getTop(), nullptr);
    EXPECT_EQ(path->popNode(), nullptr);
    path->configure(root.get());
    EXPECT_TRUE(path->isTop());
    EXPECT_EQ(path->getParent(), nullptr);
    EXPECT_EQ(path->getTopIndex(), -1);
    EXPECT_EQ(path->popNode(), nullptr);
    EXPECT_EQ(path->getDepth(), 1);

    EXPECT_TRUE(path->pushNode(1));
    EXPECT_TRUE(path->pushNode(0));
    EXPECT_FALSE(path->pushNode(0)); // b is no group
    EXPECT_EQ(path->getDepth(), 3);
    EXPECT_EQ(path->getTop(), b.get());
    EXPECT_EQ(path->getParent(), mid.get());
    EXPECT_EQ(path->getTopIndex(), 0);
    EXPECT_FALSE(path->isTop());
    EXPECT_EQ(path->popNode(), b.get());
    EXPECT_EQ(path->getTopIndex(), 1);
    EXPECT_FALSE(path->pushNode(5));
    EXPECT_EQ(path->getDepth(), 2);

    oxSmartPointer<oxGraphPath> copy = oxGraphPath::_instantiateRef();
    copy->configure(a.get());
    copy->configure(path.get());
    ASSERT_EQ(copy->getDepth(), 2);
    EXPECT_EQ(copy->getNode(0), root.get());
    EXPECT_EQ(copy->getNode(1), mid.get());
    EXPECT_NE(copy->getPath(), path->getPath());

    // A top that its parent does not list has no index.
    oxSmartPointer<oxNodeList> odd = oxNodeList::_instantiateRef();
    odd->append(mid);
    odd->append(a);
    copy->configure(odd.get());
    EXPECT_EQ(copy->getTop(), a.get());
    EXPECT_EQ(copy->getTopIndex(), -1);
    copy->configure(static_cast<const oxNodeList*>(nullptr));
    EXPECT_EQ(copy->getDepth(), 0);
}

TEST_F(CameraTest, GraphPathMatricesAccumulateChildBeforeParent)
{
    oxMatrix44f turn;
    turn.makeRotationZ(kHalfPi);
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxTransform> a = transformOf(translation(1, 0, 0));
    oxSmartPointer<oxGroup> plain = oxGroup::_instantiateRef();
    oxSmartPointer<oxTransform> texture = transformOf(translation(0, 0, 50));
    texture->setTarget(oxTransform::TEXTURE_MATRIX_0);
    oxSmartPointer<oxTransform> b = transformOf(turn);
    oxSmartPointer<oxCamera> cam = oxCamera::_instantiateRef();
    root->appendChild(a);
    a->appendChild(plain);
    plain->appendChild(texture);
    texture->appendChild(b);
    b->appendChild(cam);

    oxSmartPointer<oxGraphPath> path = oxGraphPath::_instantiateRef();
    path->configure(root.get());
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(path->pushNode(0));
    ASSERT_EQ(path->getTop(), cam.get());

    oxMatrix44f inclusive, exclusive;
    path->getTransformMatrixInclusive(&inclusive, 0);
    path->getTransformMatrixExclusive(&exclusive, 0);
    // The camera's own space: turned by B first, then moved by A; the texture transform
    // does not place anything.
    EXPECT_TRUE(oxIsEqual(inclusive, turn * translation(1, 0, 0)));
    EXPECT_TRUE(oxIsEqual(inclusive.transformPoint(oxVec3f(1, 0, 0)), oxVec3f(1, 1, 0)));
    EXPECT_EQ(exclusive, inclusive); // the camera itself holds no matrix

    // The same order as the matrix stack of a walk down the graph.
    oxSmartPointer<oxMatrixStack> stack = oxMatrixStack::_instantiateRef();
    stack->pushMultiplied(*a->getMatrix());
    stack->pushMultiplied(*b->getMatrix());
    EXPECT_EQ(stack->getTop(), inclusive);

    path->popNode();
    path->getTransformMatrixExclusive(&exclusive, 0);
    EXPECT_EQ(exclusive, translation(1, 0, 0)); // B is the top now and left out

    // Driven transforms are evaluated at the time asked for.
    oxSmartPointer<ScaleSource> source = ScaleSource::_instantiateRef();
    source->_perSecond = 2;
    b->setTransformSource(source);
    path->getTransformMatrixInclusive(&inclusive, 500);
    oxMatrix44f scaled;
    scaled.makeScale(2.0f);
    EXPECT_EQ(*b->getMatrix(), scaled);
    EXPECT_TRUE(oxIsEqual(inclusive, scaled * translation(1, 0, 0)));
}

TEST_F(CameraTest, CamerasAndPathsGoThroughFiles)
{
    oxSmartPointer<oxGraphPath> path = oxGraphPath::_instantiateRef();
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxDOFCamera> cam = oxDOFCamera::_instantiateRef();
    oxSmartPointer<oxDOFShader> shader = oxDOFShader::_instantiateRef();
    // Side by side: a camera beneath its own shader would hold what holds it.
    root->appendChild(shader);
    root->appendChild(cam);
    cam->setShader(shader);
    cam->setFocusDistance(9);
    cam->activate();
    shader->clearParametersChanged();
    path->configure(root.get());
    path->pushNode(1);
    path->setCenter(oxVec3f(1, 2, 3));
    path->setLength(4);

    oxSmartPointer<oxObject> read = nodetest::throughFile(path);
    auto* back = oxGraphPath::dynamicCast(read.get());
    ASSERT_TRUE(back);
    ASSERT_EQ(back->getDepth(), 2);
    EXPECT_EQ(back->getCenter(), oxVec3f(1, 2, 3));
    EXPECT_EQ(back->getLength(), 4.0f);
    auto* readCam = oxDOFCamera::dynamicCast(back->getTop());
    ASSERT_TRUE(readCam);
    EXPECT_EQ(readCam->getFocusDistance(), 9.0f);
    auto* readRoot = oxGroup::dynamicCast(back->getNode(0));
    ASSERT_TRUE(readRoot);
    EXPECT_EQ(readCam->getShader(), readRoot->getChild(0));
    EXPECT_EQ(back->getTopIndex(), 1);
    // What the shader was handed comes back, still waiting for its first draw.
    EXPECT_TRUE(readCam->getShader()->getState());
    EXPECT_EQ(readCam->getShader()->getFocusRange(), 9.0f);
    EXPECT_TRUE(readCam->getShader()->getParametersChanged());
}

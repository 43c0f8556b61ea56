#include <string>

#include <gtest/gtest.h>

#include "platform/gfx/OXGfx.h"
#include "tests/platform/gfx/oxGfxTestUtil.h"

using namespace Kel::Gfx;
using Kel::Core::oxSmartPointer;
using Kel::Gfx::TestUtil::WarningCatcher;

namespace {
oxSmartPointer<oxRecordingVisualContext> makeContext()
{
    return oxRecordingVisualContext::_instantiateRef();
}
} // namespace

TEST(oxRecordingVisualContext, EachCallIsOneLineWithItsValues)
{
    auto vc = makeContext();
    int light = 0, other = 0;
    vc->setSwitch(OX_GFX_BLEND, 0, true);
    vc->setSwitch(OX_GFX_TEXTURE, 2, false);
    vc->setBlendFunction(OX_GFX_BLEND_SRC_ALPHA, OX_GFX_BLEND_ONE, OX_GFX_BLEND_SUBTRACT);
    vc->setAlphaFunction(OX_GFX_COMPARE_GREATER, 0.5f);
    vc->setStencilOperation(OX_GFX_STENCIL_KEEP, OX_GFX_STENCIL_INCR, OX_GFX_STENCIL_REPLACE, 0xFFu);
    vc->setColor({-0.00001f, 1, 0.5f, 1});
    vc->setLightState(&light, true);
    vc->setLightState(&other, false);
    vc->setLightState(&light, false);
    vc->setTextureCoordSource(1, OX_GFX_TEXCOORD_EYE_LINEAR, 3);
    vc->setTime(1500000000);
    EXPECT_EQ(vc->getTrace(), "setSwitch BLEND on\n"
                              "setSwitch TEXTURE 2 off\n"
                              "setBlendFunction SRC_ALPHA ONE SUBTRACT\n"
                              "setAlphaFunction GREATER 0.5000\n"
                              "setStencilOperation KEEP INCR REPLACE 0x000000ff\n"
                              "setColor (0.0000 1.0000 0.5000 1.0000)\n"
                              "setLightState light#1 on\n"
                              "setLightState light#2 off\n"
                              "setLightState light#1 off\n"
                              "setTextureCoordSource 1 EYE_LINEAR 3\n"
                              "setTime 1500000000\n");
    vc->clearTrace();
    EXPECT_EQ(vc->getTrace(), "");
}

TEST(oxRecordingVisualContext, SettingsChangeWhenCallsExecute)
{
    auto vc = makeContext();
    vc->setSize(320, 200);
    EXPECT_EQ(vc->getViewport().width, 320);
    oxMatrix44f projection;
    projection.makeScale(2.0f);
    vc->setMatrix(OX_GFX_MATRIX_PROJECTION, 0, projection);
    vc->clear(OX_GFX_CLEAR_COLOR | OX_GFX_CLEAR_DEPTH, {{0.25f, 0.5f, 0.75f, 1}, 0.5f, 3});
    EXPECT_EQ(vc->getProjectionMatrix(), projection);
    EXPECT_EQ(vc->getClearValues().stencil, 3);
    EXPECT_NE(vc->getTrace().find("clear COLOR|DEPTH color=(0.2500 0.5000 0.7500 1.0000) depth=0.5000 stencil=3"),
              std::string::npos);

    int list = vc->createDisplayList();
    ASSERT_TRUE(vc->beginDisplayList(list));
    vc->setViewport({1, 2, 3, 4, 0, 1});
    EXPECT_EQ(vc->getViewport().width, 320);
    ASSERT_TRUE(vc->endDisplayList());
    ASSERT_TRUE(vc->callDisplayList(list));
    EXPECT_EQ(vc->getViewport().width, 3);
}

TEST(oxRecordingVisualContext, ARecordedListReplaysItsCalls)
{
    auto vc = makeContext();
    int list = vc->createDisplayList();
    ASSERT_GT(list, 0);
    ASSERT_TRUE(vc->beginDisplayList(list));
    vc->setDepthFunction(OX_GFX_COMPARE_LESS);
    vc->setCullFace(OX_GFX_CULL_FRONT);
    ASSERT_TRUE(vc->endDisplayList());
    EXPECT_EQ(vc->getTrace(), "createDisplayList 1\nbeginDisplayList 1\nendDisplayList 1\n");
    vc->clearTrace();
    ASSERT_TRUE(vc->callDisplayList(list));
    ASSERT_TRUE(vc->callDisplayList(list));
    EXPECT_EQ(vc->getTrace(), "callDisplayList 1\nsetDepthFunction LESS\nsetCullFace FRONT\n"
                              "callDisplayList 1\nsetDepthFunction LESS\nsetCullFace FRONT\n");
}

TEST(oxRecordingVisualContext, ListCallsNestAndCyclesStop)
{
    auto vc = makeContext();
    int inner = vc->createDisplayList();
    int outer = vc->createDisplayList();
    ASSERT_TRUE(vc->beginDisplayList(inner));
    vc->setColorMask(true, false, true, false);
    vc->endDisplayList();
    ASSERT_TRUE(vc->beginDisplayList(outer));
    EXPECT_TRUE(vc->callDisplayList(inner));
    EXPECT_TRUE(vc->callDisplayList(outer));
    vc->endDisplayList();
    vc->clearTrace();
    WarningCatcher warnings;
    ASSERT_TRUE(vc->callDisplayList(outer));
    EXPECT_TRUE(warnings.contains("nested deeper"));
    const std::string& trace = vc->getTrace();
    EXPECT_EQ(trace.rfind("callDisplayList 2\ncallDisplayList 1\nsetColorMask 1 0 1 0\ncallDisplayList 2\n", 0), 0u);
}

TEST(oxRecordingVisualContext, DisplayListMisuseIsRefused)
{
    auto vc = makeContext();
    EXPECT_FALSE(vc->beginDisplayList(7));
    EXPECT_FALSE(vc->endDisplayList());
    EXPECT_FALSE(vc->callDisplayList(7));
    EXPECT_FALSE(vc->deleteDisplayList(7));
    int a = vc->createDisplayList();
    ASSERT_TRUE(vc->beginDisplayList(a));
    EXPECT_FALSE(vc->beginDisplayList(a));
    EXPECT_FALSE(vc->deleteDisplayList(a));
    EXPECT_TRUE(vc->endDisplayList());
    EXPECT_TRUE(vc->deleteDisplayList(a));
    EXPECT_FALSE(vc->callDisplayList(a));
    vc->setCapability(OX_GFX_CAP_DISPLAY_LISTS, 0);
    EXPECT_LT(vc->createDisplayList(), 0);
}

TEST(oxRecordingVisualContext, DrawsAreCheckedAndCounted)
{
    auto vc = makeContext();
    oxSmartPointer<oxVertexArray> va = oxVertexArray::_instantiateRef();
    ASSERT_TRUE(va->configure(oxVertexFormat::kPositions | oxVertexFormat::kColors, 4));
    oxSmartPointer<oxIndexArray> indices = Kel::Gfx::TestUtil::makeIndices({0, 1, 2, 2, 1, 3});
    oxDrawDescription d;
    d.vertices = va;
    d.indices = indices;
    d.primitiveCount = 2;
    vc->drawGeometry(d);
    EXPECT_EQ(vc->getTrace(),
              "drawGeometry TRIANGLES primitives=2 elements=6 first=0 indexed vertices=4 format=0x00000005\n");
    vc->clearTrace();
    indices->set(5, 4);
    WarningCatcher warnings;
    vc->drawGeometry(d);
    EXPECT_EQ(vc->getTrace(), "");
    EXPECT_TRUE(warnings.contains("draw refused"));
}

TEST(oxRecordingVisualContext, TexturesAndDestinationsAreNumberedByIdentity)
{
    auto vc = makeContext();
    oxSmartPointer<oxImageList> images = oxImageList::_instantiateRef();
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    ASSERT_TRUE(image->allocateImageMemory(64, 32, OX_GFX_PIXEL_RGB8));
    images->append(image);
    int owner = 0;
    oxTextureDescription t;
    t.id = &owner;
    t.images = images;
    t.levelCount = 1;
    t.wrapS = OX_GFX_WRAP_CLAMP;
    vc->bindTexture(0, &t);
    vc->bindTexture(1, nullptr);
    oxRenderDestinationDescription rd;
    int destination = 0;
    rd.id = &destination;
    rd.texture = &t;
    rd.width = 64;
    rd.height = 32;
    vc->prepareRenderDestination(rd);
    vc->setRenderDestination(&rd);
    vc->setRenderDestination(nullptr);
    vc->unloadTexture(&owner);
    EXPECT_EQ(vc->getTrace(),
              "bindTexture 0 texture#1 levels=1 faces=1 64x32 RGB8 wrap=CLAMP,REPEAT "
              "filter=LINEAR,LINEAR anisotropy=1.0000\n"
              "bindTexture 1 none\n"
              "prepareRenderDestination destination#1 64x32 texture#1 depth\n"
              "setRenderDestination destination#1\n"
              "setRenderDestination frame-buffer\n"
              "unloadTexture texture#1\n");
}

TEST(oxRecordingVisualContext, ReadPixelsGivesTheLastClearColour)
{
    auto vc = makeContext();
    vc->clear(OX_GFX_CLEAR_COLOR, {{1, 0, 0, 1}, 1, 0});
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    ASSERT_TRUE(vc->readPixels(0, 0, 3, 2, image));
    EXPECT_EQ(image->getFormat(), OX_GFX_PIXEL_RGBA8);
    EXPECT_EQ(image->getWidth(), 3);
    EXPECT_EQ(image->getColor(2, 1), 0xFF0000FFu);
    EXPECT_FALSE(vc->readPixels(0, 0, 0, 2, image));
    EXPECT_FALSE(vc->readPixels(0, 0, 2, 2, nullptr));
}

TEST(oxRecordingVisualContext, CapabilitiesOutOfRangeAreZero)
{
    auto vc = makeContext();
    EXPECT_EQ(vc->getCapability(-1), 0);
    EXPECT_EQ(vc->getCapability(kCapabilityCount), 0);
    vc->setCapability(OX_GFX_CAP_TEXTURE_UNITS, 1);
    EXPECT_EQ(vc->getCapability(OX_GFX_CAP_TEXTURE_UNITS), 1);
}

TEST(oxVisualContext, OneContextIsCurrentUntilItGoes)
{
    auto a = makeContext();
    auto b = makeContext();
    a->makeCurrent();
    EXPECT_EQ(findVisualContext(), a.get());
    b->makeCurrent();
    EXPECT_TRUE(b->isCurrent());
    EXPECT_FALSE(a->isCurrent());
    b = nullptr;
    EXPECT_EQ(findVisualContext(), nullptr);
}

TEST(oxGfxEnumText, ItemsLoseTheLibraryPrefixAndTheirGroupWord)
{
    EXPECT_STREQ(oxGfxEnumText(getOX_GFX_BLEND_FACTORMetaEnum(), OX_GFX_BLEND_ONE_MINUS_DST_ALPHA),
                 "ONE_MINUS_DST_ALPHA");
    EXPECT_STREQ(oxGfxEnumText(getOX_GFX_SWITCHMetaEnum(), OX_GFX_DEPTH_WRITE), "DEPTH_WRITE");
    EXPECT_STREQ(oxGfxEnumText(getOX_GFX_COLOR_MATERIALMetaEnum(), OX_GFX_COLOR_MATERIAL_NONE), "NONE");
    EXPECT_STREQ(oxGfxEnumText(getOX_GFX_DRAWMetaEnum(), 77), "?");
}

TEST(OXGfx, EveryClassIsCreatedByName)
{
    Kel::libOXGfx_arkRegister();
    for (const char* name : {"oxVertexArray", "oxVertexArray2", "oxVertexData", "oxVertexDataList", "oxIndexArray",
                             "oxPrimLengthArray", "oxImage", "oxImageList", "oxComponentEditInfo",
                             "oxRecordingVisualContext"}) {
        Kel::Core::oxMetaObject* meta = Kel::Core::oxMetaObject::findType(name);
        ASSERT_NE(meta, nullptr) << name;
        oxSmartPointer<Kel::Core::oxObject> object = meta->createInstance();
        ASSERT_NE(object.get(), nullptr) << name;
        EXPECT_STREQ(object->getMetaObject()->getName(), name);
        oxSmartPointer<Kel::Core::oxObject> copy = object->createCopy(Kel::Core::oxObject::kDeepCopy);
        EXPECT_TRUE(copy->isAlikeShallow(object)) << name;
    }
    WarningCatcher warnings;
    for (const char* name : {"oxVisualContext", "oxVertexArrayBase"})
        EXPECT_EQ(Kel::Core::oxMetaObject::findType(name)->createInstance(), nullptr) << name;
}

#include <string>

#include <gtest/gtest.h>

#include "platform/attrs/OXAttrs.h"
#include "tests/platform/gfx/oxGfxTestUtil.h"

using namespace Kel::Attrs;
using namespace Kel::Gfx;
using Kel::Gfx::TestUtil::WarningCatcher;

namespace {
// One lit, textured, blended quad: state of most kinds, then geometry.
oxSmartPointer<oxDisplayListAttr> makeFrame()
{
    oxSmartPointer<oxDisplayListAttr> frame = oxDisplayListAttr::_instantiateRef();

    oxSmartPointer<oxDepthStateAttr> depthOff = oxDepthStateAttr::_instantiateRef();
    depthOff->setEnabled(false);
    frame->append(depthOff);

    oxSmartPointer<oxBlendFunctionAttr> additive = oxBlendFunctionAttr::_instantiateRef();
    additive->setFactors(OX_GFX_BLEND_ONE, OX_GFX_BLEND_ONE);
    frame->append(additive);

    oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();
    light->setType(OX_GFX_LIGHT_POSITIONAL);
    light->setPosition({0, 4, 0});
    light->setTransformedPosition({1, 4, 0});
    oxSmartPointer<oxLightStateAttr> lightOn = oxLightStateAttr::_instantiateRef();
    lightOn->setLight(light);
    frame->append(light);
    frame->append(lightOn);

    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    image->allocateImageMemory(8, 8, OX_GFX_PIXEL_L8);
    oxSmartPointer<oxTextureAttr> texture = oxTextureAttr::_instantiateRef();
    texture->setImage(image, 0);
    texture->setWrap(OX_GFX_WRAP_CLAMP, OX_GFX_WRAP_CLAMP);
    oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
    bind->setUnit(1);
    bind->setTexture(texture);
    frame->append(bind);
    oxSmartPointer<oxTextureFunctionAttr> subtract = oxTextureFunctionAttr::_instantiateRef();
    subtract->setUnit(1);
    subtract->setFunction(OX_GFX_TEXFUNC_SUBTRACT);
    subtract->setArgument(1, OX_GFX_TEXARG_PRIMARY_COLOR);
    frame->append(subtract);

    oxSmartPointer<oxModelViewMatrixAttr> modelView = oxModelViewMatrixAttr::_instantiateRef();
    oxMatrix44f m;
    m.makeTranslation({1, 2, 3});
    modelView->setMatrix(m);
    frame->append(modelView);

    oxSmartPointer<oxDisplayListAttr> nested = oxDisplayListAttr::_instantiateRef();
    oxSmartPointer<oxColorAttr> red = oxColorAttr::_instantiateRef();
    red->setColor({1, 0, 0, 1});
    nested->append(red);
    frame->append(nested);

    oxSmartPointer<oxGeometryAttr> quad = oxGeometryAttr::_instantiateRef();
    quad->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::texCoords(1), 4);
    for (int i = 0; i < 4; ++i)
        quad->setPosition(i, {float(i & 1), float(i >> 1), 0});
    quad->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 2);
    oxIndexArray* indices = quad->configureIndexArray(0);
    for (uint16_t i : {0, 1, 2, 2, 1, 3})
        indices->append(i);
    frame->append(quad);
    // A null entry (a list grown with setCount) is skipped.
    frame->setCount(frame->getCount() + 1);
    return frame;
}

const char* const kFrameTrace =
    "setSwitch DEPTH_TEST off\n"
    "setBlendFunction ONE ONE ADD\n"
    "setLight light#1 POSITIONAL position=(1.0000 4.0000 0.0000) direction=(0.0000 0.0000 -1.0000) "
    "ambient=(0.0000 0.0000 0.0000 1.0000) diffuse=(1.0000 1.0000 1.0000 1.0000) "
    "specular=(1.0000 1.0000 1.0000 1.0000) attenuation=(1.0000 0.0000 0.0000) cutoff=180.0000 "
    "exponent=0.0000\n"
    "setLightState light#1 on\n"
    "bindTexture 1 texture#1 levels=1 faces=1 8x8 L8 wrap=CLAMP,CLAMP filter=LINEAR,LINEAR "
    "anisotropy=1.0000\n"
    "setTextureFunction 1 SUBTRACT TEXTURE PRIMARY_COLOR CONSTANT\n"
    "setMatrix MODEL_VIEW 0 (1.0000 0.0000 0.0000 0.0000 | 0.0000 1.0000 0.0000 0.0000 | "
    "0.0000 0.0000 1.0000 0.0000 | 1.0000 2.0000 3.0000 1.0000)\n"
    "setColor (1.0000 0.0000 0.0000 1.0000)\n"
    "drawGeometry TRIANGLES primitives=2 elements=6 first=0 indexed vertices=4 format=0x00010001\n";
} // namespace

TEST(oxDisplayListAttr, AFrameAppliedOrRecordedGivesTheSameCalls)
{
    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxDisplayListAttr> frame = makeFrame();
    frame->apply(vc);
    const std::string direct = vc->getTrace();
    EXPECT_EQ(direct, kFrameTrace);

    oxSmartPointer<oxAttrList> attrs = oxAttrList::_instantiateRef();
    attrs->append(frame);
    oxSmartPointer<oxRenderListAttr> renderList = oxRenderListAttr::_instantiateRef();
    vc->clearTrace();
    ASSERT_TRUE(renderList->record(vc, attrs));
    // Recording executes nothing.
    EXPECT_EQ(vc->getTrace(), "createDisplayList 1\nbeginDisplayList 1\nendDisplayList 1\n");
    vc->clearTrace();
    renderList->apply(vc);
    EXPECT_EQ(vc->getTrace(), "callDisplayList 1\n" + direct);

    // Another device never calls a list it does not have.
    oxSmartPointer<oxRecordingVisualContext> other = oxRecordingVisualContext::_instantiateRef();
    renderList->apply(other);
    EXPECT_EQ(other->getTrace(), "");

    vc->clearTrace();
    renderList = nullptr;
    EXPECT_EQ(vc->getTrace(), "deleteDisplayList 1\n");
}

TEST(oxDisplayListAttr, RecordingWithoutAUsableDeviceAndApplyingWithoutOneFail)
{
    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxAttrList> attrs = oxAttrList::_instantiateRef();
    oxSmartPointer<oxRenderListAttr> renderList = oxRenderListAttr::_instantiateRef();
    vc->setCapability(OX_GFX_CAP_DISPLAY_LISTS, 0);
    EXPECT_FALSE(renderList->record(vc, attrs));
    EXPECT_EQ(renderList->getHandle(), -1);
    vc->setCapability(OX_GFX_CAP_DISPLAY_LISTS, 1);
    int busy = vc->createDisplayList();
    ASSERT_TRUE(vc->beginDisplayList(busy));
    EXPECT_FALSE(renderList->record(vc, attrs));
    vc->endDisplayList();
    EXPECT_FALSE(renderList->record(nullptr, attrs));

    oxSmartPointer<oxDisplayListAttr> frame = makeFrame();
    WarningCatcher warnings;
    frame->apply(nullptr);
    EXPECT_TRUE(warnings.contains("without a visual context"));
}

TEST(oxDisplayListAttr, ListOperationsBehaveAsAnArray)
{
    oxSmartPointer<oxDisplayListAttr> a = oxDisplayListAttr::_instantiateRef();
    oxSmartPointer<oxDisplayListAttr> b = oxDisplayListAttr::_instantiateRef();
    oxSmartPointer<oxColorAttr> c1 = oxColorAttr::_instantiateRef();
    oxSmartPointer<oxColorAttr> c2 = oxColorAttr::_instantiateRef();
    EXPECT_EQ(a->append(c1), 0);
    EXPECT_EQ(b->append(c2), 0);
    b->append(c1);
    a->concatenate(b);
    ASSERT_EQ(a->getCount(), 3);
    EXPECT_EQ(a->get(1), c2.get());
    EXPECT_EQ(a->get(3), nullptr);
    a->concatenate(a);
    EXPECT_EQ(a->getCount(), 6);
    EXPECT_TRUE(a->set(0, c2));
    EXPECT_FALSE(a->set(6, c2));
    a->setCount(2);
    EXPECT_EQ(a->getAttrs()->getCount(), 2);
    // The local pointer and b hold c1; what is left of a is c2 twice.
    EXPECT_EQ(c1->getRefCount(), 2);
    EXPECT_EQ(c2->getRefCount(), 4);
    a->removeAll();
    EXPECT_EQ(a->getCount(), 0);
}

TEST(oxDisplayListAttr, AListInsideItselfIsCutOff)
{
    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxDisplayListAttr> loop = oxDisplayListAttr::_instantiateRef();
    oxSmartPointer<oxTimeAttr> time = oxTimeAttr::_instantiateRef();
    time->setTimeAsLong(42);
    loop->append(time);
    loop->append(loop);
    WarningCatcher warnings;
    loop->apply(vc);
    EXPECT_EQ(vc->getTrace(), "setTime 42\n");
    EXPECT_TRUE(warnings.contains("contains itself"));
    oxBox3f box;
    EXPECT_FALSE(loop->extendBounds(box));
    // Break the cycle so that the list can go.
    loop->removeAll();
}

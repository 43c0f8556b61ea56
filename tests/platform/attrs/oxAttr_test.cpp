#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/attrs/OXAttrs.h"
#include "tests/platform/gfx/oxGfxTestUtil.h"

using namespace Kel::Attrs;
using namespace Kel::Gfx;
using Kel::Core::oxMetaObject;
using Kel::Core::oxObject;
using Kel::Gfx::TestUtil::WarningCatcher;

namespace {
std::string traceOf(oxAttr* attr)
{
    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    attr->apply(vc);
    return vc->getTrace();
}

template <class T>
std::string defaultTrace(int unit = 0)
{
    oxSmartPointer<T> attr = T::_instantiateRef();
    attr->setUnit(unit);
    return traceOf(attr);
}
} // namespace

TEST(OXAttrs, EveryClassIsCreatedByNameAndCopiesAlike)
{
    Kel::libOXAttrs_arkRegister();
    const char* named[] = {
        "oxAlphaStateAttr", "oxAlphaFunctionAttr", "oxBlendStateAttr", "oxBlendFunctionAttr", "oxColorMaskAttr",
        "oxCullFaceAttr", "oxDepthStateAttr", "oxDepthWriteStateAttr", "oxStencilStateAttr", "oxStencilFunctionAttr",
        "oxLightingStateAttr", "oxNormalizeNormalsStateAttr", "oxClippingStateAttr", "oxMatrixOptStateAttr",
        "oxTextureStateAttr", "oxTextureMatrixStateAttr", "oxModelViewMatrixAttr", "oxProjectionMatrixAttr",
        "oxTextureMatrixAttr", "oxTexGenMatrixAttr", "oxViewportAttr", "oxTextureAttr", "oxTextureBindAttr",
        "oxTextureFunctionAttr", "oxTextureCoordSourceAttr", "oxTextureCubeAttr", "oxMipMapAttr",
        "oxTextureUnloadAttr", "oxTextureList", "oxLightAttr", "oxLightStateAttr", "oxLightList",
        "oxLightStateAttrList", "oxRenderDestinationAttr", "oxSetRenderDestinationAttr",
        "oxCopyRenderDestinationAttr", "oxClearAttr", "oxVertexBlendMatrixListAttr", "oxVertexBlendStateAttr",
        "oxVertexBlendMatrixAttr", "oxBlendMatricesAttr", "oxBlendMatrixPaletteAttr", "oxColorAttr",
        "oxVectorConstantAttr", "oxTimeAttr", "oxRenderListAttr", "oxGeometryMaskAttr", "oxGeometryAttr",
        "oxGeometryAttr2", "oxMorphedGeometryAttr", "oxGeometrySetAttr", "oxGeometryAttrList", "oxAttrList",
        "oxNonRefCountedAttrList", "oxAttrListList", "oxDisplayListAttr", "oxGenericAttrDefaultManager",
        "oxVisualContextAttrDefaultManager", "oxGenericCapabilityManager", "oxVisualContextCapabilityManager",
        "oxClipPlaneAttr", "oxDepthFunctionAttr", "oxMaterialAttr", "oxModelViewMatrixAttrList",
        "oxBlendMatrixPaletteAttrList", "oxMorphEntry", "oxMorphEntryList"};
    std::set<std::string> seen;
    for (const char* name : named) {
        oxMetaObject* meta = oxMetaObject::findType(name);
        ASSERT_NE(meta, nullptr) << name;
        oxSmartPointer<oxObject> object = meta->createInstance();
        ASSERT_NE(object.get(), nullptr) << name;
        EXPECT_STREQ(object->getMetaObject()->getName(), name);
        seen.insert(name);
    }
    // Every concrete attribute class registered, named above or not, copies alike.
    int attributeClasses = 0;
    for (int i = 0; i < oxMetaObject::getRegisteredCount(); ++i) {
        oxMetaObject* meta = oxMetaObject::getRegistered(i);
        if (!meta->isDerivedFrom(oxAttr::getClassTypeSafe()) || !meta->canInstantiate())
            continue;
        ++attributeClasses;
        EXPECT_TRUE(seen.count(meta->getName())) << meta->getName() << " is not in the list above";
        oxSmartPointer<oxObject> object = meta->createInstance();
        oxSmartPointer<oxObject> copy = object->createCopy(oxObject::kDeepCopy);
        EXPECT_TRUE(copy->isAlikeShallow(object)) << meta->getName();
    }
    EXPECT_GE(attributeClasses, 50);
    WarningCatcher warnings;
    for (const char* name : {"oxAttr", "oxStateAttr", "oxMatrixAttr", "oxBaseGeometryAttr", "oxAttrDefaultManager",
                             "oxCapabilityManager"})
        EXPECT_EQ(oxMetaObject::findType(name)->createInstance(), nullptr) << name;
}

TEST(oxStateAttr, DefaultsDescribeAUsableDepthTestedScene)
{
    EXPECT_EQ(defaultTrace<oxDepthStateAttr>(), "setSwitch DEPTH_TEST on\n");
    EXPECT_EQ(defaultTrace<oxDepthWriteStateAttr>(), "setSwitch DEPTH_WRITE on\n");
    EXPECT_EQ(defaultTrace<oxBlendStateAttr>(), "setSwitch BLEND off\n");
    EXPECT_EQ(defaultTrace<oxLightingStateAttr>(), "setSwitch LIGHTING off\n");
    EXPECT_EQ(defaultTrace<oxMatrixOptStateAttr>(), "setSwitch MATRIX_OPTIMIZATION on\n");
    EXPECT_EQ(defaultTrace<oxTextureStateAttr>(3), "setSwitch TEXTURE 3 off\n");
    EXPECT_EQ(defaultTrace<oxCullFaceAttr>(), "setCullFace BACK\nsetSwitch CULL_FACE off\n");
    EXPECT_EQ(defaultTrace<oxDepthFunctionAttr>(), "setDepthFunction LESS_EQUAL\n");
    EXPECT_EQ(defaultTrace<oxBlendFunctionAttr>(), "setBlendFunction SRC_ALPHA ONE_MINUS_SRC_ALPHA ADD\n");
    EXPECT_EQ(defaultTrace<oxStencilFunctionAttr>(),
              "setStencilFunction ALWAYS 0 0xffffffff\nsetStencilOperation KEEP KEEP KEEP 0xffffffff\n");
}

TEST(oxStateAttr, ResettingFieldsGoesBackToTheConstructedState)
{
    oxSmartPointer<oxDepthStateAttr> depth = oxDepthStateAttr::_instantiateRef();
    depth->setEnabled(false);
    depth->userResetFields(false);
    EXPECT_TRUE(depth->getEnabled());
    oxSmartPointer<oxStencilFunctionAttr> stencil = oxStencilFunctionAttr::_instantiateRef();
    stencil->setFunction(OX_GFX_COMPARE_EQUAL, 1, 0xF);
    stencil->userResetFields(false);
    EXPECT_EQ(stencil->getMask(), 0xFFFFFFFFu);
    EXPECT_EQ(stencil->getFunction(), OX_GFX_COMPARE_ALWAYS);
}

TEST(oxAttr, UnitsBelongToClassesThatHaveThem)
{
    oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
    EXPECT_TRUE(bind->setUnit(7));
    EXPECT_EQ(bind->getUnit(), 7);
    oxSmartPointer<oxGenericCapabilityManager> caps = oxGenericCapabilityManager::_instantiateRef();
    EXPECT_EQ(bind->getUnitCount(caps), 8);
    caps->setCapability(OX_GFX_CAP_TEXTURE_UNITS, 2);
    EXPECT_EQ(bind->getUnitCount(caps), 2);
    EXPECT_EQ(oxClipPlaneAttr::_instantiateRef()->getUnitCount(caps), 6);
    EXPECT_EQ(oxVertexBlendMatrixAttr::_instantiateRef()->getUnitCount(caps), 4);

    oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();
    EXPECT_EQ(light->getUnitCount(caps), 1);
    WarningCatcher warnings;
    EXPECT_FALSE(light->setUnit(1));
    EXPECT_FALSE(bind->setUnit(70000));
    EXPECT_FALSE(bind->setUnit(-1));
    EXPECT_EQ(warnings.count(), 3u);
    EXPECT_EQ(bind->getUnit(), 7);
    EXPECT_TRUE(light->setUnit(0));
}

TEST(oxAttrDefaultManager, OneDefaultPerClassAndUnit)
{
    oxSmartPointer<oxGenericAttrDefaultManager> defaults = oxGenericAttrDefaultManager::_instantiateRef();
    oxTextureStateAttr* unit0 = defaults->getDefaultAttr<oxTextureStateAttr>(0);
    oxTextureStateAttr* unit1 = defaults->getDefaultAttr<oxTextureStateAttr>(1);
    ASSERT_TRUE(unit0 && unit1);
    EXPECT_NE(unit0, unit1);
    EXPECT_EQ(unit1->getUnit(), 1);
    EXPECT_EQ(defaults->getDefaultAttr(oxTextureStateAttr::getClassTypeSafe(), 1), unit1);
    EXPECT_EQ(defaults->getDefaultCount(), 2);

    WarningCatcher warnings;
    EXPECT_EQ(defaults->getDefaultAttr(oxAttr::getClassTypeSafe()), nullptr);
    EXPECT_EQ(defaults->getDefaultAttr(Kel::Core::oxIntList::getClassTypeSafe()), nullptr);
    EXPECT_EQ(defaults->getDefaultAttr(nullptr), nullptr);
    EXPECT_EQ(defaults->getDefaultAttr<oxLightAttr>(2), nullptr);
    EXPECT_EQ(warnings.count(), 4u);
    EXPECT_EQ(defaults->getDefaultCount(), 2);
    defaults->removeAll();
    EXPECT_EQ(defaults->getDefaultCount(), 0);
    ASSERT_NE(defaults->getDefaultAttr<oxTextureStateAttr>(0), nullptr);
    EXPECT_EQ(defaults->getDefaultCount(), 1);
}

TEST(oxAttrDefaultManager, DeviceDefaultsTakeTheDeviceSettings)
{
    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    vc->setSize(800, 600);
    oxMatrix44f projection;
    projection.ortho(-1, 1, -1, 1, 1, 10);
    vc->setMatrix(OX_GFX_MATRIX_PROJECTION, 0, projection);
    vc->clear(0, {{0.5f, 0.5f, 0.5f, 1}, 0.75f, 2});

    oxSmartPointer<oxVisualContextAttrDefaultManager> defaults =
        oxVisualContextAttrDefaultManager::_instantiateRef();
    oxViewportAttr* viewport = defaults->getDefaultAttr<oxViewportAttr>();
    EXPECT_EQ(viewport->getWidth(), 0);
    defaults->setVisualContext(vc);
    EXPECT_EQ(viewport->getWidth(), 800);
    EXPECT_EQ(defaults->getDefaultAttr<oxProjectionMatrixAttr>()->getMatrix(), projection);
    oxClearAttr* clear = defaults->getDefaultAttr<oxClearAttr>();
    EXPECT_EQ(clear->getColor(), oxVec4f(0.5f, 0.5f, 0.5f, 1));
    EXPECT_EQ(clear->getStencil(), 2);
    // The device's default clear puts values back and wipes nothing.
    EXPECT_EQ(traceOf(clear), "clear none color=(0.5000 0.5000 0.5000 1.0000) depth=0.7500 stencil=2\n");

    vc->setViewport({0, 0, 320, 240, 0, 1});
    viewport->refreshFromVisualContext(vc);
    EXPECT_EQ(viewport->getHeight(), 240);
    oxSmartPointer<oxGenericAttrDefaultManager> generic = oxGenericAttrDefaultManager::_instantiateRef();
    EXPECT_EQ(generic->getDefaultAttr<oxViewportAttr>()->getWidth(), 0);
}

TEST(oxCapabilityManager, GenericAndDeviceManagersAnswerTheNumberedQueries)
{
    oxSmartPointer<oxGenericCapabilityManager> generic = oxGenericCapabilityManager::_instantiateRef();
    EXPECT_EQ(generic->getTextureUnitCount(), generic->getCapability(OX_GFX_CAP_TEXTURE_UNITS));
    EXPECT_EQ(generic->getCapability(1000), 0);
    generic->setCapability(OX_GFX_CAP_TEXTURE_DOT3, 0);
    EXPECT_EQ(generic->getCapability(17), 0);
    EXPECT_STREQ(oxCapabilityManager::getCapabilityName(8), "OX_GFX_CAP_TEXTURE_UNITS");
    EXPECT_EQ(oxCapabilityManager::getCapabilityName(99), nullptr);

    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxVisualContextCapabilityManager> device = oxVisualContextCapabilityManager::_instantiateRef();
    EXPECT_EQ(device->getTextureUnitCount(), 0);
    device->setVisualContext(vc);
    vc->setCapability(OX_GFX_CAP_TEXTURE_UNITS, 1);
    EXPECT_EQ(device->getCapability(8), 1);
}

TEST(oxMatrixAttr, EachStackLoadsItsOwnMatrix)
{
    oxSmartPointer<oxTextureMatrixAttr> texture = oxTextureMatrixAttr::_instantiateRef();
    texture->setUnit(2);
    oxMatrix44f m;
    m.makeScale(2.0f);
    texture->setMatrix(m);
    EXPECT_EQ(traceOf(texture).rfind("setMatrix TEXTURE 2 (2.0000 ", 0), 0u);
    oxSmartPointer<oxVertexBlendMatrixAttr> blend = oxVertexBlendMatrixAttr::_instantiateRef();
    blend->setUnit(1);
    EXPECT_EQ(traceOf(blend).rfind("setMatrix VERTEX_BLEND 1 (1.0000 ", 0), 0u);
    oxModelViewMatrixAttr* identity = oxModelViewMatrixAttr::getIdentityAttr();
    ASSERT_NE(identity, nullptr);
    EXPECT_EQ(identity, oxModelViewMatrixAttr::getIdentityAttr());
    EXPECT_TRUE(identity->getMatrix().isIdentity());
}

TEST(oxFragmentAttrs, SettersReachTheDevice)
{
    oxSmartPointer<oxAlphaFunctionAttr> alpha = oxAlphaFunctionAttr::_instantiateRef();
    alpha->setFunction(OX_GFX_COMPARE_GREATER);
    alpha->setReference(0.25f);
    EXPECT_EQ(traceOf(alpha), "setAlphaFunction GREATER 0.2500\n");
    oxSmartPointer<oxStencilFunctionAttr> stencil = oxStencilFunctionAttr::_instantiateRef();
    stencil->setFunction(OX_GFX_COMPARE_NOT_EQUAL, 1, 0xFF);
    stencil->setOperations(OX_GFX_STENCIL_ZERO, OX_GFX_STENCIL_KEEP, OX_GFX_STENCIL_INVERT);
    stencil->setWriteMask(0x0F);
    EXPECT_EQ(traceOf(stencil),
              "setStencilFunction NOT_EQUAL 1 0x000000ff\nsetStencilOperation ZERO KEEP INVERT 0x0000000f\n");
    oxSmartPointer<oxColorMaskAttr> mask = oxColorMaskAttr::_instantiateRef();
    mask->setMask(false, true, true, false);
    EXPECT_EQ(traceOf(mask), "setColorMask 0 1 1 0\n");
    oxSmartPointer<oxMaterialAttr> material = oxMaterialAttr::_instantiateRef();
    material->setShininess(32);
    material->setColorMaterial(OX_GFX_COLOR_MATERIAL_DIFFUSE);
    EXPECT_NE(traceOf(material).find("shininess=32.0000 colorMaterial=DIFFUSE"), std::string::npos);
    oxSmartPointer<oxGeometryMaskAttr> geometryMask = oxGeometryMaskAttr::_instantiateRef();
    geometryMask->setMask(oxVertexFormat::kPositions);
    EXPECT_EQ(traceOf(geometryMask), "setGeometryMask 0x00000001\n");
}

TEST(oxViewAttrs, ViewportClearAndClipPlane)
{
    oxSmartPointer<oxViewportAttr> viewport = oxViewportAttr::_instantiateRef();
    viewport->setViewport(7, 7, 114, 114);
    EXPECT_EQ(traceOf(viewport), "setViewport 7 7 114 114 0.0000 1.0000\n");
    oxSmartPointer<oxClearAttr> clear = oxClearAttr::_instantiateRef();
    clear->setColor({1, 1, 1, 1});
    clear->setBuffers(OX_GFX_CLEAR_COLOR);
    EXPECT_EQ(traceOf(clear), "clear COLOR color=(1.0000 1.0000 1.0000 1.0000) depth=1.0000 stencil=0\n");
    oxSmartPointer<oxClipPlaneAttr> plane = oxClipPlaneAttr::_instantiateRef();
    EXPECT_EQ(traceOf(plane).rfind("setClipPlane 0 (0.0000 0.0000 0.0000 0.0000) (1.0000", 0), 0u);
    plane->setUnit(3);
    plane->setPlane({0, 1, 0, -2});
    EXPECT_EQ(traceOf(plane).rfind("setClipPlane 3 (0.0000 1.0000 0.0000 -2.0000)", 0), 0u);
}

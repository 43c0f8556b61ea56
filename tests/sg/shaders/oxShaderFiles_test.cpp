// Shaders in scene files: what is stored comes back, what is built per device or per frame
// is not stored.
#include <gtest/gtest.h>

#include <vector>

#include "platform/core/oxOXBReader.h"
#include "platform/core/oxOXBWriter.h"
#include "tests/sg/shaders/oxShaderTestSupport.h"

using namespace shadertest;

namespace {

template <class T>
oxSmartPointer<T> roundTrip(T* root)
{
    std::vector<uint8_t> bytes;
    EXPECT_EQ(oxOXBWriter::writeMemory(root, bytes), kSuccess);
    oxSmartPointer<oxObject> read = oxOXBReader::readObject(bytes.data(), bytes.size(), "shaders");
    return T::dynamicCast(read.get());
}

class ShaderFilesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::Sg::oxArkRegisterForOXBFiles(); }
};

} // namespace

TEST_F(ShaderFilesTest, MultiPassShaderKeepsItsPasses)
{
    oxSmartPointer<oxShader> shader = oxShader::_instantiateRef();
    shader->setPassCount(2);
    shader->appendAttr(0, oxBlendStateAttr::_instantiateRef());
    shader->appendAttr(1, oxCullFaceAttr::_instantiateRef());
    shader->appendAttr(1, oxDepthStateAttr::_instantiateRef());
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(1, 2, 3));
    shader->setMatrix(1, &m);
    shader->setPassState(0, false);
    shader->setPassInheritState(true);
    shader->setChildMode(oxShader::ALL_PER_PASS);
    shader->setDefaultPass(1);
    shader->appendChild(oxGroup::_instantiateRef());

    oxSmartPointer<oxShader> read = roundTrip(shader.get());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->getPassCount(), 2);
    EXPECT_NE(oxBlendStateAttr::dynamicCast(read->getAttr(0, 0)), nullptr);
    EXPECT_NE(oxDepthStateAttr::dynamicCast(read->getAttr(1, 1)), nullptr);
    EXPECT_EQ(*read->getMatrix(1), m);
    EXPECT_EQ(read->getModelViewMatrix(0), nullptr);
    EXPECT_NE(read->getModelViewMatrix(1), nullptr);
    EXPECT_FALSE(read->getPassState(0));
    EXPECT_TRUE(read->getPassState(1));
    EXPECT_TRUE(read->getPassInherit());
    EXPECT_EQ(read->getChildMode(), oxShader::ALL_PER_PASS);
    EXPECT_EQ(read->getDefaultPass(), 1);
    EXPECT_EQ(read->getChildCount(), 1);
}

TEST_F(ShaderFilesTest, SimpleShadersKeepDataAndProcessorsButNotWhatTheDeviceOrFrameMade)
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();

    oxSmartPointer<oxSimpleShader> flipBook = oxSimpleShader::_instantiateRef();
    oxSmartPointer<oxTextureTransformMovieProcessor> movie = oxTextureTransformMovieProcessor::_instantiateRef();
    movie->setCellCount(4, 2, 7);
    movie->setFramesPerSecond(12);
    movie->setInterpolateFrames(true);
    oxSmartPointer<oxTextureMatrixAttr> current = oxTextureMatrixAttr::_instantiateRef();
    movie->setCurrentTextureMatrix(current);
    oxSmartPointer<oxAttrList> pass = oxAttrList::_instantiateRef();
    pass->append(current);
    oxSmartPointer<oxNodeList> own = oxNodeList::_instantiateRef();
    own->append(oxGroup::_instantiateRef());
    flipBook->getShaderData()->appendPass(pass, pass, own);
    flipBook->setShaderProcessor(movie);
    flipBook->setTransparent(true);
    flipBook->setRenderPackageState(true);
    flipBook->setPassState(2, false);
    root->appendChild(flipBook);

    oxSmartPointer<oxSimpleShader> facing = oxSimpleShader::_instantiateRef();
    oxSmartPointer<oxBillboardProcessor> billboard = oxBillboardProcessor::_instantiateRef();
    billboard->setMode(oxBillboardProcessor::ABOUT_AXIS);
    billboard->setAxis(oxVec3f(1, 0, 0));
    billboard->setOrigin(oxVec3f(0, 2, 0));
    facing->setShaderProcessor(billboard);
    root->appendChild(facing);

    oxSmartPointer<oxSimpleShader> slide = oxSimpleShader::_instantiateRef();
    oxSmartPointer<oxProjectiveTextureProcessor> projector = oxProjectiveTextureProcessor::_instantiateRef();
    projector->setTextureMatrix(oxTextureMatrixAttr::_instantiateRef());
    projector->setLightPosition(oxVec3f(1, 2, 3));
    projector->setCutOffAngle(20);
    projector->setZNear(0.5f);
    projector->setZFar(50);
    projector->setIsPerspective(false);
    slide->setShaderProcessor(projector);
    root->appendChild(slide);

    oxSmartPointer<oxInterpretedShader> interpreted = oxInterpretedShader::_instantiateRef();
    interpreted->getShaderData()->appendPass(pass, pass, nullptr);
    root->appendChild(interpreted);

    oxSmartPointer<oxGroup> read = roundTrip(root.get());
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->getChildCount(), 4);

    auto* readFlipBook = oxSimpleShader::dynamicCast(read->getChild(0));
    ASSERT_NE(readFlipBook, nullptr);
    EXPECT_TRUE(readFlipBook->isTransparent());
    EXPECT_FALSE(readFlipBook->getRenderPackageState()) << "not stored";
    EXPECT_FALSE(readFlipBook->isConfigured());
    EXPECT_FALSE(readFlipBook->getPassState(2));
    EXPECT_TRUE(readFlipBook->getPassState(1));
    oxShaderData* data = readFlipBook->getShaderData();
    ASSERT_EQ(data->getPassCount(), 1);
    EXPECT_EQ(data->getPushList(0), data->getPopList(0)) << "shared lists stay shared";
    ASSERT_NE(data->getChildList(0), nullptr);
    EXPECT_EQ(data->getChildList(0)->getCount(), 1);
    auto* readMovie = oxTextureTransformMovieProcessor::dynamicCast(readFlipBook->getShaderProcessor());
    ASSERT_NE(readMovie, nullptr);
    EXPECT_EQ(readMovie->getFramesPerSecond(), 12.0f);
    EXPECT_EQ(readMovie->getCellCountX(), 4);
    EXPECT_EQ(readMovie->getCellCountY(), 2);
    EXPECT_EQ(readMovie->getTotalCellCount(), 7);
    EXPECT_TRUE(readMovie->getInterpolateFrames());
    EXPECT_EQ(readMovie->getCurrentTextureMatrix(), data->getPushList(0)->get(0));

    auto* readBillboard =
        oxBillboardProcessor::dynamicCast(oxSimpleShader::dynamicCast(read->getChild(1))->getShaderProcessor());
    ASSERT_NE(readBillboard, nullptr);
    EXPECT_EQ(readBillboard->getMode(), oxBillboardProcessor::ABOUT_AXIS);
    EXPECT_EQ(readBillboard->getAxis(), oxVec3f(1, 0, 0));
    EXPECT_EQ(readBillboard->getOrigin(), oxVec3f(0, 2, 0));

    auto* readProjector =
        oxProjectiveTextureProcessor::dynamicCast(oxSimpleShader::dynamicCast(read->getChild(2))->getShaderProcessor());
    ASSERT_NE(readProjector, nullptr);
    EXPECT_EQ(readProjector->getTextureMatrix(), nullptr) << "not stored";
    EXPECT_EQ(readProjector->getLightPosition(), oxVec3f(1, 2, 3));
    EXPECT_EQ(readProjector->getLightDirection(), oxVec3f(0, 1, 0));
    EXPECT_EQ(readProjector->getCutOffAngle(), 20.0f);
    EXPECT_EQ(readProjector->getZNear(), 0.5f);
    EXPECT_EQ(readProjector->getZFar(), 50.0f);
    EXPECT_EQ(readProjector->getUpVector(), oxVec3f(1, 0, 0));
    EXPECT_FALSE(readProjector->getIsPerspective());

    auto* readInterpreted = oxInterpretedShader::dynamicCast(read->getChild(3));
    ASSERT_NE(readInterpreted, nullptr);
    ASSERT_NE(readInterpreted->getInterpretedShaderData(), nullptr);
    EXPECT_EQ(readInterpreted->getShaderData()->getPassCount(), 0) << "its passes are built again";
    EXPECT_NE(oxInterpretedShaderProcessor::dynamicCast(readInterpreted->getShaderProcessor()), nullptr);
}

namespace {

// The fields a class declares itself, in order, with "*" after those not stored.
std::vector<std::string> ownFields(oxMetaObject* meta)
{
    std::vector<std::string> names;
    const int inherited = meta->getParent() ? meta->getParent()->getMetaFieldCount() : 0;
    for (int i = inherited; i < meta->getMetaFieldCount(); ++i) {
        const oxMetaField* f = meta->getIndexedMetaField(i);
        names.push_back(std::string(f->getName()) + (f->isPersistent() ? "" : "*"));
    }
    return names;
}

} // namespace

TEST_F(ShaderFilesTest, ClassesDeclareTheirFieldsInOrderWithTheirEnumerations)
{
    using Names = std::vector<std::string>;
    EXPECT_EQ(ownFields(oxShader::getClassTypeSafe()),
              (Names{"_attrLists", "_defaultPass", "_passInherit", "_transformList", "_mvmList", "_passMask",
                     "_childMode"}));
    EXPECT_EQ(ownFields(oxShader2::getClassTypeSafe()), (Names{"_isTransparent", "_configured*", "_useRenderPackage*"}));
    EXPECT_EQ(ownFields(oxSimpleShader::getClassTypeSafe()),
              (Names{"_shaderData", "_processor", "_passMask", "_dataPumpManager*"}));
    EXPECT_EQ(ownFields(oxShaderData::getClassTypeSafe()),
              (Names{"_attrPushLists", "_attrPopLists", "_dataPumps", "_childLists"}));
    EXPECT_EQ(ownFields(oxInterpretedShaderData::getClassTypeSafe()), (Names{"_factory", "_objectMappings"}));
    EXPECT_EQ(ownFields(oxShaderFactory::getClassTypeSafe()), (Names{"_attrNames", "_attrTypes", "_fileCachingMode"}));
    EXPECT_EQ(ownFields(oxShaderInfo::getClassTypeSafe()), (Names{"_factoryList"}));
    EXPECT_EQ(ownFields(oxCartoonShaderProcessor::getClassTypeSafe()),
              (Names{"_cartoonTextureMatrix", "_cartoonTexture", "_lightDirection", "_light", "_eyeDirection"}));
    EXPECT_EQ(ownFields(oxTextureTransformMovieProcessor::getClassTypeSafe()),
              (Names{"_framesPerSecond", "_cellCountX", "_cellCountY", "_totalCellCount", "_currentTextureMatrix",
                     "_nextTextureMatrix", "_interpolateFrames", "_blendFactor", "_secondsPerFrame*",
                     "_secondsPerCycle*", "_scaleX*", "_scaleY*", "_previousCycleTime*", "_previousFrameTime*",
                     "_previousCell*", "_previousBlendFactor*"}));
    EXPECT_EQ(ownFields(oxBillboardProcessor::getClassTypeSafe()), (Names{"_mode", "_axis", "_origin", "_modelViewMatrix"}));
    EXPECT_EQ(ownFields(oxProjectiveTextureProcessor::getClassTypeSafe()),
              (Names{"_textureMatrix*", "_lightPosition", "_lightDirection", "_cutOffAngle", "_zNear", "_zFar",
                     "_upVector", "_isPerspective", "_light", "_lightMapTexture"}));
    EXPECT_TRUE(ownFields(oxShaderProcessor::getClassTypeSafe()).empty());

    EXPECT_TRUE(oxShader2::getClassTypeSafe()->isAbstract());
    EXPECT_TRUE(oxShaderFunction::getClassTypeSafe()->isAbstract());
    EXPECT_FALSE(oxInterpretedShader::getClassTypeSafe()->isAbstract());

    int v = 0;
    EXPECT_TRUE(oxShader::getCHILD_MODEMetaEnum()->getEnumValue("ALL_PER_PASS", v));
    EXPECT_EQ(v, 1);
    EXPECT_EQ(oxShader::k_childMode->getMetaEnum(), Kel::getoxEnumMetaEnum()) << "the generic enumeration";
    EXPECT_EQ(oxShaderFactory::k_fileCachingMode->getMetaEnum(), oxShaderFactory::getFILE_CACHING_MODEMetaEnum());
    EXPECT_TRUE(oxShaderFactory::getFILE_CACHING_MODEMetaEnum()->getEnumValue("PERSISTENT_CACHE", v));
    EXPECT_EQ(v, 2);
    EXPECT_EQ(oxBillboardProcessor::k_mode->getMetaEnum(), oxBillboardProcessor::getBillboardModeMetaEnum());
    EXPECT_TRUE(oxBillboardProcessor::getBillboardModeMetaEnum()->getEnumValue("ABOUT_POINT_EYE_UP", v));
    EXPECT_EQ(v, 3);

    // Registering the shader information put it, with the empty factory, in the system
    // directory.
    oxInfo* info = oxResource::getSystemDirectory()->getInfoByType(oxShaderInfo::getClassTypeSafe(), "shaderInfo");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info, oxShaderInfo::getSystemShaderInfo());
    oxShaderFactory* first = oxShaderInfo::getSystemShaderInfo()->getFactoryList()->get(0);
    EXPECT_EQ(std::string(first->getName().c_str()), "empty");
    EXPECT_EQ(first->getMetaObject(), oxShaderFactory::getClassTypeSafe());
}

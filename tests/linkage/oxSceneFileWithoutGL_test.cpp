// A program of the kind that only reads, edits and writes scene files: it links OXSg and
// nothing that draws, so it builds and runs where no OpenGL or EGL library is installed
// (the CTest case beside it checks what the loader would load for it). Its scene holds what
// such programs meet in real files: transforms, attribute sets with a material and a
// texture whose picture is stored in the file, and geometry with its vertex array.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <unistd.h>

#include "platform/attrs/OXAttrs.h"
#include "platform/core/oxOXBReader.h"
#include "platform/core/oxOXBWriter.h"
#include "sg/OXSg.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;
using Kel::Gfx::oxImage;

namespace {

class SceneFileWithoutGL : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::Sg::oxArkRegisterForOXBFiles(); }

    void TearDown() override { std::remove(_path.c_str()); }

    static oxSmartPointer<oxGroup> scene()
    {
        oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
        root->setName("yard");
        oxSmartPointer<oxTransform> lift = oxTransform::_instantiateRef();
        lift->setName("lift");
        oxMatrix44f m;
        m.makeTranslation(oxVec3f(1, 2, 3));
        lift->setMatrix(&m);

        oxSmartPointer<oxImage> picture = oxImage::_instantiateRef();
        picture->allocateImageMemory(2, 1, Kel::Gfx::OX_GFX_PIXEL_RGBA8);
        const uint8_t pixels[8] = {255, 0, 0, 255, 0, 0, 255, 128};
        picture->loadBuffer(pixels, Kel::Gfx::OX_GFX_PIXEL_RGBA8, 2, 1);
        oxSmartPointer<oxTextureAttr> texture = oxTextureAttr::_instantiateRef();
        texture->setImage(picture, 0);
        oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
        bind->setTexture(texture);
        oxSmartPointer<oxMaterialAttr> material = oxMaterialAttr::_instantiateRef();
        material->setDiffuse(oxVec4f(0.25f, 0.5f, 0.75f, 1));
        oxSmartPointer<oxAttrSet> look = oxAttrSet::_instantiateRef();
        look->appendAttr(bind);
        look->appendAttr(material);

        oxSmartPointer<oxGeometryAttr> triangle = oxGeometryAttr::_instantiateRef();
        triangle->configureVertexArray(Kel::Gfx::oxVertexFormat::kPositions, 3);
        triangle->setPosition(0, oxVec3f(0, 0, 0));
        triangle->setPosition(1, oxVec3f(1, 0, 0));
        triangle->setPosition(2, oxVec3f(0, 1, 0));
        triangle->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1);
        oxSmartPointer<oxGeometry> crate = oxGeometry::_instantiateRef();
        crate->setName("crate");
        crate->addGeometryAttr(triangle);

        look->appendChild(crate);
        lift->appendChild(look);
        root->appendChild(lift);
        return root;
    }

    oxSmartPointer<oxGroup> writeAndRead(oxGroup* root)
    {
        EXPECT_TRUE(oxOXBWriter::writeFile(_path.c_str(), root));
        return oxGroup::dynamicCast(oxOXBReader::readObject(_path.c_str()).get());
    }

    std::string _path = ::testing::TempDir() + "without_gl_" + std::to_string(getpid()) + ".oxb";
};

TEST_F(SceneFileWithoutGL, ReadsWhatItWroteEditsItAndWritesItAgain)
{
    oxSmartPointer<oxGroup> read = writeAndRead(scene());
    ASSERT_TRUE(read);
    EXPECT_STREQ(read->getName().c_str(), "yard");
    auto* lift = oxTransform::dynamicCast(oxNode::findNamedNodeOfType(read, "lift", oxTransform::getClassTypeSafe()));
    ASSERT_TRUE(lift);
    EXPECT_EQ(lift->getMatrix()->transformPoint(oxVec3f(0, 0, 0)), oxVec3f(1, 2, 3));
    auto* look = oxAttrSet::dynamicCast(lift->getChild(0));
    ASSERT_TRUE(look);
    ASSERT_EQ(look->getAttrCount(), 2);
    auto* material = oxMaterialAttr::dynamicCast(look->getAttr(1));
    ASSERT_TRUE(material);
    EXPECT_EQ(material->getDiffuse(), oxVec4f(0.25f, 0.5f, 0.75f, 1));
    auto* bind = oxTextureBindAttr::dynamicCast(look->getAttr(0));
    ASSERT_TRUE(bind && bind->getTexture() && bind->getTexture()->getImage(0));
    EXPECT_EQ(bind->getTexture()->getImage(0)->getColor(1, 0), 0x80ff0000u) << "blue, half transparent";
    auto* crate = oxGeometry::dynamicCast(oxNode::findNamedNodeOfType(read, "crate", oxGeometry::getClassTypeSafe()));
    ASSERT_TRUE(crate);
    auto* triangle = oxGeometryAttr::dynamicCast(crate->getGeometryAttr(0));
    ASSERT_TRUE(triangle && triangle->getVertexArray());
    EXPECT_EQ(triangle->getVertexArray()->getPosition(2), oxVec3f(0, 1, 0));

    // Edited and stored again, the edits are what the next reader finds.
    oxMatrix44f moved;
    moved.makeTranslation(oxVec3f(-4, 0, 0));
    lift->setMatrix(&moved);
    material->setDiffuse(oxVec4f(1, 0, 0, 1));
    crate->setName("barrel");
    oxSmartPointer<oxGroup> again = writeAndRead(read);
    ASSERT_TRUE(again);
    auto* lift2 = oxTransform::dynamicCast(oxNode::findNamedNodeOfType(again, "lift", oxTransform::getClassTypeSafe()));
    ASSERT_TRUE(lift2);
    EXPECT_EQ(lift2->getMatrix()->transformPoint(oxVec3f(0, 0, 0)), oxVec3f(-4, 0, 0));
    EXPECT_EQ(oxMaterialAttr::dynamicCast(oxAttrSet::dynamicCast(lift2->getChild(0))->getAttr(1))->getDiffuse(),
              oxVec4f(1, 0, 0, 1));
    EXPECT_TRUE(oxNode::findNamedNodeOfType(again, "barrel", oxGeometry::getClassTypeSafe()));
    EXPECT_FALSE(oxNode::findNamedNodeOfType(again, "crate", oxGeometry::getClassTypeSafe()));
}

TEST_F(SceneFileWithoutGL, NoDeviceClassThatDrawsIsRegistered)
{
    Kel::libOXSg_arkRegister();
    EXPECT_TRUE(oxMetaObject::findType("oxRecordingVisualContext"));
    EXPECT_FALSE(oxMetaObject::findType("oxGLVisualContext"));
}

} // namespace

// The importer on the models of Debian's assimp-testmodels (skipped where the package is
// missing) and on files broken here.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "import/oxImageFiles.h"
#include "import/oxImporter.h"
#include "platform/attrs/OXAttrs.h"
#include "platform/gfxgl/OXGfxGL.h"
#include "tests/platform/gfx/oxGfxTestUtil.h"

using namespace Kel::Sg;
using namespace Kel::Gfx;
using namespace Kel::Attrs;
using Kel::Attrs::oxGeometryAttr;
using Kel::Attrs::oxMorphedGeometryAttr;
using Kel::Attrs::oxTextureBindAttr;
using Kel::Attrs::oxTextureStateAttr;
namespace fs = std::filesystem;

namespace {

const fs::path kModels = OXSG_ASSIMP_MODELS;

class oxImporterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::is_directory(kModels / "glTF2"))
            GTEST_SKIP() << "no test models at " << kModels << " (Debian package assimp-testmodels)";
    }
};

// Every node of a graph, depth first, each once.
template <class F>
void visit(oxNode* node, F&& f)
{
    f(node);
    if (oxGroup* group = oxGroup::dynamicCast(node))
        for (int i = 0; i < group->getChildCount(); ++i)
            visit(group->getChild(i), f);
}

template <class T>
std::vector<T*> all(oxNode* root)
{
    std::vector<T*> found;
    visit(root, [&](oxNode* n) {
        if (T* t = T::dynamicCast(n))
            if (std::find(found.begin(), found.end(), t) == found.end())
                found.push_back(t);
    });
    return found;
}

// The attribute of that class on a geometry node or on the attribute set above it.
template <class T>
T* attrOf(oxNode* node)
{
    if (oxGeometry* g = oxGeometry::dynamicCast(node))
        for (int i = 0; i < g->getAttrCount(); ++i)
            if (T* a = T::dynamicCast(g->getAttr(i)))
                return a;
    oxAttrSet* set = node->getParentCount() ? oxAttrSet::dynamicCast(node->getParent(0)) : nullptr;
    for (int i = 0; set && i < set->getAttrCount(); ++i)
        if (T* a = T::dynamicCast(set->getAttr(i)))
            return a;
    return nullptr;
}

oxSmartPointer<oxImage> draw(oxNode* root, int64_t time, oxGLVisualContext* vc,
                             const oxVec3f& eye = oxVec3f(1.6f, 1.4f, 2.2f), const oxVec3f& centre = oxVec3f())
{
    oxSmartPointer<oxCommonTraversal> traversal = oxCommonTraversal::_instantiateRef();
    traversal->setVisualContext(vc);
    oxMatrix44f view;
    view.lookAt(eye, centre, oxVec3f(0, 1, 0));
    traversal->setViewMatrix(view);
    const float distance = (eye - centre).length();
    traversal->setPerspective(-1, 45, 1, distance < 10 ? 0.1f : 0.05f * distance, std::max(20.0f, 20 * distance));
    vc->setMatrix(OX_GFX_MATRIX_PROJECTION, 0, traversal->getProjectionMatrix());
    vc->setViewMatrix(view);
    traversal->setUserTimeState(true);
    traversal->setTimeAsLong(time);
    traversal->reset();
    traversal->apply(root);
    oxClearValues clear;
    clear.color = oxVec4f(0.5f, 0.6f, 0.75f, 1);
    vc->clear(OX_GFX_CLEAR_COLOR | OX_GFX_CLEAR_DEPTH, clear);
    traversal->getOutput()->apply(vc);
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    EXPECT_TRUE(vc->readPixels(0, 0, vc->getWidth(), vc->getHeight(), image));
    EXPECT_EQ(vc->takeGLError(), 0u);
    return image;
}

} // namespace

// The package's three encodings of the box; the first's sampler mirrors and clamps.
TEST_F(oxImporterTest, TheTexturedBoxComesInFromItsThreeEncodingsAndDrawsItsReferenceImage)
{
    oxSmartPointer<oxGLVisualContext> vc = oxGLVisualContext::create(160, 160);
    std::vector<oxSmartPointer<oxImage>> pictures;
    const std::pair<const char*, OX_GFX_WRAP> files[] = {
        {"BoxTextured-glTF/BoxTextured.gltf", OX_GFX_WRAP_MIRRORED_REPEAT},
        {"BoxTextured-glTF-Binary/BoxTextured.glb", OX_GFX_WRAP_REPEAT},
        {"BoxTextured-glTF-Embedded/BoxTextured.gltf", OX_GFX_WRAP_REPEAT}};
    for (const auto& [file, wrapS] : files) {
        SCOPED_TRACE(file);
        oxImporter importer;
        oxSmartPointer<oxNode> box = importer.importFile((kModels / "glTF2" / file).c_str());
        ASSERT_TRUE(box) << importer.getError();
        EXPECT_EQ(importer.getMeshCount(), 1);
        EXPECT_EQ(importer.getTextureCount(), 1);
        const std::vector<oxGeometry*> shapes = all<oxGeometry>(box);
        ASSERT_EQ(shapes.size(), 1u);
        oxGeometryAttr* g = attrOf<oxGeometryAttr>(shapes[0]);
        ASSERT_TRUE(g);
        EXPECT_EQ(g->getVertexArray()->getVertexCount(), 24);
        EXPECT_EQ(g->getPrimitiveCount(), 12);
        EXPECT_TRUE(g->getVertexArray()->getFormat().hasNormals());
        EXPECT_EQ(g->getVertexArray()->getFormat().getTexCoordSetCount(), 1);
        ASSERT_TRUE(attrOf<oxTextureStateAttr>(shapes[0]));
        EXPECT_TRUE(attrOf<oxTextureStateAttr>(shapes[0])->getEnabled());
        oxTextureBindAttr* bind = attrOf<oxTextureBindAttr>(shapes[0]);
        ASSERT_TRUE(bind && bind->getTexture());
        EXPECT_EQ(bind->getTexture()->getImage(0)->getWidth(), 211);
        EXPECT_EQ(bind->getTexture()->getWrapS(), wrapS);
        EXPECT_TRUE(shapes[0]->getBound()) << "bounds are made";
        if (vc)
            pictures.push_back(draw(box, 0, vc));
    }
    if (!vc)
        GTEST_SKIP() << "no OpenGL device";
    bool updated = false;
    EXPECT_TRUE(TestUtil::matchesGolden(pictures[0], std::string(OXSG_TEST_DATA_DIR) + "/import/box-textured.png",
                                        &updated));
    if (updated)
        GTEST_SKIP() << "wrote the box's reference image";
}

TEST_F(oxImporterTest, BrokenFilesAndMissingTexturesAreToldNotFatal)
{
    const fs::path dir = fs::temp_directory_path() / "oximporter-test";
    fs::create_directories(dir);
    std::ofstream(dir / "nonsense.gltf") << "{ \"asset\": { \"version\": \"2.0\" }, \"meshes\": [ { \"primitives\": [";
    const std::vector<fs::path> broken = {
        dir / "nonsense.gltf", dir / "absent.glb", kModels / "glTF2/MissingBin/BoxTextured.gltf"};
    for (const fs::path& path : broken) {
        if (!fs::exists(path) && path.filename() != "absent.glb")
            continue;
        SCOPED_TRACE(path.string());
        oxImporter importer;
        EXPECT_FALSE(importer.importFile(path.c_str()));
        EXPECT_EQ(importer.getError().rfind(path.string() + ": ", 0), 0u) << importer.getError();
        EXPECT_EQ(importer.getError().find('\n'), std::string::npos) << "one line";
    }

    // The box beside its buffer but without its picture: a warning, and untextured.
    fs::copy_file(kModels / "glTF2/BoxTextured-glTF/BoxTextured.gltf", dir / "BoxTextured.gltf",
                  fs::copy_options::overwrite_existing);
    fs::copy_file(kModels / "glTF2/BoxTextured-glTF/BoxTextured0.bin", dir / "BoxTextured0.bin",
                  fs::copy_options::overwrite_existing);
    TestUtil::WarningCatcher warnings;
    oxImporter importer;
    oxSmartPointer<oxNode> box = importer.importFile((dir / "BoxTextured.gltf").c_str());
    ASSERT_TRUE(box) << importer.getError();
    EXPECT_TRUE(warnings.contains("CesiumLogoFlat.png\" cannot be read; drawn untextured"));
    const std::vector<oxGeometry*> shapes = all<oxGeometry>(box);
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_FALSE(attrOf<oxTextureStateAttr>(shapes[0])->getEnabled());
    EXPECT_FALSE(attrOf<oxTextureBindAttr>(shapes[0]));
    fs::remove_all(dir);
}

TEST_F(oxImporterTest, TheEngineKeepsItsHierarchyAndCameraAndMotionCaptureMoves)
{
    oxImporter importer;
    oxSmartPointer<oxNode> engine =
        importer.importFile((kModels / "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb").c_str());
    ASSERT_TRUE(engine) << importer.getError();
    EXPECT_GT(importer.getMeshCount(), 20);
    EXPECT_EQ(all<oxCamera>(engine).size(), 1u);
    EXPECT_GT(all<oxTransform>(engine).size(), 50u);
    // Shared meshes stay shared: a geometry under several transforms.
    int shared = 0;
    for (oxAttrSet* s : all<oxAttrSet>(engine))
        shared += s->getParentCount() > 1;
    EXPECT_GT(shared, 0);
    if (oxSmartPointer<oxGLVisualContext> vc = oxGLVisualContext::create(160, 120)) {
        oxBox3f box = oxBoundingBoxesMaker::_instantiateRef()->getBoundingBox(engine)->getBox();
        const oxVec3f centre = (box.min + box.max) * 0.5f;
        const float radius = (box.max - box.min).length() * 0.5f;
        bool updated = false;
        EXPECT_TRUE(TestUtil::matchesGolden(
            draw(engine, 0, vc, centre + oxVec3f(0.4f, 0.5f, 1.0f).normalized() * (2.2f * radius), centre),
            std::string(OXSG_TEST_DATA_DIR) + "/import/engine.png", &updated));
        if (updated)
            GTEST_SKIP() << "wrote the engine's reference image";
    }

    // A motion-capture clip keys every joint's transform.
    oxSmartPointer<oxNode> walk = importer.importFile((kModels / "BVH/01_01.bvh").c_str());
    ASSERT_TRUE(walk) << importer.getError();
    EXPECT_EQ(importer.getSequenceCount(), 31);
    int keyed = 0, moved = 0;
    for (oxTransform* t : all<oxTransform>(walk))
        if (oxTransformSource* source = t->getTransformSource()) {
            ++keyed;
            oxMatrix44f a, b;
            source->getMatrix(a, 0);
            source->getMatrix(b, 500000000);
            moved += !(a == b);
        }
    EXPECT_EQ(keyed, 31);
    EXPECT_GT(moved, 20);
}

// The glTF skin sample: two joints bending a strip, drawn at rest and bent, the same on the
// GPU and the host.
TEST_F(oxImporterTest, ASkinBecomesAnActorThatBendsWithItsAnimation)
{
    oxImporter importer;
    oxSmartPointer<oxNode> model = importer.importFile((kModels / "glTF2/simple_skin/simple_skin.gltf").c_str());
    ASSERT_TRUE(model) << importer.getError();
    const std::vector<oxActor*> actors = all<oxActor>(model);
    ASSERT_EQ(actors.size(), 1u);
    oxSkeleton* skeleton = actors[0]->getSkeleton();
    ASSERT_TRUE(skeleton);
    EXPECT_EQ(skeleton->getBoneCount(), 3) << "the origin and the two joints";
    EXPECT_EQ(skeleton->getJointCount(), 2);
    EXPECT_EQ(skeleton->findBoneIndex("nodes[2]"), 2);
    EXPECT_EQ(skeleton->getParent(2), 1);
    oxNode* skin = actors[0]->getAppearance()->getSkin()->getSkinnedGraph();
    ASSERT_EQ(all<oxGeometry>(skin).size(), 1u);
    EXPECT_EQ(attrOf<oxGeometryAttr>(all<oxGeometry>(skin)[0])->getVertexArray()->getFormat().getBlendWeightCount(), 4);

    oxSmartPointer<oxGLVisualContext> vc = oxGLVisualContext::create(120, 120);
    if (!vc)
        GTEST_SKIP() << "no OpenGL device";
    bool updated = false;
    std::vector<oxSmartPointer<oxImage>> frames;
    for (int64_t t : {int64_t(0), int64_t(1000000000)}) {
        SCOPED_TRACE(t);
        vc->setGpuVertexBlending(false);
        oxSmartPointer<oxImage> host = draw(model, t, vc, oxVec3f(0.3f, 1, 5), oxVec3f(0.3f, 1, 0));
        vc->setGpuVertexBlending(true);
        oxSmartPointer<oxImage> gpu = draw(model, t, vc, oxVec3f(0.3f, 1, 5), oxVec3f(0.3f, 1, 0));
        EXPECT_TRUE(TestUtil::matchesGolden(host, std::string(OXSG_TEST_DATA_DIR) + "/import/simple-skin-" +
                                                      std::to_string(t / 1000000000) + ".png",
                                            &updated));
        EXPECT_TRUE(TestUtil::matchesGolden(gpu, std::string(OXSG_TEST_DATA_DIR) + "/import/simple-skin-" +
                                                     std::to_string(t / 1000000000) + ".png",
                                           &updated));
        frames.push_back(gpu);
    }
    EXPECT_NE(frames[0]->getColor(50, 35), frames[1]->getColor(50, 35)) << "bent, the strip's top has moved";
    if (updated)
        GTEST_SKIP() << "wrote the skin's reference images";
}

// The glTF morph sample: a cube whose two targets are keyed over 4.2 s, drawn at two times.
TEST_F(oxImporterTest, MorphTargetsBecomeAMorphInstanceKeyedByTheAnimation)
{
    oxImporter importer;
    oxSmartPointer<oxNode> cube = importer.importFile(
        (kModels / "glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf").c_str());
    ASSERT_TRUE(cube) << importer.getError();
    const std::vector<oxMorphInstance2*> morphs = all<oxMorphInstance2>(cube);
    ASSERT_EQ(morphs.size(), 1u);
    oxMorphedGeometryAttr* g = morphs[0]->getMorphGeometry();
    ASSERT_TRUE(g);
    ASSERT_EQ(g->getMorphList()->getCount(), 2) << "positions and normals";
    EXPECT_EQ(g->getMorphList()->get(0)->getTargets()->getCount(), 2);
    ASSERT_TRUE(morphs[0]->getMorphSequence());
    EXPECT_EQ(morphs[0]->getMorphSequence()->getCoefficientCount(), 2);
    EXPECT_EQ(importer.getSequenceCount(), 1);
    // The keys reach both targets: half-way the first is up, at the end the second.
    morphs[0]->update(1000000000);
    const float early = morphs[0]->getCoefficient()->get(0);
    morphs[0]->update(3000000000);
    const float late = morphs[0]->getCoefficient()->get(1);
    EXPECT_GT(early + late, 0.5f);

    oxSmartPointer<oxGLVisualContext> vc = oxGLVisualContext::create(120, 120);
    if (!vc)
        GTEST_SKIP() << "no OpenGL device";
    bool updated = false;
    oxSmartPointer<oxImage> frames[2];
    for (int i = 0; i < 2; ++i) {
        const int64_t t = i == 0 ? 0 : 1500000000;
        frames[i] = draw(cube, t, vc, oxVec3f(2.4f, 2.8f, 4.0f), oxVec3f(0, 0, 0));
        EXPECT_TRUE(TestUtil::matchesGolden(
            frames[i], std::string(OXSG_TEST_DATA_DIR) + "/import/morph-cube-" + std::to_string(i) + ".png", &updated));
    }
    int differing = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 120; ++x)
            differing += frames[0]->getColor(x, y) != frames[1]->getColor(x, y);
    EXPECT_GT(differing, 200) << "the cube changed shape";
    if (updated)
        GTEST_SKIP() << "wrote the morph cube's reference images";
}

// A dozen glTF samples of the package draw something, from a view that holds their bounds,
// and the animated ones change with time.
TEST_F(oxImporterTest, ADozenGltfSamplesDrawAndTheAnimatedOnesMove)
{
    oxSmartPointer<oxGLVisualContext> vc = oxGLVisualContext::create(96, 96);
    if (!vc)
        GTEST_SKIP() << "no OpenGL device";
    const std::pair<const char*, bool> samples[] = {
        {"BoxTextured-glTF-techniqueWebGL/BoxTextured.gltf", false},
        {"BoxTextured-glTF-pbrSpecularGlossiness/BoxTextured.gltf", false},
        {"BoxTexcoords-glTF/boxTexcoords.gltf", false},
        {"BoxBadNormals-glTF-Binary/BoxBadNormals.glb", false},
        {"cameras/Cameras.gltf", false},
        {"ClearCoat-glTF/ClearCoatTest.gltf", false},
        {"textureTransform/TextureTransformTest.gltf", false},
        {"2CylinderEngine-glTF-Binary/2CylinderEngine.glb", false},
        {"glTF-Asset-Generator/Mesh_PrimitiveMode/Mesh_PrimitiveMode_00.gltf", false},
        {"glTF-Asset-Generator/Mesh_PrimitiveMode/Mesh_PrimitiveMode_07.gltf", false},
        {"simple_skin/simple_skin.gltf", true},
        {"glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf", true}};
    const uint32_t sky = [&] {
        oxSmartPointer<oxGroup> empty = oxGroup::_instantiateRef();
        return draw(empty, 0, vc)->getColor(0, 0);
    }();
    for (const auto& [file, animated] : samples) {
        SCOPED_TRACE(file);
        oxImporter importer;
        oxSmartPointer<oxNode> model = importer.importFile((kModels / "glTF2" / file).c_str());
        ASSERT_TRUE(model) << importer.getError();
        oxSmartPointer<oxBoundingBoxesMaker> maker = oxBoundingBoxesMaker::_instantiateRef();
        maker->setTime(0);
        oxBox3f box = maker->getBoundingBox(model)->getBox();
        ASSERT_FALSE(box.isEmpty());
        const oxVec3f centre = (box.min + box.max) * 0.5f;
        const float radius = std::max((box.max - box.min).length() * 0.5f, 1e-3f);
        const oxVec3f eye = centre + oxVec3f(0.5f, 0.6f, 1.0f).normalized() * (3.0f * radius);
        oxSmartPointer<oxImage> frames[2];
        for (int i = 0; i < 2; ++i)
            frames[i] = draw(model, i * 1500000000, vc, eye, centre);
        int drawn = 0, moved = 0;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 96; ++x) {
                drawn += frames[0]->getColor(x, y) != sky;
                moved += frames[0]->getColor(x, y) != frames[1]->getColor(x, y);
            }
        EXPECT_GT(drawn, 40);
        if (animated)
            EXPECT_GT(moved, 20);
        else
            EXPECT_EQ(moved, 0);
    }
}

// glTF's alpha modes: BLEND is blended work, MASK an alpha test at the cutoff, OPAQUE
// neither; double-sided materials draw back faces.
TEST_F(oxImporterTest, AlphaModesAndDoubleSidednessBecomeState)
{
    const fs::path file = fs::temp_directory_path() / "oximporter-alpha.gltf";
    std::ofstream(file) << R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0, 1, 2]}],
      "nodes": [{"mesh": 0, "name": "glass"}, {"mesh": 1, "name": "leaf"}, {"mesh": 2, "name": "stone"}],
      "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "material": 0}]},
                 {"primitives": [{"attributes": {"POSITION": 0}, "material": 1}]},
                 {"primitives": [{"attributes": {"POSITION": 0}, "material": 2}]}],
      "materials": [{"name": "glass", "alphaMode": "BLEND",
                     "pbrMetallicRoughness": {"baseColorFactor": [0.2, 0.4, 0.9, 0.5]}},
                    {"name": "leaf", "alphaMode": "MASK", "alphaCutoff": 0.3, "doubleSided": true},
                    {"name": "stone"}],
      "buffers": [{"byteLength": 36,
                   "uri": "data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA"}],
      "bufferViews": [{"buffer": 0, "byteLength": 36}],
      "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3",
                     "min": [0, 0, 0], "max": [1, 1, 0]}]})";
    oxImporter importer;
    oxSmartPointer<oxNode> model = importer.importFile(file.c_str());
    fs::remove(file);
    ASSERT_TRUE(model) << importer.getError();
    std::map<std::string, oxGeometry*> byName;
    for (oxGeometry* g : all<oxGeometry>(model))
        byName[std::string(g->getParent(0)->getName().view())] = g;
    ASSERT_EQ(byName.size(), 3u);
    oxGeometry *glass = byName["glass"], *leaf = byName["leaf"], *stone = byName["stone"];
    ASSERT_TRUE(glass && leaf && stone);
    ASSERT_TRUE(attrOf<oxBlendStateAttr>(glass));
    EXPECT_TRUE(attrOf<oxBlendStateAttr>(glass)->getEnabled());
    EXPECT_TRUE(attrOf<oxBlendFunctionAttr>(glass));
    EXPECT_FLOAT_EQ(attrOf<oxMaterialAttr>(glass)->getDiffuse().w, 0.5f);
    EXPECT_FALSE(attrOf<oxAlphaStateAttr>(glass));
    ASSERT_TRUE(attrOf<oxAlphaStateAttr>(leaf));
    EXPECT_TRUE(attrOf<oxAlphaStateAttr>(leaf)->getEnabled());
    ASSERT_TRUE(attrOf<oxAlphaFunctionAttr>(leaf));
    EXPECT_FLOAT_EQ(attrOf<oxAlphaFunctionAttr>(leaf)->getReference(), 0.3f);
    EXPECT_EQ(attrOf<oxAlphaFunctionAttr>(leaf)->getFunction(), OX_GFX_COMPARE_GREATER_EQUAL);
    EXPECT_FALSE(attrOf<oxCullFaceAttr>(leaf)->getEnabled()) << "double-sided";
    EXPECT_FALSE(attrOf<oxBlendStateAttr>(stone));
    EXPECT_FALSE(attrOf<oxAlphaStateAttr>(stone));
    EXPECT_TRUE(attrOf<oxCullFaceAttr>(stone)->getEnabled());
}

// Textures in JPEG (the OBJ spider's, named with Windows separators), and broken bytes.
TEST_F(oxImporterTest, JpegTexturesAreReadAndBrokenPicturesRefused)
{
    TestUtil::WarningCatcher warnings;
    oxImporter importer;
    oxSmartPointer<oxNode> spider = importer.importFile((kModels / "OBJ/spider.obj").c_str());
    ASSERT_TRUE(spider) << importer.getError();
    EXPECT_GE(importer.getTextureCount(), 3);
    EXPECT_FALSE(warnings.contains("cannot be read"));
    int textured = 0;
    for (oxGeometry* g : all<oxGeometry>(spider))
        if (oxTextureBindAttr* bind = attrOf<oxTextureBindAttr>(g)) {
            oxImage* image = bind->getTexture()->getImage(0);
            ASSERT_TRUE(image);
            EXPECT_GT(image->getWidth(), 0);
            ++textured;
        }
    EXPECT_GT(textured, 0);

    std::ifstream in(kModels / "OBJ/SpiderTex.jpg", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 1000u);
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    EXPECT_TRUE(readImage(image, bytes.data(), bytes.size(), "whole"));
    // A header cut short is refused; a picture cut short keeps its size, libjpeg filling the
    // missing rows.
    for (size_t cut : {size_t(3), size_t(100)}) {
        SCOPED_TRACE(cut);
        TestUtil::WarningCatcher broken;
        oxSmartPointer<oxImage> part = oxImage::_instantiateRef();
        EXPECT_FALSE(readImage(part, bytes.data(), cut, "part"));
        EXPECT_TRUE(broken.contains("part: broken JPEG"));
    }
    oxSmartPointer<oxImage> half = oxImage::_instantiateRef();
    if (readImage(half, bytes.data(), bytes.size() / 2, "half")) {
        EXPECT_EQ(half->getWidth(), image->getWidth());
    }
    EXPECT_FALSE(readImage(image, "GIF89a", 6, "gif"));
}

// Every model of the package in a format Assimp reads loads or is refused with a message.
TEST_F(oxImporterTest, EverySampleFileLoadsOrIsRefusedWithAMessage)
{
    int loaded = 0, refused = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(kModels)) {
        // Assimp spends over a minute refusing OutOfMemory.off.
        if (!e.is_regular_file() || e.file_size() > (1u << 20) || e.path().filename() == "OutOfMemory.off" ||
            !oxImporter::canImport(e.path().c_str()))
            continue;
        SCOPED_TRACE(e.path().string());
        TestUtil::WarningCatcher quiet;
        oxImporter importer;
        oxSmartPointer<oxNode> model = importer.importFile(e.path().c_str());
        if (model) {
            ++loaded;
            // What came in draws: every index within its vertices.
            for (oxGeometry* g : all<oxGeometry>(model)) {
                if (oxGeometryAttr* a = attrOf<oxGeometryAttr>(g)) {
                    EXPECT_GE(a->countElements(), 0) << g->getName().c_str();
                }
            }
        } else {
            ++refused;
            EXPECT_FALSE(importer.getError().empty());
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d loaded, %d refused in %.1f s\n", loaded, refused, seconds);
    EXPECT_GT(loaded, 250);
    EXPECT_GT(refused, 0);
}

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/attrs/OXAttrs.h"
#include "tests/platform/gfx/oxGfxTestUtil.h"

using namespace Kel::Attrs;
using namespace Kel::Gfx;
using Kel::Gfx::TestUtil::WarningCatcher;
using Kel::Math::oxIsEqual;

namespace {
std::string traceOf(oxAttr* attr, oxRecordingVisualContext* vc = nullptr)
{
    oxSmartPointer<oxRecordingVisualContext> own = oxRecordingVisualContext::_instantiateRef();
    if (!vc)
        vc = own;
    vc->clearTrace();
    attr->apply(vc);
    return vc->getTrace();
}

// Two strips (4 and 3 vertices) over 7 vertices along x.
oxSmartPointer<oxGeometryAttr> makeStrips()
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals, 7);
    for (int i = 0; i < 7; ++i) {
        g->setPosition(i, {float(i), float(i % 2), 0});
        g->setNormal(i, {0, 0, 1});
    }
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLE_STRIPS, 2);
    g->setPrimitiveLength(0, 4);
    g->setPrimitiveLength(1, 3);
    return g;
}
} // namespace

TEST(oxGeometryAttr, DrawsItsPrimitivesOverItsArrays)
{
    oxSmartPointer<oxGeometryAttr> strips = makeStrips();
    EXPECT_EQ(strips->getVertexCount(), 7);
    EXPECT_EQ(strips->getPrimitiveLength(1), 3u);
    EXPECT_EQ(strips->getPrimitiveLength(2), 0u);
    EXPECT_EQ(strips->countElements(), 7);
    EXPECT_EQ(traceOf(strips),
              "drawGeometry TRIANGLE_STRIPS primitives=2 elements=7 first=0 direct vertices=7 format=0x00000003\n");
    EXPECT_FALSE(strips->getVertexFormat().isSkinned());

    strips->setPrimitiveLength(1, 4);
    WarningCatcher warnings;
    EXPECT_EQ(traceOf(strips), "");
    EXPECT_TRUE(warnings.contains("draw refused"));

    oxSmartPointer<oxGeometryAttr> empty = oxGeometryAttr::_instantiateRef();
    EXPECT_EQ(traceOf(empty), "");
    EXPECT_EQ(empty->getVertexCount(), 0);
    EXPECT_FALSE(empty->setPosition(0, {1, 1, 1}));
    EXPECT_EQ(empty->configureVertexArray(1u << 14, 3), nullptr);
}

TEST(oxGeometryAttr, TransformAndBoundsWorkOnTheVertices)
{
    oxSmartPointer<oxGeometryAttr> strips = makeStrips();
    oxBox3f box;
    ASSERT_TRUE(strips->extendBounds(box));
    EXPECT_EQ(box.min, oxVec3f(0, 0, 0));
    EXPECT_EQ(box.max, oxVec3f(6, 1, 0));
    oxMatrix44f m;
    m.makeRotationX(Kel::Math::kHalfPi);
    m.postTranslate({0, 0, 10});
    ASSERT_TRUE(strips->transform(m));
    EXPECT_TRUE(oxIsEqual(strips->getVertexArray()->getPosition(1), oxVec3f(1, 0, 11), 1e-5f));
    EXPECT_TRUE(oxIsEqual(strips->getVertexArray()->getNormal(1), oxVec3f(0, -1, 0), 1e-5f));
    oxSmartPointer<oxColorAttr> notGeometry = oxColorAttr::_instantiateRef();
    oxBox3f untouched;
    EXPECT_FALSE(notGeometry->extendBounds(untouched));
    EXPECT_TRUE(untouched.isEmpty());
}

namespace {
// Counts the caches alive, to see them let go.
struct CountedCache : oxGeometryCache {
    static inline int alive = 0;
    CountedCache() { ++alive; }
    ~CountedCache() override { --alive; }
};
} // namespace

TEST(oxGeometryAttr, ACacheLastsUntilWhatItWasMadeFromChanges)
{
    oxSmartPointer<oxGeometryAttr> g = makeStrips();
    g->configureIndexArray(7);
    // Each change, made on the attribute as it stands after the ones before.
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"configurePrimitive", [&] { g->configurePrimitive(OX_GFX_DRAW_TRIANGLE_STRIPS, 2, 1); }},
        {"setPrimitiveCount", [&] { g->setPrimitiveCount(1); }},
        {"setPrimitiveLength", [&] { g->setPrimitiveLength(0, 5); }},
        {"a position", [&] { g->setPosition(3, {0, 0, 9}); }},
        {"the vertex count", [&] { g->getVertexArray()->setVertexCount(8); }},
        {"an index appended", [&] { g->getIndexArray()->append(3); }},
        {"an index set, announced", [&] {
             g->getIndexArray()->set(0, 6);
             g->touch();
         }},
        {"configureIndexArray", [&] { g->configureIndexArray(7); }},
        {"setIndexArray", [&] { g->setIndexArray(nullptr); }},
        {"a length appended", [&] { g->getPrimLengthArray()->append(3); }},
        {"setPrimLengthArray", [&] { g->setPrimLengthArray(nullptr); }},
        {"setVertexArray", [&] { g->setVertexArray(makeStrips()->getVertexArray()); }},
        {"the fields copied from another", [&] { g->copy(makeStrips()); }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        auto* cache = new CountedCache;
        g->setCache(std::unique_ptr<oxGeometryCache>(cache));
        EXPECT_EQ(g->getCache(), cache);
        EXPECT_EQ(g->getCache(), cache) << "looking does not change it";
        change();
        EXPECT_EQ(g->getCache(), nullptr);
        EXPECT_EQ(CountedCache::alive, 0) << "a stale cache is let go";
    }
    // A copy starts without one; the original's stays.
    g->setCache(std::make_unique<CountedCache>());
    oxSmartPointer<Kel::Core::oxObject> copy = g->createCopyRef();
    EXPECT_EQ(static_cast<oxGeometryAttr*>(copy.get())->getCache(), nullptr);
    EXPECT_NE(g->getCache(), nullptr);
    g = nullptr;
    EXPECT_EQ(CountedCache::alive, 0) << "and goes with its attribute";

    // The second generation: a component added or replaced counts as a change.
    oxSmartPointer<oxGeometryAttr2> g2 = oxGeometryAttr2::_instantiateRef();
    g2->configureVertexArray(3)->addVertexData(OX_GFX_COMPONENT_POSITION, 0, OX_GFX_SCALAR_FLOAT, 3);
    g2->setCache(std::make_unique<CountedCache>());
    ASSERT_NE(g2->getCache(), nullptr);
    g2->getVertexArray()->addVertexData(OX_GFX_COMPONENT_POSITION, 0, OX_GFX_SCALAR_FLOAT, 3);
    EXPECT_EQ(g2->getCache(), nullptr);
    g2->setCache(std::make_unique<CountedCache>());
    g2->setVertexArray(nullptr);
    EXPECT_EQ(g2->getCache(), nullptr);
    EXPECT_EQ(CountedCache::alive, 0);
}

TEST(oxGeometryAttr2, DrawsSeparateComponents)
{
    oxSmartPointer<oxGeometryAttr2> g = oxGeometryAttr2::_instantiateRef();
    oxVertexArray2* va = g->configureVertexArray(3);
    oxVertexData* p = va->addVertexData(OX_GFX_COMPONENT_POSITION, 0, OX_GFX_SCALAR_FLOAT, 3);
    va->addVertexData(OX_GFX_COMPONENT_COLOR, 0, OX_GFX_SCALAR_UNSIGNED_BYTE, 4);
    float corners[9] = {0, 0, 0, 1, 0, 0, 0, 2, 0};
    std::memcpy(p->getData(), corners, sizeof corners);
    g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 1);
    EXPECT_EQ(traceOf(g),
              "drawGeometry TRIANGLES primitives=1 elements=3 first=0 direct vertices=3 format=0x00000005\n");
    oxBox3f box;
    ASSERT_TRUE(g->extendBounds(box));
    EXPECT_EQ(box.max, oxVec3f(1, 2, 0));
}

TEST(oxMorphedGeometryAttr, DrawsTheBasePlusWeightedTargetsAndKeepsTheBase)
{
    oxSmartPointer<oxMorphedGeometryAttr> g = oxMorphedGeometryAttr::_instantiateRef();
    oxVertexArray2* base = g->configureVertexArray(2);
    oxVertexData* p = base->addVertexData(OX_GFX_COMPONENT_POSITION, 0, OX_GFX_SCALAR_FLOAT, 3);
    float positions[6] = {0, 0, 0, 1, 0, 0};
    std::memcpy(p->getData(), positions, sizeof positions);
    g->configurePrimitive(OX_GFX_DRAW_LINES, 1);

    oxMorphEntry* entry = g->appendMorphEntry(OX_GFX_COMPONENT_POSITION);
    float up[6] = {0, 1, 0, 0, 1, 0}, out[6] = {0, 0, 1, 0, 0, 2};
    std::memcpy(entry->addTarget(2)->getData(), up, sizeof up);
    std::memcpy(entry->addTarget(2)->getData(), out, sizeof out);
    entry->setActiveCount(2);
    entry->setWeight(0, 0.5f);
    entry->setTargetIndex(0, 1);
    entry->setWeight(1, 2.0f);
    entry->setTargetIndex(1, 0);
    EXPECT_FALSE(entry->setWeight(2, 1.0f));

    EXPECT_EQ(traceOf(g), "drawGeometry LINES primitives=1 elements=2 first=0 direct vertices=2 format=0x00000001\n");
    oxVertexArray2* morphed = g->getMorphedVertexArray();
    ASSERT_NE(morphed, nullptr);
    const float* m = reinterpret_cast<const float*>(morphed->findVertexData(OX_GFX_COMPONENT_POSITION, 0)->getData());
    EXPECT_FLOAT_EQ(m[1], 2.0f);
    EXPECT_FLOAT_EQ(m[2], 0.5f);
    EXPECT_FLOAT_EQ(m[3], 1.0f);
    EXPECT_FLOAT_EQ(m[5], 1.0f);
    const float* b = reinterpret_cast<const float*>(p->getData());
    EXPECT_FLOAT_EQ(b[1], 0.0f);

    entry->setWeight(0, 0.0f);
    entry->setWeight(1, 0.0f);
    ASSERT_EQ(g->update(), morphed);
    m = reinterpret_cast<const float*>(morphed->findVertexData(OX_GFX_COMPONENT_POSITION, 0)->getData());
    EXPECT_FLOAT_EQ(m[1], 0.0f);
    EXPECT_FLOAT_EQ(m[5], 0.0f);
    // A target index naming no target is skipped.
    entry->setWeight(0, 1.0f);
    entry->setTargetIndex(0, 9);
    g->update();
    m = reinterpret_cast<const float*>(morphed->findVertexData(OX_GFX_COMPONENT_POSITION, 0)->getData());
    EXPECT_FLOAT_EQ(m[1], 0.0f);
}

TEST(oxGeometrySetAttr, CallsItsRenderListOnlyOnTheDeviceThatRecordedIt)
{
    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxGeometrySetAttr> set = oxGeometrySetAttr::_instantiateRef();
    oxSmartPointer<oxAttrList> list = oxAttrList::_instantiateRef();
    list->append(makeStrips());
    set->setGeometryList(list);
    const std::string direct = traceOf(set, vc);
    EXPECT_NE(direct.find("drawGeometry TRIANGLE_STRIPS"), std::string::npos);

    int handle = vc->createDisplayList();
    ASSERT_TRUE(vc->beginDisplayList(handle));
    list->get(0)->apply(vc);
    ASSERT_TRUE(vc->endDisplayList());
    set->prepare(vc);
    set->setRenderListHandle(handle);
    set->setRenderListMode(oxGeometrySetAttr::kRenderList);
    EXPECT_EQ(traceOf(set, vc), "callDisplayList 1\n" + direct);
    oxSmartPointer<oxRecordingVisualContext> other = oxRecordingVisualContext::_instantiateRef();
    EXPECT_EQ(traceOf(set, other), direct);
    set->setRenderListMode(oxGeometrySetAttr::kNoRenderList);
    EXPECT_EQ(traceOf(set, vc), direct);

    vc->clearTrace();
    set->reset();
    EXPECT_EQ(vc->getTrace(), "deleteDisplayList 1\n");
    EXPECT_EQ(set->getRenderListHandle(), -1);
    set->setRenderListMode(oxGeometrySetAttr::kRenderList);
    EXPECT_EQ(traceOf(set, vc), direct);

    oxBox3f box;
    EXPECT_TRUE(set->extendBounds(box));
    EXPECT_EQ(box.max.x, 6.0f);
}

TEST(oxLightAttr, TheDeviceGetsWhereTheLightIsThisFrame)
{
    oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();
    light->setType(OX_GFX_LIGHT_SPOT);
    light->setPosition({1, 2, 3});
    light->setDirection({0, -1, 0});
    light->setCutoff(30);
    EXPECT_EQ(light->getTransformedPosition(), oxVec3f(1, 2, 3));
    light->setTransformedPosition({5, 5, 5});
    light->setTransformedDirection({1, 0, 0});
    std::string trace = traceOf(light);
    EXPECT_NE(trace.find("setLight light#1 SPOT position=(5.0000 5.0000 5.0000) direction=(1.0000 0.0000 0.0000)"),
              std::string::npos);
    EXPECT_NE(trace.find("cutoff=30.0000"), std::string::npos);
    EXPECT_TRUE(light->hasDirection());

    oxSmartPointer<oxLightAttr> copy = static_cast<oxLightAttr*>(light->createCopy());
    EXPECT_EQ(copy->getTransformedPosition(), oxVec3f(5, 5, 5));
    EXPECT_TRUE(copy->isAlikeShallow(light));
    light->reset();
    EXPECT_EQ(light->getTransformedPosition(), oxVec3f(1, 2, 3));
    EXPECT_EQ(light->getTransformedDirection(), oxVec3f(0, -1, 0));
    auto* field = oxLightAttr::getClassTypeSafe()->getMetaField("_transformedPosition");
    ASSERT_NE(field, nullptr);
    EXPECT_FALSE(field->isPersistent());
    EXPECT_TRUE(oxLightAttr::getClassTypeSafe()->getMetaField("_position")->isPersistent());

    oxSmartPointer<oxLightStateAttr> state = oxLightStateAttr::_instantiateRef();
    EXPECT_EQ(traceOf(state), "");
    state->setLight(light);
    state->setEnabled(false);
    EXPECT_EQ(traceOf(state), "setLightState light#1 off\n");
}

TEST(oxTextureAttr, LevelsFacesAndVersions)
{
    oxSmartPointer<oxTextureAttr> texture = oxTextureAttr::_instantiateRef();
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    uint32_t version = texture->getVersion();
    EXPECT_TRUE(texture->setImage(image, 2));
    EXPECT_EQ(texture->getLevelCount(), 3);
    EXPECT_EQ(texture->getImage(2), image.get());
    EXPECT_EQ(texture->getImage(0), nullptr);
    EXPECT_GT(texture->getVersion(), version);
    WarningCatcher warnings;
    EXPECT_FALSE(texture->setImage(image, oxTextureAttr::kMaxLevels));
    EXPECT_FALSE(texture->setImage(image, -1));
    EXPECT_EQ(warnings.count(), 2u);
    version = texture->getVersion();
    texture->setFilters(OX_GFX_FILTER_LINEAR_MIPMAP_LINEAR, OX_GFX_FILTER_NEAREST);
    texture->reset();
    EXPECT_EQ(texture->getVersion(), version + 2);
    EXPECT_EQ(traceOf(texture),
              "loadTexture texture#1 levels=3 faces=1 no-image wrap=REPEAT,REPEAT "
              "filter=LINEAR_MIPMAP_LINEAR,NEAREST anisotropy=1.0000\n");

    oxSmartPointer<oxTextureCubeAttr> cube = oxTextureCubeAttr::_instantiateRef();
    EXPECT_TRUE(cube->setImage(image, 5, 1));
    EXPECT_EQ(cube->getLevelCount(), 2);
    EXPECT_EQ(cube->getImages()->getCount(), 12);
    EXPECT_EQ(cube->getImage(5, 1), image.get());
    EXPECT_EQ(cube->describe().getImage(1, 5), image.get());
    EXPECT_FALSE(cube->setImage(image, 6, 0));
}

TEST(oxTextureUnitAttrs, EachUnitStateReachesItsUnit)
{
    oxSmartPointer<oxTextureFunctionAttr> function = oxTextureFunctionAttr::_instantiateRef();
    EXPECT_TRUE(function->setArgument(0, OX_GFX_TEXARG_TEXTURE));
    EXPECT_TRUE(function->setArgument(1, OX_GFX_TEXARG_PREVIOUS));
    EXPECT_FALSE(function->setArgument(3, OX_GFX_TEXARG_TEXTURE));
    EXPECT_FALSE(function->setArgument(0, 4));
    EXPECT_EQ(function->getArgument(1), OX_GFX_TEXARG_PREVIOUS);
    EXPECT_EQ(function->getArgument(5), -1);
    EXPECT_EQ(traceOf(function), "setTextureFunction 0 MODULATE TEXTURE PREVIOUS CONSTANT\n");

    oxSmartPointer<oxTextureCoordSourceAttr> source = oxTextureCoordSourceAttr::_instantiateRef();
    source->setUnit(2);
    EXPECT_EQ(traceOf(source), "setTextureCoordSource 2 SET 2\n");
    source->setTextureCoordSet(5);
    EXPECT_EQ(traceOf(source), "setTextureCoordSource 2 SET 5\n");
    source->setSource(OX_GFX_TEXCOORD_SPHERE_MAP);
    EXPECT_EQ(traceOf(source), "setTextureCoordSource 2 SPHERE_MAP 5\n");

    oxSmartPointer<oxMipMapAttr> mip = oxMipMapAttr::_instantiateRef();
    mip->setBias(-0.5f);
    mip->setLodRange(0, 4);
    EXPECT_EQ(traceOf(mip), "setTextureLod 0 -0.5000 0.0000 4.0000\n");
    oxSmartPointer<oxVectorConstantAttr> constant = oxVectorConstantAttr::_instantiateRef();
    constant->setUnit(1);
    constant->setVector({0.5f, 0.5f, 0.5f, 1});
    EXPECT_EQ(traceOf(constant), "setTextureConstant 1 (0.5000 0.5000 0.5000 1.0000)\n");

    oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
    EXPECT_EQ(traceOf(bind), "bindTexture 0 none\n");
    oxSmartPointer<oxTextureUnloadAttr> unload = oxTextureUnloadAttr::_instantiateRef();
    EXPECT_EQ(traceOf(unload), "");
    unload->setTexture(oxTextureAttr::_instantiateRef());
    EXPECT_EQ(traceOf(unload), "unloadTexture texture#1\n");
}

TEST(oxRenderDestinationAttrs, TargetsArePreparedSelectedAndReadBack)
{
    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    image->allocateImageMemory(128, 64, OX_GFX_PIXEL_RGBA8);
    oxSmartPointer<oxTextureAttr> texture = oxTextureAttr::_instantiateRef();
    texture->setImage(image, 0);
    oxSmartPointer<oxRenderDestinationAttr> destination = oxRenderDestinationAttr::_instantiateRef();
    destination->setTexture(texture);
    EXPECT_EQ(destination->getWidth(), 128);
    oxSmartPointer<oxSetRenderDestinationAttr> select = oxSetRenderDestinationAttr::_instantiateRef();
    EXPECT_EQ(traceOf(select, vc), "setRenderDestination frame-buffer\n");
    select->setDestination(destination);
    EXPECT_EQ(traceOf(destination, vc), "prepareRenderDestination destination#1 128x64 texture#1 depth\n");
    EXPECT_EQ(traceOf(select, vc), "setRenderDestination destination#1\n");
    destination->setSize(32, 32);
    destination->setDepthBuffer(false);
    EXPECT_EQ(traceOf(destination, vc), "prepareRenderDestination destination#1 32x32 texture#1 no-depth\n");

    oxSmartPointer<oxRenderDestinationAttr> sizeless = oxRenderDestinationAttr::_instantiateRef();
    sizeless->setTexture(oxTextureAttr::_instantiateRef());
    WarningCatcher warnings;
    EXPECT_EQ(traceOf(sizeless, vc), "");
    EXPECT_TRUE(warnings.contains("without a size"));

    vc->setSize(4, 2);
    vc->clear(OX_GFX_CLEAR_COLOR, {{0, 0, 1, 1}, 1, 0});
    oxSmartPointer<oxCopyRenderDestinationAttr> copy = oxCopyRenderDestinationAttr::_instantiateRef();
    oxSmartPointer<oxImage> readBack = oxImage::_instantiateRef();
    copy->setImage(readBack);
    EXPECT_EQ(traceOf(copy, vc), "readPixels 0 0 4 2\n");
    EXPECT_EQ(readBack->getWidth(), 4);
    EXPECT_EQ(readBack->getColor(3, 1), 0xFFFF0000u);
    copy->setRectangle(1, 1, 2, 1);
    EXPECT_EQ(traceOf(copy, vc), "readPixels 1 1 2 1\n");
}

TEST(oxVertexBlendAttrs, MatricesComeFromObjectsValuesOrAPalette)
{
    oxSmartPointer<Kel::Utils::oxMatrixObjectList> objects = Kel::Utils::oxMatrixObjectList::_instantiateRef();
    for (int i = 0; i < 3; ++i) {
        oxSmartPointer<Kel::Utils::oxMatrixObject> m = Kel::Utils::oxMatrixObject::_instantiateRef();
        oxMatrix44f t;
        t.makeTranslation({float(i), 0, 0});
        m->setMatrix(t);
        objects->append(m);
    }
    oxSmartPointer<oxVertexBlendMatrixListAttr> list = oxVertexBlendMatrixListAttr::_instantiateRef();
    list->setMatrixCount(2);
    EXPECT_TRUE(list->setMatrixPointer(1, objects->get(2)));
    EXPECT_FALSE(list->setMatrixPointer(2, objects->get(0)));
    EXPECT_EQ(list->getMatrixPointer(1), objects->get(2));
    EXPECT_EQ(list->getMatrixPointer(5), nullptr);
    std::string trace = traceOf(list);
    EXPECT_EQ(trace.rfind("setBlendMatrices 2 (1.0000", 0), 0u);
    EXPECT_NE(trace.find("| 2.0000 0.0000 0.0000 1.0000)\n"), std::string::npos);

    oxSmartPointer<oxBlendMatrixPaletteAttr> palette = oxBlendMatrixPaletteAttr::_instantiateRef();
    EXPECT_EQ(traceOf(palette), "");
    palette->configure(2);
    EXPECT_TRUE(palette->setIndex(0, 2));
    EXPECT_TRUE(palette->setIndex(1, 1));
    EXPECT_FALSE(palette->setIndex(2, 0));
    ASSERT_TRUE(palette->setMatricesUsingList(objects));
    EXPECT_EQ(palette->getCache()->getMatrix(0).getTranslation(), oxVec3f(2, 0, 0));
    EXPECT_EQ(palette->getCache()->getMatrix(1).getTranslation(), oxVec3f(1, 0, 0));
    EXPECT_EQ(traceOf(palette).rfind("setBlendMatrices 2 ", 0), 0u);

    oxMatrix44f skeleton[2];
    skeleton[1].makeScale(3.0f);
    oxSmartPointer<oxBlendMatricesAttr> target = oxBlendMatricesAttr::_instantiateRef();
    EXPECT_FALSE(palette->setMatricesUsingPalette(skeleton, 2, target));
    EXPECT_TRUE(target->getMatrix(0).isIdentity());
    EXPECT_EQ(target->getMatrix(1), skeleton[1]);
    EXPECT_EQ(target->getCount(), 2);

    oxSmartPointer<Kel::Core::oxNonRefCountedObjectList> plain = Kel::Core::oxNonRefCountedObjectList::_instantiateRef();
    plain->appendObject(objects->get(0));
    plain->appendObject(nullptr);
    palette->configure(2, false);
    palette->setIndex(0, 0);
    palette->setIndex(1, 1);
    EXPECT_EQ(palette->getCache(), nullptr);
    WarningCatcher warnings;
    EXPECT_FALSE(palette->setMatricesUsingList(plain));
    EXPECT_TRUE(warnings.contains("no blend matrices"));
    EXPECT_FALSE(palette->setMatricesUsingList(plain, target));
    EXPECT_TRUE(target->getMatrix(1).isIdentity());
    EXPECT_EQ(target->getMatrix(0), objects->get(0)->getMatrix());
}

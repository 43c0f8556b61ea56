#include <gtest/gtest.h>

#include <random>

#include "platform/core/oxOXBReader.h"
#include "platform/core/oxOXBWriter.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "tests/sg/traversal/oxSorterTestSupport.h"

using namespace sortertest;

namespace {

// The parts every output has, around what a test puts in them.
std::string frame(const std::string& lights, const std::string& first, const std::string& immediate,
                  const std::string& opaque, const std::string& transparent, const std::string& finalReset,
                  const std::string& firstReset = "")
{
    auto indent = [](const std::string& lines, const std::string& by) {
        std::string out;
        size_t at = 0;
        while (at < lines.size()) {
            size_t end = lines.find('\n', at);
            out += by + lines.substr(at, end - at + 1);
            at = end + 1;
        }
        return out;
    };
    return "lights:\n" + indent(lights, "  ") + "first packages:\n" + indent(first, "  ") + "  first reset:\n" +
           indent(firstReset, "    ") + immediate + "opaque packages:\n" + indent(opaque, "  ") +
           "transparent packages:\n" + indent(transparent, "  ") + "final reset:\n" + indent(finalReset, "  ") +
           "oxClearAttr default\n";
}

} // namespace

TEST(Sorter, ModeZeroWritesStateAndGeometryInTraversalOrder)
{
    SorterRig r;
    oxGeometry* g1 = r.geometry("g1");
    oxGeometry* g2 = r.geometry("g2");
    oxGeometry* g3 = r.geometry("g3");
    r.push(r.mv1);
    r.sorter->addLightSet(r.lights({"sun"}), r.manager);
    r.push(r.tex.t1);
    r.draw(g1);
    // Blending does not matter without transparent packaging.
    r.push(r.blend);
    r.draw(g2);
    r.pop(r.blend);
    r.pop(r.tex.t1);
    r.push(r.tex.t2);
    r.draw(g3);
    r.pop(r.tex.t2);
    r.pop(r.mv1);
    EXPECT_FALSE(r.sorter->getOutputCreated());
    const std::string expected = frame("oxModelViewMatrixAttr mv1\noxLightAttr sun\n", "",
                                       "oxModelViewMatrixAttr mv1\n"
                                       "oxTextureBindAttr t1\n"
                                       "oxGeometryAttr g1\n"
                                       "oxBlendStateAttr blend\n"
                                       "oxGeometryAttr g2\n"
                                       "oxBlendStateAttr default\n"
                                       "oxTextureBindAttr t2\n"
                                       "oxGeometryAttr g3\n"
                                       "oxTextureBindAttr default\n"
                                       "oxModelViewMatrixAttr default\n",
                                       "", "", "");
    EXPECT_EQ(r.output(), expected);
    EXPECT_TRUE(r.sorter->getOutputCreated());
    EXPECT_EQ(r.sorter->getOpaqueRenderPackages()->getCount(), 0);
    EXPECT_EQ(r.sorter->getTransparentRenderPackages()->getCount(), 0);

    // Once made, the output stays as it is for the rest of the frame.
    r.push(r.tex.t3);
    r.draw(g1);
    r.sorter->appendAttr(r.blend);
    r.sorter->addLightSet(r.lights({"late"}), r.manager);
    r.sorter->closeDisplayList(r.manager);
    r.pop(r.tex.t3);
    EXPECT_EQ(r.output(), expected);
}

TEST(Sorter, LooseAttributesAndANullGeometryGoStraightIntoTheOutput)
{
    SorterRig r;
    oxGeometry* g1 = r.geometry("g1");
    r.push(r.tex.t1);
    r.sorter->appendAttr(r.blend);
    r.sorter->appendAttr(nullptr);
    oxSmartPointer<oxNonRefCountedAttrList> plain = oxNonRefCountedAttrList::_instantiateRef();
    plain->append(r.mv2);
    r.sorter->appendAttrs(plain);
    oxSmartPointer<oxAttrList> counted = oxAttrList::_instantiateRef();
    counted->append(r.mv1);
    r.sorter->appendAttrs(counted);
    oxAttr* array[] = {r.tex.t3, nullptr};
    r.sorter->appendAttrs(array, 2);
    // A null geometry hands on the pending state.
    r.sorter->addGeometry(nullptr, r.manager);
    r.draw(g1);
    r.pop(r.tex.t1);
    EXPECT_EQ(r.output(), frame("", "",
                                "oxBlendStateAttr blend\n"
                                "oxModelViewMatrixAttr mv2\n"
                                "oxModelViewMatrixAttr mv1\n"
                                "oxTextureBindAttr t3\n"
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr g1\n"
                                "oxTextureBindAttr default\n",
                                "", "", ""));
}

TEST(Sorter, GeometryUnderUnchangedStateJoinsOnePackage)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::PACKAGE_OPAQUE);
    r.push(r.tex.t1);
    r.draw(r.geometry("g1"));
    r.draw(r.geometry("g2"));
    r.pop(r.tex.t1);
    r.drawUnder(r.tex.t2, r.geometry("g3"));
    EXPECT_EQ(r.output(), frame("", "", "",
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr g1\n"
                                "oxGeometryAttr g2\n"
                                "oxTextureBindAttr t2\n"
                                "oxGeometryAttr g3\n",
                                "", "oxTextureBindAttr default\n"));
    oxRenderPackageList* packages = r.sorter->getOpaqueRenderPackages();
    ASSERT_EQ(packages->getCount(), 2);
    EXPECT_EQ(packages->get(0)->getGeometryAttrs()->getCount(), 2);
    EXPECT_EQ(packages->get(0)->getSortingCache(), r.tex.t1);
    EXPECT_EQ(packages->get(0)->getStateAttrs(), packages->get(0)->getOwnStateAttrs());
    EXPECT_EQ(packages->get(1)->getGeometryAttrs()->getCount(), 1);
}

TEST(Sorter, OpaqueTextureSortStartsFromLastFramesOrderWhenTheCountIsTheSame)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_OPAQUE_TEXTURE);
    // Frame 1, a fresh order: quicksort. A package without a texture has the key 0.
    r.drawUnder(r.tex.t3, r.geometry("a3"));
    r.drawUnder(r.tex.t1, r.geometry("b1"));
    r.draw(r.geometry("c0"));
    r.drawUnder(r.tex.t2, r.geometry("d2"));
    EXPECT_EQ(r.output(), frame("", "", "",
                                "oxGeometryAttr c0\n"
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr b1\n"
                                "oxTextureBindAttr t2\n"
                                "oxGeometryAttr d2\n"
                                "oxTextureBindAttr t3\n"
                                "oxGeometryAttr a3\n",
                                "", "oxTextureBindAttr default\n"));

    // Frame 2, as many packages, all under one texture: the order of frame 1 (packages 2, 1,
    // 3, 0) is sorted already and stays; a fresh sort would not keep it.
    r.nextFrame();
    for (const char* name : {"p0", "p1", "p2", "p3"})
        r.drawUnder(r.tex.t1, r.geometry(name));
    EXPECT_EQ(r.output(), frame("", "", "",
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr p2\n"
                                "oxGeometryAttr p1\n"
                                "oxGeometryAttr p3\n"
                                "oxGeometryAttr p0\n",
                                "", "oxTextureBindAttr default\n"));

    // Frame 3, as many again, keys against that order: the bubble passes sort them.
    r.nextFrame();
    r.drawUnder(r.tex.t3, r.geometry("q0"));
    r.drawUnder(r.tex.t2, r.geometry("q1"));
    r.drawUnder(r.tex.t1, r.geometry("q2"));
    r.draw(r.geometry("q3"));
    EXPECT_EQ(r.output(), frame("", "", "",
                                "oxGeometryAttr q3\n"
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr q2\n"
                                "oxTextureBindAttr t2\n"
                                "oxGeometryAttr q1\n"
                                "oxTextureBindAttr t3\n"
                                "oxGeometryAttr q0\n",
                                "", "oxTextureBindAttr default\n"));
}

TEST(Sorter, OpaqueDistanceSortDrawsFarthestFirstAndSharesStateLists)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_OPAQUE_DISTANCE_FTB);
    // Under mv1 (z - 10): a is 5 away, b is at (12, 0, -10): 244 squared, 100 as z²; c is
    // 12 away: 144 either way.
    auto drawScene = [&] {
        r.push(r.mv1);
        r.push(r.tex.t1);
        r.draw(r.geometry("a", oxVec3f(0, 0, 5)));
        r.draw(r.geometry("b", oxVec3f(12, 0, 0)));
        r.draw(r.geometry("c", oxVec3f(0, 0, -2)));
        r.pop(r.tex.t1);
        r.pop(r.mv1);
    };
    drawScene();
    // One state for three packages: emitted once.
    EXPECT_EQ(r.output(), frame("", "", "",
                                "oxModelViewMatrixAttr mv1\n"
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr b\n"
                                "oxGeometryAttr c\n"
                                "oxGeometryAttr a\n",
                                "", "oxModelViewMatrixAttr default\noxTextureBindAttr default\n"));
    oxRenderPackageList* packages = r.sorter->getOpaqueRenderPackages();
    ASSERT_EQ(packages->getCount(), 3);
    EXPECT_EQ(packages->get(1)->getStateAttrs(), packages->get(0)->getStateAttrs());
    EXPECT_EQ(packages->get(2)->getStateAttrs(), packages->get(0)->getStateAttrs());
    EXPECT_EQ(packages->get(2)->getSortingCache(), r.tex.t1);
    EXPECT_FLOAT_EQ(packages->get(0)->getDistance(), 25.0f);
    EXPECT_FLOAT_EQ(packages->get(1)->getDistance(), 244.0f);

    r.nextFrame();
    r.sorter->setUseZSort(true);
    drawScene();
    EXPECT_EQ(r.output(), frame("", "", "",
                                "oxModelViewMatrixAttr mv1\n"
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr c\n"
                                "oxGeometryAttr b\n"
                                "oxGeometryAttr a\n",
                                "", "oxModelViewMatrixAttr default\noxTextureBindAttr default\n"));
    EXPECT_FLOAT_EQ(r.sorter->getOpaqueRenderPackages()->get(1)->getDistance(), 100.0f);
}

TEST(Sorter, TextureThenDistanceOrdersByTextureAndNearestFirstWithin)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_OPAQUE_TEXTURE_DISTANCE_FTB);
    r.push(r.mv1);
    r.drawUnder(r.tex.t2, r.geometry("t2 far", oxVec3f(0, 0, -30)));
    r.drawUnder(r.tex.t1, r.geometry("t1 far", oxVec3f(0, 0, -20)));
    r.drawUnder(r.tex.t2, r.geometry("t2 near", oxVec3f(0, 0, 0)));
    r.drawUnder(r.tex.t1, r.geometry("t1 near", oxVec3f(0, 0, 5)));
    r.pop(r.mv1);
    EXPECT_EQ(r.output(), frame("", "", "",
                                "oxModelViewMatrixAttr mv1\n"
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr t1 near\n"
                                "oxGeometryAttr t1 far\n"
                                "oxTextureBindAttr t2\n"
                                "oxGeometryAttr t2 near\n"
                                "oxGeometryAttr t2 far\n",
                                "", "oxModelViewMatrixAttr default\noxTextureBindAttr default\n"));
}

TEST(Sorter, TransparentGeometryIsDrawnBackToFrontAfterTheOpaque)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_TRANSPARENT_DISTANCE);
    r.push(r.mv1);
    r.draw(r.geometry("solid"));
    r.push(r.blend);
    r.draw(r.geometry("near", oxVec3f(0, 0, 8)));
    r.draw(r.geometry("far", oxVec3f(0, 0, -8)));
    r.pop(r.blend);
    r.pop(r.mv1);
    EXPECT_EQ(r.output(), frame("", "",
                                "oxModelViewMatrixAttr mv1\n"
                                "oxGeometryAttr solid\n"
                                "oxModelViewMatrixAttr default\n",
                                "",
                                "oxModelViewMatrixAttr mv1\n"
                                "oxBlendStateAttr blend\n"
                                "oxGeometryAttr far\n"
                                "oxGeometryAttr near\n",
                                "oxModelViewMatrixAttr default\noxBlendStateAttr default\n"));
    EXPECT_EQ(r.sorter->getTransparentRenderPackages()->getCount(), 2);
    EXPECT_EQ(r.sorter->getOpaqueRenderPackages()->getCount(), 0);
}

TEST(Sorter, TransparentTextureSortGroupsByTexture)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_TRANSPARENT_TEXTURE);
    r.push(r.blend);
    r.drawUnder(r.tex.t3, r.geometry("g3"));
    r.drawUnder(r.tex.t1, r.geometry("g1"));
    r.drawUnder(r.tex.t2, r.geometry("g2"));
    r.pop(r.blend);
    r.draw(r.geometry("solid"));
    EXPECT_EQ(r.output(), frame("", "", "oxGeometryAttr solid\n", "",
                                "oxBlendStateAttr blend\n"
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr g1\n"
                                "oxTextureBindAttr t2\n"
                                "oxGeometryAttr g2\n"
                                "oxTextureBindAttr t3\n"
                                "oxGeometryAttr g3\n",
                                "oxBlendStateAttr default\noxTextureBindAttr default\n"));
}

TEST(Sorter, CustomHooksBuildConfigureAndSortTheTransparentPackages)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_TRANSPARENT_CUSTOM);
    std::map<const oxGeometry*, float> key;
    int configured = 0;
    r.sorter->configure = [&](oxRenderPackage* p, oxGeometry* g) {
        ++configured;
        p->setDistance(key[g]);
    };
    int sorts = 0;
    r.sorter->customSort = [&](oxRenderPackageList* packages, oxIntList* order) {
        ++sorts;
        std::sort(order->begin(), order->end(), [packages](int a, int b) {
            return packages->get(a)->getDistance() < packages->get(b)->getDistance();
        });
    };
    oxGeometry* a = r.geometry("a");
    oxGeometry* b = r.geometry("b");
    oxGeometry* c = r.geometry("c");
    key = {{a, 3.0f}, {b, 1.0f}, {c, 2.0f}};
    r.draw(r.geometry("solid"));
    r.push(r.blend);
    r.draw(a);
    r.draw(b);
    r.draw(c);
    r.pop(r.blend);
    EXPECT_EQ(r.output(), frame("", "", "oxGeometryAttr solid\n", "",
                                "oxBlendStateAttr blend\n"
                                "oxGeometryAttr b\n"
                                "oxGeometryAttr c\n"
                                "oxGeometryAttr a\n",
                                "oxBlendStateAttr default\n"));
    // Opaque geometry never passes through the hooks; each transparent one gets a package
    // of its own even under unchanged state.
    EXPECT_EQ(configured, 3);
    EXPECT_EQ(r.sorter->customAllocations, 3);
    EXPECT_EQ(sorts, 1);
}

TEST(Sorter, EachTransparencyDrawModeEmitsTheTransparentPackagesItsWay)
{
    SorterRig r;
    oxCullFaceAttr* cullOn = r.make<oxCullFaceAttr>("cull on");
    cullOn->setEnabled(true);
    oxCullFaceAttr* cullOff = r.make<oxCullFaceAttr>("cull off");
    cullOff->setEnabled(false);
    oxGeometry* glass = r.geometry("glass", oxVec3f(0, 0, -5));
    // Drawn from a render list: its geometry set stands for it.
    oxGeometry* listed = r.geometry("listed", oxVec3f(0, 0, -1));
    listed->setFlags(oxNode::USE_RENDER_LIST);
    r.names[listed->getGeoSet()] = "listed set";

    auto run = [&](int drawMode, oxAttr* cull) {
        r.nextFrame();
        r.sorter->setMode(oxSorter::SORT_TRANSPARENT_DISTANCE);
        r.sorter->setTransparencyDrawMode(drawMode);
        r.push(r.blend);
        if (cull)
            r.push(cull);
        r.draw(glass);
        r.draw(listed);
        if (cull)
            r.pop(cull);
        r.pop(r.blend);
        std::string out = r.output();
        size_t from = out.find("transparent packages:\n"), to = out.find("final reset:");
        return out.substr(from, to - from);
    };
    EXPECT_EQ(run(oxSorter::TRANSPARENCY_DRAW_DEFAULT, nullptr), "transparent packages:\n"
                                                                  "  oxBlendStateAttr blend\n"
                                                                  "  oxGeometryAttr glass\n"
                                                                  "  oxGeometrySetAttr listed set\n");
    EXPECT_EQ(run(oxSorter::TRANSPARENCY_DRAW_NO_DEPTH_WRITE, nullptr),
              "transparent packages:\n"
              "  oxDepthWriteStateAttr sorter's depth write off\n"
              "  oxBlendStateAttr blend\n"
              "  oxGeometryAttr glass\n"
              "  oxGeometrySetAttr listed set\n"
              "  oxDepthWriteStateAttr default\n");
    EXPECT_EQ(run(oxSorter::TRANSPARENCY_DRAW_SEPARATE_FRONT_AND_BACK, nullptr),
              "transparent packages:\n"
              "  oxBlendStateAttr blend\n"
              "  oxCullFaceAttr sorter's cull front\n"
              "  oxGeometryAttr glass\n"
              "  oxCullFaceAttr sorter's cull back\n"
              "  oxGeometryAttr glass\n"
              "  oxCullFaceAttr default\n"
              "  oxCullFaceAttr sorter's cull front\n"
              "  oxGeometrySetAttr listed set\n"
              "  oxCullFaceAttr sorter's cull back\n"
              "  oxGeometrySetAttr listed set\n"
              "  oxCullFaceAttr default\n");
    // Culling on: drawn once. A cull-face attribute with culling off: twice, and back to it.
    EXPECT_EQ(run(oxSorter::TRANSPARENCY_DRAW_SEPARATE_FRONT_AND_BACK, cullOn),
              "transparent packages:\n"
              "  oxBlendStateAttr blend\n"
              "  oxCullFaceAttr cull on\n"
              "  oxGeometryAttr glass\n"
              "  oxGeometrySetAttr listed set\n");
    EXPECT_EQ(run(oxSorter::TRANSPARENCY_DRAW_SEPARATE_FRONT_AND_BACK, cullOff),
              "transparent packages:\n"
              "  oxBlendStateAttr blend\n"
              "  oxCullFaceAttr cull off\n"
              "  oxCullFaceAttr sorter's cull front\n"
              "  oxGeometryAttr glass\n"
              "  oxCullFaceAttr sorter's cull back\n"
              "  oxGeometryAttr glass\n"
              "  oxCullFaceAttr cull off\n"
              "  oxCullFaceAttr sorter's cull front\n"
              "  oxGeometrySetAttr listed set\n"
              "  oxCullFaceAttr sorter's cull back\n"
              "  oxGeometrySetAttr listed set\n"
              "  oxCullFaceAttr cull off\n");
    EXPECT_EQ(run(7, nullptr), "transparent packages:\n");
    // The geometry set was given the node's attributes to draw from.
    EXPECT_EQ(listed->getGeoSet()->getGeometryList(), listed->getGeometryAttrs());
}

TEST(Sorter, CompoundPackagesStayTogetherAndSortAsOneUnit)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_OPAQUE_TEXTURE);
    r.drawUnder(r.tex.t2, r.geometry("x"));
    r.sorter->beginCompoundRenderPackage(false, false);
    r.drawUnder(r.tex.t3, r.geometry("pass 1"));
    // A nested pair only counts: the compound stays open.
    r.sorter->beginCompoundRenderPackage(true, true);
    r.drawUnder(r.tex.t1, r.geometry("pass 2"));
    r.sorter->endCompoundRenderPackage();
    r.drawUnder(r.tex.t1, r.geometry("pass 3"));
    r.sorter->endCompoundRenderPackage();
    r.drawUnder(r.tex.t1, r.geometry("w"));
    // An empty compound and an end without a begin leave nothing.
    r.sorter->beginCompoundRenderPackage(false, false);
    r.sorter->endCompoundRenderPackage();
    r.sorter->endCompoundRenderPackage();
    // A first compound is drawn before everything, from the defaults back to them.
    r.sorter->beginCompoundRenderPackage(false, true);
    r.drawUnder(r.tex.t3, r.geometry("backdrop"));
    r.sorter->endCompoundRenderPackage();
    // A transparent compound joins the transparent packages though nothing blends.
    r.sorter->beginCompoundRenderPackage(true, false);
    r.drawUnder(r.tex.t2, r.geometry("overlay"));
    r.sorter->endCompoundRenderPackage();

    EXPECT_EQ(r.output(), frame("",
                                "oxTextureBindAttr t3\n"
                                "oxGeometryAttr backdrop\n",
                                "",
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr w\n"
                                "oxTextureBindAttr t2\n"
                                "oxGeometryAttr x\n"
                                "oxTextureBindAttr t3\n"
                                "oxGeometryAttr pass 1\n"
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr pass 2\n"
                                "oxGeometryAttr pass 3\n",
                                "oxTextureBindAttr t2\n"
                                "oxGeometryAttr overlay\n",
                                "oxTextureBindAttr default\n", "oxTextureBindAttr default\n"));
    oxRenderPackageList* opaque = r.sorter->getOpaqueRenderPackages();
    ASSERT_EQ(opaque->getCount(), 3);
    oxRenderPackage* compound = opaque->get(1);
    ASSERT_TRUE(compound->isCompound());
    EXPECT_EQ(compound->getSubPackages()->getCount(), 3);
    EXPECT_EQ(compound->getSortingCache(), r.tex.t3);
    EXPECT_EQ(compound->getGeometryAttrs()->getCount(), 0);
    EXPECT_EQ(r.sorter->getTransparentRenderPackages()->getCount(), 1);
}

TEST(Sorter, ACompoundTakesThePackagePathWithoutSortingModes)
{
    SorterRig r;
    oxGeometry* before = r.geometry("before");
    r.push(r.tex.t1);
    r.draw(before);
    // The mode packages nothing, but a compound is a package.
    r.sorter->beginCompoundRenderPackage(false, false);
    r.draw(r.geometry("pass"));
    r.sorter->endCompoundRenderPackage();
    r.draw(r.geometry("after"));
    r.pop(r.tex.t1);
    EXPECT_EQ(r.output(), frame("", "",
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr before\n"
                                "oxGeometryAttr after\n"
                                "oxTextureBindAttr default\n",
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr pass\n",
                                "", "oxTextureBindAttr default\n"));
}

TEST(Sorter, LightsComeFirstEachAfterItsModelView)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_OPAQUE_TEXTURE);
    r.sorter->addLightSet(r.lights({"ambient"}), r.manager);
    r.push(r.mv1);
    r.drawUnder(r.tex.t2, r.geometry("g"));
    r.sorter->addLightSet(r.lights({"sun", "lamp"}), r.manager);
    r.push(r.mv2);
    r.sorter->addLightSet(r.lights({"spot"}), r.manager);
    r.pop(r.mv2);
    r.pop(r.mv1);
    r.sorter->addLightSet(nullptr, r.manager);
    EXPECT_EQ(r.output(), frame("oxLightAttr ambient\n"
                                "oxModelViewMatrixAttr mv1\n"
                                "oxLightAttr sun\n"
                                "oxLightAttr lamp\n"
                                "oxModelViewMatrixAttr mv2\n"
                                "oxLightAttr spot\n",
                                "", "",
                                "oxModelViewMatrixAttr mv1\n"
                                "oxTextureBindAttr t2\n"
                                "oxGeometryAttr g\n",
                                "", "oxModelViewMatrixAttr default\noxTextureBindAttr default\n"));
}

TEST(Sorter, ForceNoSeparateSendsEveryGeometryTheTransparentWay)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE);
    r.sorter->setForceNoSeparate(true);
    EXPECT_TRUE(r.sorter->getForceNoSeparate());
    r.push(r.mv1);
    r.drawUnder(r.tex.t1, r.geometry("near", oxVec3f(0, 0, 9)));
    r.drawUnder(r.tex.t2, r.geometry("far", oxVec3f(0, 0, -9)));
    r.pop(r.mv1);
    EXPECT_EQ(r.output(), frame("", "", "", "",
                                "oxModelViewMatrixAttr mv1\n"
                                "oxTextureBindAttr t2\n"
                                "oxGeometryAttr far\n"
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr near\n",
                                "oxModelViewMatrixAttr default\noxTextureBindAttr default\n"));
    EXPECT_EQ(r.sorter->getOpaqueRenderPackages()->getCount(), 0);
}

TEST(Sorter, StateOnlyPackagesAndFlushedAttributesTakeTheirPlaceInTheOrder)
{
    SorterRig r;
    oxClearAttr* wipe = r.make<oxClearAttr>("wipe");
    auto scene = [&] {
        r.push(r.tex.t1);
        r.sorter->flushRenderPackage(r.manager);
        r.sorter->flushAttr(wipe, r.manager);
        r.sorter->resetAttrForRenderPackage(r.manager, oxTextureBindAttr::getClassTypeSafe());
        r.sorter->flushAttr(nullptr, r.manager);
        r.pop(r.tex.t1);
    };
    r.sorter->setMode(oxSorter::PACKAGE_OPAQUE);
    scene();
    EXPECT_EQ(r.output(), frame("", "", "",
                                "oxTextureBindAttr t1\n"
                                "oxClearAttr wipe\n"
                                "oxTextureBindAttr default\n",
                                "", ""));
    ASSERT_EQ(r.sorter->getOpaqueRenderPackages()->getCount(), 2);
    EXPECT_EQ(r.sorter->getOpaqueRenderPackages()->get(1)->getStateAttrs()->getCount(), 0);

    // Without packages the same calls write the changes where they happen.
    r.nextFrame();
    r.sorter->clearMode(oxSorter::PACKAGE_OPAQUE);
    EXPECT_EQ(r.sorter->getMode(), 0);
    scene();
    EXPECT_EQ(r.output(), frame("", "",
                                "oxTextureBindAttr t1\n"
                                "oxClearAttr wipe\n"
                                "oxTextureBindAttr default\n",
                                "", "", ""));
}

TEST(Sorter, ResetStartsAFrameThatReusesThePackages)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_OPAQUE_TEXTURE, true);
    r.sorter->setMode(oxSorter::SORT_TRANSPARENT_DISTANCE, true);
    EXPECT_EQ(r.sorter->getMode(oxSorter::SORT_OPAQUE), int(oxSorter::SORT_OPAQUE_TEXTURE));
    r.sorter->beginCompoundRenderPackage(false, false);
    r.drawUnder(r.tex.t1, r.geometry("old compound"));
    r.sorter->endCompoundRenderPackage();
    r.drawUnder(r.tex.t2, r.geometry("old"));
    r.sorter->addLightSet(r.lights({"old light"}), r.manager);
    // Left open at the end of the frame.
    r.sorter->beginCompoundRenderPackage(false, false);
    r.output();
    oxRenderPackage* compound = r.sorter->getOpaqueRenderPackages()->get(0);
    const int pooled = r.sorter->pool()->getCount();
    EXPECT_GT(r.sorter->pool()->getFreeIndex(), 0);

    r.nextFrame();
    EXPECT_FALSE(r.sorter->getOutputCreated());
    EXPECT_EQ(r.sorter->getOpaqueRenderPackages()->getCount(), 0);
    EXPECT_EQ(r.sorter->pool()->getFreeIndex(), 0);
    EXPECT_FALSE(compound->isCompound());
    r.drawUnder(r.tex.t3, r.geometry("new"));
    r.push(r.blend);
    r.draw(r.geometry("new glass"));
    r.pop(r.blend);
    // The compound left open last frame does not swallow this one's.
    r.sorter->beginCompoundRenderPackage(false, false);
    r.drawUnder(r.tex.t1, r.geometry("new compound"));
    r.sorter->endCompoundRenderPackage();
    EXPECT_EQ(r.output(), frame("", "", "",
                                "oxTextureBindAttr t1\n"
                                "oxGeometryAttr new compound\n"
                                "oxTextureBindAttr t3\n"
                                "oxGeometryAttr new\n",
                                "oxBlendStateAttr blend\n"
                                "oxTextureBindAttr default\n"
                                "oxGeometryAttr new glass\n",
                                "oxBlendStateAttr default\n"));
    EXPECT_EQ(r.sorter->getOpaqueRenderPackages()->getCount(), 2);
    EXPECT_EQ(r.sorter->pool()->getCount(), pooled);
}

TEST(Sorter, SortsKeepEveryPackageAndOrderThemOverManyFrames)
{
    SorterRig r;
    std::mt19937 rng(7);
    std::vector<oxTextureBindAttr*> textures = {nullptr, r.tex.t1, r.tex.t2, r.tex.t3};
    for (int i = 0; i < 4; ++i)
        textures.push_back(r.make<oxTextureBindAttr>("extra " + std::to_string(i)));
    struct Key {
        uintptr_t texture;
        float distance;
        bool glass;
    };
    std::vector<oxGeometry*> pool;
    std::map<const oxAttr*, oxGeometry*> byAttr;
    for (int i = 0; i < 80; ++i) {
        pool.push_back(r.geometry("g" + std::to_string(i), oxVec3f(float(i % 13), float(i % 7), float(-i))));
        byAttr[pool.back()->getGeometryAttr(0)] = pool.back();
    }
    for (int mode : {int(oxSorter::SORT_OPAQUE_TEXTURE), int(oxSorter::SORT_OPAQUE_DISTANCE_FTB),
                     int(oxSorter::SORT_OPAQUE_TEXTURE_DISTANCE_FTB),
                     int(oxSorter::SORT_TRANSPARENT_DISTANCE | oxSorter::SORT_OPAQUE_TEXTURE),
                     int(oxSorter::SORT_TRANSPARENT_TEXTURE)}) {
        r.sorter->clearMode(oxSorter::REQUIRE_RENDER_PACKAGE);
        r.sorter->setMode(mode);
        for (int f = 0; f < 4; ++f) {
            r.nextFrame();
            // Frames 2 and 3 have as many packages as frame 1: the kept order is sorted again.
            const int n = f == 3 ? 61 : 60;
            std::map<const oxGeometry*, Key> keys;
            std::vector<oxGeometry*> chosen = pool;
            std::shuffle(chosen.begin(), chosen.end(), rng);
            r.push(r.mv1);
            for (int i = 0; i < n; ++i) {
                oxGeometry* g = chosen[i];
                oxTextureBindAttr* t = textures[rng() % textures.size()];
                bool glass = mode & oxSorter::SORT_TRANSPARENT_DISTANCE ? rng() % 3 == 0
                                                                          : mode == oxSorter::SORT_TRANSPARENT_TEXTURE;
                if (glass)
                    r.push(r.blend);
                if (t)
                    r.push(t);
                r.draw(g);
                const oxRenderPackageList* list =
                    glass ? r.sorter->getTransparentRenderPackages() : r.sorter->getOpaqueRenderPackages();
                const oxRenderPackage* p = list->get(list->getCount() - 1);
                keys[g] = {uintptr_t(t), p->getDistance(), glass};
                if (t)
                    r.pop(t);
                if (glass)
                    r.pop(r.blend);
                // A state change between every two draws: one package each.
                r.pop(r.mv1);
                r.push(r.mv1);
            }
            r.pop(r.mv1);
            oxDisplayListAttr* out = r.sorter->getOutput(r.manager);
            for (int section = 0; section < 2; ++section) {
                auto* list = oxDisplayListAttr::dynamicCast(out->get(out->getCount() - 4 + section));
                ASSERT_TRUE(list);
                std::vector<const oxGeometry*> order;
                for (int i = 0; i < list->getCount(); ++i)
                    if (auto it = byAttr.find(list->get(i)); it != byAttr.end())
                        order.push_back(it->second);
                const bool transparent = section == 1;
                size_t expected = 0;
                for (auto& [g, k] : keys)
                    expected += k.glass == transparent;
                ASSERT_EQ(order.size(), expected) << "mode " << mode << " frame " << f << " section " << section;
                for (size_t i = 1; i < order.size(); ++i) {
                    const Key& a = keys[order[i - 1]];
                    const Key& b = keys[order[i]];
                    bool ok = true;
                    if (transparent)
                        ok = mode == oxSorter::SORT_TRANSPARENT_TEXTURE ? a.texture <= b.texture
                                                                        : a.distance >= b.distance;
                    else if (mode & oxSorter::SORT_OPAQUE_TEXTURE)
                        ok = a.texture <= b.texture;
                    else if (mode == oxSorter::SORT_OPAQUE_DISTANCE_FTB)
                        ok = a.distance >= b.distance;
                    else
                        ok = a.texture < b.texture || (a.texture == b.texture && a.distance <= b.distance);
                    EXPECT_TRUE(ok) << "mode " << mode << " frame " << f << " at " << i;
                }
            }
        }
    }
}

TEST(Sorter, DistancesThatAreNotNumbersSortAsTheNearest)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_OPAQUE_DISTANCE_FTB | oxSorter::SORT_TRANSPARENT_DISTANCE);
    oxModelViewMatrixAttr* broken = r.make<oxModelViewMatrixAttr>("broken");
    broken->setMatrix(translation(oxVec3f(NAN, 0, 0)));
    // Enough packages for the library sort to leave its small-range path.
    for (int i = 0; i < 40; ++i) {
        oxModelViewMatrixAttr* mv = i % 2 ? broken : r.mv1;
        r.push(mv);
        if (i % 4 < 2)
            r.push(r.blend);
        r.draw(r.geometry("g" + std::to_string(i), oxVec3f(0, 0, float(i))));
        if (i % 4 < 2)
            r.pop(r.blend);
        r.pop(mv);
    }
    // Every package is drawn once; the broken ones come last in each section.
    for (int section = 0; section < 2; ++section) {
        oxDisplayListAttr* out = r.sorter->getOutput(r.manager);
        auto* list = oxDisplayListAttr::dynamicCast(out->get(out->getCount() - 4 + section));
        ASSERT_TRUE(list);
        std::vector<bool> brokenOrder;
        for (int i = 0; i < list->getCount(); ++i) {
            const std::string& name = r.names[list->get(i)];
            if (name.size() > 1 && name[0] == 'g')
                brokenOrder.push_back(std::stoi(name.substr(1)) % 2 == 1);
        }
        EXPECT_EQ(brokenOrder.size(), 20u);
        EXPECT_TRUE(std::is_partitioned(brokenOrder.begin(), brokenOrder.end(), [](bool b) { return !b; }));
    }
}

TEST(Sorter, StateReductionSkipsWhatIsNotThere)
{
    SorterRig r;
    oxSmartPointer<oxRenderPackageList> packages = oxRenderPackageList::_instantiateRef();
    oxSmartPointer<oxIntList> order = oxIntList::_instantiateRef();
    oxSmartPointer<oxDisplayListAttr> out = oxDisplayListAttr::_instantiateRef();
    r.sorter->setMode(oxSorter::PACKAGE_OPAQUE);
    r.drawUnder(r.tex.t1, r.geometry("g"));
    packages->append(r.sorter->getOpaqueRenderPackages()->get(0));
    packages->append(nullptr);
    for (int i : {-1, 5, 1, 0, 0})
        order->append(i);
    r.sorter->sequentialStateReduce(packages, order, out, r.manager);
    // The same package twice in a row shares its state with itself.
    EXPECT_EQ(r.text(out), "oxTextureBindAttr t1\noxGeometryAttr g\noxGeometryAttr g\n");
    r.sorter->sequentialStateReduce(nullptr, order, out, r.manager);
    EXPECT_EQ(out->getCount(), 3);
    EXPECT_EQ(r.sorter->getOutput(nullptr)->getCount(), 2);
}

TEST(RenderPackage, DrawsItsStateThenItsGeometryAndCountsVertices)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::PACKAGE_OPAQUE);
    oxGeometry* g = r.geometry("g");
    auto* attr = oxGeometryAttr::dynamicCast(g->getGeometryAttr(0));
    attr->configureVertexArray(Kel::Gfx::oxVertexFormat(Kel::Gfx::oxVertexFormat::kPositions), 3);
    attr->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1);
    oxGeometry* listed = r.geometry("listed");
    auto* listedAttr = oxGeometryAttr::dynamicCast(listed->getGeometryAttr(0));
    listedAttr->configureVertexArray(Kel::Gfx::oxVertexFormat(Kel::Gfx::oxVertexFormat::kPositions), 4);
    listed->setFlags(oxNode::USE_RENDER_LIST_DELETE_ORIGINAL);
    r.push(r.blend);
    r.draw(g);
    r.draw(listed);
    r.pop(r.blend);
    oxRenderPackage* p = r.sorter->getOpaqueRenderPackages()->get(0);
    EXPECT_EQ(p->getVertexCount(), 7);

    oxSmartPointer<Kel::Gfx::oxRecordingVisualContext> vc = Kel::Gfx::oxRecordingVisualContext::_instantiateRef();
    p->draw(vc);
    EXPECT_EQ(vc->getTrace(), "setSwitch BLEND on\n"
                              "drawGeometry TRIANGLES primitives=1 elements=3 first=0 direct vertices=3 format=0x00000001\n"
                              "drawGeometry POINTS primitives=0 elements=0 first=0 direct vertices=4 format=0x00000001\n");

    oxSmartPointer<oxNonRefCountedAttrList> only = oxNonRefCountedAttrList::_instantiateRef();
    only->append(listedAttr);
    p->setGeometryAttrs(only);
    EXPECT_EQ(p->getVertexCount(), 4);
    oxSmartPointer<oxNonRefCountedAttrList> other = oxNonRefCountedAttrList::_instantiateRef();
    p->setStateAttrs(other);
    EXPECT_EQ(p->getStateAttrs(), other.get());
    p->setStateAttrs(nullptr);
    EXPECT_EQ(p->getStateAttrs(), p->getOwnStateAttrs());
}

TEST(Sorter, ASorterReadFromAFileStartsAFreshFrameWithItsSettings)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_OPAQUE_TEXTURE);
    r.sorter->setTransparencyDrawMode(oxSorter::TRANSPARENCY_DRAW_NO_DEPTH_WRITE);
    r.drawUnder(r.tex.t1, r.geometry("g"));
    r.output();
    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(r.sorter.get(), bytes), kSuccess);
    oxOXBReader reader;
    ASSERT_EQ(reader.read(bytes.data(), bytes.size(), "sorter"), kSuccess);
    oxSmartPointer<oxSorter> read = oxSorter::dynamicCast(reader.getRoot());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->getMode(), int(oxSorter::SORT_OPAQUE_TEXTURE));
    EXPECT_EQ(read->getTransparencyDrawMode(), int(oxSorter::TRANSPARENCY_DRAW_NO_DEPTH_WRITE));
    EXPECT_FALSE(read->getOutputCreated());
    EXPECT_EQ(read->getOpaqueRenderPackages()->getCount(), 0);

    r.nextFrame();
    r.drawUnder(r.tex.t2, r.geometry("h"));
    r.drawUnder(r.tex.t1, r.geometry("i"));
    oxDisplayListAttr* out = read->getOutput(r.manager);
    // Nothing was fed to it: lights, first packages, the empty sections, the clear.
    ASSERT_EQ(out->getCount(), 6);
    EXPECT_EQ(out->get(5), r.manager->getDefaultAttr(oxClearAttr::getClassTypeSafe()));
    read->reset();
    read->addGeometry(r.geometry("j"), r.manager);
    EXPECT_EQ(read->getOpaqueRenderPackages()->getCount(), 1);
}

// A kept draw order resorted after every texture changed: far from sorted, so it takes the
// merging path, which must leave equal textures in the kept order as the passes would.
TEST(Sorter, KeptOrderResortedAfterAllTexturesChangedKeepsItsOrderAmongEqualTextures)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_OPAQUE_TEXTURE);
    std::vector<oxTextureBindAttr*> textures = {r.tex.t1, r.tex.t2, r.tex.t3};
    for (int i = 0; i < 5; ++i)
        textures.push_back(r.make<oxTextureBindAttr>("extra " + std::to_string(i)));
    std::vector<oxGeometry*> geometry;
    std::map<const oxAttr*, int> indexOf;
    for (int i = 0; i < 300; ++i) {
        geometry.push_back(r.geometry("g" + std::to_string(i)));
        indexOf[geometry.back()->getGeometryAttr(0)] = i;
    }
    auto drawFrame = [&](int shift) {
        r.nextFrame();
        r.push(r.mv1);
        for (size_t i = 0; i < geometry.size(); ++i) {
            r.drawUnder(textures[(i * 5 + size_t(shift)) % textures.size()], geometry[i]);
            // A state change between every two draws: one package each.
            r.pop(r.mv1);
            r.push(r.mv1);
        }
        r.pop(r.mv1);
        std::vector<int> order;
        const oxDisplayListAttr* out = r.sorter->getOutput(r.manager);
        auto* opaque = oxDisplayListAttr::dynamicCast(out->get(out->getCount() - 4));
        for (int i = 0; opaque && i < opaque->getCount(); ++i)
            if (auto it = indexOf.find(opaque->get(i)); it != indexOf.end())
                order.push_back(it->second);
        return order;
    };
    const std::vector<int> first = drawFrame(0);
    ASSERT_EQ(first.size(), geometry.size());
    std::vector<int> expected = first;
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
        return uintptr_t(textures[(size_t(a) * 5 + 3) % textures.size()]) <
               uintptr_t(textures[(size_t(b) * 5 + 3) % textures.size()]);
    });
    EXPECT_EQ(drawFrame(3), expected);
}

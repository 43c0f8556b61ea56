// Render packages as the sorter records them during a frame, and as their lists read
// whenever anyone looks.
#include <gtest/gtest.h>

#include "tests/sg/traversal/oxSorterTestSupport.h"

using namespace sortertest;

namespace {

std::vector<oxRenderPackage*> everyPackage(oxSorter* sorter)
{
    std::vector<oxRenderPackage*> all;
    for (oxRenderPackageList* list : {sorter->getOpaqueRenderPackages(), sorter->getTransparentRenderPackages()})
        for (int i = 0; i < list->getCount(); ++i) {
            oxRenderPackage* p = list->get(i);
            all.push_back(p);
            for (int k = 0; k < p->getSubPackages()->getCount(); ++k)
                all.push_back(p->getSubPackages()->get(k));
        }
    return all;
}

std::vector<std::string> names(SorterRig& r, const oxNonRefCountedAttrList* list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list->getCount(); ++i)
        out.push_back(r.names.count(list->get(i)) ? r.names[list->get(i)] : list->get(i)->getMetaObject()->getName());
    return out;
}

} // namespace

TEST(RenderPackage, RecordsAndTheListsTakingThemOverDrawTheSameFrame)
{
    const int modes[] = {oxSorter::PACKAGE_OPAQUE | oxSorter::PACKAGE_TRANSPARENT,
                         oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE,
                         oxSorter::SORT_OPAQUE_DISTANCE_FTB | oxSorter::SORT_TRANSPARENT_TEXTURE,
                         oxSorter::SORT_OPAQUE_TEXTURE_DISTANCE_FTB | oxSorter::SORT_TRANSPARENT_DISTANCE};
    for (int mode : modes) {
        // Three ways of looking at the same frame: not at all, every package before the
        // output, and every other one (a package sharing its state with one that was looked
        // at, and the reverse).
        std::string outputs[3];
        for (int look = 0; look < 3; ++look) {
            SorterRig r;
            Scene scene(r);
            r.sorter->setMode(mode);
            for (int frame = 0; frame < 2; ++frame) {
                r.nextFrame();
                scene.feed();
                std::vector<oxRenderPackage*> all = everyPackage(r.sorter);
                for (size_t i = 0; look && i < all.size(); i += size_t(look))
                    all[i]->getStateAttrs();
                outputs[look] = r.output();
            }
        }
        EXPECT_EQ(outputs[1], outputs[0]) << "mode " << mode;
        EXPECT_EQ(outputs[2], outputs[0]) << "mode " << mode;
    }
}

TEST(RenderPackage, ARecordedPackageReadsAsItsListsCopiesWithThemAndExpiresWithItsFrame)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_OPAQUE_DISTANCE_FTB);
    r.push(r.mv1);
    r.push(r.tex.t2);
    r.draw(r.geometry("a", oxVec3f(0, 0, 1)));
    r.draw(r.geometry("b", oxVec3f(0, 0, 2)));
    r.pop(r.tex.t2);
    r.pop(r.mv1);
    oxRenderPackageList* packages = r.sorter->getOpaqueRenderPackages();
    ASSERT_EQ(packages->getCount(), 2);
    oxRenderPackage* a = packages->get(0);
    oxRenderPackage* b = packages->get(1);

    // The copy is taken before anyone asked the original for its lists.
    oxSmartPointer<oxRenderPackage> copy = static_cast<oxRenderPackage*>(b->createCopy());
    EXPECT_EQ(names(r, copy->getGeometryAttrs()), std::vector<std::string>{"b"});
    EXPECT_EQ(names(r, a->getGeometryAttrs()), std::vector<std::string>{"a"});
    // b was built under a's state and shares a's list.
    EXPECT_EQ(b->getStateAttrs(), a->getOwnStateAttrs());
    EXPECT_EQ(names(r, b->getStateAttrs()), (std::vector<std::string>{"mv1", "t2"}));
    EXPECT_EQ(names(r, a->getStateAttrs()), (std::vector<std::string>{"mv1", "t2"}));
    EXPECT_EQ(b->getVertexCount(), 0);
    EXPECT_FALSE(b->isCompound());

    // What a caller does to the lists is what the frame draws.
    a->getGeometryAttrs()->append(r.make<oxGeometryAttr>("added"));
    EXPECT_EQ(r.output(), "lights:\nfirst packages:\n  first reset:\nopaque packages:\n"
                          "  oxModelViewMatrixAttr mv1\n  oxTextureBindAttr t2\n  oxGeometryAttr a\n"
                          "  oxGeometryAttr added\n  oxGeometryAttr b\n"
                          "transparent packages:\nfinal reset:\n"
                          "  oxModelViewMatrixAttr default\n  oxTextureBindAttr default\noxClearAttr default\n");

    // The next frame hands the packages out again; one left over is an empty one.
    r.nextFrame();
    r.sorter->beginCompoundRenderPackage(false, false);
    r.draw(r.geometry("c"));
    r.sorter->endCompoundRenderPackage();
    r.nextFrame();
    for (int i = 0; i < r.sorter->pool()->getCount(); ++i)
        EXPECT_FALSE(r.sorter->pool()->get(i)->isCompound());
}

TEST(RenderPackage, GeometryAfterACompoundBeginsUnderUnchangedStateJoinsThePackageBefore)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_OPAQUE_TEXTURE);
    r.push(r.tex.t1);
    r.draw(r.geometry("before"));
    r.sorter->beginCompoundRenderPackage(false, false);
    r.draw(r.geometry("inside"));
    r.sorter->endCompoundRenderPackage();
    r.pop(r.tex.t1);
    oxRenderPackageList* packages = r.sorter->getOpaqueRenderPackages();
    ASSERT_EQ(packages->getCount(), 1) << "the compound took no package of its own and is dropped";
    EXPECT_EQ(names(r, packages->get(0)->getGeometryAttrs()), (std::vector<std::string>{"before", "inside"}));
}

TEST(RenderPackage, PackagesFiledBehindTheSortersBackAreSortedToo)
{
    SorterRig r;
    r.sorter->setMode(oxSorter::SORT_OPAQUE_TEXTURE);
    r.drawUnder(r.tex.t3, r.geometry("g3"));
    r.drawUnder(r.tex.t1, r.geometry("g1"));
    oxSmartPointer<oxRenderPackage> extra = oxRenderPackage::_instantiateRef();
    extra->setSortingCache(r.tex.t2);
    extra->getOwnStateAttrs()->append(r.tex.t2);
    extra->getGeometryAttrs()->append(r.make<oxGeometryAttr>("g2"));
    r.sorter->getOpaqueRenderPackages()->append(extra);
    EXPECT_EQ(r.output(), "lights:\nfirst packages:\n  first reset:\nopaque packages:\n"
                          "  oxTextureBindAttr t1\n  oxGeometryAttr g1\n"
                          "  oxTextureBindAttr t2\n  oxGeometryAttr g2\n"
                          "  oxTextureBindAttr t3\n  oxGeometryAttr g3\n"
                          "transparent packages:\nfinal reset:\n  oxTextureBindAttr default\noxClearAttr default\n");
}

TEST(RenderPackage, TheFramesOwnAttributesEnterTheOutputUnheldAndLeaveWithTheTraversal)
{
    oxArkRegisterForOXBFiles();
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
    oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
    g->addGeometryAttr(oxGeometryAttr::_instantiateRef());
    t->appendChild(g);
    root->appendChild(t);
    oxSmartPointer<oxDisplayListAttr> output;
    {
        oxSmartPointer<oxCommonTraversal> draw = oxCommonTraversal::_instantiateRef();
        draw->setVisualContext(nullptr);
        draw->getSorter()->setMode(oxSorter::SORT_OPAQUE_TEXTURE);
        draw->reset();
        draw->apply(root);
        output = draw->getOutput();
        oxAttr* mv = t->getCachedAttr();
        ASSERT_TRUE(mv && mv->isPoolOwned());
        // Its pool and the transform hold it; the output, which draws it, does not.
        EXPECT_EQ(mv->getRefCount(), 2);
        bool drawn = false;
        for (int i = 0; i < output->getCount(); ++i)
            if (auto* part = oxDisplayListAttr::dynamicCast(output->get(i)))
                for (int k = 0; k < part->getCount(); ++k)
                    drawn |= part->get(k) == mv;
        EXPECT_TRUE(drawn);
    }
    // The pools went with the traversal, and so did what the output held of them: the
    // output is back to an empty frame.
    for (int i = 0; i < output->getCount(); ++i) {
        auto* part = oxDisplayListAttr::dynamicCast(output->get(i));
        ASSERT_TRUE(part);
        EXPECT_EQ(part->getCount(), 0);
    }
    // What outlives its pool is nobody's pool's any more.
    EXPECT_FALSE(t->getCachedAttr()->isPoolOwned());
}

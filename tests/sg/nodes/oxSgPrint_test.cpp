#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <string>

#include "platform/attrs/OXAttrs.h"
#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"
#include "tests/sg/nodes/oxNodeTestSupport.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;
using oxbtest::ScaleSource;

namespace {

// Collects what is written to the core's standard output while it lives.
class OutputCatcher {
public:
    OutputCatcher() : _old(oxOutput::setStandardOutHandler(&collect)) { text().clear(); }
    ~OutputCatcher() { oxOutput::setStandardOutHandler(_old); }
    static std::string& text()
    {
        static std::string captured;
        return captured;
    }

private:
    static void collect(const char* piece) { text() += piece; }
    oxOutput::Handler _old;
};

std::string printed(oxNode* root, int depth = 0)
{
    OutputCatcher out;
    oxSgPrint(root, depth);
    return OutputCatcher::text();
}

std::string hex(const void* p)
{
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIXPTR, reinterpret_cast<uintptr_t>(p));
    return text;
}

// The line of one attribute below a node at `depth`.
std::string attrLine(int depth, const oxAttr* attr, const std::string& detail)
{
    std::string pad;
    for (int i = 0; i < depth; ++i)
        pad += "     ";
    return pad + "  -(" + attr->getMetaObject()->getName() + ") " + hex(attr) + " " + detail + "\n";
}

template <class T>
oxSmartPointer<T> named(const char* name)
{
    oxSmartPointer<T> n = T::_instantiateRef();
    if (name)
        n->setName(name);
    return n;
}

oxSmartPointer<oxGeometryAttr> geometryAttr(int type, int primitives, int vertices)
{
    oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
    g->configureVertexArray(Kel::Gfx::oxVertexFormat::kPositions, vertices);
    g->configurePrimitive(Kel::Gfx::OX_GFX_DRAW(type), primitives);
    return g;
}

using SgPrintTest = nodetest::Registered;

TEST_F(SgPrintTest, NodesAttributesSourcesAndInstancesPrintAsWholeLines)
{
    oxSmartPointer<oxGroup> root = named<oxGroup>("world");
    oxSmartPointer<oxTransform> spin = named<oxTransform>("spin");
    oxSmartPointer<ScaleSource> source = ScaleSource::_instantiateRef();
    spin->setTransformSource(source);
    oxSmartPointer<oxTransform> still = named<oxTransform>(nullptr);
    oxSmartPointer<oxGeometry> mesh = named<oxGeometry>("mesh");
    std::vector<oxSmartPointer<oxAttr>> attrs;
    for (int type = 0; type <= 6; ++type)
        attrs.push_back(geometryAttr(type == 6 ? 7 : type, 2 + type, 10 + type));
    attrs.push_back(oxGeometryAttr::_instantiateRef());
    oxSmartPointer<oxGeometryAttr2> second = oxGeometryAttr2::_instantiateRef();
    second->configureVertexArray(8);
    second->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_TRIANGLE_STRIPS, 2);
    attrs.push_back(second);
    for (oxAttr* a : attrs)
        mesh->addGeometryAttr(a);
    oxSmartPointer<oxBlendMatrixSelect> skin = named<oxBlendMatrixSelect>("skin");
    oxSmartPointer<oxVertexBlendMatrixListAttr> mats = oxVertexBlendMatrixListAttr::_instantiateRef();
    mats->setMatrixCount(5);
    oxSmartPointer<oxVertexBlendStateAttr> on = oxVertexBlendStateAttr::_instantiateRef();
    on->setEnabled(true);
    oxSmartPointer<oxVertexBlendStateAttr> off = oxVertexBlendStateAttr::_instantiateRef();
    oxSmartPointer<oxBlendStateAttr> plain = oxBlendStateAttr::_instantiateRef();
    for (oxAttr* a : {static_cast<oxAttr*>(mats), static_cast<oxAttr*>(on), static_cast<oxAttr*>(off),
                      static_cast<oxAttr*>(plain)})
        skin->appendAttr(a);
    skin->appendAttr(nullptr);

    root->appendChild(spin);
    spin->appendChild(still);
    still->appendChild(mesh);
    root->appendChild(skin);
    skin->appendChild(mesh);
    skin->appendChild(still);
    root->appendChild(mesh);

    const char* const details[] = {"2 points, 10 verts", "3 lines, 11 verts",  "4 line strips, 12 verts",
                                   "5 tris, 13 verts",   "6 tri strips, 14 verts", "7 fans, 15 verts",
                                   "-, 16 verts",        "This geometry has no vertex data.", "2 tri strips, 8 verts"};
    auto meshLines = [&](int depth) {
        std::string lines;
        for (size_t i = 0; i < attrs.size(); ++i)
            lines += attrLine(depth, attrs[i], details[i]);
        return lines;
    };
    std::string expected = "oxGroup named \"world\"\n"
                           "|--->oxTransform named \"spin\" : ScaleSource[" + hex(source) + "]\n"
                           "   |--->oxTransform\n"
                           "        |--->oxGeometry named \"mesh\"\n" + meshLines(3) +
                           "|--->oxBlendMatrixSelect named \"skin\"\n" +
                           attrLine(1, mats, " 5 mats") +
                           attrLine(1, on, "enable") +
                           attrLine(1, off, "disable") +
                           attrLine(1, plain, "") +
                           "   |---> * Instance number 1 of oxGeometry named \"mesh\"\n"
                           "   |---> * Instance number 1 of oxTransform\n"
                           "|---> * Instance number 2 of oxGeometry named \"mesh\"\n";
    EXPECT_EQ(printed(root), expected);

    // Every call starts its tables afresh; the depth given is the root's.
    EXPECT_EQ(printed(spin, 2), "   |--->oxTransform named \"spin\" : ScaleSource[" + hex(source) + "]\n"
                                "        |--->oxTransform\n"
                                "             |--->oxGeometry named \"mesh\"\n" + meshLines(4));
    EXPECT_EQ(printed(nullptr), "");
    EXPECT_EQ(printed(named<oxNode>("")), "oxNode named \"\"\n");
}

TEST_F(SgPrintTest, AStoredSceneFilePrintsWithItsGeometry)
{
    // The file behind the oxsg print check; its objects' addresses are known once read.
    oxOXBReader reader;
    ASSERT_EQ(reader.readFile(OXSG_TEST_DATA_DIR "/oxb/geometry.oxb"), kSuccess) << reader.getError();
    auto* scene = oxGroup::dynamicCast(reader.getRoot());
    ASSERT_TRUE(scene);
    ASSERT_EQ(scene->getChildCount(), 3);
    auto* lift = oxTransform::dynamicCast(scene->getChild(0));
    auto* look = oxAttrSet::dynamicCast(scene->getChild(1));
    auto* skin = oxBlendMatrixSelect::dynamicCast(scene->getChild(2));
    ASSERT_TRUE(lift && look && skin);
    auto* crate = oxGeometry::dynamicCast(lift->getChild(0));
    auto* hull = oxGeometry::dynamicCast(skin->getChild(0));
    ASSERT_TRUE(crate && hull);
    EXPECT_EQ(look->getChild(0), crate);
    EXPECT_EQ(crate->getParentCount(), 2);
    EXPECT_EQ(crate->getGeoSet()->getRenderListMode(), oxGeometrySetAttr::kRenderList);
    EXPECT_EQ(crate->getTotalTriangles(), 2);
    ASSERT_EQ(skin->getBlendMatrixIndexCount(), 3);
    EXPECT_EQ(skin->getBlendMatrixIndex(2), 6);

    std::string expected = "oxGroup named \"scene\"\n"
                           "|--->oxTransform named \"lift\"\n"
                           "   |--->oxGeometry named \"crate\"\n" +
                           attrLine(2, crate->getGeometryAttr(0), "2 tris, 6 verts") +
                           attrLine(2, crate->getGeometryAttr(1), "disable") +
                           "|--->oxAttrSet named \"look\"\n" +
                           attrLine(1, look->getAttr(0), "") +
                           "   |---> * Instance number 1 of oxGeometry named \"crate\"\n"
                           "|--->oxBlendMatrixSelect\n"
                           "   |--->oxGeometry named \"hull\"\n" +
                           attrLine(2, hull->getGeometryAttr(0), " 3 mats") +
                           attrLine(2, hull->getGeometryAttr(1), "This geometry has no vertex data.");
    EXPECT_EQ(printed(scene), expected);
}

} // namespace

TEST_F(SgPrintTest, ASequenceSourceTellsItsKeyCount)
{
    oxSmartPointer<oxTransform> walk = named<oxTransform>("walk");
    oxSmartPointer<oxTransformSequence1_5> keys = oxTransformSequence1_5::_instantiateRef();
    keys->setKeyFrameCount(3);
    walk->setTransformSource(keys);
    EXPECT_EQ(printed(walk), "oxTransform named \"walk\" : oxTransformSequence1_5[" + hex(keys) + "] 3 keys\n");
}

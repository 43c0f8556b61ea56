#include <gtest/gtest.h>

#include "platform/gfx/OXGfx.h"
#include "tests/platform/gfx/oxGfxTestUtil.h"

using namespace Kel::Gfx;
using Kel::Core::oxSmartPointer;
using Kel::Gfx::TestUtil::WarningCatcher;
using Kel::Math::oxIsEqual;

namespace {
constexpr oxVertexFormat kPNC = oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::kColors;
} // namespace

TEST(oxVertexFormat, FieldsSitWhereTheLayoutSays)
{
    oxVertexFormat f = kPNC | oxVertexFormat::blendWeights(3) | oxVertexFormat::blendIndices(2) |
                       oxVertexFormat::texCoords(2, 3) | oxVertexFormat::kTangents;
    EXPECT_EQ(f.getBits() & 0xF0u, 3u << 4);
    EXPECT_EQ(f.getBits() & 0xF00u, 2u << 8);
    EXPECT_EQ((f.getBits() >> 16) & 0xFu, 2u);
    EXPECT_EQ((f.getBits() >> 20) & 0x3u, 1u);
    EXPECT_EQ(f.getBits() & (1u << 23), 1u << 23);
    EXPECT_TRUE(f.isSkinned());
    EXPECT_FALSE(kPNC.isSkinned());
    EXPECT_EQ(f.getTexCoordSize(), 3);
}

TEST(oxVertexFormat, OffsetsFollowComponentOrderOnFourByteBoundaries)
{
    oxVertexFormat f = kPNC | oxVertexFormat::blendWeights(2) | oxVertexFormat::blendIndices(2) |
                       oxVertexFormat::texCoords(2) | oxVertexFormat::kBinormals | oxVertexFormat::kTangents;
    EXPECT_EQ(f.getOffset(OX_GFX_COMPONENT_POSITION), 0);
    EXPECT_EQ(f.getOffset(OX_GFX_COMPONENT_NORMAL), 12);
    EXPECT_EQ(f.getOffset(OX_GFX_COMPONENT_COLOR), 24);
    EXPECT_EQ(f.getOffset(OX_GFX_COMPONENT_BLEND_WEIGHT), 28);
    EXPECT_EQ(f.getOffset(OX_GFX_COMPONENT_BLEND_INDEX), 36);
    EXPECT_EQ(f.getOffset(OX_GFX_COMPONENT_TEXCOORD, 0), 40);
    EXPECT_EQ(f.getOffset(OX_GFX_COMPONENT_TEXCOORD, 1), 48);
    EXPECT_EQ(f.getOffset(OX_GFX_COMPONENT_BINORMAL), 56);
    EXPECT_EQ(f.getOffset(OX_GFX_COMPONENT_TANGENT), 68);
    EXPECT_EQ(f.getStride(), 80);
    EXPECT_EQ(f.getOffset(OX_GFX_COMPONENT_TEXCOORD, 2), -1);
    EXPECT_EQ(f.getOffset(OX_GFX_COMPONENT_SECONDARY_COLOR), -1);
    EXPECT_EQ(f.getScalarCount(OX_GFX_COMPONENT_BLEND_INDEX), 2);
    EXPECT_EQ(f.getScalarType(OX_GFX_COMPONENT_COLOR), OX_GFX_SCALAR_UNSIGNED_BYTE);

    // Secondary colours sit between colours and blend weights.
    oxVertexFormat g = f | oxVertexFormat::kSecondaryColors;
    EXPECT_EQ(g.getOffset(OX_GFX_COMPONENT_SECONDARY_COLOR), 28);
    EXPECT_EQ(g.getOffset(OX_GFX_COMPONENT_BLEND_WEIGHT), 32);
    EXPECT_EQ(g.getOffset(OX_GFX_COMPONENT_TANGENT), 72);
}

TEST(oxVertexFormat, ReservedBitsAndTooManySetsAreInvalid)
{
    EXPECT_TRUE(kPNC.isValid());
    EXPECT_FALSE(oxVertexFormat(kPNC.getBits() | (1u << 12)).isValid());
    EXPECT_FALSE(oxVertexFormat(kPNC.getBits() | (1u << 30)).isValid());
    EXPECT_FALSE(oxVertexFormat(9u << 16).isValid());
    EXPECT_FALSE(oxVertexFormat(3u << 20).isValid());
    EXPECT_EQ(oxVertexFormat(1u << 12).getStride(), 0);
}

TEST(oxVertexFormat, SubsetComparesEveryFieldAsACount)
{
    oxVertexFormat big = kPNC | oxVertexFormat::blendWeights(4) | oxVertexFormat::texCoords(2, 3);
    EXPECT_TRUE(kPNC.isSubsetOf(big));
    EXPECT_TRUE(big.isSubsetOf(big));
    EXPECT_FALSE(big.isSubsetOf(kPNC));
    EXPECT_FALSE(oxVertexFormat(oxVertexFormat::kNormals).isSubsetOf(oxVertexFormat::kPositions));
    EXPECT_FALSE((oxVertexFormat::blendWeights(5)).isSubsetOf(big));
    EXPECT_FALSE(oxVertexFormat::texCoords(3).isSubsetOf(big));
    EXPECT_FALSE(oxVertexFormat::texCoords(1, 4).isSubsetOf(big));
}

TEST(oxVertexArray, TypedAccessWritesTheInterleavedBytes)
{
    oxSmartPointer<oxVertexArray> va = oxVertexArray::_instantiateRef();
    ASSERT_TRUE(va->configure(kPNC | oxVertexFormat::texCoords(1) | oxVertexFormat::blendWeights(2) |
                                  oxVertexFormat::blendIndices(2),
                              3));
    EXPECT_EQ(va->getVertexCount(), 3);
    EXPECT_TRUE(va->setPosition(2, {1, 2, 3}));
    EXPECT_TRUE(va->setColor(1, {1, 0, 0.5f, 1}));
    EXPECT_TRUE(va->setTexCoord(0, 1, oxVec2f(0.25f, 0.75f)));
    EXPECT_TRUE(va->setBlendWeight(0, 1, 0.5f));
    EXPECT_TRUE(va->setBlendIndex(0, 1, 17));
    EXPECT_EQ(va->getPosition(2), oxVec3f(1, 2, 3));
    EXPECT_EQ(va->getPackedColor(1), 0xFF8000FFu);
    EXPECT_EQ(va->getTexCoord(0, 1), oxVec4f(0.25f, 0.75f, 0, 0));
    EXPECT_EQ(va->getBlendWeight(0, 1), 0.5f);
    EXPECT_EQ(va->getBlendIndex(0, 1), 17);
    float x = 0;
    std::memcpy(&x, va->getVertexData() + 2 * va->getStride(), 4);
    EXPECT_EQ(x, 1.0f);
    const uint8_t* color = va->getVertexData() + va->getStride() + 24;
    EXPECT_EQ(color[0], 255);
    EXPECT_EQ(color[2], 128);
}

TEST(oxVertexArray, BadIndicesAndMissingComponentsAreRefused)
{
    oxSmartPointer<oxVertexArray> va = oxVertexArray::_instantiateRef();
    ASSERT_TRUE(va->configure(oxVertexFormat::kPositions, 2));
    uint32_t version = va->getVersion();
    EXPECT_FALSE(va->setPosition(2, {1, 1, 1}));
    EXPECT_FALSE(va->setPosition(-1, {1, 1, 1}));
    EXPECT_FALSE(va->setNormal(0, {1, 1, 1}));
    EXPECT_FALSE(va->setTexCoord(0, 0, oxVec2f(1, 1)));
    EXPECT_FALSE(va->setBlendIndex(0, 0, 1));
    EXPECT_EQ(va->getNormal(0), oxVec3f());
    EXPECT_EQ(va->getVersion(), version);
    WarningCatcher warnings;
    EXPECT_FALSE(va->configure(1u << 13, 4));
    EXPECT_FALSE(va->configure(oxVertexFormat::kPositions, -1));
    EXPECT_EQ(warnings.count(), 2u);
    EXPECT_EQ(va->getVertexCount(), 2);
}

TEST(oxVertexArray, BytesThatDoNotMatchTheFormatMakeAnEmptyArray)
{
    oxSmartPointer<oxVertexArray> va = oxVertexArray::_instantiateRef();
    ASSERT_TRUE(va->configure(oxVertexFormat::kPositions, 4));
    Kel::Core::oxMetaObject* meta = oxVertexArray::getClassTypeSafe();
    ASSERT_TRUE(meta->getMetaField("_vertexCount")->set(va.get(), int32_t(1000)));
    EXPECT_FALSE(va->isConsistent());
    EXPECT_EQ(va->getVertexCount(), 0);
    EXPECT_FALSE(va->getStream(OX_GFX_COMPONENT_POSITION).isValid());
    EXPECT_FALSE(va->setPosition(0, {1, 1, 1}));
    WarningCatcher warnings;
    va->postFileRead();
    EXPECT_TRUE(warnings.contains("treated as empty"));
}

TEST(oxVertexArray, CopyVertexCopiesOnlyTheNamedComponents)
{
    oxSmartPointer<oxVertexArray> from = oxVertexArray::_instantiateRef();
    oxSmartPointer<oxVertexArray> to = oxVertexArray::_instantiateRef();
    ASSERT_TRUE(from->configure(kPNC | oxVertexFormat::texCoords(2, 3), 2));
    ASSERT_TRUE(to->configure(kPNC | oxVertexFormat::texCoords(1, 2), 2));
    from->setPosition(1, {1, 2, 3});
    from->setNormal(1, {0, 1, 0});
    from->setColor(1, {1, 1, 1, 1});
    from->setTexCoord(0, 1, {0.5f, 0.25f, 0.125f, 0});
    ASSERT_TRUE(to->copyVertex(from, 1, 0, oxVertexFormat::kPositions | oxVertexFormat::texCoords(2, 3)));
    EXPECT_EQ(to->getPosition(0), oxVec3f(1, 2, 3));
    EXPECT_EQ(to->getNormal(0), oxVec3f());
    EXPECT_EQ(to->getPackedColor(0), 0u);
    EXPECT_EQ(to->getTexCoord(0, 0), oxVec4f(0.5f, 0.25f, 0, 0));
    EXPECT_FALSE(to->copyVertex(from, 2, 0, kPNC));
    EXPECT_FALSE(to->copyVertex(nullptr, 0, 0, kPNC));
}

TEST(oxVertexArray, TransformMovesPointsAndKeepsNormalsPerpendicular)
{
    oxSmartPointer<oxVertexArray> va = oxVertexArray::_instantiateRef();
    ASSERT_TRUE(va->configure(oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::kTangents, 1));
    // A surface along the diagonal x = y, stretched in x: a plain transform of the normal
    // would tilt it off the surface.
    va->setPosition(0, {1, 1, 0});
    va->setNormal(0, oxVec3f(1, -1, 0).normalized());
    va->setTangent(0, oxVec3f(1, 1, 0).normalized());
    oxMatrix44f m;
    m.makeScale(oxVec3f(2, 1, 1));
    m.postTranslate({0, 0, 5});
    uint32_t version = va->getVersion();
    ASSERT_TRUE(va->transform(m));
    EXPECT_NE(va->getVersion(), version);
    EXPECT_TRUE(oxIsEqual(va->getPosition(0), oxVec3f(2, 1, 5)));
    oxVec3f n = va->getNormal(0), t = va->getTangent(0);
    EXPECT_NEAR(n.length(), 1.0f, 1e-5f);
    EXPECT_NEAR(t.length(), 1.0f, 1e-5f);
    EXPECT_NEAR(n.dot(t), 0.0f, 1e-5f);
    EXPECT_TRUE(oxIsEqual(t, oxVec3f(2, 1, 0).normalized()));
    oxMatrix44f singular;
    singular.makeScale(oxVec3f(0, 1, 1));
    WarningCatcher warnings;
    EXPECT_FALSE(va->transform(singular));
    EXPECT_TRUE(oxIsEqual(va->getPosition(0), oxVec3f(2, 1, 5)));
}

TEST(oxVertexArray, ExtentCoversEveryPosition)
{
    oxSmartPointer<oxVertexArray> va = oxVertexArray::_instantiateRef();
    ASSERT_TRUE(va->configure(oxVertexFormat::kPositions, 3));
    va->setPosition(0, {-1, 2, 0});
    va->setPosition(1, {3, -4, 1});
    va->setPosition(2, {0, 0, -2});
    oxBox3f box;
    ASSERT_TRUE(va->extendBox(box));
    EXPECT_EQ(box.min, oxVec3f(-1, -4, -2));
    EXPECT_EQ(box.max, oxVec3f(3, 2, 1));
    oxSmartPointer<oxVertexArray> empty = oxVertexArray::_instantiateRef();
    oxBox3f none;
    EXPECT_FALSE(empty->extendBox(none));
    EXPECT_TRUE(none.isEmpty());
}

TEST(oxVertexArray, CopyingOverAnArrayChangesItsVersion)
{
    // Whoever keeps something made from the vertices (a device copy, a search structure)
    // goes by the version: vertices copied in are new vertices.
    oxSmartPointer<oxVertexArray> from = oxVertexArray::_instantiateRef();
    ASSERT_TRUE(from->configure(oxVertexFormat::kPositions, 2));
    from->setPosition(1, {5, 5, 5});
    oxSmartPointer<oxVertexArray> to = oxVertexArray::_instantiateRef();
    ASSERT_TRUE(to->configure(oxVertexFormat::kPositions, 2));
    for (auto method : {Kel::Core::oxObject::kShallowCopy, Kel::Core::oxObject::kDeepCopy}) {
        const uint32_t before = to->getVersion();
        ASSERT_EQ(to->copy(from, method), Kel::Core::kSuccess);
        EXPECT_NE(to->getVersion(), before);
        EXPECT_EQ(to->getPosition(1), oxVec3f(5, 5, 5));
    }
    oxSmartPointer<oxVertexArray2> from2 = oxVertexArray2::_instantiateRef();
    from2->setVertexCount(2);
    oxSmartPointer<oxVertexArray2> to2 = oxVertexArray2::_instantiateRef();
    const uint32_t before = to2->getVersion();
    ASSERT_EQ(to2->copy(from2), Kel::Core::kSuccess);
    EXPECT_NE(to2->getVersion(), before);
}

TEST(oxVertexArray, PackedColoursRoundTrip)
{
    EXPECT_EQ(oxVertexArray::packColor({1, 0, 0, 1}), 0xFF0000FFu);
    EXPECT_EQ(oxVertexArray::packColor({2, -1, 0, 0}), 0x000000FFu);
    oxVec4f c = oxVertexArray::unpackColor(0x80402010u);
    EXPECT_FLOAT_EQ(c.x, 16 / 255.0f);
    EXPECT_FLOAT_EQ(c.w, 128 / 255.0f);
    for (uint32_t v : {0u, 0xFFFFFFFFu, 0x12345678u, 0x80FF0001u})
        EXPECT_EQ(oxVertexArray::packColor(oxVertexArray::unpackColor(v)), v);
}

TEST(oxVertexArray2, ComponentsAreFoundByTypeAndIndex)
{
    oxSmartPointer<oxVertexArray2> va = oxVertexArray2::_instantiateRef();
    ASSERT_TRUE(va->setVertexCount(4));
    oxVertexData* positions = va->addVertexData(OX_GFX_COMPONENT_POSITION, 0, OX_GFX_SCALAR_FLOAT, 3);
    oxVertexData* set1 = va->addVertexData(OX_GFX_COMPONENT_TEXCOORD, 1, OX_GFX_SCALAR_FLOAT, 2);
    ASSERT_TRUE(positions && set1);
    EXPECT_EQ(positions->getCount(), 4);
    EXPECT_EQ(positions->getElementSize(), 12);
    EXPECT_EQ(va->findVertexData(OX_GFX_COMPONENT_POSITION, 0), positions);
    EXPECT_EQ(va->findVertexData(OX_GFX_COMPONENT_TEXCOORD, 1), set1);
    EXPECT_EQ(va->findVertexData(OX_GFX_COMPONENT_TEXCOORD, 0), nullptr);
    EXPECT_EQ(va->findVertexData(5, 0), nullptr);
    oxVertexStream s = va->getStream(OX_GFX_COMPONENT_POSITION);
    ASSERT_TRUE(s.isValid());
    EXPECT_EQ(s.stride, 12);
    // Set 1 without set 0 does not count as texture coordinates in the interleaved terms.
    EXPECT_EQ(va->getFormat(), oxVertexFormat(oxVertexFormat::kPositions));
    va->addVertexData(OX_GFX_COMPONENT_BLEND_WEIGHT, 0, OX_GFX_SCALAR_FLOAT, 2);
    EXPECT_EQ(va->getFormat().getBlendWeightCount(), 2);

    ASSERT_TRUE(va->setVertexCount(6));
    EXPECT_EQ(positions->getCount(), 6);
    oxVertexData* replaced = va->addVertexData(OX_GFX_COMPONENT_POSITION, 0, OX_GFX_SCALAR_SHORT, 4);
    EXPECT_EQ(va->getVertexDataList()->getCount(), 3);
    EXPECT_EQ(va->findVertexData(OX_GFX_COMPONENT_POSITION, 0), replaced);
    EXPECT_TRUE(va->removeVertexData(OX_GFX_COMPONENT_POSITION, 0));
    EXPECT_FALSE(va->removeVertexData(OX_GFX_COMPONENT_POSITION, 0));
    WarningCatcher warnings;
    EXPECT_EQ(va->addVertexData(OX_GFX_COMPONENT_NORMAL, 0, OX_GFX_SCALAR_FLOAT, 0), nullptr);
    EXPECT_EQ(warnings.count(), 1u);
}

TEST(oxVertexArray2, AComponentShorterThanTheVertexCountIsNotAStream)
{
    oxSmartPointer<oxVertexArray2> va = oxVertexArray2::_instantiateRef();
    va->setVertexCount(3);
    oxVertexData* p = va->addVertexData(OX_GFX_COMPONENT_POSITION, 0, OX_GFX_SCALAR_FLOAT, 3);
    ASSERT_TRUE(p->resize(2));
    EXPECT_FALSE(va->getStream(OX_GFX_COMPONENT_POSITION).isValid());
}

TEST(oxComponentEditInfo, AnEditMarksTheArrayOnlyWhenItChangedSomething)
{
    oxSmartPointer<oxVertexArray> va = oxVertexArray::_instantiateRef();
    ASSERT_TRUE(va->configure(kPNC, 2));
    oxSmartPointer<oxComponentEditInfo> edit = oxComponentEditInfo::_instantiateRef();
    uint32_t version = va->getVersion();

    ASSERT_TRUE(edit->begin(va, OX_GFX_COMPONENT_NORMAL, 0, oxComponentEditInfo::kWrite));
    EXPECT_EQ(va->getOpenEditCount(), 1);
    EXPECT_EQ(edit->getCount(), 2);
    EXPECT_EQ(edit->getStride(), va->getStride());
    oxVec3f up(0, 0, 1);
    std::memcpy(edit->getElement(1), &up, sizeof up);
    EXPECT_EQ(edit->getElement(2), nullptr);
    edit->end(true);
    EXPECT_EQ(va->getOpenEditCount(), 0);
    EXPECT_EQ(va->getNormal(1), up);
    EXPECT_EQ(va->getVersion(), version + 1);

    ASSERT_TRUE(edit->begin(va, OX_GFX_COMPONENT_POSITION, 0, oxComponentEditInfo::kRead));
    edit->end(true);
    EXPECT_EQ(va->getVersion(), version + 1);
    EXPECT_FALSE(edit->isOpen());
    EXPECT_EQ(edit->getElement(0), nullptr);
}

TEST(oxComponentEditInfo, OpeningTwiceOrAMissingComponentFails)
{
    oxSmartPointer<oxVertexArray> va = oxVertexArray::_instantiateRef();
    ASSERT_TRUE(va->configure(oxVertexFormat::kPositions, 2));
    oxSmartPointer<oxComponentEditInfo> edit = oxComponentEditInfo::_instantiateRef();
    EXPECT_FALSE(edit->begin(va, OX_GFX_COMPONENT_TANGENT, 0, oxComponentEditInfo::kRead));
    EXPECT_FALSE(edit->begin(nullptr, OX_GFX_COMPONENT_POSITION, 0, oxComponentEditInfo::kRead));
    ASSERT_TRUE(edit->begin(va, OX_GFX_COMPONENT_POSITION, 0, oxComponentEditInfo::kRead));
    WarningCatcher warnings;
    EXPECT_FALSE(edit->begin(va, OX_GFX_COMPONENT_POSITION, 0, oxComponentEditInfo::kRead));
    EXPECT_TRUE(warnings.contains("already open"));
    // Releasing an open edit closes it.
    edit = nullptr;
    EXPECT_EQ(va->getOpenEditCount(), 0);
}

TEST(oxDrawDescription, ElementCountsFollowThePrimitiveKinds)
{
    oxSmartPointer<oxVertexArray> va = oxVertexArray::_instantiateRef();
    ASSERT_TRUE(va->configure(oxVertexFormat::kPositions, 10));
    oxSmartPointer<oxPrimLengthArray> lengths = oxPrimLengthArray::_instantiateRef();
    lengths->append(4);
    lengths->append(5);
    oxDrawDescription d;
    d.vertices = va;
    d.primitiveType = OX_GFX_DRAW_TRIANGLES;
    d.primitiveCount = 3;
    EXPECT_EQ(d.countElements(), 9);
    d.primitiveType = OX_GFX_DRAW_LINES;
    d.primitiveCount = 5;
    EXPECT_EQ(d.countElements(), 10);
    d.primitiveType = OX_GFX_DRAW_TRIANGLE_STRIPS;
    d.primitiveCount = 2;
    d.lengths = lengths;
    EXPECT_EQ(d.countElements(), 9);
    d.lengths = nullptr;
    d.primitiveCount = 1;
    d.firstVertex = 4;
    EXPECT_EQ(d.countElements(), 6);

    WarningCatcher warnings;
    d.primitiveCount = 2;
    EXPECT_EQ(d.countElements(), -1);
    d.primitiveType = OX_GFX_DRAW_TRIANGLES;
    d.firstVertex = 2;
    d.primitiveCount = 3;
    EXPECT_EQ(d.countElements(), -1);
    EXPECT_TRUE(warnings.contains("more elements"));
}

TEST(oxDrawDescription, IndicesMustStayInsideTheVertices)
{
    oxSmartPointer<oxVertexArray> va = oxVertexArray::_instantiateRef();
    ASSERT_TRUE(va->configure(oxVertexFormat::kPositions, 4));
    oxSmartPointer<oxIndexArray> indices = Kel::Gfx::TestUtil::makeIndices({0, 1, 2, 2, 1, 3});
    oxDrawDescription d;
    d.vertices = va;
    d.indices = indices;
    d.primitiveType = OX_GFX_DRAW_TRIANGLES;
    d.primitiveCount = 2;
    EXPECT_EQ(d.countElements(), 6);
    WarningCatcher warnings;
    d.firstVertex = 1;
    EXPECT_EQ(d.countElements(), -1);
    EXPECT_TRUE(warnings.contains("index beyond"));
    d.firstVertex = 0;
    oxSmartPointer<oxVertexArray> noPositions = oxVertexArray::_instantiateRef();
    noPositions->configure(oxVertexFormat::kNormals, 4);
    d.vertices = noPositions;
    EXPECT_EQ(d.countElements(), -1);
    EXPECT_TRUE(warnings.contains("no positions"));
}

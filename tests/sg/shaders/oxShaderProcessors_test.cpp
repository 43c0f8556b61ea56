// The processors that animate a simple shader's state: the flip-book texture, the
// billboard turn and the projected texture.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/sg/shaders/oxShaderTestSupport.h"

using namespace shadertest;
using Kel::Gfx::oxImage;

namespace {

class ProcessorTest : public ShaderDrawTest {
protected:
    // A 4 by 4 flip-book of 16 cells at `fps`, with both matrices and the blend factor.
    oxSmartPointer<oxTextureTransformMovieProcessor> movie(float fps)
    {
        oxSmartPointer<oxTextureTransformMovieProcessor> p = oxTextureTransformMovieProcessor::_instantiateRef();
        p->setCellCount(4, 4, 16);
        p->setFramesPerSecond(fps);
        p->setCurrentTextureMatrix(oxTextureMatrixAttr::_instantiateRef());
        p->setNextTextureMatrix(oxTextureMatrixAttr::_instantiateRef());
        p->setBlendFactor(oxVectorConstantAttr::_instantiateRef());
        p->setInterpolateFrames(true);
        return p;
    }
    struct Cells {
        int cell, next;
        float fraction;
    };
    static Cells at(oxTextureTransformMovieProcessor* p, int64_t t)
    {
        Cells c{};
        EXPECT_EQ(p->getAnimationCells(t, c.cell, c.next, c.fraction), c.cell);
        return c;
    }
};

constexpr int64_t kSecond = 1000000000;

} // namespace

TEST_F(ProcessorTest, MovieShowsTheCellDueAndTheNextWithTheTimeSpent)
{
    oxSmartPointer<oxTextureTransformMovieProcessor> p = movie(8);
    ASSERT_TRUE(p->configure(nullptr, nullptr));
    EXPECT_FLOAT_EQ(p->getSecondsPerFrame(), 0.125f);
    EXPECT_FLOAT_EQ(p->getSecondsPerCycle(), 2.0f);
    EXPECT_FLOAT_EQ(p->getCurrentTextureMatrix()->getMatrix().m[0][0], 0.25f) << "scaled to one cell";
    EXPECT_FLOAT_EQ(p->getNextTextureMatrix()->getMatrix().m[1][1], 0.25f);

    // The shader draws with the processor: the first draw shows the cycle's start.
    oxSmartPointer<oxSimpleShader> shader = oxSimpleShader::_instantiateRef();
    oxSmartPointer<oxAttrList> pass = oxAttrList::_instantiateRef();
    pass->append(p->getCurrentTextureMatrix());
    shader->getShaderData()->appendPass(pass, pass, nullptr);
    shader->setShaderProcessor(p);
    shader->appendChild(log.probe("a"));
    frame(shader, 5 * kSecond);
    ASSERT_TRUE(shader->isConfigured());
    EXPECT_EQ(p->getCurrentTextureMatrix()->getMatrix().getTranslation(), oxVec3f(0, 0.75f, 0)) << "top-left cell";
    EXPECT_EQ(p->getNextTextureMatrix()->getMatrix().getTranslation(), oxVec3f(0.25f, 0.75f, 0));

    // 1.3 s later: cell 10 (column 2, row 2), 0.4 of it spent, cell 11 next.
    frame(shader, 5 * kSecond + 1300000000);
    EXPECT_EQ(p->getCurrentTextureMatrix()->getMatrix().getTranslation(), oxVec3f(0.5f, 0.25f, 0));
    EXPECT_EQ(p->getNextTextureMatrix()->getMatrix().getTranslation(), oxVec3f(0.75f, 0.25f, 0));
    const oxVec4f blend = p->getBlendFactor()->getVector();
    EXPECT_NEAR(blend.x, 0.4f, 1e-3f);
    EXPECT_EQ(blend.x, blend.z);
    EXPECT_EQ(blend.w, 1.0f);
    EXPECT_FLOAT_EQ(p->getCurrentTextureMatrix()->getMatrix().m[0][0], 0.25f) << "only the translation moves";

    // 3.4 s in, once around the 2 s cycle: cell 11 (column 3, row 2).
    frame(shader, 5 * kSecond + 3400000000);
    EXPECT_EQ(p->getCurrentTextureMatrix()->getMatrix().getTranslation(), oxVec3f(0.75f, 0.25f, 0));
    EXPECT_EQ(p->getNextTextureMatrix()->getMatrix().getTranslation(), oxVec3f(0, 0, 0)) << "cell 12";
    int column = 0, row = 0;
    p->getCellLocationFromCellIndex(13, column, row);
    EXPECT_EQ(column, 1);
    EXPECT_EQ(row, 3);
}

TEST_F(ProcessorTest, MovieTimeIsCountedInWholeUnitsSoABoundaryShowsTheCellBefore)
{
    oxSmartPointer<oxTextureTransformMovieProcessor> p = movie(8);
    ASSERT_TRUE(p->configure(nullptr, nullptr));
    at(p, kSecond);
    // Exactly one cell's time later: 125 ms is not a whole number of 262144 ns units.
    Cells c = at(p, kSecond + 125000000);
    EXPECT_EQ(c.cell, 0);
    EXPECT_EQ(c.next, 1);
    EXPECT_GT(c.fraction, 0.99f);
    // A time that is a whole number of units past the cell's end shows the next cell.
    c = at(p, kSecond + 125000000 + 262144);
    EXPECT_EQ(c.cell, 1);
}

TEST_F(ProcessorTest, MovieRunsBackwardsAtANegativeRateAndHoldsAtZero)
{
    oxSmartPointer<oxTextureTransformMovieProcessor> p = movie(-8);
    ASSERT_TRUE(p->configure(nullptr, nullptr));
    at(p, kSecond);
    std::vector<int> cells;
    Cells c{};
    for (int step = 1; step <= 4; ++step) {
        c = at(p, kSecond + int64_t(step) * 125000000 + 10000000);
        cells.push_back(c.cell);
        // The cycle time stays positive: the next cell is the one after in the grid's
        // order, which backwards play has just shown, and the fraction is negative.
        EXPECT_EQ(c.next, (c.cell + 1) % 16);
        EXPECT_NEAR(c.fraction, -0.08f, 0.01f);
    }
    EXPECT_EQ(cells, (std::vector<int>{15, 14, 13, 12}));
    // Around the cycle: cell 0 comes back, its next cell 1.
    c = at(p, kSecond + 2 * kSecond + 60000000);
    EXPECT_EQ(c.cell, 0);
    EXPECT_EQ(c.next, 1);

    // At rate 0 the cell and the fraction stay as they were.
    oxSmartPointer<oxTextureTransformMovieProcessor> q = movie(8);
    ASSERT_TRUE(q->configure(nullptr, nullptr));
    at(q, kSecond);
    const Cells before = at(q, kSecond + 700000000);
    // Set through the field's description, the rate's derived lengths follow.
    ASSERT_TRUE(oxTextureTransformMovieProcessor::getClassTypeSafe()->setFieldFromText(q, "_framesPerSecond", "0"));
    EXPECT_EQ(q->getSecondsPerFrame(), 0.0f);
    EXPECT_EQ(q->getSecondsPerCycle(), 0.0f);
    for (int64_t t : {kSecond + 900000000, 3 * kSecond}) {
        const Cells held = at(q, t);
        EXPECT_EQ(held.cell, before.cell);
        EXPECT_EQ(held.fraction, before.fraction);
    }
    EXPECT_EQ(before.cell, 5);

    // A grid without cells is a caller's error, refused at configuration.
    oxSmartPointer<oxTextureTransformMovieProcessor> bad = movie(8);
    bad->setCellCount(0, 4, 16);
    EXPECT_FALSE(bad->configure(nullptr, nullptr));
}

TEST_F(ProcessorTest, BillboardProcessorTurnsTheShadersSubtreeLikeABillboardNode)
{
    // The same billboard as a node and as a processor, under the same transform and view.
    oxMatrix44f view;
    view.lookAt(oxVec3f(3, 2, 10), oxVec3f(0, 0, 0), oxVec3f(0, 1, 0));
    traversal->setViewMatrix(view);
    oxMatrix44f move;
    move.makeTranslation(oxVec3f(1, 0, -2));

    for (int mode = oxBillboardProcessor::ABOUT_UP; mode <= oxBillboardProcessor::ABOUT_POINT_EYE_UP; ++mode) {
        oxSmartPointer<oxBillboardProcessor> p = oxBillboardProcessor::_instantiateRef();
        p->setMode(oxBillboardProcessor::BillboardMode(mode));
        p->setOrigin(oxVec3f(0, 0.5f, 0));
        oxSmartPointer<oxModelViewMatrixAttr> mvm = log.attr<oxModelViewMatrixAttr>("turned");
        p->setModelViewMatrix(mvm);
        oxSmartPointer<oxSimpleShader> shader = oxSimpleShader::_instantiateRef();
        oxSmartPointer<oxAttrList> pass = oxAttrList::_instantiateRef();
        pass->append(mvm);
        shader->getShaderData()->appendPass(pass, pass, nullptr);
        shader->setShaderProcessor(p);
        shader->appendChild(log.probe("leaf"));

        oxSmartPointer<oxBillboard> node = oxBillboard::_instantiateRef();
        node->setMode(oxBillboard::Mode(mode));
        node->setAxis(p->getAxis());
        node->setOrigin(oxVec3f(0, 0.5f, 0));

        oxSmartPointer<oxTransform> transform = oxTransform::_instantiateRef();
        transform->setMatrix(&move);
        transform->appendChild(shader);
        transform->appendChild(node);
        frame(transform);
        EXPECT_EQ(log.only("visit"), (std::vector<std::string>{"leaf [turned - - -]"})) << mode;
        ASSERT_NE(node->getCachedAttr(), nullptr);
        const oxMatrix44f& a = mvm->getMatrix();
        const oxMatrix44f& b = node->getCachedAttr()->getMatrix();
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                EXPECT_NEAR(a.m[i][j], b.m[i][j], 1e-5f) << "mode " << mode << " [" << i << "][" << j << "]";
    }
    oxSmartPointer<oxBillboardProcessor> defaults = oxBillboardProcessor::_instantiateRef();
    EXPECT_EQ(defaults->getMode(), oxBillboardProcessor::ABOUT_POINT_EYE_UP);
    EXPECT_EQ(defaults->getAxis(), oxVec3f(0, 1, 0));
}

TEST_F(ProcessorTest, ProjectorMapsItsConeOntoTheTexture)
{
    oxSmartPointer<oxProjectiveTextureProcessor> p = oxProjectiveTextureProcessor::_instantiateRef();
    EXPECT_FALSE(p->configure(nullptr, nullptr)) << "nothing to project";
    p->setTextureMatrix(oxTextureMatrixAttr::_instantiateRef());
    oxSmartPointer<oxTextureAttr> texture = oxTextureAttr::_instantiateRef();
    p->setLightMapTexture(texture);
    EXPECT_FALSE(p->configure(nullptr, nullptr)) << "a texture without an image";
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    ASSERT_TRUE(image->allocateImageMemory(4, 4, Kel::Gfx::OX_GFX_PIXEL_INDEX8));
    texture->setImage(image, 0);

    // The shader sits under a light-state set whose first active light it follows.
    oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();
    light->setType(Kel::Gfx::OX_GFX_LIGHT_SPOT);
    light->setPosition(oxVec3f(0, 0, 0));
    light->setDirection(oxVec3f(0, 0, -1));
    light->setCutoff(45);
    oxSmartPointer<oxLightStateAttr> on = oxLightStateAttr::_instantiateRef();
    on->setLight(light);
    on->setEnabled(true);
    oxSmartPointer<oxLightStateSet> lights = oxLightStateSet::_instantiateRef();
    lights->appendLightStateAttr(on);
    oxSmartPointer<oxSimpleShader> shader = oxSimpleShader::_instantiateRef();
    oxSmartPointer<oxAttrList> pass = oxAttrList::_instantiateRef();
    pass->append(p->getTextureMatrix());
    shader->getShaderData()->appendPass(pass, pass, nullptr);
    shader->setShaderProcessor(p);
    lights->appendChild(shader);
    p->setUpVector(oxVec3f(0, 1, 0));

    frame(lights);
    ASSERT_TRUE(shader->isConfigured());
    EXPECT_EQ(p->getLight(), light.get());
    EXPECT_EQ(image->getFormat(), Kel::Gfx::OX_GFX_PIXEL_RGBA8) << "the palette image was expanded";
    EXPECT_EQ(p->getCutOffAngle(), 45.0f);

    // With the identity view, eye space is world space. A 45-degree cut-off is a 90-degree
    // field of view: points on the cone's edge reach the texture's borders.
    const oxMatrix44f& m = p->getTextureMatrix()->getMatrix();
    auto st = [&](const oxVec3f& point) {
        const oxVec4f r = m.transform(oxVec4f(point, 1));
        return oxVec3f(r.x / r.w, r.y / r.w, r.z / r.w);
    };
    EXPECT_NEAR(st(oxVec3f(0, 0, -5)).x, 0.5f, 1e-5f);
    EXPECT_NEAR(st(oxVec3f(0, 0, -5)).y, 0.5f, 1e-5f);
    EXPECT_NEAR(st(oxVec3f(5, 0, -5)).x, 1.0f, 1e-5f);
    EXPECT_NEAR(st(oxVec3f(-2, 0, -2)).x, 0.0f, 1e-5f);
    EXPECT_NEAR(st(oxVec3f(0, 3, -3)).y, 0.0f, 1e-5f) << "up is the top of the texture";
    EXPECT_NEAR(st(oxVec3f(0, -3, -3)).y, 1.0f, 1e-5f);
    EXPECT_NEAR(st(oxVec3f(0, 3, -3)).z, 1.0f, 1e-5f) << "r = q";

    // The light moves and narrows: the projector follows; a camera moved away leaves the
    // projection where it is in the world.
    light->setPosition(oxVec3f(10, 0, 0));
    light->setCutoff(30);
    oxMatrix44f view;
    view.makeTranslation(oxVec3f(0, -4, -7));
    traversal->setViewMatrix(view);
    frame(lights);
    const float edge = 5 * std::tan(30.0f * 3.14159265f / 180.0f);
    const oxVec3f worldPoint(10 + edge, 0, -5);
    const oxVec3f eyePoint = view.transformPoint(worldPoint);
    EXPECT_NEAR(st(eyePoint).x, 1.0f, 1e-4f);
    EXPECT_NEAR(st(eyePoint).y, 0.5f, 1e-4f);
}

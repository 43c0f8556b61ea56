// The view window's viewer without a window: its frames on a headless device against what
// oxsg render draws, its camera, keys and picks, and the scripts that drive it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/platform/gfx/oxGfxTestUtil.h"
#include "tools/oxsg/demoScene.h"
#include "tools/oxsg/viewScript.h"
#include "tools/oxsg/viewer.h"

using namespace Kel::Sg;
using namespace Kel::Gfx;
using oxsg::Viewer;

namespace {

class ViewerTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 320, kHeight = 240;

    static void SetUpTestSuite()
    {
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        Kel::Sg::oxArkRegisterForOXBFiles();
    }

    void SetUp() override
    {
        TestUtil::WarningCatcher warnings;
        vc = oxGLVisualContext::create(kWidth, kHeight);
        if (!vc)
            GTEST_SKIP() << "no OpenGL device";
        viewer.resize(kWidth, kHeight);
        std::string error;
        ASSERT_TRUE(viewer.load({"--demo"}, error)) << error;
    }

    void TearDown() override { viewer.releaseDevice(); }

    oxSmartPointer<oxImage> frame()
    {
        viewer.draw(vc, report);
        oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
        EXPECT_TRUE(vc->readPixels(0, 0, kWidth, kHeight, image));
        return image;
    }

    oxSmartPointer<oxGLVisualContext> vc;
    Viewer viewer;
    oxsg::FrameReport report;
};

// Frames a 30th of a second apart from 0 end as oxsg render's one frame at that time does.
TEST_F(ViewerTest, DrawsWhatRenderDrawsAndCountsTheFrame)
{
    for (int i = 0; i < 45; ++i) {
        frame();
        viewer.advance(oxsg::kFrameStep);
    }
    const oxSmartPointer<oxImage> shown = frame();
    EXPECT_GT(report.packages, 10);
    EXPECT_GT(report.stateChanges, report.packages / 2);
    EXPECT_GT(report.drawSeconds, 0);

    oxSmartPointer<oxGLVisualContext> other = oxGLVisualContext::create(kWidth, kHeight);
    ASSERT_TRUE(other);
    oxSmartPointer<oxNode> demo = oxsg::buildDemoScene();
    oxBoundingBoxesMaker::_instantiateRef()->apply(demo);
    oxSmartPointer<oxCommonTraversal> draw = oxFrustCullTraversal::_instantiateRef();
    draw->setVisualContext(other);
    draw->getSorter()->setMode(oxSorter::SORT_OPAQUE_TEXTURE | oxSorter::SORT_TRANSPARENT_DISTANCE);
    oxsg::viewScene(demo, float(kWidth) / kHeight, draw);
    oxsg::drawFrame(demo, draw, other, 45 * oxsg::kFrameStep);
    oxSmartPointer<oxImage> rendered = oxImage::_instantiateRef();
    ASSERT_TRUE(other->readPixels(0, 0, kWidth, kHeight, rendered));
    const oxImageDifference d = oxCompareImages(*shown, *rendered);
    EXPECT_EQ(d.differingPixels, 0) << "by up to " << d.largestChannelDifference;
    draw->setVisualContext(nullptr);
}

// Keys change the picture and change it back; time moves only while playing.
TEST_F(ViewerTest, KeysTurnThingsOffAndOnAgain)
{
    const oxSmartPointer<oxImage> before = frame();
    const int packages = report.packages;
    for (int key : {'l', 'b', 'w', 'c'}) {
        viewer.key(key);
        const oxSmartPointer<oxImage> changed = frame();
        if (key != 'w') {  // wireframe is the window's polygon mode, not the frame's
            EXPECT_FALSE(oxCompareImages(*before, *changed).isSlight()) << char(key);
        }
        if (key == 'b') {
            EXPECT_EQ(report.packages, packages + 1) << "the bounds are one package of lines";
        }
        viewer.key(key);  // for `c`: past the demo's one camera the free one, then the camera again
        EXPECT_EQ(oxCompareImages(*before, *frame()).differingPixels, 0) << char(key);
    }
    EXPECT_TRUE(viewer.wireframe() == false);
    viewer.key(' ');
    viewer.advance(oxsg::kFrameStep);
    EXPECT_EQ(viewer.getTime(), 0) << "paused";
    viewer.key(Viewer::KEY_RIGHT);
    viewer.key(Viewer::KEY_RIGHT);
    viewer.key(Viewer::KEY_LEFT);
    EXPECT_NEAR(viewer.getTime(), 1.0 / 30, 1e-6);
    viewer.key(' ');
    viewer.advance(oxsg::kFrameStep);
    EXPECT_NEAR(viewer.getTime(), 2.0 / 30, 1e-6);
    viewer.key('s');
    EXPECT_TRUE(viewer.takeScreenshotRequest());
    EXPECT_FALSE(viewer.takeScreenshotRequest());
    EXPECT_FALSE(viewer.quitRequested());
    viewer.key(Viewer::KEY_ESCAPE);
    EXPECT_TRUE(viewer.quitRequested());
}
// Dragging turns and pans, the wheel zooms, `f` frames the scene again; a click in place
// picks instead, and a double click turns the view about the point hit.
TEST_F(ViewerTest, TheMouseMovesTheCameraAndPicks)
{
    const oxSmartPointer<oxImage> start = frame();
    viewer.key('f');
    const oxSmartPointer<oxImage> framed = frame();
    testing::internal::CaptureStdout();
    viewer.move(5, 5);  // the sky
    viewer.press(Viewer::LEFT);
    viewer.move(6, 6);
    viewer.release(Viewer::LEFT, 10);  // a click, not a drag: the view stays
    EXPECT_EQ(oxCompareImages(*framed, *frame()).differingPixels, 0);
    viewer.press(Viewer::LEFT);
    viewer.move(160, 100);
    viewer.release(Viewer::LEFT, 20);
    const oxSmartPointer<oxImage> turned = frame();
    EXPECT_FALSE(oxCompareImages(*framed, *turned).isSlight());
    viewer.scroll(3);
    EXPECT_FALSE(oxCompareImages(*turned, *frame()).isSlight());
    viewer.press(Viewer::RIGHT);
    viewer.move(160, 140);
    viewer.release(Viewer::RIGHT, 30);
    viewer.key('f');
    EXPECT_EQ(oxCompareImages(*framed, *frame()).differingPixels, 0) << "f frames the scene as it was framed";

    viewer.move(kWidth / 2, kHeight / 2 + 10);
    viewer.press(Viewer::LEFT);
    viewer.release(Viewer::LEFT, 41);
    const int before = report.packages;
    frame();
    EXPECT_EQ(report.packages, before + 1) << "the picked node's bound shows";
    viewer.press(Viewer::LEFT);
    viewer.release(Viewer::LEFT, 41.2);  // the second click of a double click
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("picked nothing at (6, 6)"), std::string::npos) << out;
    EXPECT_NE(out.find("picked /courtyard(oxGroup)/"), std::string::npos) << out;
    EXPECT_NE(out.find("class oxGeometry"), std::string::npos) << out;
    EXPECT_FALSE(oxCompareImages(*framed, *frame()).isSlight()) << "the double click turned the view";
    EXPECT_FALSE(oxCompareImages(*start, *framed).isSlight()) << "the demo's camera is not the free one";
}

TEST(ViewScript, ReadsEventsAndNamesTheLineOfAMistake)
{
    std::vector<oxsg::ScriptEvent> events;
    std::string error;
    ASSERT_TRUE(oxsg::parseScript("# a comment\n0 move 10 20\n0.5 press right  # trailing\n\n"
                                  "0.5 key space\n0.7 key W\n1 double-click 3 4\n2 scroll -1.5\n"
                                  "2 screenshot a.png\n3 quit\n",
                                  events, error))
        << error;
    ASSERT_EQ(events.size(), 8u);
    EXPECT_EQ(events[0].kind, oxsg::ScriptEvent::MOVE);
    EXPECT_EQ(events[0].y, 20);
    EXPECT_EQ(events[1].code, oxsg::Viewer::RIGHT);
    EXPECT_EQ(events[1].line, 3);
    EXPECT_EQ(events[2].code, ' ');
    EXPECT_EQ(events[3].code, 'W');
    EXPECT_EQ(events[4].kind, oxsg::ScriptEvent::DOUBLE_CLICK);
    EXPECT_EQ(events[5].x, -1.5);
    EXPECT_EQ(events[6].text, "a.png");
    EXPECT_EQ(events[7].seconds, 3);

    const std::pair<const char*, const char*> wrong[] = {
        {"1 move 2\n", "1: move needs X and Y"},
        {"0 key left\nx quit\n", "2: 'x' is not a time in seconds"},
        {"2 quit\n1 quit\n", "2: time goes back"},
        {"0 key f1\n", "1: unknown key 'f1'"},
        {"0 press thumb\n", "1: press needs left, right or middle"},
        {"0 quit now\n", "1: unexpected 'now' after quit"},
        {"-1 quit\n", "1: '-1' is not a time in seconds"},
        {"0 screenshot\n", "1: screenshot needs a file"},
        {"5\n", "1: no event after the time"},
    };
    for (const auto& [text, message] : wrong) {
        events.clear();
        EXPECT_FALSE(oxsg::parseScript(text, events, error)) << text;
        EXPECT_EQ(error, message) << text;
    }
}

} // namespace

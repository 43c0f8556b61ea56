// oxsg view: a window on one or more scenes, through GLFW. The window only turns its events
// into the viewer's and shows the viewer's frames; everything else is the viewer's.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/core/oxCoreLibrary.h"
#include "tools/oxsg/oxsgCommand.h"
#include "tools/oxsg/sceneInput.h"
#include "tools/oxsg/viewScript.h"
#include "tools/oxsg/viewer.h"

#ifdef OXSG_HAVE_GLFW
#include <GLFW/glfw3.h>
#endif

namespace {

using namespace Kel::Gfx;
using Kel::Core::oxSmartPointer;

const char* const kUsage = "usage: oxsg view (FILE... | --demo) [--size WxH] [--script FILE]";

int fail(int status, const std::string& message)
{
    std::fprintf(stderr, "oxsg view: %s\n", message.c_str());
    return status;
}

struct Options {
    std::vector<std::string> files;
    int width = 1024, height = 768;
    const char* script = nullptr;
};

std::string parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool takesValue = arg == "--size" || arg == "--script";
        if (takesValue && i + 1 >= argc)
            return arg + " needs a value";
        const char* value = takesValue ? argv[++i] : nullptr;
        if (arg == "--demo") {
            o.files.push_back(arg);
        } else if (arg == "--size") {
            if (!oxsg::parseSize(value, o.width, o.height))
                return std::string("bad size '") + value + "' (WIDTHxHEIGHT, 1 to " + std::to_string(oxsg::kMaxSide) +
                       " each)";
        } else if (arg == "--script") {
            o.script = value;
        } else if (arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else {
            o.files.push_back(arg);
        }
    }
    if (o.files.empty())
        return "give a scene file, a model or --demo";
    return {};
}

bool readScript(const char* path, std::vector<oxsg::ScriptEvent>& events, std::string& error)
{
    std::ifstream in(path);
    std::stringstream text;
    if (!in || !(text << in.rdbuf())) {
        error = std::string(path) + ": cannot read the script";
        return false;
    }
    if (!oxsg::parseScript(text.str(), events, error)) {
        error = std::string(path) + ":" + error;
        return false;
    }
    return true;
}

#ifdef OXSG_HAVE_GLFW

std::string g_glfwError;

// The first free name oxsg-view-N.png in the working folder.
std::string screenshotName()
{
    for (int n = 1;; ++n) {
        const std::string name = "oxsg-view-" + std::to_string(n) + ".png";
        struct stat st;
        if (stat(name.c_str(), &st) != 0)
            return name;
    }
}

double seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The viewer and the window's scale from screen units to frame-buffer pixels, for GLFW's
// plain callbacks.
struct Window {
    oxsg::Viewer viewer;
    GLFWwindow* window = nullptr;
    double scaleX = 1, scaleY = 1;
};

Window* of(GLFWwindow* w)
{
    return static_cast<Window*>(glfwGetWindowUserPointer(w));
}

void installCallbacks(GLFWwindow* window)
{
    glfwSetCursorPosCallback(window, [](GLFWwindow* w, double x, double y) {
        of(w)->viewer.move(x * of(w)->scaleX, y * of(w)->scaleY);
    });
    glfwSetMouseButtonCallback(window, [](GLFWwindow* w, int button, int action, int) {
        const oxsg::Viewer::Button b = button == GLFW_MOUSE_BUTTON_LEFT    ? oxsg::Viewer::LEFT
                                       : button == GLFW_MOUSE_BUTTON_RIGHT ? oxsg::Viewer::RIGHT
                                                                           : oxsg::Viewer::MIDDLE;
        if (action == GLFW_PRESS)
            of(w)->viewer.press(b);
        else
            of(w)->viewer.release(b, seconds());
    });
    glfwSetScrollCallback(window, [](GLFWwindow* w, double, double y) { of(w)->viewer.scroll(y); });
    glfwSetKeyCallback(window, [](GLFWwindow* w, int key, int, int action, int) {
        if (action == GLFW_RELEASE)
            return;
        if (key == GLFW_KEY_LEFT || key == GLFW_KEY_RIGHT)
            of(w)->viewer.key(key == GLFW_KEY_LEFT ? oxsg::Viewer::KEY_LEFT : oxsg::Viewer::KEY_RIGHT);
        else if (action == GLFW_REPEAT)
            return;
        else if (key == GLFW_KEY_ESCAPE)
            of(w)->viewer.key(oxsg::Viewer::KEY_ESCAPE);
        else if (key == GLFW_KEY_SPACE)
            of(w)->viewer.key(' ');
        else if (key >= GLFW_KEY_A && key <= GLFW_KEY_Z)
            of(w)->viewer.key('a' + (key - GLFW_KEY_A));
    });
    glfwSetDropCallback(window, [](GLFWwindow* w, int count, const char** paths) {
        std::string error;
        if (!of(w)->viewer.load(std::vector<std::string>(paths, paths + count), error))
            std::fprintf(stderr, "oxsg view: %s\n", error.c_str());
    });
}

// Plays the events of the script before the next frame's time, moving the script's clock
// (nanoseconds) and the viewer's time with it to each event's own time; a screenshot shows
// the frame of its time with every event before it.
void play(Window& w, oxGLVisualContext* vc, const std::vector<oxsg::ScriptEvent>& events, size_t& next,
          int64_t& clock, bool& drawn, oxsg::FrameReport& report)
{
    using E = oxsg::ScriptEvent;
    oxsg::Viewer& v = w.viewer;
    for (; next < events.size(); ++next) {
        const E& e = events[next];
        const int64_t at = std::llround(e.seconds * 1e9);
        if (at >= clock + oxsg::kFrameStep)
            break;
        if (at > clock) {
            v.advance(at - clock);
            clock = at;
        }
        const double now = double(clock) / 1e9;
        switch (e.kind) {
        case E::MOVE:
            v.move(e.x, e.y);
            break;
        case E::PRESS:
            v.press(oxsg::Viewer::Button(e.code));
            break;
        case E::RELEASE:
            v.release(oxsg::Viewer::Button(e.code), now);
            break;
        case E::CLICK:
        case E::DOUBLE_CLICK:
            v.move(e.x, e.y);
            for (int i = e.kind == E::CLICK ? 1 : 2; i > 0; --i) {
                v.press(oxsg::Viewer::LEFT);
                v.release(oxsg::Viewer::LEFT, now);
            }
            break;
        case E::SCROLL:
            v.scroll(e.x);
            break;
        case E::KEY:
            v.key(e.code);
            break;
        case E::DROP: {
            std::string error;
            if (!v.load({e.text}, error))
                std::fprintf(stderr, "oxsg view: %s\n", error.c_str());
            break;
        }
        case E::SCREENSHOT:
            v.draw(vc, report);
            drawn = true;
            v.screenshot(vc, e.text);
            break;
        case E::QUIT:
            v.key(oxsg::Viewer::KEY_ESCAPE);
            break;
        }
        drawn = drawn && e.kind == E::SCREENSHOT;
    }
}

// Frames until Esc, the window's close button or the script's end.
void loop(Window& w, oxGLVisualContext* vc, const std::vector<oxsg::ScriptEvent>* script)
{
    oxsg::FrameReport report;
    size_t next = 0;
    int64_t clock = 0;
    double last = seconds(), titleAt = last;
    int framesSinceTitle = 0;
    while (!glfwWindowShouldClose(w.window) && !w.viewer.quitRequested()) {
        glfwPollEvents();
        int width = 0, height = 0, ww = 0, wh = 0;
        glfwGetFramebufferSize(w.window, &width, &height);
        glfwGetWindowSize(w.window, &ww, &wh);
        if (width > 0 && height > 0 && (width != vc->getWidth() || height != vc->getHeight()) &&
            vc->setSize(width, height))
            w.viewer.resize(width, height);
        w.scaleX = ww > 0 ? double(vc->getWidth()) / ww : 1;
        w.scaleY = wh > 0 ? double(vc->getHeight()) / wh : 1;
        bool drawn = false;
        if (script) {
            play(w, vc, *script, next, clock, drawn, report);
            if (next == script->size() || w.viewer.quitRequested())
                break;
        }
        // The device leaves the polygon mode alone: the window sets it for the whole frame.
        glPolygonMode(GL_FRONT_AND_BACK, w.viewer.wireframe() ? GL_LINE : GL_FILL);
        if (!drawn)
            w.viewer.draw(vc, report);
        vc->copyToWindow(vc->getWidth(), vc->getHeight());
        glfwSwapBuffers(w.window);
        if (w.viewer.takeScreenshotRequest())
            w.viewer.screenshot(vc, screenshotName());
        const double now = seconds();
        w.viewer.advance(script ? oxsg::kFrameStep : std::llround((now - last) * 1e9));
        clock += oxsg::kFrameStep;
        last = now;
        ++framesSinceTitle;
        if (now - titleAt >= 0.5) {
            const double fps = framesSinceTitle / (now - titleAt);
            titleAt = now;
            framesSinceTitle = 0;
            glfwSetWindowTitle(w.window, ("oxsg view - " + w.viewer.title(fps, report)).c_str());
        }
    }
}

int runWindow(const Options& o, const std::vector<oxsg::ScriptEvent>& events)
{
    // The scenes first: a file that cannot be read is told whether or not there is a display.
    Window w;
    w.viewer.resize(o.width, o.height);
    std::string error;
    if (!w.viewer.load(o.files, error))
        return fail(1, error);
    glfwSetErrorCallback([](int, const char* text) { g_glfwError = text ? text : "unknown"; });
    if (!glfwInit())
        return fail(3, "no display (" + g_glfwError + "): run it on a desktop, or under Xvfb");
    // The device draws with the fixed-function pipeline: a compatibility context.
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 0);
    glfwWindowHint(GLFW_RESIZABLE, o.script ? GLFW_FALSE : GLFW_TRUE);
    w.window = glfwCreateWindow(o.width, o.height, "oxsg view", nullptr, nullptr);
    if (!w.window) {
        glfwTerminate();
        return fail(3, "no OpenGL window (" + g_glfwError + ")");
    }
    glfwMakeContextCurrent(w.window);
    glfwSwapInterval(o.script ? 0 : 1);
    int status = 0;
    {
        oxsg::WarningScope warnings;
        int width = 0, height = 0;
        glfwGetFramebufferSize(w.window, &width, &height);
        oxSmartPointer<oxGLVisualContext> vc = oxGLVisualContext::createInCurrentContext(width, height);
        if (!vc) {
            status = fail(3, "the window's OpenGL cannot draw: " + warnings.last());
        } else {
            w.viewer.resize(width, height);
            glfwSetWindowUserPointer(w.window, &w);
            if (!o.script) {
                installCallbacks(w.window);
                std::printf("oxsg view: h prints the keys\n");
                std::fflush(stdout);
            }
            loop(w, vc, o.script ? &events : nullptr);
            glfwSetWindowUserPointer(w.window, nullptr);
            w.viewer.releaseDevice();
        }
    }
    // The device is gone by now, before its context.
    glfwDestroyWindow(w.window);
    glfwTerminate();
    return status;
}

#endif

int runView(int argc, char** argv)
{
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::printf("%s\n", kUsage);
        oxsg::Viewer::printKeys();
        return 0;
    }
    Options o;
    if (const std::string problem = parse(argc, argv, o); !problem.empty())
        return fail(2, problem + " (" + kUsage + ")");
    std::vector<oxsg::ScriptEvent> events;
    std::string error;
    if (o.script && !readScript(o.script, events, error))
        return fail(2, error);
    Kel::libOXCore_arkRegister();
    Kel::Sg::oxArkRegisterForOXBFiles();
#ifdef OXSG_HAVE_GLFW
    return runWindow(o, events);
#else
    return fail(3, "this oxsg was built without GLFW: no windows");
#endif
}

} // namespace

OXSG_COMMAND(view, "view (FILE...|--demo) [--size WxH] [--script F]",
             "show scenes in a window: turn, zoom, pick, play (--help for the keys)", runView)

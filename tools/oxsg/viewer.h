#pragma once
// What `oxsg view` does with its input, apart from the window: the scenes it shows, the
// free camera and the scene's cameras, time, picking, and the frame it draws. The window
// (or a script) feeds it pointer, wheel and key events in window pixels, top left first.
#include <string>
#include <vector>

#include "platform/gfxgl/oxGLVisualContext.h"
#include "tools/oxsg/sceneView.h"

namespace oxsg {

class Viewer {
public:
    enum Button { LEFT, RIGHT, MIDDLE };
    // Keys that are not characters.
    enum Key { KEY_LEFT = 256, KEY_RIGHT, KEY_ESCAPE };

    Viewer();
    ~Viewer();

    // Shows the files (or the demonstration scene for "--demo"; several side by side under
    // one group) in place of what was shown; false, with `error` and the scene as it was, when
    // one cannot be read.
    bool load(const std::vector<std::string>& files, std::string& error);
    // The window's frame buffer size.
    void resize(int width, int height);

    void move(double x, double y);
    void press(Button button);
    // A press and release in place is a click: it picks; two within 0.4 s of `seconds` (any
    // clock) and 4 pixels are a double click, which also turns the view about the point.
    void release(Button button, double seconds);
    void scroll(double steps);
    // Space, the arrows, Esc and the letters of printKeys().
    void key(int key);
    static void printKeys();

    // Moves time on unless paused.
    void advance(int64_t nanoseconds);
    // Draws the frame on `vc`; the report gets its times and counts.
    void draw(Kel::Gfx::oxGLVisualContext* vc, FrameReport& report);
    // Lets go of the device draw() was last given, so that it can go before its context.
    void releaseDevice();
    // Writes the last frame drawn on `vc`.
    bool screenshot(Kel::Gfx::oxGLVisualContext* vc, const std::string& path);

    bool quitRequested() const { return _quit; }
    bool wireframe() const { return _wireframe; }
    // Whether a screenshot was asked for (the `s` key) since the last call.
    bool takeScreenshotRequest();
    // "NAME: 59.9 fps | build 1.20 ms | draw 3.40 ms | 120 packages | 45 state changes"
    std::string title(double fps, const FrameReport& report) const;
    double getTime() const { return double(_time) / 1e9; }

private:
    void frameAll();
    void useFreeCamera();
    void view(Kel::Sg::oxCommonTraversal* draw) const;
    void pick(double x, double y, bool recentre);
    void updateOverlay();

    Kel::Core::oxSmartPointer<Kel::Sg::oxGroup> _frameRoot;  // the scene and the overlay
    Kel::Core::oxSmartPointer<Kel::Sg::oxNode> _scene;
    Kel::Core::oxSmartPointer<Kel::Sg::oxGeometry> _overlay;
    Kel::Core::oxSmartPointer<Kel::Sg::oxCommonTraversal> _draw;
    Kel::Core::oxSmartPointer<Kel::Attrs::oxLightingStateAttr> _unlit;
    std::string _name;
    std::vector<PlacedCamera> _cameras;
    int _camera = -1;  // -1: the free camera
    Orbit _orbit;
    int _width = 1, _height = 1;
    int64_t _time = 0;  // nanoseconds
    bool _paused = false, _wireframe = false, _bounds = false, _lighting = true, _quit = false;
    bool _screenshotRequested = false;
    std::vector<Kel::Sg::oxNode*> _picked;  // path to the last node picked
    // The pointer: where it is, where a button went down, which are down, the last click.
    double _x = 0, _y = 0, _pressX = 0, _pressY = 0;
    bool _down[3] = {};
    bool _dragged = false;
    double _lastClickSeconds = -1e9, _lastClickX = 0, _lastClickY = 0;
};

} // namespace oxsg

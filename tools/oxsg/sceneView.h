#pragma once
// How the oxsg program looks at a scene, draws a frame of it and finds what lies under a
// pixel: what render, pick and the view window share, so that they agree.
#include <string>
#include <vector>

#include "platform/gfx/oxVisualContext.h"
#include "sg/OXSg.h"

namespace oxsg {

// The colour behind every frame.
extern const Kel::Math::oxVec4f kSky;

// A free camera turning about a point: the eye sits `distance` from `target`, in the
// direction given by `yaw` (about y, 0 looking down -z) and `pitch` (radians, up positive).
// Near and far planes follow the scene's sphere.
struct Orbit {
    Kel::Math::oxVec3f target;
    float distance = 1, yaw = 0, pitch = 0;
    Kel::Math::oxVec3f sceneCentre;
    float sceneRadius = 1;
    float verticalFov = 40;  // degrees

    Kel::Math::oxVec3f eye() const;
    // Looks from `eye` at `target`.
    void lookFrom(const Kel::Math::oxVec3f& eye, const Kel::Math::oxVec3f& target);
};

// The three-quarter view from the front and above that holds every geometry below `root`.
Orbit frameScene(Kel::Sg::oxNode* root, float aspect);
void viewOrbit(const Orbit& orbit, float aspect, Kel::Sg::oxCommonTraversal* draw);

// A camera of the graph and where the transforms above it place it.
struct PlacedCamera {
    Kel::Sg::oxCamera* camera;
    Kel::Math::oxMatrix44f placement;
};
// Every camera, depth first.
std::vector<PlacedCamera> findCameras(Kel::Sg::oxNode* root);
// The camera's view and projection for `aspect`; false when it makes none.
bool viewCamera(const PlacedCamera& camera, float aspect, Kel::Sg::oxCommonTraversal* draw);

// Sets the draw's view and projection: those of the scene's first camera that makes a
// projection for `aspect`; otherwise frameScene's.
void viewScene(Kel::Sg::oxNode* root, float aspect, Kel::Sg::oxCommonTraversal* draw);

// The step between the frames by which drawFrame reaches a time from one far before, and
// that of the view window's arrow keys and scripts: a 30th of a second.
constexpr int64_t kFrameStep = 1000000000 / 30;

// What one frame took and drew: packages are geometry drawn, state changes the rest of the
// frame's display list.
struct FrameReport {
    double buildSeconds = 0, drawSeconds = 0;
    int packages = 0, stateChanges = 0;
};

// One frame at `time` (nanoseconds) on `vc`: the draw's projection handed to the device,
// the frame cleared to kSky, the graph drawn with `overrides` in force over every
// attribute of the graph. Returns the frame's display list.
//
// Some animation depends on the frames before: blends that begin when first seen, inverse
// kinematics that closes in on its goal frame by frame. So a time more than a step after
// the draw's last frame is reached through frames kFrameStep apart, not drawn, from that
// frame; from time 0 when the draw has drawn nothing (its time is negative) or time went
// back. Frames drawn kFrameStep apart from 0 thus end as one frame at the end time does.
Kel::Attrs::oxDisplayListAttr* drawFrame(Kel::Sg::oxNode* root, Kel::Sg::oxCommonTraversal* draw,
                                         Kel::Gfx::oxVisualContext* vc, int64_t time,
                                         const std::vector<Kel::Attrs::oxAttr*>& overrides = {},
                                         FrameReport* report = nullptr);

// What a ray through a pixel meets.
struct PickHit {
    std::vector<Kel::Sg::oxNode*> path;  // from the root to the node hit
    Kel::Math::oxVec3f point;            // world
    float distance;
    // "/name(class)/..." from the root.
    std::string describe() const;
    // Where the transforms above the node hit place it.
    Kel::Math::oxMatrix44f parentPlacement() const;
};
// Everything the draw at `seconds` shows under the point (nx, ny) of normalised device
// coordinates of the given view, nearest first; only the active children of switches,
// time switches and levels of detail are searched.
std::vector<PickHit> pickScene(Kel::Sg::oxNode* root, const Kel::Math::oxMatrix44f& view,
                               const Kel::Math::oxMatrix44f& projection, float nx, float ny, double seconds);

} // namespace oxsg

#pragma once
// How the oxsg program looks at a scene and draws a frame of it.
#include "platform/gfx/oxVisualContext.h"
#include "sg/OXSg.h"

namespace oxsg {

// The colour behind every frame.
extern const Kel::Math::oxVec4f kSky;

// Sets the draw's view and projection: those of the scene's first camera, depth first,
// placed by the transforms above it, when it has one that makes a projection for `aspect`;
// otherwise a three-quarter view from the front and above that holds every geometry.
void viewScene(Kel::Sg::oxNode* root, float aspect, Kel::Sg::oxCommonTraversal* draw);

// One frame at `time` (nanoseconds) on `vc`: the draw's projection handed to the device,
// the frame cleared to kSky, the graph drawn. Returns the frame's display list.
Kel::Attrs::oxDisplayListAttr* drawFrame(Kel::Sg::oxNode* root, Kel::Sg::oxCommonTraversal* draw,
                                         Kel::Gfx::oxVisualContext* vc, int64_t time);

} // namespace oxsg

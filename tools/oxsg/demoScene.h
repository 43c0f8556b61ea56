#pragma once
// The demonstration scene that `oxsg demo` writes and `oxsg render --demo` draws.
#include "sg/OXSg.h"

namespace oxsg {

// A lit, textured courtyard about 24 units wide around the origin, y up: two lights, a
// spinning torus, an orbiting crate and a bobbing ball (keyframed transforms, so that their
// motion survives a scene file), a skinned figure that walks, waves and reaches for the
// crate, a rock that rolls away losing triangles with distance (a progressive mesh), a
// ball that morphs into spikes and a drop (morph targets blended on the device), a
// switch showing two of three gems, a ball whose level of detail changes with distance, a
// billboarded tree, a ball cut open by a clip plane and glass panes drawn back to front.
// Every node is named.
Kel::Core::oxSmartPointer<Kel::Sg::oxGroup> buildDemoScene();

// The demo's rock alone: a lumpy ball of about 4,000 triangles, radius about 1, as a
// progressive mesh drawn whole within 8 units of the eye and with its fewest (60) triangles
// from 40 on.
Kel::Core::oxSmartPointer<Kel::Sg::oxMultiResolutionMeshInstance> buildProgressiveRock();

// The demo's blob alone: a unit ball with two morph targets (spikes, a drop) and normals
// for each, weighed by a 4.5 s cycle: ball at 0 s, spikes at 1.5 s, drop at 3 s.
Kel::Core::oxSmartPointer<Kel::Sg::oxMorphInstance2> buildMorphingBlob();

} // namespace oxsg

#pragma once
// The demonstration scene that `oxsg demo` writes and `oxsg render --demo` draws.
#include "sg/OXSg.h"

namespace oxsg {

// A lit, textured courtyard about 24 units wide around the origin, y up: two lights, a
// spinning torus, an orbiting crate and a bobbing ball (their motion is a loop of transforms
// under time switches, so that it survives a scene file), a switch showing two of three gems,
// a ball whose level of detail changes with distance, a billboarded tree, a ball cut open by
// a clip plane and glass panes drawn back to front. Every node is named.
Kel::Core::oxSmartPointer<Kel::Sg::oxGroup> buildDemoScene();

} // namespace oxsg

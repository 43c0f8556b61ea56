#pragma once
// The demonstration scene's character.
#include "sg/OXSg.h"

namespace oxsg {

// A figure of skinned boxes on a skeleton of 17 bones, about 1.9 units tall, standing at the
// origin facing +z: it walks on the spot, eases into waving with its left arm at its third
// stride (two seconds in), and reaches for `goal` (a transform anywhere in the scene, or
// none) with its right arm through inverse kinematics, which settles over a few frames.
Kel::Core::oxSmartPointer<Kel::Sg::oxNode> buildDemoCharacter(Kel::Sg::oxTransform* goal);

} // namespace oxsg

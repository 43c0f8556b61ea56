#include "platform/math/OXMath.h"
#include "platform/math/oxMathListLists.h"

void Kel::libOXMath_arkRegister()
{
    using namespace Kel::Math;
    oxAABox::arkRegister();
    oxSphere::arkRegister();
    oxCapsule::arkRegister();
    oxVolumeList::arkRegister();
    oxRay::arkRegister();
    oxRayList::arkRegister();
    oxVec2fList::arkRegister();
    oxVec3fList::arkRegister();
    oxVec4fList::arkRegister();
    oxQuaternionfList::arkRegister();
    oxMatrix44fList::arkRegister();
    oxVec3fListList::arkRegister();
}

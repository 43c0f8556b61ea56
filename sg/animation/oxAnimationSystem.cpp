#include "sg/animation/oxAnimationSystem.h"

#include "sg/animation/oxSkeleton.h"

namespace Kel::Sg {

void oxAnimationSystem::arkRegisterInitialize(oxFields<oxAnimationSystem>& f)
{
    f.add(OX_FIELD(animHierarchy));
}

oxSkeleton* oxAnimationSystem::getSkeleton() const
{
    return oxSkeleton::dynamicCast(_animHierarchy.get());
}

} // namespace Kel::Sg

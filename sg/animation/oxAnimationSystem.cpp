#include "sg/animation/oxAnimationSystem.h"

#include "sg/animation/oxSkeleton.h"

namespace Kel::Sg {

void oxAnimationSystem::arkRegisterInitialize(oxFields<oxAnimationSystem>& f)
{
    f.add(OX_FIELD(animHierarchy));
}

oxMatrix44f* oxAnimationSystem::update(oxTraversal*, oxActor*)
{
    return nullptr;
}

oxSkeleton* oxAnimationSystem::getSkeleton() const
{
    return oxSkeleton::dynamicCast(_animHierarchy.get());
}

} // namespace Kel::Sg

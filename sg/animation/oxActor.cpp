#include "sg/animation/oxActor.h"

#include "platform/attrs/oxMatrixAttrs.h"
#include "sg/animation/oxAnimationDatabase.h"
#include "sg/animation/oxSkeleton.h"
#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

using State = oxAnimationState;

void oxActor::arkRegisterInitialize(oxFields<oxActor>& f)
{
    f.add(OX_FIELD(animationSystem));
    f.add(OX_FIELD(boneMatrixCacheArray));
    f.add(OX_FIELD(blendMatrixCacheArray));
    f.add(OX_FIELD(appearance));
    f.add(OX_FIELD(animationDatabase));
    f.add(OX_FIELD(modifierList)).constructWithOwner();
    f.add(OX_FIELD(transform)).setDefault(oxMatrix44f());
    f.add(OX_FIELD(forceActorCacheUse));
    f.add(OX_FIELD(actorCacheUsed)).notPersistent();
    f.add(OX_FIELD(mvmWhenTraversed)).setDefault(oxMatrix44f()).notPersistent();
    f.add(OX_FIELD(inverseViewWhenTraversed)).setDefault(oxMatrix44f()).notPersistent();
    f.add(OX_FIELD(update)).setDefault(true).notPersistent();
    f.add(OX_FIELD(render)).setDefault(true).notPersistent();
}

// ---- set-up ------------------------------------------------------------------------------

bool oxActor::configure(const char* skeletonName)
{
    oxSkeleton* skeleton = _animationDatabase ? _animationDatabase->getSkeleton(skeletonName) : nullptr;
    if (!skeleton)
        return false;
    oxSmartPointer<oxAnimationCombiner> combiner = oxAnimationCombiner::_instantiateFromPool(getMemoryPool());
    combiner->configure(skeleton);
    setAnimationSystem(combiner);
    return true;
}

bool oxActor::configure(const char* skeletonName, oxAnimationDatabase* database)
{
    setAnimationDatabase(database);
    return configure(skeletonName);
}

void oxActor::configure(oxAnimationSystem* system)
{
    setAnimationSystem(system);
}

void oxActor::configure(oxAnimationSystem* system, oxAnimationDatabase* database)
{
    setAnimationDatabase(database);
    setAnimationSystem(system);
}

void oxActor::setAnimationDatabase(oxAnimationDatabase* database)
{
    _animationDatabase = database;
}

void oxActor::setAnimationSystem(oxAnimationSystem* system)
{
    _animationSystem = system;
    const int bones = getBoneCount();
    const int joints = getJointCount();
    const oxMatrix44f identity;
    _boneMatrixCacheArray.clear();
    _boneMatrixCacheArray.resize(size_t(bones) * sizeof(oxMatrix44f));
    _blendMatrixCacheArray.clear();
    _blendMatrixCacheArray.resize(size_t(joints) * sizeof(oxMatrix44f));
    for (oxMemoryBlock* block : {&_boneMatrixCacheArray, &_blendMatrixCacheArray})
        for (int i = 0; i < matrixCount(*block); ++i)
            matrices(*block)[i] = identity;
}

oxAnimationCombiner* oxActor::getCombiner() const
{
    return oxAnimationCombiner::dynamicCast(_animationSystem.get());
}

oxSkeleton* oxActor::getSkeleton() const
{
    return _animationSystem ? _animationSystem->getSkeleton() : nullptr;
}

bool oxActor::setSkeleton(const char* name)
{
    oxSkeleton* skeleton = _animationDatabase ? _animationDatabase->getSkeleton(name) : nullptr;
    return skeleton ? setSkeletonByReference(skeleton) : false;
}

bool oxActor::setSkeletonByReference(oxSkeleton* skeleton)
{
    if (!skeleton)
        return false;
    if (!_animationSystem || _animationSystem->getAnimationHierarchy() != skeleton) {
        oxSmartPointer<oxAnimationCombiner> combiner = oxAnimationCombiner::_instantiateFromPool(getMemoryPool());
        combiner->configure(skeleton);
        setAnimationSystem(combiner);
    }
    return true;
}

oxAnimation* oxActor::getAnimation(const char* name) const
{
    return _animationDatabase ? _animationDatabase->getAnimation(name) : nullptr;
}

bool oxActor::setAnimation(oxAnimation* animation)
{
    oxAnimationCombiner* combiner = getCombiner();
    if (!combiner || !animation)
        return false;
    combiner->removeAll();
    combiner->add(animation, State::kOverride, State::kNone, State::kPlaying);
    return true;
}

bool oxActor::setAnimation(const char* name)
{
    oxAnimation* animation = getAnimation(name);
    return animation ? setAnimation(animation) : false;
}

bool oxActor::setAnimationReflected(oxAnimation* animation)
{
    oxAnimationCombiner* combiner = getCombiner();
    if (!combiner || !animation)
        return false;
    combiner->removeAll();
    combiner->addReflected(animation, State::kOverride, State::kNone, State::kPlaying);
    return true;
}

bool oxActor::blendToAnimation(oxAnimation* animation)
{
    oxAnimationCombiner* combiner = getCombiner();
    if (!combiner || !animation)
        return false;
    if (combiner->getCurrentAnimationCount() == 0) {
        combiner->add(animation, State::kOverride, State::kNone, State::kPlaying);
        return false;
    }
    return combiner->add(animation, State::kBlend, State::kEaseInReplace, State::kPlaying);
}

bool oxActor::blendToAnimation(const char* name)
{
    oxAnimation* animation = getAnimation(name);
    return animation ? blendToAnimation(animation) : false;
}

bool oxActor::blendToAnimation(oxAnimation* animation, float startRatio, float endRatio, int64_t duration,
                               int64_t targetStartTime)
{
    oxAnimationCombiner* combiner = getCombiner();
    if (!combiner || !animation)
        return false;
    if (combiner->getCurrentAnimationCount() == 0) {
        combiner->add(animation, State::kOverride, State::kNone, State::kPlaying);
        return false;
    }
    return combiner->addDynamic(animation, State::kBlend, State::kEaseInReplaceAll, State::kPlaying, startRatio,
                                endRatio, duration, targetStartTime);
}

bool oxActor::blendToAnimationReflected(oxAnimation* animation)
{
    oxAnimationCombiner* combiner = getCombiner();
    if (!combiner || !animation)
        return false;
    if (combiner->getCurrentAnimationCount() == 0) {
        combiner->addReflected(animation, State::kOverride, State::kNone, State::kPlaying);
        return false;
    }
    return combiner->addReflected(animation, State::kBlend, State::kEaseInReplace, State::kPlaying);
}

bool oxActor::blendToAnimationReflected(oxAnimation* animation, float startRatio, float endRatio, int64_t duration,
                                        int64_t targetStartTime)
{
    oxAnimationCombiner* combiner = getCombiner();
    if (!combiner || !animation)
        return false;
    if (combiner->getCurrentAnimationCount() == 0) {
        combiner->addReflected(animation, State::kOverride, State::kNone, State::kPlaying);
        return false;
    }
    return combiner->addDynamicReflected(animation, State::kBlend, State::kEaseInReplaceAll, State::kPlaying,
                                         startRatio, endRatio, duration, targetStartTime);
}

bool oxActor::setAppearanceByName(const char* name)
{
    oxAppearance* appearance = _animationDatabase ? _animationDatabase->getAppearance(name) : nullptr;
    if (!appearance)
        return false;
    _appearance = appearance;
    return true;
}

oxAABox* oxActor::getSkinBound() const
{
    const oxSkin* skin = _appearance ? _appearance->getSkin() : nullptr;
    return skin ? skin->getBound() : nullptr;
}

void oxActor::addModifier(oxAnimationModifier* modifier)
{
    if (modifier && _modifierList)
        _modifierList->append(modifier);
}

bool oxActor::removeModifier(oxAnimationModifier* modifier)
{
    return _modifierList && _modifierList->removeObject(modifier) >= 0;
}

void oxActor::removeAllModifiers()
{
    if (_modifierList)
        _modifierList->removeAll();
}

// ---- matrices ----------------------------------------------------------------------------

oxMatrix44f* oxActor::getBoneMatrixCacheArray()
{
    if (_actorCacheUsed)
        return matrices(_boneMatrixCacheArray);
    return _animationSystem ? _animationSystem->getBoneMatrixArray() : nullptr;
}

oxMatrix44f* oxActor::getBlendMatrixCacheArray()
{
    if (_actorCacheUsed)
        return matrices(_blendMatrixCacheArray);
    return _animationSystem ? _animationSystem->getBlendMatrixArray() : nullptr;
}

int oxActor::boneArrayLength() const
{
    return _actorCacheUsed ? matrixCount(_boneMatrixCacheArray) : getBoneCount();
}

int oxActor::blendArrayLength() const
{
    return _actorCacheUsed ? matrixCount(_blendMatrixCacheArray) : getJointCount();
}

const oxMatrix44f* oxActor::getBoneMatrix(int i)
{
    oxMatrix44f* bones = getBoneMatrixCacheArray();
    return bones && i >= 0 && i < boneArrayLength() ? bones + i : nullptr;
}

const oxMatrix44f* oxActor::getBlendMatrix(int i)
{
    oxMatrix44f* blends = getBlendMatrixCacheArray();
    return blends && i >= 0 && i < blendArrayLength() ? blends + i : nullptr;
}

bool oxActor::getBoneMatrixInViewSpace(int i, oxMatrix44f& out)
{
    const oxMatrix44f* bone = getBoneMatrix(i);
    if (!bone)
        return false;
    out = *bone * _mvmWhenTraversed;
    return true;
}

bool oxActor::getBoneMatrixInWorldSpace(int i, oxMatrix44f& out)
{
    const oxMatrix44f* bone = getBoneMatrix(i);
    if (!bone)
        return false;
    out = *bone * _mvmWhenTraversed * _inverseViewWhenTraversed;
    return true;
}

// ---- traversal ---------------------------------------------------------------------------

OX_TRAVERSAL_RETURN oxActor::traverse(oxTraversal* traversal)
{
    oxCommonTraversal* ct = oxCommonTraversal::dynamicCast(traversal);
    if (!ct)
        return OX_TRAVERSAL_CONTINUE;
    if (_update) {
        const oxAttr* top =
            ct->getAttrStackManager()->getTop(Attrs::oxModelViewMatrixAttr::getClassTypeSafe(), 0);
        _mvmWhenTraversed = top ? static_cast<const Attrs::oxMatrixAttr*>(top)->getMatrix() : oxMatrix44f();
        _inverseViewWhenTraversed = ct->getInverseViewMatrix();
        _actorCacheUsed = (_modifierList && _modifierList->getCount() > 0) || _forceActorCacheUse;
        if (oxMatrix44f* bones = getBoneMatrixCacheArray(); bones && boneArrayLength() > 0)
            bones[0] = _transform * _mvmWhenTraversed;
        updateAnimation(ct);
    }
    return _render ? render(ct) : OX_TRAVERSAL_CONTINUE;
}

void oxActor::updateAnimation(oxTraversal* traversal)
{
    const oxMatrix44f* local = updateAnimationSystem(traversal);
    if (local)
        updateAnimationHierarchy(traversal, local);
}

oxMatrix44f* oxActor::updateAnimationSystem(oxTraversal* traversal)
{
    return _animationSystem ? _animationSystem->update(traversal, this) : nullptr;
}

void oxActor::updateAnimationHierarchy(oxTraversal* traversal, const oxMatrix44f* local)
{
    oxAnimationHierarchy* hierarchy = _animationSystem ? _animationSystem->getAnimationHierarchy() : nullptr;
    if (!hierarchy || !local)
        return;
    if (!_actorCacheUsed) {
        // Another actor on the same system has made this pose's matrices already.
        if (_animationSystem->getHierarchyUpdated())
            return;
        _animationSystem->setHierarchyUpdated(true);
    }
    oxMatrix44f* bones = getBoneMatrixCacheArray();
    if (!bones || boneArrayLength() < hierarchy->getBoneCount())
        return;
    oxMatrix44f* blends = blendArrayLength() >= hierarchy->getJointCount() ? getBlendMatrixCacheArray() : nullptr;
    hierarchy->update(traversal, this, local, bones, blends, _actorCacheUsed ? _modifierList.get() : nullptr);
}

OX_TRAVERSAL_RETURN oxActor::render(oxTraversal* traversal)
{
    oxCommonTraversal* ct = oxCommonTraversal::dynamicCast(traversal);
    if (!ct || !_appearance)
        return OX_TRAVERSAL_CONTINUE;
    pushMatrixPalettes(ct);
    const OX_TRAVERSAL_RETURN r = _appearance->traverse(ct);
    popMatrixPalettes(ct);
    return r;
}

void oxActor::pushMatrixPalettes(oxTraversal* traversal)
{
    if (oxCommonTraversal* ct = oxCommonTraversal::dynamicCast(traversal)) {
        ct->pushBoneMatrixPalette(getBoneMatrixCacheArray());
        ct->pushBlendMatrixPalette(getBlendMatrixCacheArray(), getJointCount());
    }
}

void oxActor::popMatrixPalettes(oxTraversal* traversal)
{
    if (oxCommonTraversal* ct = oxCommonTraversal::dynamicCast(traversal)) {
        ct->popBoneMatrixPalette();
        ct->popBlendMatrixPalette();
    }
}

// ---- actor files -------------------------------------------------------------------------

void oxActorInfo::arkRegisterInitialize(oxFields<oxActorInfo>& f)
{
    f.add(OX_FIELD(actor));
    f.add(OX_FIELD(actorList)).constructWithOwner();
    f.add(OX_FIELD(animationDatabase));
    f.add(OX_FIELD(combinerList)).constructWithOwner();
    f.add(OX_FIELD(appearanceList)).constructWithOwner();
}

void oxActorInfo::setAnimationDatabase(oxAnimationDatabase* database)
{
    _animationDatabase = database;
}

} // namespace Kel::Sg

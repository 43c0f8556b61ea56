#include "sg/animation/oxAnimationCombiner.h"

#include <cstdlib>

#include "sg/animation/oxAnimation.h"
#include "sg/animation/oxTransformSequence.h"
#include "sg/traversal/oxTraversal.h"

namespace Kel::Sg {

using State = oxAnimationState;
using Entry = oxAnimationCombinerBoneInfo;

namespace {

oxSmartPointer<oxAnimationCombinerBoneInfoPool> g_boneInfoPool;
oxSmartPointer<oxAnimationStatePool> g_statePool;

// The rotation of q and the translation v as one local pose; the last column stays
// (0, 0, 0, 1).
void setPose(oxMatrix44f& m, const oxQuaternionf& q, const oxVec3f& v)
{
    const oxMatrix44f r = q.toMatrix();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m.m[i][j] = r.m[i][j];
    m.setTranslation(v);
    m.m[0][3] = m.m[1][3] = m.m[2][3] = 0.0f;
    m.m[3][3] = 1.0f;
}

} // namespace

void oxAnimationCombiner::arkRegisterInitialize(oxFields<oxAnimationCombiner>& f)
{
    f.add(OX_FIELD(boneInfoListList)).constructWithOwner();
    f.add(OX_FIELD(boneInfoListBase)).constructWithOwner();
    f.add(OX_FIELD(animationStateList)).constructWithOwner();
    f.add(OX_FIELD(resultQuaternionArray));
    f.add(OX_FIELD(animationCacheMatrixArray));
    f.add(OX_FIELD(cacheTime));
    f.add(OX_FIELD(cacheValid));
    f.add(OX_FIELD(hierarchyUpdated));
    f.add(OX_FIELD(boneMatrixArray));
    f.add(OX_FIELD(blendMatrixArray));
}

void oxAnimationCombiner::arkRegisterUser()
{
    boneInfoPool();
    statePool();
    oxMetaObject::registerClassDestructor([] {
        g_boneInfoPool = nullptr;
        g_statePool = nullptr;
    });
}

oxAnimationCombinerBoneInfoPool* oxAnimationCombiner::boneInfoPool()
{
    if (!g_boneInfoPool)
        g_boneInfoPool = oxAnimationCombinerBoneInfoPool::_instantiateFromPool(nullptr);
    return g_boneInfoPool;
}

oxAnimationStatePool* oxAnimationCombiner::statePool()
{
    if (!g_statePool)
        g_statePool = oxAnimationStatePool::_instantiateFromPool(nullptr);
    return g_statePool;
}

oxAnimationCombiner::~oxAnimationCombiner()
{
    // States and entries still playing go back to the pools, which would otherwise keep them
    // (and the animations they hold) as handed out for good.
    releaseAll();
}

// ---- set-up ------------------------------------------------------------------------------

bool oxAnimationCombiner::configure(oxAnimationHierarchy* hierarchy)
{
    if (!hierarchy) {
        oxReportWarning("oxAnimationCombiner::configure: no hierarchy");
        return false;
    }
    releaseAll();
    _animHierarchy = hierarchy;
    const int bones = hierarchy->getBoneCount();
    const int joints = hierarchy->getJointCount();
    _boneInfoListList->removeAll();
    for (int b = 0; b < bones; ++b)
        _boneInfoListList->append(oxAnimationCombinerBoneInfoList::_instantiateFromPool(getMemoryPool()));
    _boneInfoListBase->removeAll();
    for (int b = 0; b < bones; ++b)
        _boneInfoListBase->append(0);

    const oxQuaternionf unit;
    _resultQuaternionArray.clear();
    _resultQuaternionArray.resize(size_t(bones) * sizeof(oxQuaternionf));
    for (int b = 0; b < bones; ++b)
        quaternions()[b] = unit;
    const oxMatrix44f identity;
    for (oxMemoryBlock* block : {&_animationCacheMatrixArray, &_boneMatrixArray}) {
        block->clear();
        block->resize(size_t(bones) * sizeof(oxMatrix44f));
    }
    _blendMatrixArray.clear();
    if (joints > 0)
        _blendMatrixArray.resize(size_t(joints) * sizeof(oxMatrix44f));
    for (oxMemoryBlock* block : {&_animationCacheMatrixArray, &_boneMatrixArray, &_blendMatrixArray})
        for (int i = 0; i < matrixCount(*block); ++i)
            matrices(*block)[i] = identity;
    // A bone that no animation drives stays where the skeleton was bound.
    for (int b = 0; b < matrixCount(_animationCacheMatrixArray); ++b)
        if (const oxVec3f* bind = _animHierarchy->getBoneTranslation(b))
            matrices(_animationCacheMatrixArray)[b].setTranslation(*bind);
    _cacheValid = false;
    _hierarchyUpdated = false;
    return true;
}

oxMatrix44f* oxAnimationCombiner::getBoneMatrix(unsigned i)
{
    return i < unsigned(matrixCount(_boneMatrixArray)) ? matrices(_boneMatrixArray) + i : nullptr;
}

oxMatrix44f* oxAnimationCombiner::getBlendMatrix(unsigned i)
{
    return i < unsigned(matrixCount(_blendMatrixArray)) ? matrices(_blendMatrixArray) + i : nullptr;
}

oxVec3f oxAnimationCombiner::bindTranslation(int bone) const
{
    const oxVec3f* v = _animHierarchy ? _animHierarchy->getBoneTranslation(bone) : nullptr;
    return v ? *v : oxVec3f(0, 0, 0);
}

void oxAnimationCombiner::postFileRead()
{
    oxAnimationSystem::postFileRead();
    for (int b = 0; b < boneListCount(); ++b)
        if (oxAnimationCombinerBoneInfoList* list = _boneInfoListList->get(b))
            for (int i = 0; i < list->getCount(); ++i)
                if (Entry* e = list->get(i); e && e->getTransformSource() && !e->getUseAnimationTranslation())
                    e->setConstantTranslation(bindTranslation(b));
    const oxMatrix44f identity;
    if (_boneMatrixArray.empty() && getBoneCount() > 0) {
        _boneMatrixArray.resize(size_t(getBoneCount()) * sizeof(oxMatrix44f));
        for (int i = 0; i < getBoneCount(); ++i)
            matrices(_boneMatrixArray)[i] = identity;
    }
    if (_blendMatrixArray.empty() && getJointCount() > 0) {
        _blendMatrixArray.resize(size_t(getJointCount()) * sizeof(oxMatrix44f));
        for (int i = 0; i < getJointCount(); ++i)
            matrices(_blendMatrixArray)[i] = identity;
    }
}

// ---- adding and removing -------------------------------------------------------------------

bool oxAnimationCombiner::add(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status,
                              const int* priorities, bool perBonePriorities, oxAnimationBinding* binding)
{
    if (!animation || !binding || !priorities || !_animHierarchy || binding->getHierarchy() != _animHierarchy) {
        oxReportWarning("oxAnimationCombiner::add: animation %s has no binding to this combiner's hierarchy",
                        animation && !animation->getName().isNull() ? animation->getName().c_str() : "(unnamed)");
        return false;
    }
    _cacheValid = false;
    if (getCurrentAnimationCount() == 0)
        combine = State::kOverride;
    State* state = statePool()->allocate();
    if (!state)
        return false;
    state->configure(animation, combine, transition, status);
    state->setBlendStartTime(0);
    _animationStateList->append(state);

    const int bones = std::min(boneListCount(), binding->getBoneTrackIndexCount());
    for (int b = 0; b < bones; ++b) {
        const int index = binding->getBoneTrackIndex(b);
        const oxAnimationTrack* track = animation->getAnimationTrack(index);
        if (!track)
            continue;
        Entry* entry = boneInfoPool()->allocate();
        if (!entry)
            continue;
        entry->setAnimationState(state);
        const bool useTranslation = animation->getUseAnimationTranslationBool(index);
        const int reflect = binding->getBoneReflectionType(b);
        if (oxTransformSource* source = track->getSource()) {
            entry->setTransformSource(source);
            entry->setUseAnimationTranslation(useTranslation);
            entry->setReflect(reflect);
            entry->setConstantQuaternion(track->getConstantQuaternion());
            entry->setConstantTranslation(useTranslation ? track->getConstantTranslation() : bindTranslation(b));
        } else {
            const oxVec4f& c = track->getConstantQuaternion();
            oxQuaternionf q(c.x, c.y, c.z, c.w);
            if (reflect >= 0)
                q = Entry::reflectQuaternion(q, reflect);
            entry->setQuaternion(q);
            entry->setConstantTranslation(useTranslation ? track->getConstantTranslation() : bindTranslation(b));
        }
        entry->setPriority(*priorities);
        if (perBonePriorities)
            ++priorities;
        addBoneInfo(entry, b);
    }
    return true;
}

bool oxAnimationCombiner::add(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status,
                              const int* priorities, bool perBonePriorities)
{
    oxAnimationBinding* binding = nullptr;
    if (animation && _animHierarchy)
        animation->bind(_animHierarchy, binding);
    return add(animation, combine, transition, status, priorities, perBonePriorities, binding);
}

bool oxAnimationCombiner::add(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status,
                              int priority)
{
    return add(animation, combine, transition, status, &priority, false);
}

bool oxAnimationCombiner::add(oxAnimation* animation, CombineMode combine, TransitionMode transition, Status status)
{
    return add(animation, combine, transition, status, animation ? animation->getPriority() : 0);
}

bool oxAnimationCombiner::addReflected(oxAnimation* animation, CombineMode combine, TransitionMode transition,
                                       Status status, const int* priorities, bool perBonePriorities)
{
    oxAnimationBinding* binding = nullptr;
    if (animation && _animHierarchy)
        animation->getReflectedBinding(_animHierarchy, binding);
    return add(animation, combine, transition, status, priorities, perBonePriorities, binding);
}

bool oxAnimationCombiner::addReflected(oxAnimation* animation, CombineMode combine, TransitionMode transition,
                                       Status status, int priority)
{
    return addReflected(animation, combine, transition, status, &priority, false);
}

bool oxAnimationCombiner::addReflected(oxAnimation* animation, CombineMode combine, TransitionMode transition,
                                       Status status)
{
    return addReflected(animation, combine, transition, status, animation ? animation->getPriority() : 0);
}

bool oxAnimationCombiner::addWithRamp(bool added, float startRatio, float endRatio, int64_t duration,
                                      int64_t targetStartTime)
{
    if (!added)
        return false;
    State* state = _animationStateList->get(_animationStateList->getCount() - 1);
    state->setBlendStartRatio(startRatio);
    state->setBlendRatioRange(endRatio - startRatio);
    state->setBlendDuration(duration);
    state->setAnimationStartTime(targetStartTime);
    // Marks the ramp as given: the first update starts it as it stands.
    state->setBlendStartTime(1);
    return true;
}

bool oxAnimationCombiner::addDynamic(oxAnimation* animation, CombineMode combine, TransitionMode transition,
                                     Status status, float startRatio, float endRatio, int64_t duration,
                                     int64_t targetStartTime)
{
    return addWithRamp(add(animation, combine, transition, status), startRatio, endRatio, duration, targetStartTime);
}

bool oxAnimationCombiner::addDynamic(oxAnimation* animation, CombineMode combine, TransitionMode transition,
                                     Status status, const oxAnimationTransitionParams* params)
{
    if (!params)
        return false;
    return addDynamic(animation, combine, transition, status, params->getStartRatio(), params->getEndRatio(),
                      params->getDuration(), params->getTargetStartTime());
}

bool oxAnimationCombiner::addDynamicReflected(oxAnimation* animation, CombineMode combine, TransitionMode transition,
                                              Status status, float startRatio, float endRatio, int64_t duration,
                                              int64_t targetStartTime)
{
    return addWithRamp(addReflected(animation, combine, transition, status), startRatio, endRatio, duration,
                       targetStartTime);
}

bool oxAnimationCombiner::addDynamicReflected(oxAnimation* animation, CombineMode combine, TransitionMode transition,
                                              Status status, const oxAnimationTransitionParams* params)
{
    if (!params)
        return false;
    return addDynamicReflected(animation, combine, transition, status, params->getStartRatio(),
                               params->getEndRatio(), params->getDuration(), params->getTargetStartTime());
}

bool oxAnimationCombiner::addManual(oxAnimation* animation, Status status, int64_t time)
{
    return addWithRamp(add(animation, State::kBlend, State::kManual, status), 0, 0, 0, time);
}

bool oxAnimationCombiner::addManual(oxAnimation* animation, Status status, const int* priorities,
                                    bool perBonePriorities, int64_t time)
{
    return addWithRamp(add(animation, State::kBlend, State::kManual, status, priorities, perBonePriorities), 0, 0,
                       0, time);
}

bool oxAnimationCombiner::addManualReflected(oxAnimation* animation, Status status, int64_t time)
{
    return addWithRamp(addReflected(animation, State::kBlend, State::kManual, status), 0, 0, 0, time);
}

bool oxAnimationCombiner::remove(oxAnimationState* state)
{
    const int index = state ? _animationStateList->find(state) : -1;
    if (index < 0)
        return false;
    oxSmartPointer<State> keep = state;
    if (state->getIsCycleMatchTarget())
        endCycleMatchTarget(state);
    _cacheValid = false;
    for (int b = 0; b < boneListCount(); ++b) {
        oxAnimationCombinerBoneInfoList* list = _boneInfoListList->get(b);
        if (!list)
            continue;
        bool changed = false;
        for (int i = list->getCount() - 1; i >= 0; --i)
            if (Entry* e = list->get(i); e && e->getAnimationState() == state) {
                boneInfoPool()->deallocate(e);
                list->remove(i);
                changed = true;
            }
        if (changed) {
            int base = 0;
            for (int i = list->getCount() - 1; i >= 1; --i)
                if (const Entry* e = list->get(i);
                    e && e->getAnimationState() && e->getAnimationState()->getCombineMode() == State::kOverride) {
                    base = i;
                    break;
                }
            _boneInfoListBase->set(b, base);
        }
    }
    // Nothing may go on pointing at a state the pool will hand out again.
    for (int i = 0; i < _animationStateList->getCount(); ++i)
        if (State* other = _animationStateList->get(i)) {
            if (other->getBaseState() == state)
                other->setBaseState(nullptr);
            if (other->getCycleMatchTargetState() == state)
                other->setCycleMatchTargetState(nullptr);
        }
    statePool()->deallocate(state);
    _animationStateList->remove(_animationStateList->find(state));
    if (_animationStateList->getCount() == 1)
        if (State* last = _animationStateList->get(0))
            last->setCombineMode(State::kOverride);
    return true;
}

bool oxAnimationCombiner::remove(oxAnimation* animation)
{
    return remove(getAnimationState(animation));
}

void oxAnimationCombiner::releaseAll()
{
    for (int b = 0; b < boneListCount(); ++b) {
        if (oxAnimationCombinerBoneInfoList* list = _boneInfoListList->get(b)) {
            for (int i = 0; g_boneInfoPool && i < list->getCount(); ++i)
                if (Entry* e = list->get(i))
                    g_boneInfoPool->deallocate(e);
            list->removeAll();
        }
        if (b < _boneInfoListBase->getCount())
            _boneInfoListBase->set(b, 0);
    }
    if (_animationStateList) {
        for (int i = 0; g_statePool && i < _animationStateList->getCount(); ++i)
            if (State* s = _animationStateList->get(i))
                g_statePool->deallocate(s);
        _animationStateList->removeAll();
    }
}

bool oxAnimationCombiner::removeAll()
{
    if (getCurrentAnimationCount() == 0)
        return false;
    releaseAll();
    _cacheValid = false;
    return true;
}

// ---- stacks ----------------------------------------------------------------------------------

void oxAnimationCombiner::addBoneInfo(oxAnimationCombinerBoneInfo* entry, int bone)
{
    oxAnimationCombinerBoneInfoList* list = getBoneInfoList(bone);
    if (!entry || !list)
        return;
    const int count = list->getCount();
    int pos = 0;
    while (pos < count && list->get(pos)->getPriority() <= entry->getPriority())
        ++pos;
    list->insert(pos, entry);
    int base = _boneInfoListBase->get(bone);
    // An entry below the base (or in its place) pushes it up; the first entry of an empty
    // stack is at the base already.
    if (count > 0 && pos <= base)
        ++base;
    const State* state = entry->getAnimationState();
    if (state && state->getCombineMode() == State::kOverride && pos > base)
        base = pos;
    _boneInfoListBase->set(bone, base);
    _cacheValid = false;
}

void oxAnimationCombiner::recomputeBoneListBases()
{
    for (int b = 0; b < boneListCount(); ++b) {
        const oxAnimationCombinerBoneInfoList* list = _boneInfoListList->get(b);
        int base = 0;
        for (int i = list ? list->getCount() - 1 : 0; i >= 1; --i) {
            const State* s = list->get(i) ? list->get(i)->getAnimationState() : nullptr;
            if (s && s->getCombineMode() == State::kOverride) {
                base = i;
                break;
            }
        }
        if (b < _boneInfoListBase->getCount())
            _boneInfoListBase->set(b, base);
    }
    _cacheValid = false;
}

oxAnimationState* oxAnimationCombiner::determineBase(oxAnimationState* state,
                                                     oxAnimationTransitionDefinition*& definition) const
{
    definition = nullptr;
    const oxAnimation* animation = state ? state->getAnimation() : nullptr;
    const oxAnimationTransitionDefinitionList* transitions = animation ? animation->getTransitionList() : nullptr;
    if (!transitions || transitions->getCount() == 0)
        return nullptr;
    State* found = nullptr;
    int foundPriority = 0;
    for (int b = 0; b < boneListCount(); ++b) {
        const oxAnimationCombinerBoneInfoList* list = _boneInfoListList->get(b);
        if (!list)
            continue;
        const int base = getBoneListBase(b);
        bool below = false;
        for (int i = list->getCount() - 1; i >= base && i >= 0; --i) {
            const Entry* e = list->get(i);
            State* candidate = e ? e->getAnimationState() : nullptr;
            if (!candidate)
                continue;
            if (candidate == state) {
                below = true;
                continue;
            }
            if (!below)
                continue;
            if (found && e->getPriority() <= foundPriority)
                break;
            oxAnimationTransitionDefinition* match = nullptr;
            for (int d = 0; d < transitions->getCount() && !match; ++d)
                if (oxAnimationTransitionDefinition* def = transitions->get(d);
                    def && def->getBaseAnimation() && def->getBaseAnimation() == candidate->getAnimation())
                    match = def;
            if (match) {
                found = candidate;
                foundPriority = e->getPriority();
                definition = match;
                break;
            }
        }
    }
    return found;
}

// ---- states ----------------------------------------------------------------------------------

void oxAnimationCombiner::startState(oxAnimationState* state, int64_t t)
{
    state->setAnimationTime(state->getAnimationStartTime(), t);
    state->updateLocalTime(t);
    state->setBlendStartTime(t);
    state->setStatus(State::kPlaying);
    if (state->getCombineMode() == State::kTween)
        if (State* base = state->getBaseState())
            base->setStatus(State::kPaused);
}

void oxAnimationCombiner::awaitTransitionPoint(oxAnimationState* state, oxAnimationState* base,
                                               const oxAnimationTransitionDefinition* definition)
{
    const oxAnimation* a = base->getAnimation();
    const int64_t duration = a ? a->getDuration() : 0;
    state->setStatus(State::kAwaitingTransitionPoint);
    // A base without a cycle is at its transition point now.
    state->setBaseTransitionTime(base->getLocalTime());
    int64_t r = 0;
    uint64_t cycle = 0;
    int64_t p = base->getLocalTime();
    if (a && duration > 0) {
        cycle = getCycleTime(base->getLocalTime() - a->getKeyFrameTimeOffset() - a->getStartTime(), duration, r);
        p = a->getStartTime() + r;
    }
    bool nextCycle = false;
    const oxAnimationTransitionPoint* chosen = definition->getNextTransitionPoint(p, nextCycle);
    if (nextCycle)
        ++cycle;
    if (!chosen)
        return;
    if (a && duration > 0)
        state->setBaseTransitionTime(int64_t(cycle) * duration + a->getKeyFrameTimeOffset() +
                                     chosen->getTransitionTime());
    if (const oxAnimationTransitionParams* params = chosen->getTransitionParams()) {
        state->setAnimationStartTime(params->getTargetStartTime());
        state->setBlendStartRatio(params->getStartRatio());
        state->setBlendRatioRange(params->getEndRatio() - params->getStartRatio());
        state->setBlendDuration(params->getDuration());
    }
}

void oxAnimationCombiner::updateRatio(oxAnimationState* s, int64_t t)
{
    const int64_t duration = s->getBlendDuration();
    // A ramp of no length is over as soon as it starts.
    double f = duration == 0 ? 1.0 : double(t - s->getBlendStartTime()) / double(duration);
    if (f > 1.0)
        f = 1.0;
    const float r = s->getBlendStartRatio() + s->getBlendRatioRange() * float(f);
    if (s->getTransitionMode() == State::kEaseOut) {
        const float ratio = 1.0f - r;
        if (ratio <= 0.0f) {
            s->setStatus(State::kFinished);
            s->setBaseState(nullptr);
        }
        s->setCurrentBlendRatio(ratio);
        return;
    }
    if (r >= 1.0f) {
        State* base = s->getBaseState();
        switch (s->getTransitionMode()) {
        case State::kEaseIn:
            s->setCombineMode(State::kOverride);
            recomputeBoneListBases();
            s->setBaseState(nullptr);
            break;
        case State::kEaseInReplace:
            if (base) {
                s->setCombineMode(State::kOverride);
                recomputeBoneListBases();
                base->setStatus(State::kFinished);
                s->setBaseState(nullptr);
            } else
                finishAllBaseStates(s);
            break;
        case State::kEaseInReplaceAll:
            finishAllBaseStates(s);
            break;
        default:
            break;
        }
    }
    s->setCurrentBlendRatio(r);
}

void oxAnimationCombiner::finishAllBaseStates(oxAnimationState* state)
{
    for (int b = 0; b < boneListCount(); ++b) {
        const oxAnimationCombinerBoneInfoList* list = _boneInfoListList->get(b);
        int top = -1;
        for (int i = 0; list && i < list->getCount(); ++i)
            if (list->get(i) && list->get(i)->getAnimationState() == state)
                top = i;
        for (int i = 0; i < top; ++i)
            if (State* below = list->get(i) ? list->get(i)->getAnimationState() : nullptr; below && below != state)
                below->setStatus(State::kFinished);
    }
    state->setCombineMode(State::kOverride);
    state->setBaseState(nullptr);
    recomputeBoneListBases();
}

int oxAnimationCombiner::updateAnimStates(int64_t t)
{
    const int initial = getCurrentAnimationCount();
    for (int i = 0; i < initial; ++i)
        if (State* s = _animationStateList->get(i); s && (s->getStatus() == State::kPlaying || s->getNew()))
            s->updateLocalTime(t);

    for (int i = 0; i < getCurrentAnimationCount(); ++i) {
        State* s = _animationStateList->get(i);
        if (!s)
            continue;
        const TransitionMode tm = s->getTransitionMode();
        if (s->getCombineMode() == State::kOverride || s->getStatus() == State::kFinished || tm == State::kManual ||
            tm == State::kNone) {
            if (s->getStatus() == State::kAwaitingTransitionPoint)
                s->setStatus(State::kPlaying);
            continue;
        }
        if (s->getStatus() == State::kAwaitingTransitionPoint) {
            const State* base = s->getBaseState();
            if (!base || base->getLocalTime() >= s->getBaseTransitionTime())
                startState(s, t);
        } else if (s->getNew() && s->getBlendStartTime() == 0) {
            oxAnimationTransitionDefinition* definition = nullptr;
            State* base = determineBase(s, definition);
            if (!base) {
                s->setBlendStartRatio(0);
                s->setBlendRatioRange(1.0f);
                s->setAnimationStartTime(0);
                s->setBlendDuration(s->getAnimationDuration() / 3);
                startState(s, t);
            } else {
                s->setBaseState(base);
                if (definition->getTransitionPointCount() == 0) {
                    if (const oxAnimationTransitionParams* params = definition->getParams()) {
                        s->setAnimationStartTime(params->getTargetStartTime());
                        s->setBlendStartRatio(params->getStartRatio());
                        s->setBlendRatioRange(params->getEndRatio() - params->getStartRatio());
                        s->setBlendDuration(params->getDuration());
                    } else {
                        s->setAnimationStartTime(0);
                        s->setBlendStartRatio(0);
                        s->setBlendRatioRange(1.0f);
                        s->setBlendDuration(0);
                    }
                    startState(s, t);
                } else {
                    awaitTransitionPoint(s, base, definition);
                    if (s->getStatus() == State::kAwaitingTransitionPoint &&
                        base->getLocalTime() >= s->getBaseTransitionTime())
                        startState(s, t);
                }
            }
        } else if (s->getNew()) {
            startState(s, t);
            if (s->getCombineMode() == State::kTween) {
                oxAnimationTransitionDefinition* definition = nullptr;
                if (State* base = determineBase(s, definition)) {
                    s->setBaseState(base);
                    base->setStatus(State::kPaused);
                } else
                    s->setCombineMode(State::kBlend);
            }
        }
        if (s->getStatus() == State::kPlaying)
            updateRatio(s, t);
    }

    for (int i = 0; i < getCurrentAnimationCount(); ++i) {
        State* s = _animationStateList->get(i);
        if (s && s->getIsCycleMatchTarget() && !s->getManualCycleMatch())
            s->setCycleMatchTargetDuration(s->getCycleMatchBaseDuration() +
                                           int64_t(float(s->getCycleMatchDurationRange()) * s->getCurrentBlendRatio()));
    }

    for (int i = 0; i < getCurrentAnimationCount();) {
        State* s = _animationStateList->get(i);
        if (s && s->getStatus() == State::kFinished) {
            remove(s);
            continue;
        }
        if (s && s->getIsCycleMatchTarget()) {
            if (s->getCycleMatchTargetDuration() > 0)
                s->setPlaySpeed(float(double(s->getAnimationDuration()) / double(s->getCycleMatchTargetDuration())),
                                t);
        } else if (const State* target = s ? s->getCycleMatchTargetState() : nullptr) {
            if (target->getCycleMatchTargetDuration() > 0)
                s->setPlaySpeed(
                    float(double(s->getAnimationDuration()) / double(target->getCycleMatchTargetDuration())), t);
        }
        ++i;
    }
    return initial;
}

// ---- blending --------------------------------------------------------------------------------

oxMatrix44f* oxAnimationCombiner::update(oxTraversal* traversal, oxActor*)
{
    return updateAtTime(traversal ? traversal->getTimeAsLong() : 0);
}

oxMatrix44f* oxAnimationCombiner::updateAtTime(int64_t t)
{
    oxMatrix44f* cache = matrices(_animationCacheMatrixArray);
    if (!cache)
        return nullptr;
    if (_cacheValid && t == _cacheTime)
        return cache;
    if (updateAnimStates(t) == 0)
        return cache;
    if (getCurrentAnimationCount() == 1)
        playSingleState();
    else if (getCurrentAnimationCount() > 1)
        blendBones();
    _cacheTime = t;
    _cacheValid = true;
    setHierarchyUpdated(false);
    return cache;
}

void oxAnimationCombiner::playSingleState()
{
    State* s = nullptr;
    for (int b = 0; b < boneListCount() && !s; ++b)
        if (const oxAnimationCombinerBoneInfoList* list = _boneInfoListList->get(b); list && list->getCount() > 0)
            s = list->get(0)->getAnimationState();
    if (!s || !(s->getNew() || s->getStatus() == State::kPlaying))
        return;
    const int bones = std::min(boneListCount(), matrixCount(_animationCacheMatrixArray));
    for (int b = 0; b < bones; ++b) {
        const oxAnimationCombinerBoneInfoList* list = _boneInfoListList->get(b);
        Entry* e = list && list->getCount() > 0 ? list->get(0) : nullptr;
        if (!e)
            continue;
        e->evaluate(s->getLocalTime(), true);
        if (b < quaternionCount())
            quaternions()[b] = e->getQuaternion();
        setPose(matrices(_animationCacheMatrixArray)[b], e->getQuaternion(), e->getConstantTranslation());
    }
    s->setNew(false);
}

void oxAnimationCombiner::blendBones()
{
    const int bones = std::min(boneListCount(), matrixCount(_animationCacheMatrixArray));
    for (int b = 0; b < bones; ++b) {
        const oxAnimationCombinerBoneInfoList* list = _boneInfoListList->get(b);
        if (!list || list->getCount() == 0)
            continue;
        int base = getBoneListBase(b);
        if (base < 0 || base >= list->getCount())
            base = 0;
        Entry* e = list->get(base);
        State* s = e ? e->getAnimationState() : nullptr;
        if (!e)
            continue;
        if (s && s->getStatus() == State::kPlaying)
            e->evaluate(s->getLocalTime(), false);
        if (s)
            s->setNew(false);
        oxQuaternionf q = e->getQuaternion();
        oxVec3f v = e->getConstantTranslation();
        for (int i = base + 1; i < list->getCount(); ++i) {
            Entry* above = list->get(i);
            State* as = above ? above->getAnimationState() : nullptr;
            if (!as)
                continue;
            const bool newAndPaused = as->getNew() && as->getStatus() == State::kPaused;
            if (as->getStatus() == State::kPlaying || newAndPaused)
                above->evaluate(as->getLocalTime(), false);
            as->setNew(false);
            if (as->getStatus() == State::kAwaitingTransitionPoint)
                continue;
            const float w = as->getCurrentBlendRatio();
            q = slerp(q, above->getQuaternion(), w);
            v = v * (1.0f - w) + above->getConstantTranslation() * w;
        }
        if (b < quaternionCount())
            quaternions()[b] = q;
        setPose(matrices(_animationCacheMatrixArray)[b], q, v);
    }
}

// ---- cycle matching ----------------------------------------------------------------------------

bool oxAnimationCombiner::makeCycleMatchTarget(oxAnimationState* target)
{
    if (!target || _animationStateList->find(target) < 0)
        return false;
    target->setIsCycleMatchTarget(true);
    target->setCycleMatchDisable(false);
    const int64_t own = target->getAnimationDuration();
    State* widest = nullptr;
    int64_t widestDifference = -1;
    for (int b = 0; b < boneListCount(); ++b) {
        const oxAnimationCombinerBoneInfoList* list = _boneInfoListList->get(b);
        int top = -1;
        for (int i = 0; list && i < list->getCount(); ++i)
            if (list->get(i) && list->get(i)->getAnimationState() == target)
                top = i;
        for (int i = 0; i < top; ++i) {
            State* s = list->get(i) ? list->get(i)->getAnimationState() : nullptr;
            if (!s || s == target)
                continue;
            if (s->getCycleMatchTargetState() == target) {
                const int64_t difference = std::llabs(own - s->getAnimationDuration());
                if (difference > widestDifference) {
                    widest = s;
                    widestDifference = difference;
                }
                continue;
            }
            if (s->getIsCycleMatchTarget() || s->getCycleMatchTargetState() || s->getCycleMatchDisable())
                continue;
            s->setCycleMatchTargetState(target);
            const int64_t difference = std::llabs(own - s->getAnimationDuration());
            if (difference > widestDifference) {
                widest = s;
                widestDifference = difference;
            }
        }
    }
    const int64_t baseDuration = widest ? widest->getAnimationDuration() : own;
    target->setCycleMatchBaseDuration(baseDuration);
    target->setCycleMatchDurationRange(own - baseDuration);
    return true;
}

bool oxAnimationCombiner::endCycleMatchTarget(oxAnimationState* target)
{
    if (!target)
        return false;
    for (int i = 0; i < getCurrentAnimationCount(); ++i)
        if (State* s = _animationStateList->get(i); s && s->getCycleMatchTargetState() == target)
            s->setCycleMatchTargetState(nullptr);
    return true;
}

// ---- queries ---------------------------------------------------------------------------------

oxAnimationState* oxAnimationCombiner::getAnimationState(const oxAnimation* animation) const
{
    for (int i = 0; animation && i < getCurrentAnimationCount(); ++i)
        if (State* s = _animationStateList->get(i); s && s->getAnimation() == animation)
            return s;
    return nullptr;
}

oxAnimationCombinerBoneInfoList* oxAnimationCombiner::getBoneInfoList(int bone) const
{
    return bone >= 0 && bone < boneListCount() ? _boneInfoListList->get(bone) : nullptr;
}

int oxAnimationCombiner::getBoneListBase(int bone) const
{
    return bone >= 0 && bone < _boneInfoListBase->getCount() ? _boneInfoListBase->get(bone) : 0;
}

void oxAnimationCombiner::setBoneListBase(int bone, int index)
{
    if (bone >= 0 && bone < _boneInfoListBase->getCount())
        _boneInfoListBase->set(bone, index);
    _cacheValid = false;
}

oxQuaternionf oxAnimationCombiner::getResultQuaternion(int bone) const
{
    if (bone < 0 || bone >= quaternionCount())
        return {};
    return reinterpret_cast<const oxQuaternionf*>(_resultQuaternionArray.data())[bone];
}

void oxAnimationCombiner::setResultQuaternion(int bone, const oxQuaternionf& q)
{
    if (bone >= 0 && bone < quaternionCount())
        quaternions()[bone] = q;
}

const oxMatrix44f* oxAnimationCombiner::getAnimationCacheMatrix(int bone) const
{
    if (bone < 0 || bone >= matrixCount(_animationCacheMatrixArray))
        return nullptr;
    return matrices(_animationCacheMatrixArray) + bone;
}

void oxAnimationCombiner::setAnimationCacheMatrix(int bone, const oxMatrix44f& m)
{
    if (bone >= 0 && bone < matrixCount(_animationCacheMatrixArray))
        matrices(_animationCacheMatrixArray)[bone] = m;
}

oxAnimationTrack* oxAnimationCombiner::getAnimationTrack(oxAnimation* animation, int bone) const
{
    return animation && _animHierarchy ? animation->getAnimationTrack(_animHierarchy, bone) : nullptr;
}

} // namespace Kel::Sg

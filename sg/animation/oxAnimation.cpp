#include "sg/animation/oxAnimation.h"

#include <strings.h>

#include <cstring>

#include "sg/animation/oxTransformSequence1_5.h"

namespace Kel::Sg {

namespace {

// A mask read from a file may claim more bits than it holds words for: the bits it cannot
// hold read as clear, and it gets its words before it is written.
bool readBit(const oxBitMask* mask, unsigned i)
{
    return mask && i < mask->getBitCount() && int(i / 32) < mask->getCount() && mask->getBit(i);
}

void fitWords(oxBitMask* mask)
{
    mask->setBitCount(mask->getBitCount());
}

} // namespace

void oxAnimation::arkRegisterInitialize(oxFields<oxAnimation>& f)
{
    f.add(OX_FIELD(priority)).setDefault(0);
    f.add(OX_FIELD(bindingList)).constructWithOwner();
    f.add(OX_FIELD(trackList)).constructWithOwner();
    f.add(OX_FIELD(transitionList)).constructWithOwner();
    f.add(OX_FIELD(keyFrameTimeOffset)).setDefault(int64_t(0));
    f.add(OX_FIELD(startTime)).setDefault(int64_t(0));
    f.add(OX_FIELD(duration)).setDefault(int64_t(0));
    f.add(OX_FIELD(useAnimationTransBoolArray));
}

int oxAnimation::addTrack(oxAnimationTrack* track, bool useTranslation)
{
    if (!track || !_trackList) {
        oxReportWarning("oxAnimation::addTrack: %s", track ? "the animation has no track list" : "no track");
        return -1;
    }
    const int index = _trackList->getCount();
    if (_trackList->append(track) < 0)
        return -1;
    if (_useAnimationTransBoolArray) {
        fitWords(_useAnimationTransBoolArray);
        // A shorter array (one read from a file, or set by hand) first reaches the new
        // track's place, earlier tracks clear.
        if (_useAnimationTransBoolArray->getBitCount() < unsigned(index))
            _useAnimationTransBoolArray->setBitCount(unsigned(index));
        if (_useAnimationTransBoolArray->getBitCount() == unsigned(index))
            _useAnimationTransBoolArray->addBit(useTranslation);
        else
            _useAnimationTransBoolArray->setBit(unsigned(index), useTranslation);
    } else if (useTranslation) {
        _useAnimationTransBoolArray = oxBitMask::_instantiateRefFromPool(getMemoryPool());
        _useAnimationTransBoolArray->setBitCount(unsigned(index + 1));
        _useAnimationTransBoolArray->setBit(unsigned(index));
    }
    rebind();
    return index;
}

bool oxAnimation::removeTrack(int index)
{
    if (index < 0 || index >= getTrackCount())
        return false;
    _trackList->remove(index);
    if (_useAnimationTransBoolArray && unsigned(index) < _useAnimationTransBoolArray->getBitCount()) {
        fitWords(_useAnimationTransBoolArray);
        _useAnimationTransBoolArray->removeBit(unsigned(index));
    }
    return true;
}

oxAnimationTrack* oxAnimation::getAnimationTrack(int index) const
{
    if (index < 0 || index >= getTrackCount())
        return nullptr;
    return _trackList->get(index);
}

int oxAnimation::getTrackIndex(const char* name) const
{
    if (!name)
        return -1;
    const int n = getTrackCount();
    for (int i = 0; i < n; ++i) {
        const oxAnimationTrack* track = _trackList->get(i);
        if (track && !track->getName().isNull() && std::strcmp(track->getName().c_str(), name) == 0)
            return i;
    }
    return -1;
}

oxAnimationTrack* oxAnimation::getAnimationTrack(const char* name) const
{
    if (!name)
        return nullptr;
    const int n = getTrackCount();
    for (int i = 0; i < n; ++i) {
        oxAnimationTrack* track = _trackList->get(i);
        if (track && !track->getName().isNull() && strcasecmp(track->getName().c_str(), name) == 0)
            return track;
    }
    return nullptr;
}

const char* oxAnimation::getTrackName(int index) const
{
    const oxAnimationTrack* track = getAnimationTrack(index);
    return track ? track->getName().get() : nullptr;
}

bool oxAnimation::getUseAnimationTranslationBool(int index) const
{
    return index >= 0 && readBit(_useAnimationTransBoolArray, unsigned(index));
}

bool oxAnimation::setUseAnimationTranslationBool(int index, bool value)
{
    if (!_useAnimationTransBoolArray || index < 0 || unsigned(index) >= _useAnimationTransBoolArray->getBitCount())
        return false;
    fitWords(_useAnimationTransBoolArray);
    _useAnimationTransBoolArray->setBit(unsigned(index), value);
    return true;
}

oxSmartPointer<oxAnimationBinding> oxAnimation::makeBinding(oxAnimationHierarchy* hierarchy, int& count) const
{
    count = 0;
    oxSmartPointer<oxAnimationBinding> binding = oxAnimationBinding::_instantiateRefFromPool(getMemoryPool());
    if (!binding->configure(hierarchy))
        return nullptr;
    const int bones = binding->getBoneTrackIndexCount();
    for (int b = 0; b < bones; ++b) {
        const int track = getTrackIndex(hierarchy->getBoneName(b));
        binding->setBoneTrackIndex(b, track);
        if (track >= 0)
            ++count;
    }
    return binding;
}

int oxAnimation::createAndAppendNewBinding(oxAnimationHierarchy* hierarchy, oxAnimationBinding*& binding)
{
    binding = nullptr;
    int count = 0;
    oxSmartPointer<oxAnimationBinding> made = makeBinding(hierarchy, count);
    if (!made || count < 1 || !_bindingList)
        return count;
    made->setBindCount(count);
    if (_bindingList->append(made) < 0)
        return 0;
    binding = made;
    return count;
}

int oxAnimation::bind(oxAnimationHierarchy* hierarchy, oxAnimationBinding*& binding)
{
    if (getBinding(hierarchy, binding) >= 0)
        return binding->getBindCount();
    return createAndAppendNewBinding(hierarchy, binding);
}

int oxAnimation::bind(oxAnimationHierarchy* hierarchy)
{
    oxAnimationBinding* binding = nullptr;
    return bind(hierarchy, binding);
}

int oxAnimation::findBinding(const oxAnimationHierarchy* hierarchy, bool reflected,
                             oxAnimationBinding*& binding) const
{
    binding = nullptr;
    const int n = getBindCount();
    for (int i = 0; hierarchy && i < n; ++i) {
        oxAnimationBinding* b = _bindingList->get(i);
        if (b && b->getHierarchy() == hierarchy && b->isReflected() == reflected) {
            binding = b;
            return i;
        }
    }
    return -1;
}

int oxAnimation::getBinding(oxAnimationHierarchy* hierarchy, oxAnimationBinding*& binding) const
{
    return findBinding(hierarchy, false, binding);
}

int oxAnimation::getReflectedBinding(oxAnimationHierarchy* hierarchy, oxAnimationBinding*& binding) const
{
    return findBinding(hierarchy, true, binding);
}

oxAnimationBinding* oxAnimation::getBinding(int index) const
{
    if (index < 0 || index >= getBindCount())
        return nullptr;
    return _bindingList->get(index);
}

int oxAnimation::getBinding(const oxAnimationBinding* binding) const
{
    return _bindingList && binding ? _bindingList->find(binding) : -1;
}

oxAnimationTrack* oxAnimation::getAnimationTrack(oxAnimationHierarchy* hierarchy, int bone)
{
    oxAnimationBinding* binding = nullptr;
    if (bind(hierarchy, binding) == 0 || !binding)
        return nullptr;
    return getAnimationTrack(binding, bone);
}

oxAnimationTrack* oxAnimation::getAnimationTrack(const oxAnimationBinding* binding, int bone) const
{
    return binding ? getAnimationTrack(binding->getBoneTrackIndex(bone)) : nullptr;
}

void oxAnimation::rebind()
{
    const int n = getBindCount();
    for (int i = 0; i < n; ++i) {
        oxAnimationBinding* old = _bindingList->get(i);
        if (!old || !old->getHierarchy())
            continue;
        int count = 0;
        oxSmartPointer<oxAnimationBinding> fresh = makeBinding(old->getHierarchy(), count);
        if (!fresh)
            continue;
        if (count != 0)
            fresh->setBindCount(count);
        // A mirrored binding stays mirrored even where its recorded swaps set no bone.
        if (old->isReflected())
            fresh->setReflectTrack(oxBitMask::_instantiateRefFromPool(getMemoryPool()));
        if (const oxIntList* swaps = old->getChainSwapList()) {
            oxSmartPointer<oxIntList> copy = oxIntList::_instantiateRefFromPool(getMemoryPool());
            for (int k = 0; k < swaps->getCount(); ++k)
                copy->append(swaps->get(k));
            fresh->setChainSwapList(copy);
        }
        fresh->applySwapListToBinding();
        _bindingList->set(i, fresh);
    }
}

int oxAnimation::bindReflected(oxAnimationHierarchy* hierarchy, oxAnimationBinding*& binding, int type)
{
    if (getReflectedBinding(hierarchy, binding) >= 0)
        return binding->getBindCount();
    int count = 0;
    oxSmartPointer<oxAnimationBinding> made = makeBinding(hierarchy, count);
    if (!made || count < 1 || !_bindingList)
        return 0;
    made->setBindCount(count);
    made->reflect(type);
    // A binding that found nothing to mirror would pass for the plain one: it is not kept.
    if (!made->isReflected() || _bindingList->append(made) < 0)
        return 0;
    binding = made;
    return count;
}

int oxAnimation::reflectAllBindings(int type)
{
    int reflected = 0;
    const int n = getBindCount();
    for (int i = 0; i < n; ++i) {
        oxAnimationBinding* b = _bindingList->get(i);
        if (b && !b->isReflected()) {
            b->reflect(type);
            reflected += b->isReflected() ? 1 : 0;
        }
    }
    return reflected;
}

int oxAnimation::reflectAllBindings(const char* left, const char* right, bool prefixOnly, int type)
{
    int reflected = 0;
    const int n = getBindCount();
    for (int i = 0; i < n; ++i) {
        oxAnimationBinding* b = _bindingList->get(i);
        if (b && !b->isReflected()) {
            b->reflect(left, right, prefixOnly, type);
            reflected += b->isReflected() ? 1 : 0;
        }
    }
    return reflected;
}

int oxAnimation::addTransitionDefinition(oxAnimationTransitionDefinition* definition)
{
    if (!definition || !_transitionList)
        return -1;
    return _transitionList->append(definition);
}

bool oxAnimation::removeTransitionDefinition(oxAnimationTransitionDefinition* definition)
{
    return definition && _transitionList && _transitionList->removeObject(definition) >= 0;
}

namespace {

// Calls `step` on the keyframed sequence of every track that has one; counts the true answers.
template <class Step>
int eachSequence(const oxAnimation& animation, Step&& step)
{
    int changed = 0;
    for (int i = 0; i < animation.getTrackCount(); ++i)
        if (oxAnimationTrack* track = animation.getAnimationTrack(i))
            if (auto* sequence = oxTransformSequence1_5::dynamicCast(track->getSource()))
                changed += step(sequence) ? 1 : 0;
    return changed;
}

} // namespace

int oxAnimation::compress(bool release)
{
    return eachSequence(*this, [release](oxTransformSequence1_5* s) { return s->compress(release); });
}

int oxAnimation::uncompress(bool release)
{
    return eachSequence(*this, [release](oxTransformSequence1_5* s) { return s->uncompress(release); });
}

bool oxAnimation::hasTransitionDefinitionFrom(const oxAnimation* base) const
{
    const int n = _transitionList ? _transitionList->getCount() : 0;
    for (int i = 0; base && i < n; ++i) {
        const oxAnimationTransitionDefinition* d = _transitionList->get(i);
        if (d && d->getBaseAnimation() == base)
            return true;
    }
    return false;
}

} // namespace Kel::Sg

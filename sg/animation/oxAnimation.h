#pragma once
#include "sg/animation/oxAnimationBinding.h"
#include "sg/animation/oxAnimationTrack.h"
#include "sg/animation/oxAnimationTransitionDefinition.h"

namespace Kel::Sg {

// A named set of tracks, one per animated bone, authored without a skeleton in mind. The
// tracks meet a hierarchy's bones by name through a binding, made the first time the
// hierarchy asks and kept, one per hierarchy, beside any mirrored ones. Adding a track
// rebuilds every binding; removing one does not.
class oxAnimation : public oxNamedObject {
    OX_CLASS(oxAnimation, oxNamedObject)
    OX_FIELDS(priority, bindingList, trackList, transitionList, keyFrameTimeOffset, startTime, duration,
              useAnimationTransBoolArray)
public:
    // Appends the track, with `useTranslation` as its translation bit, and rebinds. Without
    // a bit array a false bit needs none, and a true one makes it (earlier tracks clear).
    // The track's index; -1 for a null track.
    int addTrack(oxAnimationTrack* track, bool useTranslation);
    // Takes track i and its bit out; the bindings are left as they are.
    bool removeTrack(int index);
    int getTrackCount() const { return _trackList ? _trackList->getCount() : 0; }
    // Null for an index out of range.
    oxAnimationTrack* getAnimationTrack(int index) const;
    // The first track named exactly `name` (case counts), or -1.
    int getTrackIndex(const char* name) const;
    // The first track named `name` ignoring case, or null.
    oxAnimationTrack* getAnimationTrack(const char* name) const;
    // Null for an index out of range or an unnamed track.
    const char* getTrackName(int index) const;
    oxAnimationTrackList* getTrackList() const { return _trackList; }

    // Whether track i takes its translation from its source; false without a bit array.
    bool getUseAnimationTranslationBool(int index) const;
    // Only where the bit array has a bit for the track.
    bool setUseAnimationTranslationBool(int index, bool value);
    oxBitMask* getUseAnimationTransBoolArray() const { return _useAnimationTransBoolArray; }
    void setUseAnimationTransBoolArray(oxBitMask* bits) { _useAnimationTransBoolArray = bits; }

    // The hierarchy's plain binding, made and kept when there is none yet. Returns its bind
    // count; 0 with a null binding when no bone finds a track.
    int bind(oxAnimationHierarchy* hierarchy, oxAnimationBinding*& binding);
    int bind(oxAnimationHierarchy* hierarchy);
    // A new binding for the hierarchy, kept only when at least one bone found a track.
    int createAndAppendNewBinding(oxAnimationHierarchy* hierarchy, oxAnimationBinding*& binding);
    // Position of the hierarchy's first plain binding (-1 and null when none).
    int getBinding(oxAnimationHierarchy* hierarchy, oxAnimationBinding*& binding) const;
    // The same for mirrored bindings.
    int getReflectedBinding(oxAnimationHierarchy* hierarchy, oxAnimationBinding*& binding) const;
    oxAnimationBinding* getBinding(int index) const;
    int getBinding(const oxAnimationBinding* binding) const;
    int getBindCount() const { return _bindingList ? _bindingList->getCount() : 0; }
    oxAnimationBindingList* getBindingList() const { return _bindingList; }
    // The track driving `bone` of the hierarchy through its plain binding (binding first
    // when needed), or null.
    oxAnimationTrack* getAnimationTrack(oxAnimationHierarchy* hierarchy, int bone);
    oxAnimationTrack* getAnimationTrack(const oxAnimationBinding* binding, int bone) const;
    // Rebuilds every binding from the tracks as they are now, mirroring it again as its
    // recorded swaps say; each keeps its place in the list.
    void rebind();

    // The hierarchy's mirrored binding; made with the automatic choice of identifiers when
    // there is none. Its bind count, or 0 with a null binding when it cannot be mirrored.
    int bindReflected(oxAnimationHierarchy* hierarchy, oxAnimationBinding*& binding, int type);
    // Mirrors every binding that is not mirrored yet, automatically or with the given
    // identifiers; the number of bindings that became mirrored.
    int reflectAllBindings(int type);
    int reflectAllBindings(const char* left, const char* right, bool prefixOnly, int type);
    int generateReflectedBindings(int type) { return reflectAllBindings(type); }

    // Definitions of how to enter this animation from others.
    int addTransitionDefinition(oxAnimationTransitionDefinition* definition);
    bool removeTransitionDefinition(oxAnimationTransitionDefinition* definition);
    oxAnimationTransitionDefinitionList* getTransitionList() const { return _transitionList; }
    oxAnimationTransitionDefinitionList* getTransitionDefinitionList() const { return _transitionList; }
    void setTransitionDefinitionList(oxAnimationTransitionDefinitionList* list) { _transitionList = list; }
    bool hasTransitionDefinitionFrom(const oxAnimation* base) const;

    // Compresses (or restores) the key lists of every track driven by a keyframed sequence;
    // `release` drops the form left behind. The number of sequences that changed.
    int compress(bool release);
    int uncompress(bool release);

    int getPriority() const { return _priority; }
    void setPriority(int priority) { _priority = priority; }
    int64_t getKeyFrameTimeOffset() const { return _keyFrameTimeOffset; }
    void setKeyFrameTimeOffset(int64_t t) { _keyFrameTimeOffset = t; }
    int64_t getStartTime() const { return _startTime; }
    void setStartTime(int64_t t) { _startTime = t; }
    int64_t getDuration() const { return _duration; }
    void setDuration(int64_t d) { _duration = d; }

protected:
    oxAnimation() = default;
    static void arkRegisterInitialize(oxFields<oxAnimation>& f);
    // A binding for the hierarchy with every bone's track found by name (not listed).
    oxSmartPointer<oxAnimationBinding> makeBinding(oxAnimationHierarchy* hierarchy, int& count) const;
    int findBinding(const oxAnimationHierarchy* hierarchy, bool reflected, oxAnimationBinding*& binding) const;

    int _priority = 0;
    oxSmartPointer<oxAnimationBindingList> _bindingList;
    oxSmartPointer<oxAnimationTrackList> _trackList;
    oxSmartPointer<oxAnimationTransitionDefinitionList> _transitionList;
    int64_t _keyFrameTimeOffset = 0;
    int64_t _startTime = 0;
    int64_t _duration = 0;
    oxSmartPointer<oxBitMask> _useAnimationTransBoolArray;
};

OX_OBJECT_LIST(oxAnimationList, oxAnimation)

} // namespace Kel::Sg

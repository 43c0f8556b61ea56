#pragma once
#include "sg/animation/oxAnimationHierarchy.h"
#include "sg/core/oxBitMask.h"

namespace Kel::Sg {

// Which track of an animation drives each bone of one hierarchy (-1: none), found by name
// once and kept. A reflected binding also mirrors the animation: left and right bones
// exchange their tracks and every bone records the plane its poses are reflected in. The
// swaps are recorded as they are made, so that a binding rebuilt after the animation's
// tracks changed can be mirrored the same way again.
class oxAnimationBinding : public oxObject {
    OX_CLASS(oxAnimationBinding, oxObject)
    OX_FIELDS(hierarchy, boneTrackIdxArray, bindCount, chainSwapList, reflectTrack)
public:
    OX_ENUM(ReflectionType, PlaneYZ = 0, PlaneXZ = 1, PlaneXY = 2)

    // False for a null hierarchy, one without bones, or when a hierarchy is already set.
    // Every bone starts without a track.
    bool configure(oxAnimationHierarchy* hierarchy);
    // The same, then one track index per bone from `indices`.
    bool configure(oxAnimationHierarchy* hierarchy, const int* indices);
    bool configured() const { return _hierarchy.valid(); }

    oxAnimationHierarchy* getHierarchy() const { return _hierarchy; }
    oxAnimationHierarchy* getSkeleton() const { return _hierarchy; }
    int getBoneCount() const { return _hierarchy ? _hierarchy->getBoneCount() : 0; }

    // -1 for a bone without a track, and for a bone outside the binding.
    int getBoneTrackIndex(int bone) const;
    bool setBoneTrackIndex(int bone, int track);
    // One index per bone (getBoneTrackIndexCount of them).
    const int* getBoneTrackIdxArray() const { return indices(); }
    int getBoneTrackIndexCount() const { return int(_boneTrackIdxArray.size() / sizeof(int32_t)); }
    // The first bone driven by `track`, or -1.
    int getBoneIndexOfTrack(int track) const;
    int getBindCount() const { return _bindCount; }
    void setBindCount(int count) { _bindCount = count; }

    // Reflection types (ReflectionType), -1 for a bone that is not reflected. A binding is
    // reflected as soon as it has a reflection mask, whatever its bits say.
    int getBoneReflectionType(int bone) const;
    // Makes the mask when needed. False for a bone outside the binding or a type outside
    // -1..PlaneXY.
    bool setBoneReflectionType(int bone, int type);
    bool isReflected() const { return _reflectTrack.valid(); }
    oxBitMask* getReflectTrack() const { return _reflectTrack; }
    void setReflectTrack(oxBitMask* mask) { _reflectTrack = mask; }

    // Recorded swaps, three ints each: (-i, -j, type) for a pair of bones, (i, j, type) for
    // two chains starting at bones i and j.
    oxIntList* getChainSwapList() const { return _chainSwapList; }
    void setChainSwapList(oxIntList* list) { _chainSwapList = list; }
    void addSwap(int first, int second, int type);
    void removeSwaps();
    void removeReflections();
    void removeSwapsAndReflections();

    // Exchanges the tracks of bones i and j, gives both the reflection type and records the
    // swap. False, changing nothing, for a bone outside the binding or a bad type.
    bool swapAndReflectBones(int i, int j, int type);
    bool swapAndReflectBones(const char* first, const char* second, int type);
    // The bone keeps its track and is reflected.
    bool reflectBone(int bone, int type) { return swapAndReflectBones(bone, bone, type); }
    bool reflectBone(const char* name, int type) { return swapAndReflectBones(name, name, type); }
    // The same for bones i and j and then, in step, for the bones below them down their
    // chains until either chain ends.
    bool swapAndReflectChains(int i, int j, int type);
    bool swapAndReflectChains(const char* first, const char* second, int type);
    bool reflectChain(int bone, int type) { return swapAndReflectChains(bone, bone, type); }
    bool reflectChain(const char* name, int type) { return swapAndReflectChains(name, name, type); }
    // Clears the reflection bits, then makes every recorded swap again, in order.
    void applySwapListToBinding();

    // Mirrors bones named with the left identifier onto their namesakes with the right one
    // (ignoring case; anywhere in the name, or at its start only with `prefixOnly`); bones
    // with neither are reflected in place. Returns the number of pairs.
    int reflect(const char* left, const char* right, bool prefixOnly, int type);
    // Counts the pairs `reflect` would find, changing nothing.
    int testIdentifiers(const char* left, const char* right, bool prefixOnly) const;
    // Mirrors with whichever of "l_"/"r_", "left"/"right" and "_l"/"_r" finds strictly the
    // most pairs. Nothing (0) when the binding is already reflected or no pair wins.
    int reflect(int type);

protected:
    oxAnimationBinding() = default;
    static void arkRegisterInitialize(oxFields<oxAnimationBinding>& f);

    int32_t* indices() { return reinterpret_cast<int32_t*>(_boneTrackIdxArray.data()); }
    const int32_t* indices() const { return reinterpret_cast<const int32_t*>(_boneTrackIdxArray.data()); }
    bool validBone(int bone) const { return bone >= 0 && bone < getBoneTrackIndexCount(); }
    // The swap itself, unrecorded.
    bool exchange(int i, int j, int type);
    // The swap down two chains, unrecorded.
    bool exchangeChains(int i, int j, int type);

    oxSmartPointer<oxAnimationHierarchy> _hierarchy;
    oxMemoryBlock _boneTrackIdxArray;
    int _bindCount = 0;
    oxSmartPointer<oxIntList> _chainSwapList;
    oxSmartPointer<oxBitMask> _reflectTrack;
};

OX_OBJECT_LIST(oxAnimationBindingList, oxAnimationBinding)

} // namespace Kel::Sg

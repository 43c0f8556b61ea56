#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

class oxTransformSequence1_5;

// A 16-bit copy of a sequence's translation, rotation and scale keys: each list is quantised
// against one base and one range, so a key costs 2 bytes per component instead of 4. The
// sequence can drop its float lists while this copy lives and get them back from it.
class oxCompressedTransformSequence1_5Data : public oxObject {
    OX_CLASS(oxCompressedTransformSequence1_5Data, oxObject)
    OX_FIELDS(compressedTranslationList, compressedQuatList, compressedScaleList, compressedTimeList,
              translationBase, translationRange, quatBase, quatRange, scaleBase, scaleRange)
public:
    // Quantises the sequence's driven channels; `release` then empties its float lists.
    void compress(oxTransformSequence1_5* sequence, bool release);
    // Restores the driven channels' float lists; `release` then empties the 16-bit lists.
    // False when a list holds fewer values than the sequence's keys need.
    bool uncompress(oxTransformSequence1_5* sequence, bool release);
    void releaseCompressedData();

    oxUnsignedShortList* getCompressedTranslationList() const { return _compressedTranslationList; }
    oxUnsignedShortList* getCompressedQuatList() const { return _compressedQuatList; }
    oxUnsignedShortList* getCompressedScaleList() const { return _compressedScaleList; }
    oxUnsignedShortList* getCompressedTimeList() const { return _compressedTimeList; }
    float getTranslationBase() const { return _translationBase; }
    float getTranslationRange() const { return _translationRange; }
    float getQuatBase() const { return _quatBase; }
    float getQuatRange() const { return _quatRange; }
    float getScaleBase() const { return _scaleBase; }
    float getScaleRange() const { return _scaleRange; }

protected:
    oxCompressedTransformSequence1_5Data() = default;
    static void arkRegisterInitialize(oxFields<oxCompressedTransformSequence1_5Data>& f);

    oxSmartPointer<oxUnsignedShortList> _compressedTranslationList;
    oxSmartPointer<oxUnsignedShortList> _compressedQuatList;
    oxSmartPointer<oxUnsignedShortList> _compressedScaleList;
    oxSmartPointer<oxUnsignedShortList> _compressedTimeList;
    float _translationBase = 0;
    float _translationRange = 0;
    float _quatBase = 0;
    float _quatRange = 0;
    float _scaleBase = 0;
    float _scaleRange = 0;
};

} // namespace Kel::Sg

#pragma once
#include "sg/animation/oxAnimationEnums.h"
#include "sg/nodes/oxTransformSource.h"

namespace Kel::Sg {

// A transform source that drives one bone of an animation from keys of its own: what the
// combiner and the tools ask of any per-bone sequence beyond evaluation. The compressed
// sequences and the inverse kinematics source answer it; a source without keys reports
// zero counts and null entries.
class oxAnimationSequence : public oxTransformSource {
    OX_CLASS(oxAnimationSequence, oxTransformSource)
public:
    static oxMetaEnum* getDRIVEN_CHANNELMetaEnum() { return Sg::getDRIVEN_CHANNELMetaEnum(); }
    static oxMetaEnum* getPLAY_MODEMetaEnum() { return Sg::getPLAY_MODEMetaEnum(); }

    // DRIVEN_CHANNEL bits.
    virtual unsigned char getComponentChannels() const = 0;
    virtual int getTranslationCount() const = 0;
    // Null when the key has no translation.
    virtual const oxVec3f* getTranslation(int key) const = 0;
    virtual void removeTranslationChannel() = 0;
    virtual int getScaleCount() const = 0;
    virtual const oxVec3f* getScale(int key) const = 0;
    virtual void removeScaleChannel() = 0;
    virtual int64_t getKeyframeTimeOffset() = 0;
    virtual int64_t getTimeAsLong(int key) const = 0;
    // Length of one cycle, nanoseconds.
    virtual int64_t getDuration() = 0;

protected:
    oxAnimationSequence() = default;
};

} // namespace Kel::Sg

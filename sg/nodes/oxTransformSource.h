#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

// Base of the optional parameter objects handed to a transform source's evaluation.
class oxTransformSourceParameters : public oxObject {
    OX_CLASS(oxTransformSourceParameters, oxObject)
public:
    virtual ~oxTransformSourceParameters() = 0;

protected:
    oxTransformSourceParameters() = default;
};

// What drives a transform's matrix over time: keyframe and compressed sequences, animation
// tracks, inverse kinematics. A source only has to say how it makes a matrix at a time; the
// quaternion forms, the cursor and parameter forms fall back on that. `cursor` is the
// caller's evaluation hint (a keyframe source keeps the index of the key it found last, so
// that the next search starts there). The result tells whether a value was produced.
class oxTransformSource : public oxObject {
    OX_CLASS(oxTransformSource, oxObject)
public:
    virtual bool getMatrix(oxMatrix44f& m, int64_t t, int& cursor, oxTransformSourceParameters* params);
    virtual bool getMatrix(oxMatrix44f& m, int64_t t) = 0;
    virtual bool getQuaternion(oxQuaternionf& q, int64_t t, int& cursor, oxTransformSourceParameters* params);
    virtual bool getQuaternion(oxQuaternionf& q, int64_t t);
    virtual bool getQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t, int& cursor,
                                             oxTransformSourceParameters* params);
    virtual bool getQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t);
    // Whether transform() can bake a matrix into the source's output.
    virtual bool isTransformable() const { return false; }
    virtual void transform(const oxMatrix44f&) {}
    virtual int64_t getFirstFrameTime() { return 0; }
    virtual int64_t getLastFrameTime() { return 0; }
    // Rewinds whatever evaluation state the source keeps.
    virtual void reset() {}

protected:
    oxTransformSource() = default;
};

} // namespace Kel::Sg

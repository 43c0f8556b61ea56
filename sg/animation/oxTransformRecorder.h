#pragma once
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

// A group that remembers where it stood in the last draw: the draw traversal gives it the
// model-to-world matrix and the model-view matrix in force at it, for whoever needs a
// world position inside an animated graph (inverse kinematics targets, attachments).
class oxTransformRecorder : public oxGroup {
    OX_CLASS(oxTransformRecorder, oxGroup)
    OX_FIELDS(m, mvm)
public:
    virtual void setMatrix(const oxMatrix44f* m) { _m = *m; }
    virtual void setMvmMatrix(const oxMatrix44f* m) { _mvm = *m; }
    const oxMatrix44f* getMatrix() const { return &_m; }
    const oxMatrix44f* getMvm() const { return &_mvm; }

protected:
    oxTransformRecorder() = default;
    static void arkRegisterInitialize(oxFields<oxTransformRecorder>& f);

    oxMatrix44f _m;
    oxMatrix44f _mvm;
};

} // namespace Kel::Sg

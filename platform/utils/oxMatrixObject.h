#pragma once
#include "platform/math/oxMathTypes.h"
#include "platform/core/oxObjectList.h"

namespace Kel::Utils {

using Math::oxMatrix44f;

// A reference-counted matrix, for matrices that several holders share (skinning
// matrices of joints, per-frame accumulated matrices from a pool).
class oxMatrixObject : public Core::oxObject {
    OX_CLASS(oxMatrixObject, Core::oxObject)
    OX_FIELDS(matrix)
public:
    const oxMatrix44f& getMatrix() const { return _matrix; }
    oxMatrix44f& getMatrix() { return _matrix; }
    void setMatrix(const oxMatrix44f& m) { _matrix = m; }

protected:
    oxMatrixObject() = default;
    static void arkRegisterInitialize(Core::oxFields<oxMatrixObject>& f) { f.add(OX_FIELD(matrix)); }
    oxMatrix44f _matrix;
};

OX_OBJECT_LIST(oxMatrixObjectList, oxMatrixObject)

} // namespace Kel::Utils

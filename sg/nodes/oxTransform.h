#pragma once
#include "platform/attrs/oxAttr.h"
#include "platform/utils/oxDataStack.h"
#include "sg/nodes/oxGroup.h"
#include "sg/nodes/oxTransformSource.h"

namespace Kel::Sg {

using Attrs::oxVisualAttribute;

// A group whose matrix applies to its subtree: to the model-view matrix, to one of the
// eight vertex-blend matrices or to one of the eight texture matrices. A bound source
// rewrites the matrix at every update; otherwise it stays as set by hand.
class oxTransform : public oxGroup {
    OX_CLASS(oxTransform, oxGroup)
    OX_FIELDS(m, target, mvm, transformInput)
public:
    OX_ENUM(TARGET, MODEL_VIEW_MATRIX = 0, VERTEX_BLEND_MATRIX_0 = 1, VERTEX_BLEND_MATRIX_1 = 2,
            VERTEX_BLEND_MATRIX_2 = 3, VERTEX_BLEND_MATRIX_3 = 4, VERTEX_BLEND_MATRIX_4 = 5,
            VERTEX_BLEND_MATRIX_5 = 6, VERTEX_BLEND_MATRIX_6 = 7, VERTEX_BLEND_MATRIX_7 = 8, TEXTURE_MATRIX_0 = 9,
            TEXTURE_MATRIX = 9, TEXTURE_MATRIX_1 = 10, TEXTURE_MATRIX_2 = 11, TEXTURE_MATRIX_3 = 12,
            TEXTURE_MATRIX_4 = 13, TEXTURE_MATRIX_5 = 14, TEXTURE_MATRIX_6 = 15, TEXTURE_MATRIX_7 = 16)

    oxMatrix44f* getMatrix() { return &_m; }
    const oxMatrix44f* getMatrix() const { return &_m; }
    virtual void setMatrix(const oxMatrix44f* m) { _m = *m; }
    int getTarget() const { return _target; }
    virtual void setTarget(int target) { _target = target; }

    oxTransformSource* getTransformSource() { return _transformInput; }
    const oxTransformSource* getTransformSource() const { return _transformInput; }
    void setTransformSource(oxTransformSource* source) { _transformInput = source; }
    // The attribute the draw traversal made for this transform and keeps here between frames.
    oxVisualAttribute* getCachedAttr() const { return _mvm; }
    void setCachedAttr(oxVisualAttribute* attr) { _mvm = attr; }

    // Lets the source, if any, rewrite the matrix for time t; its result is not examined.
    virtual void update(int64_t t);
    // A driven transform rewinds its source and returns to identity; a matrix set by hand
    // is kept.
    void reset() override;
    // Only an unshared model-view transform can absorb a matrix, and a driven one only
    // when its source can.
    bool isTransformable() const override;
    // Absorbs m into the matrix (or the source); moving the matrix moves the whole subtree,
    // so the children are left alone.
    void transform(const oxMatrix44f& m) override;
    int getInherantFlags() override { return HAS_TRANSFORM; }
    void userInstantiate(bool forFileRead) override;

protected:
    oxTransform() = default;
    static void arkRegisterInitialize(oxFields<oxTransform>& f);

    oxMatrix44f _m;
    int _target = MODEL_VIEW_MATRIX;
    oxSmartPointer<oxVisualAttribute> _mvm;
    oxSmartPointer<oxTransformSource> _transformInput;
};

OX_OBJECT_LIST(oxTransformList, oxTransform)
OX_OBJECT_LIST(oxTransformListList, oxTransformList)
OX_NON_REF_COUNTED_OBJECT_LIST(oxNonRefCountedTransformList, oxTransform)

// The transforms entered on the way down a walk, innermost last.
class oxTransformStack : public Utils::oxStackOf<oxNonRefCountedTransformList> {
    OX_CLASS(oxTransformStack, oxNonRefCountedTransformList)
public:
    void push(oxTransform* transform) { append(transform); }
    oxTransform* top() const { return isEmpty() ? nullptr : get(getCount() - 1); }

protected:
    oxTransformStack() = default;
};

} // namespace Kel::Sg

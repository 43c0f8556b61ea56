#pragma once
#include "platform/attrs/oxMatrixAttrs.h"
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

using Attrs::oxModelViewMatrixAttr;

// The billboard matrix, shared by the billboard node and whatever else turns a subtree
// towards the eye: `model` maps the billboard's coordinates into the space wanted, `eye` is
// the viewer's matrix in that space (its translation the eye position, its second row the
// eye's up direction); `mode` is one of oxBillboard::Mode, `axis` its up axis for
// ABOUT_AXIS, `origin` the point turned about, in the billboard's coordinates. The result's
// rows are the turned x, y and z axes, its translation the origin in that space.
void oxComputeBillboardTransform(oxMatrix44f* out, const oxMatrix44f* model, const oxMatrix44f* eye, int mode,
                                 const oxVec3f& axis, const oxVec3f& origin);

// A group whose subtree turns towards the viewer: its local y axis follows an up direction
// (fixed, an axis of the node, or derived from the view) and its local z axis points at
// the eye as far as that up direction allows.
class oxBillboard : public oxGroup {
    OX_CLASS(oxBillboard, oxGroup)
    OX_FIELDS(mode, axis, origin, mvm)
public:
    OX_ENUM(Mode, ABOUT_UP = 0, ABOUT_AXIS = 1, ABOUT_POINT_WORLD_UP = 2, ABOUT_POINT_EYE_UP = 3)

    Mode getMode() const { return Mode(_mode); }
    void setMode(Mode mode) { _mode = mode; }
    const oxVec3f& getAxis() const { return _axis; }
    void setAxis(const oxVec3f& axis) { _axis = axis; }
    const oxVec3f& getOrigin() const { return _origin; }
    void setOrigin(const oxVec3f& origin) { _origin = origin; }
    // The attribute the draw traversal made for this billboard and keeps here between
    // frames.
    oxModelViewMatrixAttr* getCachedAttr() const { return _mvm; }
    void setCachedAttr(oxModelViewMatrixAttr* attr) { _mvm = attr; }

    // The matrix that turns the subtree: `model` maps the billboard's coordinates into the
    // space wanted, `eye` is the viewer's matrix in that space (its translation the eye
    // position, its second row the eye's up direction). The result's rows are the turned
    // x, y and z axes, its translation the billboard's origin in that space.
    void computeTransform(oxMatrix44f* out, const oxMatrix44f* model, const oxMatrix44f* eye) const;

    // The orientation is recomputed every frame: a matrix baked in would be turned away.
    bool isTransformable() const override { return false; }

protected:
    oxBillboard() = default;
    static void arkRegisterInitialize(oxFields<oxBillboard>& f);

    int _mode = ABOUT_UP;
    oxVec3f _axis{0, 0, 1};
    oxVec3f _origin;
    oxSmartPointer<oxModelViewMatrixAttr> _mvm;
};

} // namespace Kel::Sg

#pragma once
#include "platform/attrs/oxMatrixAttrs.h"
#include "sg/shaders/oxShaderProcessor.h"

namespace Kel::Sg {

using Attrs::oxModelViewMatrixAttr;

// Turns a simple shader's subtree towards the eye as a billboard node turns its own: each
// update gives the model-view attribute (which a pass pushes) the billboard's matrix for
// the current model-view matrix and view.
class oxBillboardProcessor : public oxShaderProcessor {
    OX_CLASS(oxBillboardProcessor, oxShaderProcessor)
    OX_FIELDS(mode, axis, origin, modelViewMatrix)
public:
    OX_ENUM(BillboardMode, ABOUT_UP = 0, ABOUT_AXIS = 1, ABOUT_POINT_WORLD_UP = 2, ABOUT_POINT_EYE_UP = 3)

    bool configure(oxSimpleShader*, oxCapabilityManager*) override { return true; }
    void update(oxSimpleShader* shader, oxCommonTraversal* traversal) override;
    // The billboard matrix (oxComputeBillboardTransform) with this processor's mode, axis
    // and origin.
    void computeTransform(oxMatrix44f* out, const oxMatrix44f* modelToWorld, const oxMatrix44f* eyeToWorld) const;

    BillboardMode getMode() const { return _mode; }
    void setMode(BillboardMode mode) { _mode = mode; }
    const oxVec3f& getAxis() const { return _axis; }
    void setAxis(const oxVec3f& axis) { _axis = axis; }
    const oxVec3f& getOrigin() const { return _origin; }
    void setOrigin(const oxVec3f& origin) { _origin = origin; }
    oxModelViewMatrixAttr* getModelViewMatrix() const { return _modelViewMatrix; }
    void setModelViewMatrix(oxModelViewMatrixAttr* attr) { _modelViewMatrix = attr; }

protected:
    oxBillboardProcessor() = default;
    static void arkRegisterInitialize(oxFields<oxBillboardProcessor>& f);

    BillboardMode _mode = ABOUT_POINT_EYE_UP;
    oxVec3f _axis{0, 1, 0};
    oxVec3f _origin;
    oxSmartPointer<oxModelViewMatrixAttr> _modelViewMatrix;
};

} // namespace Kel::Sg

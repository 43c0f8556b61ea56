#include "sg/shaders/oxBillboardProcessor.h"

#include "sg/nodes/oxBillboard.h"
#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

void oxBillboardProcessor::arkRegisterInitialize(oxFields<oxBillboardProcessor>& f)
{
    f.add(OX_FIELD(mode)).enumeration(&getBillboardModeMetaEnum).setDefault(ABOUT_POINT_EYE_UP);
    f.add(OX_FIELD(axis)).setDefault(oxVec3f(0, 1, 0));
    f.add(OX_FIELD(origin));
    f.add(OX_FIELD(modelViewMatrix));
}

void oxBillboardProcessor::computeTransform(oxMatrix44f* out, const oxMatrix44f* modelToWorld,
                                            const oxMatrix44f* eyeToWorld) const
{
    oxComputeBillboardTransform(out, modelToWorld, eyeToWorld, _mode, _axis, _origin);
}

void oxBillboardProcessor::update(oxSimpleShader*, oxCommonTraversal* traversal)
{
    if (!_modelViewMatrix)
        return;
    const oxAttr* top = traversal->getAttrStackManager()->getTop(oxModelViewMatrixAttr::getClassTypeSafe());
    const oxMatrix44f modelToWorld = top ? static_cast<const oxModelViewMatrixAttr*>(top)->getMatrix() *
                                               traversal->getInverseViewMatrix()
                                         : oxMatrix44f();
    oxMatrix44f world;
    computeTransform(&world, &modelToWorld, &traversal->getInverseViewMatrix());
    _modelViewMatrix->setMatrix(world * traversal->getViewMatrix());
}

} // namespace Kel::Sg

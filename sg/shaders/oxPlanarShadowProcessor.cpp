#include "sg/shaders/oxPlanarShadowProcessor.h"

#include "platform/core/oxOutput.h"
#include "sg/nodes/oxLightStateSet.h"
#include "sg/shaders/oxPlanarShadowShader.h"
#include "sg/shaders/oxSimpleShader.h"
#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

void oxPlanarShadowProcessor::arkRegisterInitialize(oxFields<oxPlanarShadowProcessor>& f)
{
    // The passes that push them are built with the shader; they are wired up again then.
    f.add(OX_FIELD(modelViewMatrix)).notPersistent();
    f.add(OX_FIELD(projectionMatrix)).notPersistent();
    f.add(OX_FIELD(shadowPlane)).setDefault(oxVec4f(0, 1, 0, 0));
    f.add(OX_FIELD(lightPosition));
    f.add(OX_FIELD(lightDirection)).setDefault(oxVec3f(0, 1, 0));
    f.add(OX_FIELD(isPerspective)).setDefault(true);
    f.add(OX_FIELD(light));
}

bool oxPlanarShadowProcessor::configure(oxSimpleShader* shader, oxCapabilityManager*)
{
    if (!_modelViewMatrix && !_projectionMatrix) {
        oxReportWarning("oxPlanarShadowProcessor: needs a model-view or a projection matrix attribute to flatten with");
        return false;
    }
    _light = shader ? oxLightStateSet::findFirstActiveLight(shader) : nullptr;
    return true;
}

void oxPlanarShadowProcessor::update(oxSimpleShader*, oxCommonTraversal* traversal)
{
    if (_light) {
        _isPerspective = _light->getType() == Gfx::OX_GFX_LIGHT_POSITIONAL;
        _lightPosition = _light->getTransformedPosition();
        _lightDirection = _light->getTransformedDirection();
    }
    const oxVec4f l = _isPerspective ? oxVec4f(_lightPosition, 1) : oxVec4f(-_lightDirection, 0);
    const oxMatrix44f flatten = traversal->getInverseViewMatrix() *
                                oxPlanarShadowShader::computeShadowMatrix(_shadowPlane, l) *
                                traversal->getViewMatrix();
    if (_modelViewMatrix)
        _modelViewMatrix->setMatrix(traversal->getTopMatrix() * flatten);
    if (_projectionMatrix)
        _projectionMatrix->setMatrix(flatten * traversal->getTopProjection());
}

} // namespace Kel::Sg

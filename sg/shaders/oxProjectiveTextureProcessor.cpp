#include "sg/shaders/oxProjectiveTextureProcessor.h"

#include "sg/nodes/oxLightStateSet.h"
#include "sg/shaders/oxSimpleShader.h"
#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

using Gfx::oxImage;

void oxProjectiveTextureProcessor::arkRegisterInitialize(oxFields<oxProjectiveTextureProcessor>& f)
{
    // The pass that pushes it is built with the shader; it is wired up again then.
    f.add(OX_FIELD(textureMatrix)).notPersistent();
    f.add(OX_FIELD(lightPosition));
    f.add(OX_FIELD(lightDirection)).setDefault(oxVec3f(0, 1, 0));
    f.add(OX_FIELD(cutOffAngle)).setDefault(45.0f);
    f.add(OX_FIELD(zNear)).setDefault(1.0f);
    f.add(OX_FIELD(zFar)).setDefault(1000.0f);
    f.add(OX_FIELD(upVector)).setDefault(oxVec3f(1, 0, 0));
    f.add(OX_FIELD(isPerspective)).setDefault(true);
    f.add(OX_FIELD(light));
    f.add(OX_FIELD(lightMapTexture));
}

bool oxProjectiveTextureProcessor::configure(oxSimpleShader* shader, oxCapabilityManager*)
{
    if (!_textureMatrix || !_lightMapTexture) {
        oxReportWarning("oxProjectiveTextureProcessor: needs a texture matrix and a texture to project");
        return false;
    }
    oxImage* image = _lightMapTexture->getImage(0);
    if (!image || !image->hasImageMemory() || !oxImage::isValidFormat(image->getFormat())) {
        oxReportWarning("oxProjectiveTextureProcessor: the projected texture has no image");
        return false;
    }
    // Projected texels are filtered across the cone's edge: a palette image is expanded
    // to the colours it stands for.
    if (image->getFormat() == Gfx::OX_GFX_PIXEL_INDEX8 && !image->convert(Gfx::OX_GFX_PIXEL_RGBA8, image)) {
        oxReportWarning("oxProjectiveTextureProcessor: the projected texture's palette image cannot be expanded");
        return false;
    }
    _light = oxLightStateSet::findFirstActiveLight(shader);
    return true;
}

bool oxProjectiveTextureProcessor::computeTextureMatrix(oxMatrix44f& out, const oxMatrix44f& inverseView) const
{
    oxMatrix44f view;
    if (!view.lookAt(_lightPosition, _lightPosition + _lightDirection, _upVector))
        return false;
    oxMatrix44f projection;
    if (!projection.perspective(2 * _cutOffAngle, 1, _zNear, _zFar))
        return false;
    // Clip space to texture space: s = (x + w) / 2, t = (w - y) / 2, r = q = w.
    const oxMatrix44f bias(0.5f, 0, 0, 0,
                           0, -0.5f, 0, 0,
                           0, 0, 0, 0,
                           0.5f, 0.5f, 1, 1);
    out = inverseView * view * projection * bias;
    return true;
}

void oxProjectiveTextureProcessor::update(oxSimpleShader*, oxCommonTraversal* traversal)
{
    if (_light) {
        _lightDirection = _light->getTransformedDirection();
        _lightPosition = _light->getTransformedPosition();
        _cutOffAngle = _light->getCutoff();
    }
    oxMatrix44f m;
    if (_textureMatrix && computeTextureMatrix(m, traversal->getInverseViewMatrix()))
        _textureMatrix->setMatrix(m);
}

} // namespace Kel::Sg

#include "sg/shaders/oxPlanarShadowShader.h"

#include "platform/core/oxOutput.h"
#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

using namespace Attrs;

void oxPlanarShadowShader::arkRegisterInitialize(oxFields<oxPlanarShadowShader>& f)
{
    f.add(OX_FIELD(lights)).constructWithOwner();
    f.add(OX_FIELD(mvmList)).constructWithOwner();
    f.add(OX_FIELD(shadowPlane)).setDefault(oxVec4f(0, 1, 0, 0));
    f.add(OX_FIELD(shadowColor)).setDefault(oxVec4f(0, 0, 0, 1));
    f.add(OX_FIELD(shadowUseBlend)).setDefault(false);
    f.add(OX_FIELD(shadowUseStencil)).setDefault(false);
    f.add(OX_FIELD(mats)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(geoms)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(blendmats)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(savedBounds)).notPersistent();
    f.add(OX_FIELD(unused)).notPersistent();
    f.add(OX_FIELD(shadowColorAttr)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(stencilState)).constructWithOwner().notPersistent();
}

// The shadow draws in its colour alone: no lighting, texture, vertex colours or normals,
// no alpha test, both faces (flattening turns half the triangles round). Unblended it
// replaces what lies under it; blended it mixes in by the colour's alpha.
void oxPlanarShadowShader::userInstantiate(bool forFileRead)
{
    oxAttrSet::userInstantiate(forFileRead);
    if (_instances++ > 0)
        return;
    _shared.blendedFunction = oxBlendFunctionAttr::_instantiateRef();
    _shared.opaqueFunction = oxBlendFunctionAttr::_instantiateRef();
    _shared.opaqueFunction->setFactors(Gfx::OX_GFX_BLEND_ONE, Gfx::OX_GFX_BLEND_ZERO);
    _shared.blendOn = oxBlendStateAttr::_instantiateRef();
    _shared.blendOn->setEnabled(true);
    _shared.lightingOff = oxLightingStateAttr::_instantiateRef();
    _shared.lightingOff->setEnabled(false);
    _shared.textureOff = oxTextureStateAttr::_instantiateRef();
    _shared.textureOff->setEnabled(false);
    _shared.alphaOff = oxAlphaStateAttr::_instantiateRef();
    _shared.alphaOff->setEnabled(false);
    _shared.geometryMask = oxGeometryMaskAttr::_instantiateRef();
    _shared.geometryMask->setMask(Gfx::oxVertexFormat::kPositions | Gfx::oxVertexFormat::kBlendWeightMask |
                                  Gfx::oxVertexFormat::kBlendIndexMask);
    // A pixel already shadowed (1) is not shadowed again.
    _shared.stencilFunction = oxStencilFunctionAttr::_instantiateRef();
    _shared.stencilFunction->setFunction(Gfx::OX_GFX_COMPARE_NOT_EQUAL, 1, 0xFFFFFFFFu);
    _shared.stencilFunction->setOperations(Gfx::OX_GFX_STENCIL_KEEP, Gfx::OX_GFX_STENCIL_KEEP,
                                           Gfx::OX_GFX_STENCIL_REPLACE);
    _shared.cullFace = oxCullFaceAttr::_instantiateRef();
    _shared.cullFace->setEnabled(false);
}

void oxPlanarShadowShader::userRelease()
{
    if (--_instances == 0)
        _shared = Shared();
    oxAttrSet::userRelease();
}

void oxPlanarShadowShader::setShadowPlane(const oxVec3f& normal, float distance)
{
    _shadowPlane = oxVec4f(normal.x, normal.y, normal.z, -normal.lengthSquared() * distance);
}

bool oxPlanarShadowShader::addLight(oxLightAttr* light)
{
    if (!light) {
        oxReportWarning("oxPlanarShadowShader: a null light casts no shadow");
        return false;
    }
    _lights->append(light);
    _mvmList->append(oxModelViewMatrixAttr::_instantiateRef());
    return true;
}

void oxPlanarShadowShader::appendGeometry(oxGeometry* geometry, oxModelViewMatrixAttr* modelView,
                                          oxAttr* blendMatrices)
{
    _geoms->append(geometry);
    _mats->append(modelView);
    _blendmats->append(blendMatrices);
}

void oxPlanarShadowShader::reset()
{
    oxAttrSet::reset();
    _mats->setCount(0);
    _geoms->setCount(0);
    _blendmats->setCount(0);
    _savedBounds = nullptr;
    _unused = nullptr;
}

oxMatrix44f oxPlanarShadowShader::computeShadowMatrix(const oxVec4f& plane, const oxVec4f& light)
{
    const float p[4] = {plane.x, plane.y, plane.z, plane.w};
    const float l[4] = {light.x, light.y, light.z, light.w};
    const float dot = p[0] * l[0] + p[1] * l[1] + p[2] * l[2] + p[3] * l[3];
    oxMatrix44f m;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m.m[i][j] = (i == j ? dot : 0.0f) - p[i] * l[j];
    return m;
}

oxVec4f oxPlanarShadowShader::lightVector(const oxLightAttr* light)
{
    if (light->getType() == Gfx::OX_GFX_LIGHT_POSITIONAL)
        return oxVec4f(light->getTransformedPosition(), 1);
    return oxVec4f(-light->getTransformedDirection(), 0);
}

void oxPlanarShadowShader::computeProjectionMatrices(oxCommonTraversal*)
{
    // Lists read from an older file may disagree in length: each light gets its matrix.
    while (_mvmList->getCount() < _lights->getCount())
        _mvmList->append(oxModelViewMatrixAttr::_instantiateRef());
    for (int i = 0; i < _lights->getCount(); ++i) {
        oxLightAttr* light = _lights->get(i);
        if (!light)
            continue;
        if (!_mvmList->get(i))
            _mvmList->set(i, oxModelViewMatrixAttr::_instantiateRef());
        _mvmList->get(i)->setMatrix(computeShadowMatrix(_shadowPlane, lightVector(light)));
    }
}

void oxPlanarShadowShader::shade(oxCommonTraversal* traversal)
{
    oxAttrStackManager* m = traversal->getAttrStackManager();
    _shadowColorAttr->setColor(_shadowColor);
    _stencilState->setEnabled(_shadowUseStencil);
    oxAttr* const overrides[] = {_shared.blendOn,        _shared.lightingOff,  _shared.textureOff, _shadowColorAttr,
                                 _shared.alphaOff,       _shared.geometryMask, _stencilState,      _shared.stencilFunction,
                                 _shared.cullFace,
                                 _shadowUseBlend ? _shared.blendedFunction.get() : _shared.opaqueFunction.get()};
    for (oxAttr* a : overrides)
        m->fastPushOverride(a);
    computeProjectionMatrices(traversal);
    const oxMatrix44f& view = traversal->getViewMatrix();
    const oxMatrix44f& viewInverse = traversal->getInverseViewMatrix();
    for (int i = 0; i < _lights->getCount(); ++i) {
        oxLightAttr* light = _lights->get(i);
        if (!light || !m->getLightState(light))
            continue;
        const oxMatrix44f flatten = viewInverse * _mvmList->get(i)->getMatrix() * view;
        auto* projection = traversal->getAttrPoolManager()->allocate<oxProjectionMatrixAttr>();
        if (!projection)
            break;
        const auto* current = static_cast<const oxMatrixAttr*>(m->getTopOrDefault(oxProjectionMatrixAttr::getClassTypeSafe()));
        projection->setMatrix(current ? flatten * current->getMatrix() : flatten);
        m->fastPushAttr(projection);
        oxTraverseGroup(traversal, this);
        m->fastPopAttr(projection);
    }
    for (int i = int(std::size(overrides)) - 1; i >= 0; --i)
        m->fastPopOverride(overrides[i]);
}

// The shadows first, then the children drawn normally with the set's own attributes.
OX_TRAVERSAL_RETURN oxCommonTraversePlanarShadowShader(oxTraversal* t, oxObject* node)
{
    static_cast<oxPlanarShadowShader*>(node)->shade(static_cast<oxCommonTraversal*>(t));
    oxCommonTraverseAttributeSet(t, node);
    return OX_TRAVERSAL_CONTINUE;
}

} // namespace Kel::Sg

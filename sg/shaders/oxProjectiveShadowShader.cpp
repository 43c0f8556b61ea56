#include "sg/shaders/oxProjectiveShadowShader.h"

#include <cmath>

#include "platform/core/oxOutput.h"
#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

using namespace Attrs;
using Gfx::oxVertexFormat;

namespace {

// Where the blur takes its eight samples, in texels of a 6-texel reach. Each sample gets an
// eighth of the brightness (a shade over, so that white stays white).
constexpr float kBlurSamples[8][2] = {{0.5625f, 0.4375f}, {0.0625f, 0.9375f}, {0.3125f, 0.6875f},
                                      {0.6875f, 0.8125f}, {0.8125f, 0.1875f}, {0.9375f, 0.5625f},
                                      {0.4375f, 0.0625f}, {0.1875f, 0.3125f}};
constexpr float kBlurReach = 6.0f;
constexpr float kBlurWeight = 0.12625f;
constexpr float kDegreesToRadians = 0.0174532924f;

// Clip space to the coordinates of a render target's texture. This device's targets keep
// their first row at the bottom (t = 0 where clip y = -1), as they were drawn.
const oxMatrix44f kClipToTexture(0.5f, 0, 0, 0,
                                 0, 0.5f, 0, 0,
                                 0, 0, 0, 0,
                                 0.5f, 0.5f, 1, 1);

template <class A>
oxSmartPointer<A> makeAttr(int unit = 0)
{
    oxSmartPointer<A> a = A::_instantiateRef();
    a->setUnit(unit);
    return a;
}

template <class A>
oxSmartPointer<A> makeState(bool on, int unit = 0)
{
    oxSmartPointer<A> a = makeAttr<A>(unit);
    a->setEnabled(on);
    return a;
}

oxSmartPointer<oxTextureCoordSourceAttr> eyePosition(int unit)
{
    oxSmartPointer<oxTextureCoordSourceAttr> a = makeAttr<oxTextureCoordSourceAttr>(unit);
    a->setSource(Gfx::OX_GFX_TEXCOORD_EYE_LINEAR);
    return a;
}

oxSmartPointer<oxClearAttr> clearTo(float value, uint32_t buffers)
{
    oxSmartPointer<oxClearAttr> a = oxClearAttr::_instantiateRef();
    a->setColor(oxVec4f(value, value, value, value));
    a->setBuffers(buffers);
    return a;
}

} // namespace

void oxProjectiveShadowShader::arkRegisterInitialize(oxFields<oxProjectiveShadowShader>& f)
{
    f.add(OX_FIELD(lightPos)).setDefault(oxVec3f(0, 4, 0));
    f.add(OX_FIELD(lightDir)).setDefault(oxVec3f(0, -1, 0));
    f.add(OX_FIELD(cutoff)).setDefault(30.0f);
    f.add(OX_FIELD(shadowCasters)).constructWithOwner();
    f.add(OX_FIELD(shadowReceivers));
    f.add(OX_FIELD(shadowFactor)).setDefault(0.3f);
    f.add(OX_FIELD(shadowTexW)).setDefault(128);
    f.add(OX_FIELD(shadowTexH)).setDefault(128);
    f.add(OX_FIELD(shadowLightness)).setDefault(0.5f);
    // The draw's own attributes are made with the shader and set up again at its first
    // draw after a read.
    f.add(OX_FIELD(viewToProjectedLightTextureMatrixpAttrList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(lightMVMAttr)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(lightProjAttr)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(blurMVMAttr)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(blurProjAttr)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(inited)).notPersistent();
    f.add(OX_FIELD(quadsGeom)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(unused)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(shadowColor)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(blurState)).setDefault(true);
    f.add(OX_FIELD(zNear)).setDefault(0.1f);
    f.add(OX_FIELD(zFar)).setDefault(1000.0f);
    f.add(OX_FIELD(upVector)).setDefault(oxVec3f(1, 0, 0));
    f.add(OX_FIELD(viewToProjectedLightTextureMatrix)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(drawReceiver)).setDefault(true);
    f.add(OX_FIELD(updateShadowMap)).setDefault(true);
    f.add(OX_FIELD(pShadowTexRD)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(pSetShadowTexRD)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(pShadowTex)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(pShadowTexBind)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(pBlurTexRD)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(pSetBlurTexRD)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(pBlurTex)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(pBlurTexBind)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(shadowCopyBack)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(shadowCopyBackImage)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(shadowViewport)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(shadowInnerViewport)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(light));
    f.add(OX_FIELD(pShadowTexBind1)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(useOrthographic)).setDefault(false);
    f.add(OX_FIELD(top)).setDefault(5.0f);
    f.add(OX_FIELD(bottom)).setDefault(-5.0f);
    f.add(OX_FIELD(right)).setDefault(5.0f);
    f.add(OX_FIELD(left)).setDefault(-5.0f);
    f.add(OX_FIELD(unloadShadowTexRD)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(unloadBlurTexRD)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(releaseRenderDestinationAfterDraw)).setDefault(false);
}

// ---- lifetime ------------------------------------------------------------------------

void oxProjectiveShadowShader::setUpSharedAttributes()
{
    const uint32_t color = Gfx::OX_GFX_CLEAR_COLOR;
    _pTexStage0On = makeState<oxTextureStateAttr>(true, 0);
    _pTexStage1On = makeState<oxTextureStateAttr>(true, 1);
    _pTexStage0Off = makeState<oxTextureStateAttr>(false, 0);
    // The shadow pass multiplies what the receivers drew by the shadow texture.
    _pBlendFunc = makeAttr<oxBlendFunctionAttr>();
    _pBlendFunc->setFactors(Gfx::OX_GFX_BLEND_DST_COLOR, Gfx::OX_GFX_BLEND_ZERO);
    _pBlendAdd = makeAttr<oxBlendFunctionAttr>();
    _pBlendAdd->setFactors(Gfx::OX_GFX_BLEND_ONE, Gfx::OX_GFX_BLEND_ONE);
    _pBlendOn = makeState<oxBlendStateAttr>(true);
    _pBlendOff = makeState<oxBlendStateAttr>(false);
    _lightingDisable = makeState<oxLightingStateAttr>(false);
    _pOneClear = clearTo(1, color);
    _pZeroClear = clearTo(0, color);
    _frameBufferClear = clearTo(0, color | Gfx::OX_GFX_CLEAR_DEPTH);
    _pDepthOff = makeState<oxDepthStateAttr>(false);
    _texgenCameraXYZ0 = eyePosition(0);
    _texgenCameraXYZ1 = eyePosition(1);
    _textureFunctionModulate0 = makeAttr<oxTextureFunctionAttr>(0);
    _textureFunctionModulate1 = makeAttr<oxTextureFunctionAttr>(1);
    _textureMatrixEnable0 = makeState<oxTextureMatrixStateAttr>(true, 0);
    _textureMatrixEnable1 = makeState<oxTextureMatrixStateAttr>(true, 1);
    _pAlphaFuncGreater = makeAttr<oxAlphaFunctionAttr>();
    _pAlphaFuncGreater->setFunction(Gfx::OX_GFX_COMPARE_GREATER);
    _pAlphaOn = makeState<oxAlphaStateAttr>(true);
    _pAlphaOff = makeState<oxAlphaStateAttr>(false);
    _pShadowTexFunc = makeAttr<oxTextureFunctionAttr>(0);
    _pShadowTexFunc->setFunction(Gfx::OX_GFX_TEXFUNC_REPLACE);
    _frameBufferRD = makeAttr<oxSetRenderDestinationAttr>();
    _defaultTexBind0 = makeAttr<oxTextureBindAttr>(0);
}

void oxProjectiveShadowShader::userInstantiate(bool forFileRead)
{
    oxGroup::userInstantiate(forFileRead);
    if (_instances++ == 0)
        setUpSharedAttributes();
}

void oxProjectiveShadowShader::userRelease()
{
    if (--_instances == 0) {
        _pTexStage0On = nullptr;
        _pTexStage1On = nullptr;
        _pTexStage0Off = nullptr;
        _pBlendFunc = nullptr;
        _pBlendAdd = nullptr;
        _pBlendOn = nullptr;
        _pBlendOff = nullptr;
        _lightingDisable = nullptr;
        _pOneClear = nullptr;
        _pZeroClear = nullptr;
        _frameBufferClear = nullptr;
        _pDepthOff = nullptr;
        _texgenCameraXYZ0 = nullptr;
        _texgenCameraXYZ1 = nullptr;
        _textureFunctionModulate0 = nullptr;
        _textureFunctionModulate1 = nullptr;
        _textureMatrixEnable0 = nullptr;
        _textureMatrixEnable1 = nullptr;
        _pAlphaFuncGreater = nullptr;
        _pAlphaOn = nullptr;
        _pAlphaOff = nullptr;
        _pShadowTexFunc = nullptr;
        _frameBufferRD = nullptr;
        _defaultTexBind0 = nullptr;
    }
    oxGroup::userRelease();
}

int oxProjectiveShadowShader::getBlurBorder()
{
    int border = 1;
    for (const auto& s : kBlurSamples)
        for (float offset : s) {
            const int b = int(std::ceil(offset * kBlurReach)) + 1;
            if (b > border)
                border = b;
        }
    return border;
}

// The blur draws the shadow texture eight times over the whole blur target, each copy
// shifted by one sample's offset and adding its share.
void oxProjectiveShadowShader::setUp()
{
    const int w = _shadowTexW, h = _shadowTexH;
    oxSmartPointer<oxGeometryAttr> quads = oxGeometryAttr::_instantiateRef();
    quads->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kColors | oxVertexFormat::texCoords(1),
                                48);
    quads->configurePrimitive(Gfx::OX_GFX_DRAW_TRIANGLES, 16);
    static constexpr float kCorners[6][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, -1}, {1, 1}, {-1, 1}};
    int v = 0;
    for (const auto& s : kBlurSamples) {
        const float ds = s[0] * kBlurReach / float(w), dt = s[1] * kBlurReach / float(h);
        for (const auto& c : kCorners) {
            quads->setPosition(v, oxVec3f(c[0], c[1], 0));
            quads->setColor(v, oxVec4f(kBlurWeight, kBlurWeight, kBlurWeight, 1));
            quads->setTextureCoord(v, 0, oxVec2f((c[0] + 1) / 2 + ds, (c[1] + 1) / 2 + dt));
            ++v;
        }
    }
    _quadsGeom->setGeometryAttrCount(0);
    _quadsGeom->addGeometryAttr(quads);

    const int b = getBlurBorder();
    _shadowViewport->setViewport(0, 0, w, h);
    _shadowViewport->setDepthRange(0, 1);
    _shadowInnerViewport->setViewport(b, b, w - 2 * b, h - 2 * b);
    _shadowInnerViewport->setDepthRange(0, 1);

    oxMatrix44f m;
    m.ortho(-1, 1, -1, 1, -8, 8);
    _blurProjAttr->setMatrix(m);
    m.lookAt(oxVec3f(0, 0, 5), oxVec3f(0, 0, 0), oxVec3f(0, 1, 0));
    _blurMVMAttr->setMatrix(m);

    // Texels outside the light's view clamp to the white border: no shadow there.
    for (oxTextureAttr* t : {_pShadowTex.get(), _pBlurTex.get()}) {
        t->setWrap(Gfx::OX_GFX_WRAP_CLAMP, Gfx::OX_GFX_WRAP_CLAMP);
        t->setFilters(Gfx::OX_GFX_FILTER_LINEAR, Gfx::OX_GFX_FILTER_LINEAR);
    }
    struct Target {
        oxRenderDestinationAttr* rd;
        oxSetRenderDestinationAttr* set;
        oxTextureAttr* texture;
        oxTextureBindAttr* bind;
        oxTextureUnloadAttr* unload;
    };
    for (const Target& t : {Target{_pShadowTexRD, _pSetShadowTexRD, _pShadowTex, _pShadowTexBind, _unloadShadowTexRD},
                            Target{_pBlurTexRD, _pSetBlurTexRD, _pBlurTex, _pBlurTexBind, _unloadBlurTexRD}}) {
        t.rd->setTexture(t.texture);
        t.rd->setSize(w, h);
        t.rd->setDepthBuffer(false);
        t.set->setDestination(t.rd);
        t.bind->setTexture(t.texture);
        t.unload->setTexture(t.texture);
    }
    _pShadowTexBind1->setUnit(1);
    _pShadowTexBind1->setTexture(_pShadowTex);
    _shadowCopyBack->setImage(_shadowCopyBackImage);
    _shadowCopyBack->setRectangle(0, 0, w, h);
    _viewToProjectedLightTextureMatrixpAttrList->setCount(0);
    _viewToProjectedLightTextureMatrixpAttrList->append(_viewToProjectedLightTextureMatrix);
}

void oxProjectiveShadowShader::reset()
{
    oxGroup::reset();
    _pShadowTexRD->reset();
    _pBlurTexRD->reset();
}

void oxProjectiveShadowShader::postFileRead()
{
    oxGroup::postFileRead();
    if (!_shadowReceivers)
        return;
    for (int i = 0; i < _shadowReceivers->getCount(); ++i)
        if (oxNode* node = _shadowReceivers->get(i))
            appendChild(node);
    _shadowReceivers = nullptr;
}

// ---- settings ------------------------------------------------------------------------

namespace {
bool acceptTextureSize(int size, const char* which)
{
    if (size > 2 * oxProjectiveShadowShader::getBlurBorder())
        return true;
    oxReportWarning("oxProjectiveShadowShader: a shadow texture %s of %d leaves nothing inside the blur border", which,
                    size);
    return false;
}
} // namespace

bool oxProjectiveShadowShader::setShadowTextureWidth(int width)
{
    if (!acceptTextureSize(width, "width"))
        return false;
    _shadowTexW = width;
    return true;
}

bool oxProjectiveShadowShader::setShadowTextureHeight(int height)
{
    if (!acceptTextureSize(height, "height"))
        return false;
    _shadowTexH = height;
    return true;
}

bool oxProjectiveShadowShader::appendShadowCaster(oxNode* node)
{
    if (!node)
        return false;
    _shadowCasters->append(node);
    return true;
}

bool oxProjectiveShadowShader::appendShadowReceiver(oxNode* node)
{
    return appendChild(node) >= 0;
}

// ---- drawing -------------------------------------------------------------------------

void oxProjectiveShadowShader::shade(oxCommonTraversal* traversal)
{
    if (!_inited) {
        setUp();
        _inited = 1;
    }
    if (_light) {
        _lightPos = _light->getTransformedPosition();
        _lightDir = _light->getTransformedDirection();
        _cutoff = _light->getCutoff();
    }
    if (!updateMatrices(traversal->getInverseViewMatrix())) {
        dispatchReceivers(traversal);
        return;
    }
    oxSorter* sorter = traversal->getSorter();
    sorter->beginCompoundRenderPackage(false, false);
    shadeRGBModulate(traversal, updateShadowMapRenderDestination(traversal));
    releaseResource(traversal);
    sorter->endCompoundRenderPackage();
}

bool oxProjectiveShadowShader::updateMatrices(const oxMatrix44f& viewInverse)
{
    oxMatrix44f view, projection;
    bool ok = view.lookAt(_lightPos, _lightPos + _lightDir, _upVector);
    if (_useOrthographic)
        ok = ok && projection.ortho(_left, _right, _bottom, _top, _zNear, _zFar);
    else {
        const float half = _cutoff * kDegreesToRadians;
        ok = ok && _cutoff > 0 && _cutoff < 90;
        ok = ok && projection.frustum(-_zNear * std::tan(half), _zNear * std::tan(half), -_zNear * std::tan(half),
                                      _zNear * std::tan(half), _zNear, _zFar);
    }
    if (!ok) {
        oxReportWarning("oxProjectiveShadowShader: the light (direction against the up vector, cutoff %g, depth range "
                        "%g to %g) gives no view to cast shadows from",
                        double(_cutoff), double(_zNear), double(_zFar));
        return false;
    }
    _lightMVMAttr->setMatrix(view);
    _lightProjAttr->setMatrix(projection);
    oxMatrix44f texture;
    computeViewToProjectedLight(viewInverse, view, projection, texture);
    _viewToProjectedLightTextureMatrix->setMatrix(texture);
    return true;
}

void oxProjectiveShadowShader::computeViewToProjectedLight(const oxMatrix44f& viewInverse,
                                                           const oxMatrix44f& lightView,
                                                           const oxMatrix44f& lightProjection, oxMatrix44f& out)
{
    out = viewInverse * lightView * lightProjection * kClipToTexture;
}

oxTextureBindAttr* oxProjectiveShadowShader::updateShadowMapRenderDestination(oxCommonTraversal* traversal)
{
    if (!_updateShadowMap)
        return _blurState ? _pBlurTexBind : _pShadowTexBind;
    oxAttrStackManager* m = traversal->getAttrStackManager();
    oxSorter* sorter = traversal->getSorter();
    sorter->beginCompoundRenderPackage(false, false);
    _shadowColor->setColor(oxVec4f(_shadowFactor, _shadowFactor, _shadowFactor, 1));

    m->fastPushOverride(_pShadowTexRD);
    m->fastPushOverride(_pSetShadowTexRD);
    m->fastPushOverride(_shadowViewport);
    sorter->flushAttr(_pOneClear, m);
    m->fastPopOverride(_shadowViewport);

    m->fastPushOverride(_lightingDisable);
    m->fastPushOverride(_pDepthOff);
    m->fastPushOverride(_pTexStage0Off);
    m->fastPushAttr(_lightMVMAttr);
    m->fastPushAttr(_lightProjAttr);
    m->fastPushOverride(_shadowColor);
    m->fastPushOverride(_shadowInnerViewport);
    dispatchCasters(traversal);
    m->fastPopOverride(_shadowInnerViewport);
    m->fastPopOverride(_shadowColor);
    m->fastPopAttr(_lightProjAttr.get());
    m->fastPopAttr(_lightMVMAttr.get());
    m->fastPopOverride(_pTexStage0Off);
    m->fastPopOverride(_pSetShadowTexRD);
    m->fastPopOverride(_pShadowTexRD);
    m->fastPopOverride(_pDepthOff);
    m->fastPopOverride(_lightingDisable);

    if (!_blurState) {
        sorter->endCompoundRenderPackage();
        return _pShadowTexBind;
    }
    oxAttr* const blur[] = {_pBlurTexRD, _pSetBlurTexRD, _shadowViewport, nullptr,
                            _pBlendAdd, _pBlendOn, _pDepthOff, _pTexStage0On, _pShadowTexBind,
                            _textureFunctionModulate0, _blurMVMAttr, _blurProjAttr, _lightingDisable};
    for (oxAttr* a : blur) {
        if (a)
            m->fastPushOverride(a);
        else
            sorter->flushAttr(_pZeroClear, m);
    }
    sorter->addGeometry(_quadsGeom, m);
    for (int i = int(std::size(blur)) - 1; i >= 0; --i)
        if (blur[i])
            m->fastPopOverride(blur[i]);
    sorter->endCompoundRenderPackage();
    return _pBlurTexBind;
}

void oxProjectiveShadowShader::shadeRGBModulate(oxCommonTraversal* traversal, oxTextureBindAttr* binding)
{
    const oxCapabilityManager* capabilities = traversal->getCapabilityManager();
    const int units = capabilities ? capabilities->getCapability(Gfx::OX_GFX_CAP_TEXTURE_UNITS) : 1;
    if (_drawReceiver && units > 1)
        shadeRGBModulateOnePass(traversal, binding);
    else
        shadeRGBModulateMultiPass(traversal, binding);
}

namespace {

void pushOverrides(oxAttrStackManager* m, std::initializer_list<oxAttr*> attrs)
{
    for (oxAttr* a : attrs)
        m->fastPushOverride(a);
}

void popOverrides(oxAttrStackManager* m, std::initializer_list<oxAttr*> attrs)
{
    for (auto it = std::rbegin(attrs); it != std::rend(attrs); ++it)
        m->fastPopOverride(*it);
}

} // namespace

// The receivers draw once, their own texture on unit 0 and the shadow modulating it on unit 1.
void oxProjectiveShadowShader::shadeRGBModulateOnePass(oxCommonTraversal* traversal, oxTextureBindAttr* binding)
{
    oxAttrStackManager* m = traversal->getAttrStackManager();
    _pShadowTexBind1->setTexture(binding->getTexture());
    _viewToProjectedLightTextureMatrix->setUnit(1);
    const std::initializer_list<oxAttr*> overrides = {_pTexStage1On,          _pShadowTexBind1,
                                                      _texgenCameraXYZ1,      _textureFunctionModulate1,
                                                      _viewToProjectedLightTextureMatrix, _textureMatrixEnable1};
    pushOverrides(m, overrides);
    m->fastPushAttr(_pTexStage0On);
    m->fastPushAttr(_defaultTexBind0);
    dispatchReceivers(traversal);
    m->fastPopAttr(_defaultTexBind0.get());
    m->fastPopAttr(_pTexStage0On.get());
    popOverrides(m, overrides);
}

// The receivers draw as they are, then again with only the shadow texture, multiplied into
// what the first pass left.
void oxProjectiveShadowShader::shadeRGBModulateMultiPass(oxCommonTraversal* traversal, oxTextureBindAttr* binding)
{
    if (_drawReceiver)
        dispatchReceivers(traversal);
    oxAttrStackManager* m = traversal->getAttrStackManager();
    _viewToProjectedLightTextureMatrix->setUnit(0);
    const std::initializer_list<oxAttr*> overrides = {
        _pTexStage0On,        binding,   _texgenCameraXYZ0, _textureFunctionModulate0, _viewToProjectedLightTextureMatrix,
        _textureMatrixEnable0, _pBlendOn, _pBlendFunc,       _pAlphaOff};
    pushOverrides(m, overrides);
    dispatchReceivers(traversal);
    popOverrides(m, overrides);
}

void oxProjectiveShadowShader::dispatchCasters(oxCommonTraversal* traversal)
{
    for (int i = 0; i < _shadowCasters->getCount(); ++i)
        if (oxNode* caster = _shadowCasters->get(i))
            traversal->dispatch(caster);
}

void oxProjectiveShadowShader::dispatchReceivers(oxCommonTraversal* traversal)
{
    oxTraverseGroup(traversal, this);
}

void oxProjectiveShadowShader::releaseResource(oxCommonTraversal* traversal)
{
    if (!_releaseRenderDestinationAfterDraw)
        return;
    oxAttrStackManager* m = traversal->getAttrStackManager();
    traversal->getSorter()->flushAttr(_unloadShadowTexRD, m);
    traversal->getSorter()->flushAttr(_unloadBlurTexRD, m);
}

// ---- the alternatives ----------------------------------------------------------------

oxTextureBindAttr* oxProjectiveShadowShader::updateShadowMapAlphaBlend(oxCommonTraversal* traversal)
{
    if (!_updateShadowMap)
        return _pShadowTexBind;
    oxAttrStackManager* m = traversal->getAttrStackManager();
    oxSorter* sorter = traversal->getSorter();
    sorter->beginCompoundRenderPackage(false, false);
    _shadowColor->setColor(oxVec4f(0, 0, 0, 1 - _shadowFactor));
    pushOverrides(m, {_pShadowTexRD, _pSetShadowTexRD, _shadowViewport});
    sorter->flushAttr(_pZeroClear, m);
    m->fastPopOverride(_shadowViewport);
    pushOverrides(m, {_lightingDisable, _pDepthOff, _pTexStage0Off});
    m->fastPushAttr(_lightMVMAttr);
    m->fastPushAttr(_lightProjAttr);
    pushOverrides(m, {_shadowColor, _shadowInnerViewport});
    dispatchCasters(traversal);
    popOverrides(m, {_shadowColor, _shadowInnerViewport});
    m->fastPopAttr(_lightProjAttr.get());
    m->fastPopAttr(_lightMVMAttr.get());
    popOverrides(m, {_pShadowTexRD, _pSetShadowTexRD, _lightingDisable, _pDepthOff, _pTexStage0Off});
    sorter->endCompoundRenderPackage();
    return _pShadowTexBind;
}

// Fragments where the texture's coverage is 0 are dropped; the rest lay the texture's black
// over the receivers by its alpha.
void oxProjectiveShadowShader::shadeAlphaBlend(oxCommonTraversal* traversal, oxTextureBindAttr* binding)
{
    if (_drawReceiver)
        dispatchReceivers(traversal);
    if (!binding)
        return;
    oxAttrStackManager* m = traversal->getAttrStackManager();
    oxAttr* mix = m->getDefaultAttr(oxBlendFunctionAttr::getClassTypeSafe());
    if (!mix)
        return;
    _viewToProjectedLightTextureMatrix->setUnit(0);
    const std::initializer_list<oxAttr*> overrides = {
        _pTexStage0On, binding,   _texgenCameraXYZ0, _pShadowTexFunc,    _viewToProjectedLightTextureMatrix,
        _textureMatrixEnable0, _pBlendOn, mix,      _pAlphaFuncGreater, _pAlphaOn,
        _lightingDisable};
    pushOverrides(m, overrides);
    dispatchReceivers(traversal);
    popOverrides(m, overrides);
}

oxTextureBindAttr* oxProjectiveShadowShader::updateShadowMapCopyBack(oxCommonTraversal* traversal)
{
    if (!_updateShadowMap)
        return _pShadowTexBind;
    oxAttrStackManager* m = traversal->getAttrStackManager();
    oxSorter* sorter = traversal->getSorter();
    sorter->beginCompoundRenderPackage(false, true);
    _shadowColor->setColor(oxVec4f(_shadowFactor, _shadowFactor, _shadowFactor, 1));
    pushOverrides(m, {_frameBufferRD, _shadowViewport});
    sorter->flushAttr(_pOneClear, m);
    pushOverrides(m, {_lightingDisable, _pDepthOff, _pTexStage0Off});
    m->fastPushAttr(_lightMVMAttr);
    m->fastPushAttr(_lightProjAttr);
    pushOverrides(m, {_shadowColor, _shadowInnerViewport});
    dispatchCasters(traversal);
    popOverrides(m, {_shadowColor, _shadowInnerViewport});
    m->fastPopAttr(_lightProjAttr.get());
    m->fastPopAttr(_lightMVMAttr.get());
    popOverrides(m, {_lightingDisable, _pDepthOff, _pTexStage0Off});
    sorter->flushAttr(_shadowCopyBack, m);
    sorter->flushAttr(_frameBufferClear, m);
    popOverrides(m, {_frameBufferRD, _shadowViewport});
    sorter->endCompoundRenderPackage();
    // The texture takes the picture read back; its image's version tells the device when
    // to load it again.
    if (_pShadowTex->getImage(0) != _shadowCopyBackImage)
        _pShadowTex->setImage(_shadowCopyBackImage, 0);
    return _pShadowTexBind;
}

void oxProjectiveShadowShader::shadeCopyBack(oxCommonTraversal* traversal)
{
    if (!_inited) {
        setUp();
        _inited = 1;
    }
    if (!updateMatrices(traversal->getInverseViewMatrix())) {
        dispatchReceivers(traversal);
        return;
    }
    oxTextureBindAttr* binding = updateShadowMapCopyBack(traversal);
    oxSorter* sorter = traversal->getSorter();
    sorter->beginCompoundRenderPackage(false, false);
    shadeRGBModulate(traversal, binding);
    sorter->endCompoundRenderPackage();
}

OX_TRAVERSAL_RETURN oxCommonTraverseProjectiveShadowShader(oxTraversal* t, oxObject* node)
{
    static_cast<oxProjectiveShadowShader*>(node)->shade(static_cast<oxCommonTraversal*>(t));
    return OX_TRAVERSAL_CONTINUE;
}

} // namespace Kel::Sg

#pragma once
#include "platform/attrs/oxFragmentAttrs.h"
#include "platform/attrs/oxGeometryAttr.h"
#include "platform/attrs/oxLightAttr.h"
#include "platform/attrs/oxMatrixAttrs.h"
#include "platform/attrs/oxRenderDestinationAttrs.h"
#include "platform/attrs/oxStateAttrs.h"
#include "platform/attrs/oxSurfaceAttrs.h"
#include "platform/attrs/oxTextureUnitAttrs.h"
#include "platform/attrs/oxViewAttrs.h"
#include "sg/nodes/oxGeometry.h"
#include "sg/nodes/oxGroup.h"
#include "sg/traversal/oxTraversal.h"

namespace Kel::Sg {

class oxCommonTraversal;

// Soft shadows of a list of caster nodes on the shader's children (the receivers). Each draw
// renders the casters as flat grey silhouettes from the light into a small texture, blurs it
// into a second one, and draws the receivers with the blurred texture projected on them from
// the light (texture coordinates generated from eye-space positions, moved into the light's
// texture space by a texture matrix). Everything goes through render attributes inside one
// compound package, so the sorter keeps the passes in order.
class oxProjectiveShadowShader : public oxGroup {
    OX_CLASS(oxProjectiveShadowShader, oxGroup)
    OX_FIELDS(lightPos, lightDir, cutoff, shadowCasters, shadowReceivers, shadowFactor, shadowTexW, shadowTexH,
              shadowLightness, viewToProjectedLightTextureMatrixpAttrList, lightMVMAttr, lightProjAttr, blurMVMAttr,
              blurProjAttr, inited, quadsGeom, unused, shadowColor, blurState, zNear, zFar, upVector,
              viewToProjectedLightTextureMatrix, drawReceiver, updateShadowMap, pShadowTexRD, pSetShadowTexRD,
              pShadowTex, pShadowTexBind, pBlurTexRD, pSetBlurTexRD, pBlurTex, pBlurTexBind, shadowCopyBack,
              shadowCopyBackImage, shadowViewport, shadowInnerViewport, light, pShadowTexBind1, useOrthographic, top,
              bottom, right, left, unloadShadowTexRD, unloadBlurTexRD, releaseRenderDestinationAfterDraw)
public:
    void setLightPosition(const oxVec3f& p) { _lightPos = p; }
    const oxVec3f& getLightPosition() const { return _lightPos; }
    void setLightDirection(const oxVec3f& d) { _lightDir = d; }
    const oxVec3f& getLightDirection() const { return _lightDir; }
    // Half the light's field of view, degrees.
    void setCutoffAngle(float degrees) { _cutoff = degrees; }
    float getCutoffAngle() const { return _cutoff; }
    // Grey level of the silhouettes: 0 black shadows, 1 none.
    void setShadowFactor(float f) { _shadowFactor = f; }
    float getShadowFactor() const { return _shadowFactor; }
    // Texture sizes take effect at the next set-up (the first draw, or after a file read).
    // Refused (false, with a warning) when the blur border would leave no inner square.
    bool setShadowTextureWidth(int width);
    bool setShadowTextureHeight(int height);
    int getShadowTextureWidth() const { return _shadowTexW; }
    int getShadowTextureHeight() const { return _shadowTexH; }
    void setShadowLightness(float l) { _shadowLightness = l; }
    float getShadowLightness() const { return _shadowLightness; }
    void setZNear(float z) { _zNear = z; }
    float getZNear() const { return _zNear; }
    void setZFar(float z) { _zFar = z; }
    float getZFar() const { return _zFar; }
    void setUpVector(const oxVec3f& up) { _upVector = up; }
    const oxVec3f& getUpVector() const { return _upVector; }
    void setUseOrthographic(bool on) { _useOrthographic = on; }
    bool getUseOrthographic() const { return _useOrthographic; }
    void setTop(float v) { _top = v; }
    float getTop() const { return _top; }
    void setBottom(float v) { _bottom = v; }
    float getBottom() const { return _bottom; }
    void setLeft(float v) { _left = v; }
    float getLeft() const { return _left; }
    void setRight(float v) { _right = v; }
    float getRight() const { return _right; }
    void setBlurState(bool on) { _blurState = on; }
    bool getBlurState() const { return _blurState; }
    void setDrawReceiver(bool on) { _drawReceiver = on; }
    bool getDrawReceiver() const { return _drawReceiver; }
    // Off: the texture of an earlier draw is projected again, so a static shadow costs only
    // the receiver pass.
    void setUpdateShadowMap(bool on) { _updateShadowMap = on; }
    bool getUpdateShadowMap() const { return _updateShadowMap; }
    void setReleaseRenderDestinationAfterDraw(bool on) { _releaseRenderDestinationAfterDraw = on; }
    bool getReleaseRenderDestinationAfterDraw() const { return _releaseRenderDestinationAfterDraw; }
    // A light to follow: its world position, direction and cutoff are taken at every draw.
    void setLight(Attrs::oxLightAttr* light) { _light = light; }
    Attrs::oxLightAttr* getLight() const { return _light; }

    // False for a null node.
    bool appendShadowCaster(oxNode* node);
    // The node becomes a child; false when the group refuses it.
    bool appendShadowReceiver(oxNode* node);
    oxNodeList* getShadowCasters() const { return _shadowCasters; }
    oxNodeList* getShadowReceivers() const { return _childList; }

    // The attributes the draw pushes, for inspection.
    Attrs::oxModelViewMatrixAttr* getLightModelViewAttr() const { return _lightMVMAttr; }
    Attrs::oxProjectionMatrixAttr* getLightProjectionAttr() const { return _lightProjAttr; }
    Attrs::oxTextureMatrixAttr* getViewToProjectedLightTextureMatrix() const
    {
        return _viewToProjectedLightTextureMatrix;
    }
    Attrs::oxViewportAttr* getShadowViewport() const { return _shadowViewport; }
    Attrs::oxViewportAttr* getShadowInnerViewport() const { return _shadowInnerViewport; }
    Attrs::oxTextureBindAttr* getShadowTextureBind() const { return _pShadowTexBind; }
    Attrs::oxTextureBindAttr* getBlurTextureBind() const { return _pBlurTexBind; }
    oxGeometry* getBlurQuads() const { return _quadsGeom; }
    // Border in pixels kept white around the silhouettes, wide enough for the blur's reach.
    static int getBlurBorder();

    // The draw, once per frame.
    void shade(oxCommonTraversal* traversal);
    // Light view and projection, and the eye-to-shadow-texture matrix; false (with a
    // warning) when the light's settings give no view or projection.
    bool updateMatrices(const oxMatrix44f& viewInverse);
    static void computeViewToProjectedLight(const oxMatrix44f& viewInverse, const oxMatrix44f& lightView,
                                            const oxMatrix44f& lightProjection, oxMatrix44f& out);
    // Renders the shadow texture (unless updates are off) and returns the binding to project.
    Attrs::oxTextureBindAttr* updateShadowMapRenderDestination(oxCommonTraversal* traversal);
    void shadeRGBModulate(oxCommonTraversal* traversal, Attrs::oxTextureBindAttr* binding);
    void shadeRGBModulateOnePass(oxCommonTraversal* traversal, Attrs::oxTextureBindAttr* binding);
    void shadeRGBModulateMultiPass(oxCommonTraversal* traversal, Attrs::oxTextureBindAttr* binding);
    void dispatchCasters(oxCommonTraversal* traversal);
    void dispatchReceivers(oxCommonTraversal* traversal);
    void releaseResource(oxCommonTraversal* traversal);

    // Alternatives to the draw above, for callers that compose their own frame.
    //
    // The shadow as coverage: silhouettes of opacity 1 - shadow factor in the alpha of the
    // shadow texture (unblurred), laid over the receivers with alpha blending.
    Attrs::oxTextureBindAttr* updateShadowMapAlphaBlend(oxCommonTraversal* traversal);
    void shadeAlphaBlend(oxCommonTraversal* traversal, Attrs::oxTextureBindAttr* binding);
    // For devices without render targets: the silhouettes are drawn into the corner of the
    // frame buffer, read back into the shadow texture's image and the frame buffer cleared
    // again, so it must run before the frame's own drawing.
    Attrs::oxTextureBindAttr* updateShadowMapCopyBack(oxCommonTraversal* traversal);
    void shadeCopyBack(oxCommonTraversal* traversal);

    // The render targets are made again at their next use.
    void reset() override;
    void userInstantiate(bool forFileRead) override;
    void userRelease() override;
    // Receivers stored apart by older files become children.
    void postFileRead() override;

protected:
    oxProjectiveShadowShader() = default;
    static void arkRegisterInitialize(oxFields<oxProjectiveShadowShader>& f);
    void setUp();
    static void setUpSharedAttributes();

    oxVec3f _lightPos{0, 4, 0};
    oxVec3f _lightDir{0, -1, 0};
    float _cutoff = 30;
    oxSmartPointer<oxNodeList> _shadowCasters;
    oxSmartPointer<oxNodeList> _shadowReceivers;
    float _shadowFactor = 0.3f;
    int32_t _shadowTexW = 128;
    int32_t _shadowTexH = 128;
    float _shadowLightness = 0.5f;
    oxSmartPointer<Attrs::oxNonRefCountedAttrList> _viewToProjectedLightTextureMatrixpAttrList;
    oxSmartPointer<Attrs::oxModelViewMatrixAttr> _lightMVMAttr;
    oxSmartPointer<Attrs::oxProjectionMatrixAttr> _lightProjAttr;
    oxSmartPointer<Attrs::oxModelViewMatrixAttr> _blurMVMAttr;
    oxSmartPointer<Attrs::oxProjectionMatrixAttr> _blurProjAttr;
    int32_t _inited = 0;
    oxSmartPointer<oxGeometry> _quadsGeom;
    oxSmartPointer<Attrs::oxGeometryAttr> _unused;
    oxSmartPointer<Attrs::oxColorAttr> _shadowColor;
    bool _blurState = true;
    float _zNear = 0.1f;
    float _zFar = 1000;
    oxVec3f _upVector{1, 0, 0};
    oxSmartPointer<Attrs::oxTextureMatrixAttr> _viewToProjectedLightTextureMatrix;
    bool _drawReceiver = true;
    bool _updateShadowMap = true;
    oxSmartPointer<Attrs::oxRenderDestinationAttr> _pShadowTexRD;
    oxSmartPointer<Attrs::oxSetRenderDestinationAttr> _pSetShadowTexRD;
    oxSmartPointer<Attrs::oxTextureAttr> _pShadowTex;
    oxSmartPointer<Attrs::oxTextureBindAttr> _pShadowTexBind;
    oxSmartPointer<Attrs::oxRenderDestinationAttr> _pBlurTexRD;
    oxSmartPointer<Attrs::oxSetRenderDestinationAttr> _pSetBlurTexRD;
    oxSmartPointer<Attrs::oxTextureAttr> _pBlurTex;
    oxSmartPointer<Attrs::oxTextureBindAttr> _pBlurTexBind;
    oxSmartPointer<Attrs::oxCopyRenderDestinationAttr> _shadowCopyBack;
    oxSmartPointer<Gfx::oxImage> _shadowCopyBackImage;
    oxSmartPointer<Attrs::oxViewportAttr> _shadowViewport;
    oxSmartPointer<Attrs::oxViewportAttr> _shadowInnerViewport;
    oxSmartPointer<Attrs::oxLightAttr> _light;
    oxSmartPointer<Attrs::oxTextureBindAttr> _pShadowTexBind1;
    bool _useOrthographic = false;
    float _top = 5;
    float _bottom = -5;
    float _right = 5;
    float _left = -5;
    oxSmartPointer<Attrs::oxTextureUnloadAttr> _unloadShadowTexRD;
    oxSmartPointer<Attrs::oxTextureUnloadAttr> _unloadBlurTexRD;
    bool _releaseRenderDestinationAfterDraw = false;

    // Shared by every instance: made when the first one is instantiated, dropped with the
    // last.
    static inline int _instances = 0;
    static inline oxSmartPointer<Attrs::oxTextureStateAttr> _pTexStage0On;
    static inline oxSmartPointer<Attrs::oxTextureStateAttr> _pTexStage1On;
    static inline oxSmartPointer<Attrs::oxTextureStateAttr> _pTexStage0Off;
    static inline oxSmartPointer<Attrs::oxBlendFunctionAttr> _pBlendFunc;
    static inline oxSmartPointer<Attrs::oxBlendFunctionAttr> _pBlendAdd;
    static inline oxSmartPointer<Attrs::oxBlendStateAttr> _pBlendOn;
    static inline oxSmartPointer<Attrs::oxBlendStateAttr> _pBlendOff;
    static inline oxSmartPointer<Attrs::oxLightingStateAttr> _lightingDisable;
    static inline oxSmartPointer<Attrs::oxClearAttr> _pOneClear;
    static inline oxSmartPointer<Attrs::oxClearAttr> _pZeroClear;
    static inline oxSmartPointer<Attrs::oxClearAttr> _frameBufferClear;
    static inline oxSmartPointer<Attrs::oxDepthStateAttr> _pDepthOff;
    static inline oxSmartPointer<Attrs::oxTextureCoordSourceAttr> _texgenCameraXYZ0;
    static inline oxSmartPointer<Attrs::oxTextureCoordSourceAttr> _texgenCameraXYZ1;
    static inline oxSmartPointer<Attrs::oxTextureFunctionAttr> _textureFunctionModulate0;
    static inline oxSmartPointer<Attrs::oxTextureFunctionAttr> _textureFunctionModulate1;
    static inline oxSmartPointer<Attrs::oxTextureMatrixStateAttr> _textureMatrixEnable0;
    static inline oxSmartPointer<Attrs::oxTextureMatrixStateAttr> _textureMatrixEnable1;
    static inline oxSmartPointer<Attrs::oxAlphaFunctionAttr> _pAlphaFuncGreater;
    static inline oxSmartPointer<Attrs::oxAlphaStateAttr> _pAlphaOn;
    static inline oxSmartPointer<Attrs::oxAlphaStateAttr> _pAlphaOff;
    static inline oxSmartPointer<Attrs::oxTextureFunctionAttr> _pShadowTexFunc;
    static inline oxSmartPointer<Attrs::oxSetRenderDestinationAttr> _frameBufferRD;
    static inline oxSmartPointer<Attrs::oxTextureBindAttr> _defaultTexBind0;
};

OX_TRAVERSAL_RETURN oxCommonTraverseProjectiveShadowShader(oxTraversal* t, oxObject* node);

} // namespace Kel::Sg

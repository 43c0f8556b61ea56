#pragma once
#include "platform/attrs/oxFragmentAttrs.h"
#include "platform/attrs/oxLightAttr.h"
#include "platform/attrs/oxMatrixAttrs.h"
#include "platform/attrs/oxStateAttrs.h"
#include "platform/attrs/oxSurfaceAttrs.h"
#include "sg/nodes/oxAttrSet.h"
#include "sg/nodes/oxGeometry.h"
#include "sg/traversal/oxTraversal.h"

namespace Kel::Sg {

class oxCommonTraversal;

// Shadows of the subtree on one plane: for every light that is on, the children are drawn
// once more, flattened onto the plane along the light's rays, untextured and unlit in the
// shadow colour, before they are drawn as an attribute set's children. Opaque by default;
// blended, the shadow darkens what lies under it. With stencil testing on, each pixel of the
// plane takes the shadow once, however many flattened triangles cover it (the application
// clears the stencil buffer each frame).
class oxPlanarShadowShader : public oxAttrSet {
    OX_CLASS(oxPlanarShadowShader, oxAttrSet)
    OX_FIELDS(lights, mvmList, shadowPlane, shadowColor, shadowUseBlend, shadowUseStencil, mats, geoms, blendmats,
              savedBounds, unused, shadowColorAttr, stencilState)
public:
    // (a, b, c, d): the points where a x + b y + c z + d = 0.
    void setShadowPlane(const oxVec4f& plane) { _shadowPlane = plane; }
    // The plane of that normal at `distance` along it (in units of the normal's length).
    void setShadowPlane(const oxVec3f& normal, float distance);
    const oxVec4f& getShadowPlane() const { return _shadowPlane; }
    void setShadowColor(const oxVec4f& color) { _shadowColor = color; }
    const oxVec4f& getShadowColor() const { return _shadowColor; }
    void setShadowUseBlend(bool on) { _shadowUseBlend = on; }
    bool getShadowUseBlend() const { return _shadowUseBlend; }
    void setShadowUseStencil(bool on) { _shadowUseStencil = on; }
    bool getShadowUseStencil() const { return _shadowUseStencil; }
    Attrs::oxLightList* getLights() const { return _lights; }
    // Null for an index outside the list.
    Attrs::oxLightAttr* getLight(int index) const
    {
        return index >= 0 && index < _lights->getCount() ? _lights->get(index) : nullptr;
    }
    // One shadow matrix per light, at the light's index.
    Attrs::oxModelViewMatrixAttrList* getMvmList() const { return _mvmList; }
    // False, changing nothing, for a null light.
    bool addLight(Attrs::oxLightAttr* light);

    // Collected geometry, each with its model-view matrix and blend-matrix attribute, kept
    // until reset().
    virtual void appendGeometry(oxGeometry* geometry, Attrs::oxModelViewMatrixAttr* modelView, oxAttr* blendMatrices);
    oxGeometryList* getGeometries() const { return _geoms; }
    void reset() override;

    // The flattened passes; the children's own pass is the traversal's.
    void shade(oxCommonTraversal* traversal);
    // Each light's shadow matrix into its entry of the matrix list.
    void computeProjectionMatrices(oxCommonTraversal* traversal);
    // The matrix that moves points (row vectors) along the light's rays onto the plane; the
    // light is (position, 1) or (-direction, 0).
    static oxMatrix44f computeShadowMatrix(const oxVec4f& plane, const oxVec4f& light);
    // (world position, 1) for a positional light, (-world direction, 0) for the others.
    static oxVec4f lightVector(const Attrs::oxLightAttr* light);

    void userInstantiate(bool forFileRead) override;
    void userRelease() override;

protected:
    oxPlanarShadowShader() = default;
    static void arkRegisterInitialize(oxFields<oxPlanarShadowShader>& f);

    oxSmartPointer<Attrs::oxLightList> _lights;
    oxSmartPointer<Attrs::oxModelViewMatrixAttrList> _mvmList;
    oxVec4f _shadowPlane{0, 1, 0, 0};
    oxVec4f _shadowColor{0, 0, 0, 1};
    bool _shadowUseBlend = false;
    bool _shadowUseStencil = false;
    oxSmartPointer<Attrs::oxModelViewMatrixAttrList> _mats;
    oxSmartPointer<oxGeometryList> _geoms;
    oxSmartPointer<oxAttrList> _blendmats;
    oxSmartPointer<oxVolume> _savedBounds;
    oxSmartPointer<oxVolume> _unused;
    oxSmartPointer<Attrs::oxColorAttr> _shadowColorAttr;
    oxSmartPointer<Attrs::oxStencilStateAttr> _stencilState;

    // Shared by every instance: made with the first, dropped with the last.
    struct Shared {
        oxSmartPointer<Attrs::oxBlendFunctionAttr> blendedFunction;
        oxSmartPointer<Attrs::oxBlendFunctionAttr> opaqueFunction;
        oxSmartPointer<Attrs::oxBlendStateAttr> blendOn;
        oxSmartPointer<Attrs::oxLightingStateAttr> lightingOff;
        oxSmartPointer<Attrs::oxTextureStateAttr> textureOff;
        oxSmartPointer<Attrs::oxAlphaStateAttr> alphaOff;
        oxSmartPointer<Attrs::oxGeometryMaskAttr> geometryMask;
        oxSmartPointer<Attrs::oxStencilFunctionAttr> stencilFunction;
        oxSmartPointer<Attrs::oxCullFaceAttr> cullFace;
    };
    static inline int _instances = 0;
    static inline Shared _shared;
};

OX_TRAVERSAL_RETURN oxCommonTraversePlanarShadowShader(oxTraversal* t, oxObject* node);

} // namespace Kel::Sg

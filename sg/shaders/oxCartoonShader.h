#pragma once
#include "platform/attrs/oxLightAttr.h"
#include "platform/attrs/oxMatrixAttrs.h"
#include "platform/attrs/oxTextureUnitAttrs.h"
#include "sg/nodes/oxGeometry.h"
#include "sg/nodes/oxGroup.h"
#include "sg/nodes/oxTransformSource.h"
#include "sg/traversal/oxTraversal.h"

namespace Kel::Sg {

class oxCommonTraversal;

OX_OBJECT_LIST(oxMetaObjectList, oxMetaObject)

// Draws its subtree lit by textures instead of the device's lighting. Every draw it writes
// two one-dimensional texture coordinates into each vertex of the geometry below it: the
// cosine between the light direction and the normal, which looks up the shading ramp
// `_sTex`, and the cosine between the view direction and the normal, which looks up `_oTex`,
// multiplied over the shading so that surfaces turning away from the eye (the outlines) take
// its colour. Two texture units draw it in one pass; one unit draws it in two, the second
// multiplying the frame buffer.
//
// Both textures are needed: without either the subtree is not drawn at all.
class oxCartoonShader : public oxGroup {
    OX_CLASS(oxCartoonShader, oxGroup)
    OX_FIELDS(oTex, sTex, mats, geoms, oTexCoordIndex, sTexCoordIndex, lightPosition, m, ts, light,
              savedTraversalFunctions, geometryMetaObjects, tcs0, tcs1)
public:
    OX_TRAVERSAL_RETURN shade(oxCommonTraversal* traversal);
    void computeShading(oxCommonTraversal* traversal);
    // The light's position (w = 1) or direction (w = 0) into _lightPosition.
    void updateLight();
    virtual void appendGeometry(oxGeometry* geometry, Attrs::oxModelViewMatrixAttr* matrix);

    void setOutlineTexture(Attrs::oxTextureBindAttr* texture) { _oTex = texture; }
    Attrs::oxTextureBindAttr* getOutlineTexture() const { return _oTex; }
    void setShadingTexture(Attrs::oxTextureBindAttr* texture) { _sTex = texture; }
    Attrs::oxTextureBindAttr* getShadingTexture() const { return _sTex; }
    void setOutlineTextureCoordIndex(int set) { _oTexCoordIndex = set; }
    int getOutlineTextureCoordIndex() const { return _oTexCoordIndex; }
    void setShadingTextureCoordIndex(int set) { _sTexCoordIndex = set; }
    int getShadingTextureCoordIndex() const { return _sTexCoordIndex; }
    void setLightPosition(const oxVec4f& p) { _lightPosition = p; }
    const oxVec4f& getLightPosition() const { return _lightPosition; }
    void setLight(Attrs::oxLightAttr* light) { _light = light; }
    Attrs::oxLightAttr* getLight() const { return _light; }
    void setTransform(const oxMatrix44f& m) { _m = m; }
    const oxMatrix44f& getTransform() const { return _m; }
    void setTransformSource(oxTransformSource* source) { _ts = source; }
    oxTransformSource* getTransformSource() const { return _ts; }
    oxGeometryList* getGeometries() const { return _geoms; }
    Attrs::oxModelViewMatrixAttrList* getMatrices() const { return _mats; }
    oxTraversalFunctionList* getSavedTraversalFunctions() const { return _savedTraversalFunctions; }
    oxMetaObjectList* getGeometryMetaObjects() const { return _geometryMetaObjects; }

    void userInstantiate(bool forFileRead) override;
    void userRelease() override;

protected:
    oxCartoonShader() = default;
    static void arkRegisterInitialize(oxFields<oxCartoonShader>& f);

    oxSmartPointer<Attrs::oxTextureBindAttr> _oTex;
    oxSmartPointer<Attrs::oxTextureBindAttr> _sTex;
    oxSmartPointer<Attrs::oxModelViewMatrixAttrList> _mats;
    oxSmartPointer<oxGeometryList> _geoms;
    int32_t _oTexCoordIndex = 0;
    int32_t _sTexCoordIndex = 0;
    oxVec4f _lightPosition{0, 0, 0, 1};
    oxMatrix44f _m;
    oxSmartPointer<oxTransformSource> _ts;
    oxSmartPointer<Attrs::oxLightAttr> _light;
    oxSmartPointer<oxTraversalFunctionList> _savedTraversalFunctions;
    oxSmartPointer<oxMetaObjectList> _geometryMetaObjects;
    oxSmartPointer<Attrs::oxTextureCoordSourceAttr> _tcs0;
    oxSmartPointer<Attrs::oxTextureCoordSourceAttr> _tcs1;
};

} // namespace Kel::Sg

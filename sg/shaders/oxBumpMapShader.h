#pragma once
#include "platform/attrs/oxFragmentAttrs.h"
#include "platform/attrs/oxLightAttr.h"
#include "platform/attrs/oxMatrixAttrs.h"
#include "platform/attrs/oxStateAttrs.h"
#include "platform/attrs/oxTextureUnitAttrs.h"
#include "platform/math/oxMathLists.h"
#include "sg/core/oxBitMask.h"
#include "sg/core/oxSgEnums.h"
#include "sg/nodes/oxGeometry.h"
#include "sg/nodes/oxGroup.h"
#include "sg/nodes/oxTransformSource.h"

namespace Kel::Sg {

class oxCommonTraversal;

// Draws its subtree with bumps from a grey-scale height texture, lit by up to eight lights,
// with fixed-function state only. Every draw it writes per-vertex lighting into the vertex
// colours of the geometry below it and, for the emboss techniques, shifted height-map
// coordinates into a reserved texture-coordinate set, then draws the subtree two or three
// times with its own texture, blend and combiner state forced over the subtree's. The
// technique follows the device: the dot-product combiner when there is one (and the
// "disableBumpDotProduct" setting allows it), else emboss on two texture units, else emboss
// in three passes on one.
//
// The geometry needs positions, normals, colours, the height-map and the reserved
// coordinate sets, and the tangent frame (oxVertexArrayHelper::generateTangentsAndBinormals
// adds it). The height texture's image must be 8-bit single-channel; otherwise, or without
// lights, the node draws as a plain group.
class oxBumpMapShader : public oxGroup {
    OX_CLASS(oxBumpMapShader, oxGroup)
    OX_FIELDS(bumpTex, invBumpTex, mats, geoms, bumpTexCoordIndex, reservedTexCoordIndex, lightPositions,
              lightIntensities, lightMask, strength, ambient, diffuse, m, ts, lights, diffuseMaterial, bumpTexImage,
              bumpTex1, unused, materialTex, bumpTextureCoordSource, shiftedTextureCoordSource, geomHasTexture,
              bumpTex2, normalTexture)
public:
    static constexpr int kMaxLights = 8;

    OX_TRAVERSAL_RETURN shade(oxCommonTraversal* traversal);
    void shadeDotProduct(oxCommonTraversal* traversal);
    void shadeDxOgl(oxCommonTraversal* traversal);
    void shadeDefault(oxCommonTraversal* traversal);
    void shadeInverseBump(oxCommonTraversal* traversal);
    // Consoles the node does not draw on.
    void shadePsx2(oxCommonTraversal*) {}
    void shadeGamecube(oxCommonTraversal*) {}

    bool isValid();

    // Fills _geoms, _mats and _geomHasTexture from the subtree, drawing nothing.
    void collectGeometries(oxCommonTraversal* traversal);
    virtual void appendGeometry(oxGeometry* geometry, Attrs::oxModelViewMatrixAttr* matrix);
    void reset() override;

    // Emboss: lighting into the vertex colours and shifted coordinates into the reserved set.
    void computeReservedTextureCoord(oxCommonTraversal* traversal);
    // Dot product: the light vector, in the tangent frame, into the vertex colours.
    void computeColorForDot3(oxCommonTraversal* traversal);
    // The on/off state of the light attributes, as the traversal has them here.
    void updateLight(oxCommonTraversal* traversal);

    // A new RGB normal map of the heights (the caller holds the reference); null for a null
    // or empty image, or one that is not 8-bit single-channel.
    static oxSmartPointer<Gfx::oxImage> createNormalImage(Gfx::oxImage* heights, float strength);
    void createNormalTexture();
    void createMaterialTexture();
    void createInverseTexture();

    // Lights: positions (point lights) unless light attributes are given.
    void setLightCount(int n);
    int getLightCount() const { return _lightPositions ? _lightPositions->getCount() : 0; }
    void setLightPosition(int i, const oxVec3f& position);
    oxVec3f getLightPosition(int i) const;
    void setLightIntensity(int i, float value);
    float getLightIntensities(int i) const;
    void addLight(Attrs::oxLightAttr* light) { appendLightAttr(light); }
    void appendLightAttr(Attrs::oxLightAttr* light);
    Attrs::oxLightList* getLights() const { return _lights; }
    void setLightState(int i, bool on);
    bool getLightState(int i) const { return i >= 0 && i < kMaxLights && (_lightMask >> i & 1); }
    unsigned char getLightStates() const { return _lightMask; }

    // Material.
    void setAmbient(float a);
    float getAmbient() const { return float(_ambient) / 255.0f; }
    void setDiffuse(float g) { _diffuseMaterial = oxVec3f(g, g, g); }
    float getDiffuse() const { return _diffuseMaterial.x; }
    void setDiffuseMaterial(const oxVec3f& colour);
    const oxVec3f& getDiffuseMaterial() const { return _diffuseMaterial; }

    // Textures and coordinates.
    virtual void setBumpTexture(Attrs::oxTextureBindAttr* texture);
    virtual void setInverseBumpTexture(Attrs::oxTextureBindAttr* texture) { _invBumpTex = texture; }
    Attrs::oxTextureBindAttr* getBumpTexture() const { return _bumpTex; }
    Attrs::oxTextureBindAttr* getInverseBumpTexture() const { return _invBumpTex; }
    void setNormalTexture(Attrs::oxTextureBindAttr* texture) { _normalTexture = texture; }
    Attrs::oxTextureBindAttr* getNormalTexture() const { return _normalTexture; }
    Attrs::oxTextureBindAttr* getMaterialTexture() const { return _materialTex; }
    Gfx::oxImage* getBumpTextureImage() const { return _bumpTexImage; }
    virtual void setBumpTextureCoordIndex(int set) { _bumpTexCoordIndex = set; }
    int getBumpTextureCoordIndex() const { return _bumpTexCoordIndex; }
    virtual void setReservedTextureCoordIndex(int set) { _reservedTexCoordIndex = set; }
    int getReservedTextureCoordIndex() const { return _reservedTexCoordIndex; }
    void setBumpStrength(float strength) { _strength = strength; }
    float getBumpStrength() const { return _strength; }
    void setTransform(const oxMatrix44f* m)
    {
        if (m)
            _m = *m;
    }
    const oxMatrix44f* getTransform() const { return &_m; }
    void setTransformSource(oxTransformSource* source) { _ts = source; }
    oxTransformSource* getTransformSource() const { return _ts; }
    oxBitMask* getTextureFlags() const { return _geomHasTexture; }
    oxGeometryList* getGeometries() const { return _geoms; }
    Attrs::oxModelViewMatrixAttrList* getMatrices() const { return _mats; }

    void userInstantiate(bool forFileRead) override;
    void userRelease() override;

protected:
    oxBumpMapShader() = default;
    static void arkRegisterInitialize(oxFields<oxBumpMapShader>& f);

    oxSmartPointer<Attrs::oxTextureBindAttr> _bumpTex;
    oxSmartPointer<Attrs::oxTextureBindAttr> _invBumpTex;
    oxSmartPointer<Attrs::oxModelViewMatrixAttrList> _mats;
    oxSmartPointer<oxGeometryList> _geoms;
    int32_t _bumpTexCoordIndex = -1;
    int32_t _reservedTexCoordIndex = -1;
    oxSmartPointer<oxVec3fList> _lightPositions;
    oxSmartPointer<oxFloatList> _lightIntensities;
    unsigned char _lightMask = 255;
    float _strength = 1.0f;
    unsigned char _ambient = 16;
    float _diffuse = 0.2f;
    oxMatrix44f _m;
    oxSmartPointer<oxTransformSource> _ts;
    oxSmartPointer<Attrs::oxLightList> _lights;
    oxVec3f _diffuseMaterial{1, 1, 1};
    oxSmartPointer<Gfx::oxImage> _bumpTexImage;
    oxSmartPointer<Attrs::oxTextureBindAttr> _bumpTex1;
    oxSmartPointer<Attrs::oxTextureBindAttr> _unused;
    oxSmartPointer<Attrs::oxTextureBindAttr> _materialTex;
    oxSmartPointer<Attrs::oxTextureCoordSourceAttr> _bumpTextureCoordSource;
    oxSmartPointer<Attrs::oxTextureCoordSourceAttr> _shiftedTextureCoordSource;
    oxSmartPointer<oxBitMask> _geomHasTexture;
    oxSmartPointer<Attrs::oxTextureBindAttr> _bumpTex2;
    oxSmartPointer<Attrs::oxTextureBindAttr> _normalTexture;

private:
    struct Light;
    int gatherLights(oxCommonTraversal* traversal, bool transformListedPositions, Light* out) const;
    void drawChildren(oxCommonTraversal* traversal);
};

} // namespace Kel::Sg

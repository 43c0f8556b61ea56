#pragma once
#include "platform/attrs/oxTextureUnitAttrs.h"
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

using Attrs::oxTextureBindAttr;
class oxCommonTraversal;
class oxTraversal;

// A group drawn with an environment texture over its subtree: what the surfaces reflect.
// How the texture is mapped is the device-specific kind's business; this base keeps what
// every kind shares: the texture, the unit it goes on and whether the shader may shadow
// itself (a drawing pass that casts the subtree's shadow onto itself turns that off, so that
// no reflection is computed for a silhouette).
//
// The draw runs `shade` with the traversal; a compiled graph, which keeps the attributes
// `shade` pushed, runs `update` every frame instead, so whatever follows the view must be
// refreshed there.
class oxEnvironmentMapShader2 : public oxGroup {
    OX_CLASS(oxEnvironmentMapShader2, oxGroup)
    OX_FIELDS(envTexture, unit, selfShadowState)
public:
    oxTextureBindAttr* getEnvironmentTexture() const { return _envTexture; }
    void setEnvironmentTexture(oxTextureBindAttr* texture) { _envTexture = texture; }
    int getUnit() const { return _unit; }
    // False for a negative unit.
    bool setUnit(int unit);
    void setSelfShadowState(bool on) { _selfShadowState = on; }
    bool getSelfShadowState() const { return _selfShadowState; }

    // Draws the subtree with the environment texture; without a texture, as a plain group.
    virtual void shade(oxCommonTraversal* traversal) = 0;
    // Brings the per-view state of the attributes `shade` pushes up to date.
    virtual void update(oxTraversal* traversal) = 0;

protected:
    oxEnvironmentMapShader2() = default;
    static void arkRegisterInitialize(oxFields<oxEnvironmentMapShader2>& f);

    oxSmartPointer<oxTextureBindAttr> _envTexture;
    int _unit = 0;
    bool _selfShadowState = true;
};

OX_OBJECT_LIST(oxEnvironmentMapShader2List, oxEnvironmentMapShader2)

} // namespace Kel::Sg

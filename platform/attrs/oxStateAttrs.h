#pragma once
#include "platform/attrs/oxAttr.h"

namespace Kel::Attrs {

// An on/off switch of the device (glEnable / glDisable). Each class names its switch and
// its default; per-unit switches (texturing) use the attribute's unit.
class oxStateAttr : public oxAttr {
    OX_CLASS(oxStateAttr, oxAttr)
    OX_FIELDS(enabled)
public:
    bool getEnabled() const { return _enabled; }
    void setEnabled(bool on) { _enabled = on; }

protected:
    oxStateAttr() = default;
    static void arkRegisterInitialize(oxFields<oxStateAttr>& f);
    virtual Gfx::OX_GFX_SWITCH getSwitch() const = 0;
    void applyTo(oxVisualContext& vc) override;

    bool _enabled = false;
};

// One state class: its switch, whether it is on by default, and the capability that counts
// its units (-1: no units).
#define OX_STATE_ATTR(Name, Switch, EnabledByDefault, UnitCapability)                   \
    class Name : public oxStateAttr {                                                  \
        OX_CLASS(Name, oxStateAttr)                                                    \
    public:                                                                            \
        int getUnitCapability() const override { return UnitCapability; }             \
                                                                                       \
    protected:                                                                         \
        Name() { _enabled = EnabledByDefault; }                                        \
        static void arkRegisterInitialize(oxFields<Name>& f)                           \
        {                                                                              \
            f.redeclare(nullptr, "_enabled", bool(EnabledByDefault));                  \
        }                                                                              \
        Gfx::OX_GFX_SWITCH getSwitch() const override { return Gfx::Switch; }          \
    };

OX_STATE_ATTR(oxAlphaStateAttr, OX_GFX_ALPHA_TEST, false, -1)
OX_STATE_ATTR(oxBlendStateAttr, OX_GFX_BLEND, false, -1)
OX_STATE_ATTR(oxDepthStateAttr, OX_GFX_DEPTH_TEST, true, -1)
OX_STATE_ATTR(oxDepthWriteStateAttr, OX_GFX_DEPTH_WRITE, true, -1)
OX_STATE_ATTR(oxStencilStateAttr, OX_GFX_STENCIL_TEST, false, -1)
OX_STATE_ATTR(oxLightingStateAttr, OX_GFX_LIGHTING, false, -1)
OX_STATE_ATTR(oxNormalizeNormalsStateAttr, OX_GFX_NORMALIZE, false, -1)
OX_STATE_ATTR(oxClippingStateAttr, OX_GFX_CLIPPING, true, -1)
OX_STATE_ATTR(oxMatrixOptStateAttr, OX_GFX_MATRIX_OPTIMIZATION, true, -1)
OX_STATE_ATTR(oxVertexBlendStateAttr, OX_GFX_VERTEX_BLEND, false, -1)
OX_STATE_ATTR(oxTextureStateAttr, OX_GFX_TEXTURE, false, Gfx::OX_GFX_CAP_TEXTURE_UNITS)
OX_STATE_ATTR(oxTextureMatrixStateAttr, OX_GFX_TEXTURE_MATRIX, false, Gfx::OX_GFX_CAP_TEXTURE_UNITS)

// Face culling: the switch and which faces go (back faces by default; culling off).
class oxCullFaceAttr : public oxStateAttr {
    OX_CLASS(oxCullFaceAttr, oxStateAttr)
    OX_FIELDS(face)
public:
    Gfx::OX_GFX_CULL getFace() const { return _face; }
    void setFace(Gfx::OX_GFX_CULL face) { _face = face; }

protected:
    oxCullFaceAttr() = default;
    static void arkRegisterInitialize(oxFields<oxCullFaceAttr>& f);
    Gfx::OX_GFX_SWITCH getSwitch() const override { return Gfx::OX_GFX_CULL_FACE; }
    void applyTo(oxVisualContext& vc) override;

    Gfx::OX_GFX_CULL _face = Gfx::OX_GFX_CULL_BACK;
};

} // namespace Kel::Attrs

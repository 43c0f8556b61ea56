#pragma once
#include "platform/attrs/oxAttr.h"

namespace Kel::Attrs {

// One matrix the device loads (glMatrixMode + glLoadMatrixf), identity by default.
class oxMatrixAttr : public oxAttr {
    OX_CLASS(oxMatrixAttr, oxAttr)
    OX_FIELDS(matrix)
public:
    const oxMatrix44f& getMatrix() const { return _matrix; }
    void setMatrix(const oxMatrix44f& m) { _matrix = m; }

protected:
    oxMatrixAttr() = default;
    static void arkRegisterInitialize(oxFields<oxMatrixAttr>& f);
    virtual Gfx::OX_GFX_MATRIX getMatrixMode() const = 0;
    void applyTo(oxVisualContext& vc) override;

    oxMatrix44f _matrix;
};

// One matrix class: its stack and the capability that counts its units (-1: no units).
#define OX_MATRIX_ATTR(Name, Mode, UnitCapability)                                  \
    class Name : public oxMatrixAttr {                                              \
        OX_CLASS(Name, oxMatrixAttr)                                                \
    public:                                                                         \
        int getUnitCapability() const override { return UnitCapability; }         \
                                                                                    \
    protected:                                                                      \
        Name() = default;                                                           \
        Gfx::OX_GFX_MATRIX getMatrixMode() const override { return Gfx::Mode; }     \
    };

// Texture-coordinate transform of a unit.
OX_MATRIX_ATTR(oxTextureMatrixAttr, OX_GFX_MATRIX_TEXTURE, Gfx::OX_GFX_CAP_TEXTURE_UNITS)
// Texture-coordinate generation planes of a unit: (s, t, r, q) = (x, y, z, 1) × M, so the
// planes are the columns.
OX_MATRIX_ATTR(oxTexGenMatrixAttr, OX_GFX_MATRIX_TEXGEN, Gfx::OX_GFX_CAP_TEXTURE_UNITS)
// One vertex-blend matrix; unit k blends with weight k.
OX_MATRIX_ATTR(oxVertexBlendMatrixAttr, OX_GFX_MATRIX_VERTEX_BLEND, Gfx::OX_GFX_CAP_MAX_VERTEX_BLEND_MATRICES)

// Model to eye space.
class oxModelViewMatrixAttr : public oxMatrixAttr {
    OX_CLASS(oxModelViewMatrixAttr, oxMatrixAttr)
public:
    // One identity attribute shared by the whole process; do not change it.
    static oxModelViewMatrixAttr* getIdentityAttr();

protected:
    oxModelViewMatrixAttr() = default;
    Gfx::OX_GFX_MATRIX getMatrixMode() const override { return Gfx::OX_GFX_MATRIX_MODEL_VIEW; }
};

// Eye to clip space. Its default stands for the device's projection.
class oxProjectionMatrixAttr : public oxMatrixAttr {
    OX_CLASS(oxProjectionMatrixAttr, oxMatrixAttr)
public:
    void refreshFromVisualContext(const oxVisualContext* vc) override;

protected:
    oxProjectionMatrixAttr() = default;
    Gfx::OX_GFX_MATRIX getMatrixMode() const override { return Gfx::OX_GFX_MATRIX_PROJECTION; }
};

OX_OBJECT_LIST(oxModelViewMatrixAttrList, oxModelViewMatrixAttr)

} // namespace Kel::Attrs

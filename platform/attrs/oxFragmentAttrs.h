#pragma once
#include "platform/attrs/oxAttr.h"

namespace Kel::Attrs {

// Per-fragment tests and writes. The tests themselves are switched by the state attributes
// (oxAlphaStateAttr, oxBlendStateAttr, oxDepthStateAttr, oxStencilStateAttr); these classes
// hold their functions.

// glAlphaFunc: passes fragments whose alpha compares true with the reference.
class oxAlphaFunctionAttr : public oxAttr {
    OX_CLASS(oxAlphaFunctionAttr, oxAttr)
    OX_FIELDS(function, reference)
public:
    Gfx::OX_GFX_COMPARE getFunction() const { return _function; }
    void setFunction(Gfx::OX_GFX_COMPARE function) { _function = function; }
    float getReference() const { return _reference; }
    void setReference(float reference) { _reference = reference; }

protected:
    oxAlphaFunctionAttr() = default;
    static void arkRegisterInitialize(oxFields<oxAlphaFunctionAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    Gfx::OX_GFX_COMPARE _function = Gfx::OX_GFX_COMPARE_ALWAYS;
    float _reference = 0.0f;
};

// glBlendFunc and glBlendEquation. The default mixes by source alpha, so that turning
// blending on is all a translucent surface needs.
class oxBlendFunctionAttr : public oxAttr {
    OX_CLASS(oxBlendFunctionAttr, oxAttr)
    OX_FIELDS(source, destination, equation)
public:
    Gfx::OX_GFX_BLEND_FACTOR getSource() const { return _source; }
    Gfx::OX_GFX_BLEND_FACTOR getDestination() const { return _destination; }
    Gfx::OX_GFX_BLEND_EQUATION getEquation() const { return _equation; }
    void setFactors(Gfx::OX_GFX_BLEND_FACTOR source, Gfx::OX_GFX_BLEND_FACTOR destination)
    {
        _source = source;
        _destination = destination;
    }
    void setEquation(Gfx::OX_GFX_BLEND_EQUATION equation) { _equation = equation; }

protected:
    oxBlendFunctionAttr() = default;
    static void arkRegisterInitialize(oxFields<oxBlendFunctionAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    Gfx::OX_GFX_BLEND_FACTOR _source = Gfx::OX_GFX_BLEND_SRC_ALPHA;
    Gfx::OX_GFX_BLEND_FACTOR _destination = Gfx::OX_GFX_BLEND_ONE_MINUS_SRC_ALPHA;
    Gfx::OX_GFX_BLEND_EQUATION _equation = Gfx::OX_GFX_BLEND_ADD;
};

// glDepthFunc. LESS_EQUAL by default, so that later passes over the same surface pass.
class oxDepthFunctionAttr : public oxAttr {
    OX_CLASS(oxDepthFunctionAttr, oxAttr)
    OX_FIELDS(function)
public:
    Gfx::OX_GFX_COMPARE getFunction() const { return _function; }
    void setFunction(Gfx::OX_GFX_COMPARE function) { _function = function; }

protected:
    oxDepthFunctionAttr() = default;
    static void arkRegisterInitialize(oxFields<oxDepthFunctionAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    Gfx::OX_GFX_COMPARE _function = Gfx::OX_GFX_COMPARE_LESS_EQUAL;
};

// glStencilFunc, glStencilOp and glStencilMask.
class oxStencilFunctionAttr : public oxAttr {
    OX_CLASS(oxStencilFunctionAttr, oxAttr)
    OX_FIELDS(function, reference, mask, fail, depthFail, pass, writeMask)
public:
    void setFunction(Gfx::OX_GFX_COMPARE function, int reference, uint32_t mask)
    {
        _function = function;
        _reference = reference;
        _mask = mask;
    }
    void setOperations(Gfx::OX_GFX_STENCIL_OP fail, Gfx::OX_GFX_STENCIL_OP depthFail, Gfx::OX_GFX_STENCIL_OP pass)
    {
        _fail = fail;
        _depthFail = depthFail;
        _pass = pass;
    }
    void setWriteMask(uint32_t mask) { _writeMask = mask; }
    Gfx::OX_GFX_COMPARE getFunction() const { return _function; }
    int getReference() const { return _reference; }
    uint32_t getMask() const { return _mask; }
    Gfx::OX_GFX_STENCIL_OP getFail() const { return _fail; }
    Gfx::OX_GFX_STENCIL_OP getDepthFail() const { return _depthFail; }
    Gfx::OX_GFX_STENCIL_OP getPass() const { return _pass; }
    uint32_t getWriteMask() const { return _writeMask; }

protected:
    oxStencilFunctionAttr() = default;
    static void arkRegisterInitialize(oxFields<oxStencilFunctionAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    Gfx::OX_GFX_COMPARE _function = Gfx::OX_GFX_COMPARE_ALWAYS;
    int32_t _reference = 0;
    uint32_t _mask = 0xFFFFFFFFu;
    Gfx::OX_GFX_STENCIL_OP _fail = Gfx::OX_GFX_STENCIL_KEEP;
    Gfx::OX_GFX_STENCIL_OP _depthFail = Gfx::OX_GFX_STENCIL_KEEP;
    Gfx::OX_GFX_STENCIL_OP _pass = Gfx::OX_GFX_STENCIL_KEEP;
    uint32_t _writeMask = 0xFFFFFFFFu;
};

// glColorMask: which colour channels are written.
class oxColorMaskAttr : public oxAttr {
    OX_CLASS(oxColorMaskAttr, oxAttr)
    OX_FIELDS(red, green, blue, alpha)
public:
    void setMask(bool red, bool green, bool blue, bool alpha)
    {
        _red = red;
        _green = green;
        _blue = blue;
        _alpha = alpha;
    }
    bool getRed() const { return _red; }
    bool getGreen() const { return _green; }
    bool getBlue() const { return _blue; }
    bool getAlpha() const { return _alpha; }

protected:
    oxColorMaskAttr() = default;
    static void arkRegisterInitialize(oxFields<oxColorMaskAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    bool _red = true;
    bool _green = true;
    bool _blue = true;
    bool _alpha = true;
};

} // namespace Kel::Attrs

#pragma once
#include "platform/attrs/oxAttr.h"

namespace Kel::Attrs {

// The part of the target drawn into, and the depth range (glViewport, glDepthRange). Its
// default stands for the device's viewport.
class oxViewportAttr : public oxAttr {
    OX_CLASS(oxViewportAttr, oxAttr)
    OX_FIELDS(x, y, width, height, depthNear, depthFar)
public:
    void setViewport(int x, int y, int width, int height)
    {
        _x = x;
        _y = y;
        _width = width;
        _height = height;
    }
    void setDepthRange(float depthNear, float depthFar)
    {
        _depthNear = depthNear;
        _depthFar = depthFar;
    }
    Gfx::oxViewport getViewport() const { return {_x, _y, _width, _height, _depthNear, _depthFar}; }
    int getWidth() const { return _width; }
    int getHeight() const { return _height; }
    void refreshFromVisualContext(const oxVisualContext* vc) override;

protected:
    oxViewportAttr() = default;
    static void arkRegisterInitialize(oxFields<oxViewportAttr>& f);
    void applyTo(oxVisualContext& vc) override { vc.setViewport(getViewport()); }

    int32_t _x = 0;
    int32_t _y = 0;
    int32_t _width = 0;
    int32_t _height = 0;
    float _depthNear = 0.0f;
    float _depthFar = 1.0f;
};

// Clear values, and the buffers applying it clears (OX_GFX_CLEAR bits). With no buffers,
// which is the default, it only sets the values: the default then puts the device's clear
// values back without wiping anything. Its default stands for the device's values.
class oxClearAttr : public oxAttr {
    OX_CLASS(oxClearAttr, oxAttr)
    OX_FIELDS(color, depth, stencil, buffers)
public:
    const oxVec4f& getColor() const { return _color; }
    void setColor(const oxVec4f& c) { _color = c; }
    float getDepth() const { return _depth; }
    void setDepth(float depth) { _depth = depth; }
    int getStencil() const { return _stencil; }
    void setStencil(int stencil) { _stencil = stencil; }
    uint32_t getBuffers() const { return _buffers; }
    void setBuffers(uint32_t buffers) { _buffers = buffers; }
    void refreshFromVisualContext(const oxVisualContext* vc) override;

protected:
    oxClearAttr() = default;
    static void arkRegisterInitialize(oxFields<oxClearAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    oxVec4f _color;
    float _depth = 1.0f;
    int32_t _stencil = 0;
    uint32_t _buffers = 0;
};

// A user clip plane (a x + b y + c z + d >= 0 is kept) given in the space of a model-view
// matrix. The zero plane, the default, switches the unit's plane off.
class oxClipPlaneAttr : public oxAttr {
    OX_CLASS(oxClipPlaneAttr, oxAttr)
    OX_FIELDS(plane, modelView)
public:
    const oxVec4f& getPlane() const { return _plane; }
    void setPlane(const oxVec4f& plane) { _plane = plane; }
    const oxMatrix44f& getModelView() const { return _modelView; }
    void setModelView(const oxMatrix44f& m) { _modelView = m; }
    int getUnitCapability() const override { return Gfx::OX_GFX_CAP_MAX_CLIP_PLANES; }

protected:
    oxClipPlaneAttr() = default;
    static void arkRegisterInitialize(oxFields<oxClipPlaneAttr>& f);
    void applyTo(oxVisualContext& vc) override { vc.setClipPlane(_unit, _plane, _modelView); }

    oxVec4f _plane;
    oxMatrix44f _modelView;
};

} // namespace Kel::Attrs

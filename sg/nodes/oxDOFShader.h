#pragma once
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

class oxTraversal;

// The depth-of-field effect over its subtree, as far as a depth-of-field camera drives it:
// the camera hands it its focus, blur and projection values when it becomes active, and the
// shader keeps them for its next draw. Changes of the projection or focus mark the
// parameters changed, so that the draw rebuilds what depends on them once, not every frame.
class oxDOFShader : public oxGroup {
    OX_CLASS(oxDOFShader, oxGroup)
    OX_FIELDS(state, blurriness, focusRange, horizontalFieldOfView, verticalFieldOfView, nearClip, farClip,
              aspectRatio, parametersChanged, projection, projectionValid)
public:
    // Whether the effect is applied at all.
    void setState(bool on) { _state = on; }
    bool getState() const { return _state; }
    void setBlurriness(float blurriness) { _blurriness = blurriness; }
    float getBlurriness() const { return _blurriness; }
    void setFocusRange(float distance);
    float getFocusRange() const { return _focusRange; }
    // Degrees; a negative angle means "follow from the other angle and the aspect ratio".
    void setFieldOfView(float horizontal, float vertical);
    float getHorizontalFieldOfView() const { return _horizontalFieldOfView; }
    float getVerticalFieldOfView() const { return _verticalFieldOfView; }
    void setNearFarClip(float nearClip, float farClip);
    float getNearClip() const { return _nearClip; }
    float getFarClip() const { return _farClip; }
    void setAspectRatio(float ratio);
    float getAspectRatio() const { return _aspectRatio; }

    bool getParametersChanged() const { return _parametersChanged; }
    // The draw calls this once it has taken the new parameters over.
    void clearParametersChanged() { _parametersChanged = false; }

    // The draw's step for the shader, once per frame by the traversal drawing it: with the
    // effect on and parameters changed since the last step, it rebuilds the projection the
    // depths are measured in and clears the mark, so that unchanged frames rebuild nothing.
    // True when the effect applies to this frame: on, with a projection.
    bool shade(oxTraversal* traversal);
    // The perspective of the field of view, clip distances and aspect ratio taken over last.
    // Values that make no projection (clip distances not 0 < near < far, angles outside
    // 0..180 degrees, an aspect ratio that is not positive) leave none.
    bool hasProjection() const { return _projectionValid; }
    const oxMatrix44f& getProjection() const { return _projection; }

    bool isChildrenOrdered() const override { return true; }
    // Read parameters were never taken over by a draw.
    void postFileRead() override;

protected:
    oxDOFShader() = default;
    static void arkRegisterInitialize(oxFields<oxDOFShader>& f);

    bool _state = false;
    float _blurriness = 2.0f;
    float _focusRange = 5.0f;
    float _horizontalFieldOfView = 45.0f;
    float _verticalFieldOfView = -1.0f;
    float _nearClip = 0.0f;
    float _farClip = 0.0f;
    float _aspectRatio = 4.0f / 3.0f;
    bool _parametersChanged = true;
    oxMatrix44f _projection;
    bool _projectionValid = false;

private:
    bool computeProjection(oxMatrix44f& out) const;
};

} // namespace Kel::Sg

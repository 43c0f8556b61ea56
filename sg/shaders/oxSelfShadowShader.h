#pragma once
#include "sg/shaders/oxProjectiveShadowShader.h"

namespace Kel::Sg {

// A projective shadow that its subtree casts on itself: the children are both the casters
// and the receivers, so a figure's arm darkens its body and a pillar its own base. The light,
// texture size, blur and the rest are the projective shadow's settings. With self-shadowing
// off the subtree draws as a plain group (a pass that only wants silhouettes turns it off).
class oxSelfShadowShader : public oxProjectiveShadowShader {
    OX_CLASS(oxSelfShadowShader, oxProjectiveShadowShader)
    OX_FIELDS(selfShadowState)
public:
    void setSelfShadowState(bool on) { _selfShadowState = on; }
    bool getSelfShadowState() const { return _selfShadowState; }

    // The draw traversal's entry: the shadowed draw of the children. Within that draw the
    // projective shadow's own dispatch of the receivers (which this name hides) walks the
    // children once per pass.
    void dispatchReceivers(oxCommonTraversal* traversal);

protected:
    oxSelfShadowShader() = default;
    static void arkRegisterInitialize(oxFields<oxSelfShadowShader>& f);

    bool _selfShadowState = true;

private:
    void takeChildrenAsCasters();
};

OX_TRAVERSAL_RETURN oxCommonTraverseSelfShadowShader(oxTraversal* t, oxObject* node);

} // namespace Kel::Sg

#include "sg/shaders/oxSelfShadowShader.h"

#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

void oxSelfShadowShader::arkRegisterInitialize(oxFields<oxSelfShadowShader>& f)
{
    f.add(OX_FIELD(selfShadowState)).setDefault(true);
}

// The caster list follows the children without rebuilding it while they stay the same.
void oxSelfShadowShader::takeChildrenAsCasters()
{
    oxNodeList* casters = getShadowCasters();
    bool same = casters->getCount() == getChildCount();
    for (int i = 0; same && i < getChildCount(); ++i)
        same = casters->get(i) == getChild(i);
    if (same)
        return;
    casters->removeAll();
    for (int i = 0; i < getChildCount(); ++i)
        casters->append(getChild(i));
}

void oxSelfShadowShader::dispatchReceivers(oxCommonTraversal* traversal)
{
    if (!_selfShadowState || getChildCount() == 0) {
        oxTraverseGroup(traversal, this);
        return;
    }
    takeChildrenAsCasters();
    shade(traversal);
}

OX_TRAVERSAL_RETURN oxCommonTraverseSelfShadowShader(oxTraversal* t, oxObject* node)
{
    static_cast<oxSelfShadowShader*>(node)->dispatchReceivers(static_cast<oxCommonTraversal*>(t));
    return OX_TRAVERSAL_CONTINUE;
}

} // namespace Kel::Sg

#include "sg/shaders/oxShaderProcessor.h"

#include "sg/shaders/oxSimpleShader.h"
#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

bool oxShaderProcessor::configure(oxSimpleShader* shader, oxCapabilityManager*)
{
    const oxShaderData* data = shader ? shader->getShaderData() : nullptr;
    return data && data->getPassCount() >= 1;
}

OX_TRAVERSAL_RETURN oxShaderProcessor::shade(oxSimpleShader* shader, oxCommonTraversal* traversal)
{
    oxShaderData* data = shader->getShaderData();
    const int n = data ? data->getPassCount() : 0;
    if (n < 1)
        return OX_TRAVERSAL_CONTINUE;
    oxAttrStackManager* stacks = traversal->getAttrStackManager();
    bool stopped = false;
    for (int p = 0; p < n && !stopped; ++p) {
        // A pass's state overrides what the subtree sets, so that every child draws with it.
        if (const oxAttrList* push = data->getPushList(p))
            for (int i = 0; i < push->getCount(); ++i)
                if (oxAttr* attr = push->get(i))
                    stacks->fastPushOverride(attr);
        if (shader->getPassState(p)) {
            if (const oxNodeList* children = data->getChildList(p)) {
                for (int i = 0; i < children->getCount() && !stopped; ++i)
                    if (oxNode* child = children->get(i))
                        stopped = traversal->dispatch(child) == OX_TRAVERSAL_STOP;
            } else {
                stopped = oxTraverseGroup(traversal, shader) == OX_TRAVERSAL_STOP;
            }
        }
        if (const oxAttrList* pop = data->getPopList(p))
            for (int i = pop->getCount() - 1; i >= 0; --i)
                if (oxAttr* attr = pop->get(i))
                    stacks->fastPopOverride(attr);
    }
    return stopped ? OX_TRAVERSAL_STOP : OX_TRAVERSAL_CONTINUE;
}

} // namespace Kel::Sg

#pragma once
#include "sg/shaders/oxShaderData.h"

namespace Kel::Sg {

// Passes that are built again whenever they are needed (by a shader factory, say), so that
// nothing of them is stored with the shader.
class oxTransientShaderData : public oxShaderData {
    OX_CLASS(oxTransientShaderData, oxShaderData)
    OX_FIELDS(attrPushLists, attrPopLists, dataPumps, childLists)
protected:
    oxTransientShaderData() = default;
    static void arkRegisterInitialize(oxFields<oxTransientShaderData>& f);
};

} // namespace Kel::Sg

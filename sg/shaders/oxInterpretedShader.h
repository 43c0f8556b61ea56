#pragma once
#include "sg/shaders/oxInterpretedShaderData.h"
#include "sg/shaders/oxSimpleShader.h"

namespace Kel::Sg {

// A simple shader built by a shader factory: its data names the factory, and its first draw
// (and the first after every reset) has the factory build the passes. Neither the passes nor
// the processor are stored with it: a read shader is built again by its factory.
class oxInterpretedShader : public oxSimpleShader {
    OX_CLASS(oxInterpretedShader, oxSimpleShader)
    OX_FIELDS(shaderData, processor)
public:
    oxInterpretedShaderData* getInterpretedShaderData() const
    {
        return oxInterpretedShaderData::dynamicCast(_shaderData.get());
    }
    // A fresh interpreted processor, unconfigured, no pass bits: the factory is asked again.
    void reset() override;

protected:
    oxInterpretedShader() = default;
    static void arkRegisterInitialize(oxFields<oxInterpretedShader>& f);
};

} // namespace Kel::Sg

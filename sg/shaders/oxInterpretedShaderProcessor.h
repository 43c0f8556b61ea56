#pragma once
#include "sg/shaders/oxShaderProcessor.h"

namespace Kel::Sg {

// The processor of an interpreted shader before its factory has built it: configuring asks
// the factory of the shader's data for the passes (and, possibly, another processor), then
// configures the shader with whatever processor it holds afterwards.
class oxInterpretedShaderProcessor : public oxShaderProcessor {
    OX_CLASS(oxInterpretedShaderProcessor, oxShaderProcessor)
public:
    bool configure(oxSimpleShader* shader, oxCapabilityManager* capabilities) override;

protected:
    oxInterpretedShaderProcessor() = default;
};

} // namespace Kel::Sg

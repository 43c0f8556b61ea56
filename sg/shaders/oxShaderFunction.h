#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

// Makes an object for a shader description: a value itself, or the data pump source that
// drives a field.
class oxShaderFunction : public oxObject {
    OX_CLASS(oxShaderFunction, oxObject)
public:
    virtual oxSmartPointer<oxObject> evaluate() = 0;

protected:
    oxShaderFunction() = default;
};

} // namespace Kel::Sg

#pragma once
#include "sg/shaders/oxShaderFactory.h"
#include "sg/shaders/oxTransientShaderData.h"

namespace Kel::Sg {

// The passes of an interpreted shader, with the factory that builds them and the names of
// the objects the factory made for this shader (so that a caller can find, say, the texture
// a description file calls "baseMap").
class oxInterpretedShaderData : public oxTransientShaderData {
    OX_CLASS(oxInterpretedShaderData, oxTransientShaderData)
    OX_FIELDS(factory, objectMappings)
public:
    oxShaderFactory* getFactory() const { return _factory; }
    void setFactory(oxShaderFactory* factory);
    oxObjectStringMap* getObjectMappings() const { return _objectMappings; }
    void setObjectMappings(oxObjectStringMap* mappings) { _objectMappings = mappings; }

protected:
    oxInterpretedShaderData() = default;
    static void arkRegisterInitialize(oxFields<oxInterpretedShaderData>& f);

    oxSmartPointer<oxShaderFactory> _factory;
    oxSmartPointer<oxObjectStringMap> _objectMappings;
};

} // namespace Kel::Sg

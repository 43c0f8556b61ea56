#include "sg/shaders/oxInterpretedShader.h"

#include "sg/shaders/oxInterpretedShaderProcessor.h"

namespace Kel::Sg {

void oxInterpretedShader::arkRegisterInitialize(oxFields<oxInterpretedShader>& f)
{
    // The factory's passes go into interpreted data, which knows the factory.
    if (oxMetaField* data = f.redeclare<oxSmartPointer<oxShaderData>>(&k_shaderData, "_shaderData").get())
        data->setReferencedClass(oxInterpretedShaderData::getClassTypeLazy(), &oxInterpretedShaderData::arkRegister);
    // Made by reset, and again whenever the shader is read: the factory decides it.
    f.redeclare<oxSmartPointer<oxShaderProcessor>>(&k_processor, "_processor").constructWithOwner(false).notPersistent();
}

void oxInterpretedShader::reset()
{
    _processor = oxInterpretedShaderProcessor::_instantiateFromPool(getMemoryPool());
    _configured = false;
    if (_passMask)
        _passMask->setBitCount(0);
}

bool oxInterpretedShaderProcessor::configure(oxSimpleShader* shader, oxCapabilityManager* capabilities)
{
    // The factory resets the shader, which replaces this processor.
    oxSmartPointer<oxShaderProcessor> self = this;
    auto* data = shader ? oxInterpretedShaderData::dynamicCast(shader->getShaderData()) : nullptr;
    oxShaderFactory* factory = data ? data->getFactory() : nullptr;
    if (!factory || !factory->configureShader(shader, data, capabilities))
        return false;
    oxShaderProcessor* now = shader->getShaderProcessor();
    if (!now)
        return false;
    // A factory that left the shader with an interpreted processor would be asked again
    // without end: the passes it built are judged as the base processor judges them.
    if (oxInterpretedShaderProcessor::dynamicCast(now))
        return oxShaderProcessor::configure(shader, capabilities);
    return now->configure(shader, capabilities);
}

} // namespace Kel::Sg

#include "sg/shaders/oxSimpleShader.h"

#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

void oxSimpleShader::arkRegisterInitialize(oxFields<oxSimpleShader>& f)
{
    f.add(OX_FIELD(shaderData)).constructWithOwner();
    f.add(OX_FIELD(processor)).constructWithOwner();
    f.add(OX_FIELD(passMask)).constructWithOwner();
    // Made from the data's pumps by each configuration.
    f.add(OX_FIELD(dataPumpManager)).notPersistent();
}

bool oxSimpleShader::configureRequired()
{
    return oxShader2::configureRequired() || (_processor && _processor->configureRequired(this));
}

bool oxSimpleShader::configure(oxCapabilityManager* capabilities)
{
    _dataPumpManager = nullptr;
    // The processor may replace itself while it configures; the call keeps it alive.
    oxSmartPointer<oxShaderProcessor> processor = _processor;
    _configured = processor && processor->configure(this, capabilities);
    if (!_configured)
        return false;
    const int passes = _shaderData ? _shaderData->getPassCount() : 0;
    if (passes > 0 && _passMask && _passMask->getBitCount() < unsigned(passes))
        setPassState(passes - 1, true);
    oxDataPumpInfo* pumps = _shaderData ? _shaderData->getDataPumps() : nullptr;
    if (pumps && pumps->getPumpCount() > 0) {
        _dataPumpManager = oxDataPumpManager::_instantiateFromPool(getMemoryPool());
        _dataPumpManager->append(pumps);
    }
    return _configured;
}

void oxSimpleShader::update(oxCommonTraversal* traversal)
{
    if (_dataPumpManager)
        _dataPumpManager->update(traversal->getTimeAsLong());
    if (_processor)
        _processor->update(this, traversal);
}

OX_TRAVERSAL_RETURN oxSimpleShader::shade(oxCommonTraversal* traversal)
{
    if (!_processor)
        return oxTraverseGroup(traversal, this);
    // The processor may be replaced by what it draws (a factory reconfiguring the shader).
    oxSmartPointer<oxShaderProcessor> processor = _processor;
    return processor->shade(this, traversal);
}

void oxSimpleShader::setPassState(int pass, bool on)
{
    if (pass < 0 || !_passMask) {
        oxReportWarning("oxSimpleShader::setPassState: no pass %d", pass);
        return;
    }
    const unsigned old = _passMask->getBitCount();
    if (old <= unsigned(pass)) {
        _passMask->setBitCount(unsigned(pass) + 1);
        for (unsigned i = old; i <= unsigned(pass); ++i)
            _passMask->setBit(i);
    }
    _passMask->setBit(unsigned(pass), on);
}

bool oxSimpleShader::getPassState(int pass) const
{
    if (pass < 0)
        return false;
    if (!_passMask || unsigned(pass) >= _passMask->getBitCount())
        return true;
    return _passMask->getBit(unsigned(pass));
}

} // namespace Kel::Sg

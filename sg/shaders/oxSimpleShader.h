#pragma once
#include "platform/utils/oxDataPumpManager.h"
#include "sg/core/oxBitMask.h"
#include "sg/shaders/oxShader2.h"
#include "sg/shaders/oxShaderData.h"
#include "sg/shaders/oxShaderProcessor.h"

namespace Kel::Sg {

// A shader whose passes are data (oxShaderData) and whose behaviour is an exchangeable
// processor. Passes can be switched off one by one: a switched-off pass still pushes and
// pops its state but draws nothing. Passes beyond the mask count as on.
class oxSimpleShader : public oxShader2 {
    OX_CLASS(oxSimpleShader, oxShader2)
    OX_FIELDS(shaderData, processor, passMask, dataPumpManager)
public:
    bool configureRequired() override;
    // Asks the processor; once configured, grows the mask to the pass count and starts the
    // data's pumps.
    bool configure(oxCapabilityManager* capabilities) override;
    void update(oxCommonTraversal* traversal) override;
    OX_TRAVERSAL_RETURN shade(oxCommonTraversal* traversal) override;
    virtual void setShaderData(oxShaderData* data) { _shaderData = data; }
    virtual void setShaderProcessor(oxShaderProcessor* processor) { _processor = processor; }

    oxShaderData* getShaderData() const { return _shaderData; }
    oxShaderProcessor* getShaderProcessor() const { return _processor; }
    oxBitMask* getPassMask() const { return _passMask; }
    oxDataPumpManager* getDataPumpManager() const { return _dataPumpManager; }
    // Grows the mask as needed, new passes on; a negative pass is refused with a warning.
    void setPassState(int pass, bool on);
    bool getPassState(int pass) const;

protected:
    oxSimpleShader() = default;
    static void arkRegisterInitialize(oxFields<oxSimpleShader>& f);

    oxSmartPointer<oxShaderData> _shaderData;
    oxSmartPointer<oxShaderProcessor> _processor;
    oxSmartPointer<oxBitMask> _passMask;
    oxSmartPointer<oxDataPumpManager> _dataPumpManager;
};

} // namespace Kel::Sg

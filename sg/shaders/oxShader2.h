#pragma once
#include "platform/attrs/oxCapabilityManager.h"
#include "sg/nodes/oxGroup.h"
#include "sg/traversal/oxTraversal.h"

namespace Kel::Sg {

using Attrs::oxCapabilityManager;
class oxCommonTraversal;

// A shader that sets itself up for the device it is drawn on: the first draw (and the first
// after every reset) configures it against the device's capabilities; every draw then
// updates it and lets it draw itself and its children in whatever passes it chose. A
// shader whose configuration fails is drawn as a plain group and tried again next time.
class oxShader2 : public oxGroup {
    OX_CLASS(oxShader2, oxGroup)
    OX_FIELDS(isTransparent, configured, useRenderPackage)
public:
    virtual bool configureRequired() { return !_configured; }
    virtual bool configure(oxCapabilityManager* capabilities) = 0;
    virtual void update(oxCommonTraversal*) {}
    virtual OX_TRAVERSAL_RETURN shade(oxCommonTraversal* traversal) = 0;
    virtual bool isTransparent() { return _isTransparent; }
    // Whether the draw keeps everything the shader emits in one render package, so that
    // its passes stay together when the sorter orders packages.
    virtual void setRenderPackageState(bool on) { _useRenderPackage = on; }
    virtual bool getRenderPackageState() { return _useRenderPackage; }

    void setTransparent(bool on) { _isTransparent = on; }
    bool isConfigured() const { return _configured; }

    void userInstantiate(bool forFileRead) override;
    // Unconfigured again: the next draw configures anew.
    void reset() override { _configured = false; }

protected:
    oxShader2() = default;
    static void arkRegisterInitialize(oxFields<oxShader2>& f);

    bool _isTransparent = false;
    bool _configured = false;
    bool _useRenderPackage = false;
};

} // namespace Kel::Sg

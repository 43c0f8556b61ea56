#pragma once
#include "platform/core/oxObject.h"
#include "platform/gfx/oxVisualContext.h"

namespace Kel::Core {
class oxDriverDatabase;
}

namespace Kel::Attrs {

// What the device can do, as numbered capabilities (OX_GFX_CAP): counts of texture
// units, lights, clip planes and blend matrices, and yes/no features (dot-product texture
// functions, render to texture ...). Traversals and shaders ask it to pick techniques and to
// size per-unit state.
class oxCapabilityManager : public Core::oxObject {
    OX_CLASS(oxCapabilityManager, Core::oxObject)
public:
    // 0 for numbers nobody knows.
    virtual int getCapability(int number) const = 0;

    int getTextureUnitCount() const { return getCapability(Gfx::OX_GFX_CAP_TEXTURE_UNITS); }
    int getLightCount() const { return getCapability(Gfx::OX_GFX_CAP_MAX_LIGHTS); }
    int getClipPlaneCount() const { return getCapability(Gfx::OX_GFX_CAP_MAX_CLIP_PLANES); }
    int getBlendMatrixCount() const { return getCapability(Gfx::OX_GFX_CAP_MAX_VERTEX_BLEND_MATRICES); }
    // The capability's item name ("OX_GFX_CAP_TEXTURE_UNITS"), or null: how a device is
    // described to configuration rules.
    static const char* getCapabilityName(int number);

    // What configuration rules call the device: its class name for a visual context,
    // "generic" without one.
    virtual const char* getRendererName() const { return "generic"; }
    // The name a capability goes by as a driver-database property ("textureUnits",
    // "maxLights", "renderToTexture" ...), or null.
    static const char* getPropertyName(int number);
    // Enters the device into `db`: every capability under its property name, counts as
    // integers and yes/no features as booleans, and "renderer" as a string. Properties of
    // other names stay as they are.
    void enterProperties(Core::oxDriverDatabase* db) const;

protected:
    oxCapabilityManager() = default;
};

// Capabilities without a device: a modest fixed-function device (Gfx::oxGetGenericCapability)
// until changed.
class oxGenericCapabilityManager : public oxCapabilityManager {
    OX_CLASS(oxGenericCapabilityManager, oxCapabilityManager)
public:
    int getCapability(int number) const override;
    void setCapability(int number, int value);

protected:
    oxGenericCapabilityManager();

private:
    int _values[Gfx::kCapabilityCount];
};

// Capabilities of a visual context, asked of it each time.
class oxVisualContextCapabilityManager : public oxCapabilityManager {
    OX_CLASS(oxVisualContextCapabilityManager, oxCapabilityManager)
public:
    void setVisualContext(Gfx::oxVisualContext* vc) { _vc = vc; }
    Gfx::oxVisualContext* getVisualContext() const { return _vc; }
    int getCapability(int number) const override { return _vc ? _vc->getCapability(number) : 0; }
    const char* getRendererName() const override;

protected:
    oxVisualContextCapabilityManager() = default;

private:
    Core::oxSmartPointer<Gfx::oxVisualContext> _vc;
};

} // namespace Kel::Attrs

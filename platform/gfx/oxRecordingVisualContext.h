#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/gfx/oxVisualContext.h"

namespace Kel::Gfx {

// A device that draws nothing and writes every call as one line of text with its values,
// for tests and for showing a frame as text. Numbers have fixed precision and identities
// are numbered in the order they first appear (light#1, texture#2 ...), so the same calls
// always give the same text.
//
// Display lists behave as on a real device: while one is recorded, calls go into it and
// are not executed (list creation and deletion, recording itself and read-backs still run
// at once); calling a list executes its calls again, writing their lines after the call's
// own line. The settings it keeps (viewport, projection, clear values) change when a call
// executes, not when it is recorded.
class oxRecordingVisualContext : public oxVisualContext {
    OX_CLASS(oxRecordingVisualContext, oxVisualContext)
public:
    const std::string& getTrace() const { return _trace; }
    void clearTrace() { _trace.clear(); }
    // Capability values (a generic fixed-function device until set: 8 texture units, 8
    // lights, 6 clip planes, 4 blend matrices, display lists, render to texture ...).
    void setCapability(int number, int value);
    // The frame buffer size, which is also the initial viewport.
    void setSize(int width, int height);

    int getCapability(int number) const override;
    void setSwitch(OX_GFX_SWITCH state, int unit, bool on) override;
    void setAlphaFunction(OX_GFX_COMPARE function, float reference) override;
    void setBlendFunction(OX_GFX_BLEND_FACTOR source, OX_GFX_BLEND_FACTOR destination,
                          OX_GFX_BLEND_EQUATION equation) override;
    void setDepthFunction(OX_GFX_COMPARE function) override;
    void setColorMask(bool red, bool green, bool blue, bool alpha) override;
    void setCullFace(OX_GFX_CULL face) override;
    void setStencilFunction(OX_GFX_COMPARE function, int reference, uint32_t mask) override;
    void setStencilOperation(OX_GFX_STENCIL_OP fail, OX_GFX_STENCIL_OP depthFail, OX_GFX_STENCIL_OP pass,
                             uint32_t writeMask) override;
    void setLight(const oxLightParameters& light) override;
    void setLightState(const void* lightId, bool on) override;
    void setColor(const oxVec4f& color) override;
    void setMaterial(const oxMaterialParameters& material) override;
    void setMatrix(OX_GFX_MATRIX mode, int unit, const oxMatrix44f& m) override;
    void setViewMatrix(const oxMatrix44f& m) override;
    void setBlendMatrices(const oxMatrix44f* matrices, int count) override;
    void setViewport(const oxViewport& viewport) override;
    void setClipPlane(int unit, const oxVec4f& plane, const oxMatrix44f& modelView) override;
    void clear(uint32_t buffers, const oxClearValues& values) override;
    void loadTexture(const oxTextureDescription& texture) override;
    void bindTexture(int unit, const oxTextureDescription* texture) override;
    void unloadTexture(const void* textureId) override;
    void setTextureFunction(int unit, const oxTextureFunctionParameters& function) override;
    void setTextureConstant(int unit, const oxVec4f& value) override;
    void setTextureCoordSource(int unit, OX_GFX_TEXCOORD_SOURCE source, int set) override;
    void setTextureLod(int unit, float bias, float minLod, float maxLod) override;
    void setGeometryMask(uint32_t formatMask) override;
    void setTime(int64_t time) override;
    void drawGeometry(const oxDrawDescription& draw) override;
    int createDisplayList() override;
    bool beginDisplayList(int handle) override;
    bool endDisplayList() override;
    bool callDisplayList(int handle) override;
    bool deleteDisplayList(int handle) override;
    void prepareRenderDestination(const oxRenderDestinationDescription& destination) override;
    void setRenderDestination(const oxRenderDestinationDescription* destination) override;
    // Fills `image` with the colour of the last clear, the only pixels this device knows.
    bool readPixels(int x, int y, int width, int height, oxImage* image) override;
    oxViewport getViewport() const override { return _viewport; }
    oxMatrix44f getProjectionMatrix() const override { return _projection; }
    oxClearValues getClearValues() const override { return _clearValues; }

protected:
    oxRecordingVisualContext();

private:
    using Effect = std::function<void(oxRecordingVisualContext&)>;
    struct Command {
        std::string line;
        Effect effect;
        int callHandle = -1; // a recorded list call
    };

    // Records or executes one call.
    void submit(std::string line, Effect effect = {}, int callHandle = -1);
    void execute(const Command& command, int depth);
    // "light#3": the number of an identity in its kind.
    std::string identity(const char* kind, const void* id);
    std::string describeTexture(const oxTextureDescription& texture);

    std::string _trace;
    int _capabilities[kCapabilityCount] = {};
    oxViewport _viewport;
    oxMatrix44f _projection;
    oxClearValues _clearValues;
    std::map<int, std::vector<Command>> _lists;
    int _nextList = 1;
    int _recording = -1;
    std::map<std::string, std::map<const void*, int>> _identities;
};

} // namespace Kel::Gfx

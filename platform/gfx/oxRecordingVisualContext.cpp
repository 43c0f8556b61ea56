#include "platform/gfx/oxRecordingVisualContext.h"

#include <cstdio>
#include <cstring>

#include "platform/core/oxOutput.h"

namespace Kel::Gfx {

namespace {
// GL allows 64 nested list calls; deeper (or cyclic) calls are cut off there.
constexpr int kMaxCallDepth = 64;

std::string num(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", double(v));
    // -0.0000 and 0.0000 are the same value and must read the same.
    if (std::strcmp(text, "-0.0000") == 0)
        return "0.0000";
    return text;
}

std::string hex(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", v);
    return text;
}

std::string vec(const float* v, int n)
{
    std::string s = "(";
    for (int i = 0; i < n; ++i)
        s += (i ? " " : "") + num(v[i]);
    return s + ")";
}

std::string vec(const oxVec3f& v)
{
    return vec(&v.x, 3);
}

std::string vec(const oxVec4f& v)
{
    return vec(&v.x, 4);
}

std::string mat(const oxMatrix44f& m)
{
    std::string s = "(";
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            s += (c ? " " : r ? " | " : "") + num(m.m[r][c]);
    return s + ")";
}

const char* onOff(bool on)
{
    return on ? "on" : "off";
}

template <class E>
const char* text(Core::oxMetaEnum* (*meta)(), E value)
{
    return oxGfxEnumText(meta(), int(value));
}
} // namespace

oxRecordingVisualContext::oxRecordingVisualContext()
{
    for (int i = 0; i < kCapabilityCount; ++i)
        _capabilities[i] = oxGetGenericCapability(i);
    setSize(640, 480);
}

void oxRecordingVisualContext::setCapability(int number, int value)
{
    if (number >= 0 && number < kCapabilityCount)
        _capabilities[number] = value;
}

void oxRecordingVisualContext::setSize(int width, int height)
{
    _viewport = oxViewport{0, 0, width, height, 0.0f, 1.0f};
}

int oxRecordingVisualContext::getCapability(int number) const
{
    return number >= 0 && number < kCapabilityCount ? _capabilities[number] : 0;
}

void oxRecordingVisualContext::submit(std::string line, Effect effect, int callHandle)
{
    Command command{std::move(line), std::move(effect), callHandle};
    if (_recording >= 0)
        _lists[_recording].push_back(std::move(command));
    else
        execute(command, 0);
}

void oxRecordingVisualContext::execute(const Command& command, int depth)
{
    _trace += command.line;
    _trace += '\n';
    if (command.effect)
        command.effect(*this);
    if (command.callHandle < 0)
        return;
    auto it = _lists.find(command.callHandle);
    if (it == _lists.end())
        return;
    if (depth >= kMaxCallDepth) {
        Core::oxReportWarning("oxRecordingVisualContext: display lists nested deeper than %d", kMaxCallDepth);
        return;
    }
    // Copied: a recorded call may not change the list, but a replay must not depend on that.
    const std::vector<Command> commands = it->second;
    for (const Command& c : commands)
        execute(c, depth + 1);
}

std::string oxRecordingVisualContext::identity(const char* kind, const void* id)
{
    if (!id)
        return std::string(kind) + "#none";
    auto& numbers = _identities[kind];
    auto [it, added] = numbers.emplace(id, int(numbers.size()) + 1);
    return std::string(kind) + "#" + std::to_string(it->second);
}

std::string oxRecordingVisualContext::describeTexture(const oxTextureDescription& t)
{
    std::string s = identity("texture", t.id) + " levels=" + std::to_string(t.levelCount) +
                    " faces=" + std::to_string(t.faceCount);
    if (const oxImage* image = t.getImage(0))
        s += " " + std::to_string(image->getWidth()) + "x" + std::to_string(image->getHeight()) + " " +
             text(&getOX_GFX_PIXELMetaEnum, image->getFormat());
    else
        s += " no-image";
    return s + " wrap=" + text(&getOX_GFX_WRAPMetaEnum, t.wrapS) + "," +
           text(&getOX_GFX_WRAPMetaEnum, t.wrapT) + " filter=" +
           text(&getOX_GFX_FILTERMetaEnum, t.minFilter) + "," +
           text(&getOX_GFX_FILTERMetaEnum, t.magFilter) + " anisotropy=" + num(t.maxAnisotropy);
}

void oxRecordingVisualContext::setSwitch(OX_GFX_SWITCH state, int unit, bool on)
{
    std::string line = std::string("setSwitch ") + text(&getOX_GFX_SWITCHMetaEnum, state);
    if (state == OX_GFX_TEXTURE || state == OX_GFX_TEXTURE_MATRIX)
        line += " " + std::to_string(unit);
    submit(line + " " + onOff(on));
}

void oxRecordingVisualContext::setAlphaFunction(OX_GFX_COMPARE function, float reference)
{
    submit(std::string("setAlphaFunction ") + text(&getOX_GFX_COMPAREMetaEnum, function) + " " + num(reference));
}

void oxRecordingVisualContext::setBlendFunction(OX_GFX_BLEND_FACTOR source, OX_GFX_BLEND_FACTOR destination,
                                                OX_GFX_BLEND_EQUATION equation)
{
    submit(std::string("setBlendFunction ") + text(&getOX_GFX_BLEND_FACTORMetaEnum, source) + " " +
           text(&getOX_GFX_BLEND_FACTORMetaEnum, destination) + " " +
           text(&getOX_GFX_BLEND_EQUATIONMetaEnum, equation));
}

void oxRecordingVisualContext::setDepthFunction(OX_GFX_COMPARE function)
{
    submit(std::string("setDepthFunction ") + text(&getOX_GFX_COMPAREMetaEnum, function));
}

void oxRecordingVisualContext::setColorMask(bool red, bool green, bool blue, bool alpha)
{
    submit(std::string("setColorMask ") + (red ? "1" : "0") + (green ? " 1" : " 0") + (blue ? " 1" : " 0") +
           (alpha ? " 1" : " 0"));
}

void oxRecordingVisualContext::setCullFace(OX_GFX_CULL face)
{
    submit(std::string("setCullFace ") + text(&getOX_GFX_CULLMetaEnum, face));
}

void oxRecordingVisualContext::setStencilFunction(OX_GFX_COMPARE function, int reference, uint32_t mask)
{
    submit(std::string("setStencilFunction ") + text(&getOX_GFX_COMPAREMetaEnum, function) + " " +
           std::to_string(reference) + " " + hex(mask));
}

void oxRecordingVisualContext::setStencilOperation(OX_GFX_STENCIL_OP fail, OX_GFX_STENCIL_OP depthFail,
                                                   OX_GFX_STENCIL_OP pass, uint32_t writeMask)
{
    submit(std::string("setStencilOperation ") + text(&getOX_GFX_STENCIL_OPMetaEnum, fail) + " " +
           text(&getOX_GFX_STENCIL_OPMetaEnum, depthFail) + " " + text(&getOX_GFX_STENCIL_OPMetaEnum, pass) + " " +
           hex(writeMask));
}

void oxRecordingVisualContext::setLight(const oxLightParameters& l)
{
    submit("setLight " + identity("light", l.id) + " " + text(&getOX_GFX_LIGHT_TYPEMetaEnum, l.type) +
           " position=" + vec(l.position) + " direction=" + vec(l.direction) + " ambient=" + vec(l.ambient) +
           " diffuse=" + vec(l.diffuse) + " specular=" + vec(l.specular) + " attenuation=" + vec(l.attenuation) +
           " cutoff=" + num(l.cutoff) + " exponent=" + num(l.exponent));
}

void oxRecordingVisualContext::setLightState(const void* lightId, bool on)
{
    submit("setLightState " + identity("light", lightId) + " " + onOff(on));
}

void oxRecordingVisualContext::setColor(const oxVec4f& color)
{
    submit("setColor " + vec(color));
}

void oxRecordingVisualContext::setMaterial(const oxMaterialParameters& m)
{
    submit("setMaterial ambient=" + vec(m.ambient) + " diffuse=" + vec(m.diffuse) + " specular=" + vec(m.specular) +
           " emission=" + vec(m.emission) + " shininess=" + num(m.shininess) + " colorMaterial=" +
           text(&getOX_GFX_COLOR_MATERIALMetaEnum, m.colorMaterial));
}

void oxRecordingVisualContext::setMatrix(OX_GFX_MATRIX mode, int unit, const oxMatrix44f& m)
{
    Effect effect;
    if (mode == OX_GFX_MATRIX_PROJECTION)
        effect = [m](oxRecordingVisualContext& vc) { vc._projection = m; };
    submit(std::string("setMatrix ") + text(&getOX_GFX_MATRIXMetaEnum, mode) + " " + std::to_string(unit) + " " +
               mat(m),
           std::move(effect));
}

void oxRecordingVisualContext::setViewMatrix(const oxMatrix44f& m)
{
    submit("setViewMatrix " + mat(m));
}

void oxRecordingVisualContext::setBlendMatrices(const oxMatrix44f* matrices, int count)
{
    std::string line = "setBlendMatrices " + std::to_string(matrices ? count : 0);
    for (int i = 0; matrices && i < count; ++i)
        line += " " + mat(matrices[i]);
    submit(line);
}

void oxRecordingVisualContext::setViewport(const oxViewport& v)
{
    submit("setViewport " + std::to_string(v.x) + " " + std::to_string(v.y) + " " + std::to_string(v.width) + " " +
               std::to_string(v.height) + " " + num(v.depthNear) + " " + num(v.depthFar),
           [v](oxRecordingVisualContext& vc) { vc._viewport = v; });
}

void oxRecordingVisualContext::setClipPlane(int unit, const oxVec4f& plane, const oxMatrix44f& modelView)
{
    submit("setClipPlane " + std::to_string(unit) + " " + vec(plane) + " " + mat(modelView));
}

void oxRecordingVisualContext::clear(uint32_t buffers, const oxClearValues& values)
{
    std::string which;
    for (auto bit : {OX_GFX_CLEAR_COLOR, OX_GFX_CLEAR_DEPTH, OX_GFX_CLEAR_STENCIL})
        if (buffers & bit)
            which += (which.empty() ? "" : "|") + std::string(text(&getOX_GFX_CLEARMetaEnum, bit));
    submit("clear " + (which.empty() ? std::string("none") : which) + " color=" + vec(values.color) +
               " depth=" + num(values.depth) + " stencil=" + std::to_string(values.stencil),
           [values](oxRecordingVisualContext& vc) { vc._clearValues = values; });
}

void oxRecordingVisualContext::loadTexture(const oxTextureDescription& texture)
{
    submit("loadTexture " + describeTexture(texture));
}

void oxRecordingVisualContext::bindTexture(int unit, const oxTextureDescription* texture)
{
    submit("bindTexture " + std::to_string(unit) + " " + (texture ? describeTexture(*texture) : "none"));
}

void oxRecordingVisualContext::unloadTexture(const void* textureId)
{
    submit("unloadTexture " + identity("texture", textureId));
}

void oxRecordingVisualContext::setTextureFunction(int unit, const oxTextureFunctionParameters& f)
{
    std::string line = "setTextureFunction " + std::to_string(unit) + " " +
                       text(&getOX_GFX_TEXFUNCMetaEnum, f.function);
    for (OX_GFX_TEXARG a : f.arguments)
        line += std::string(" ") + text(&getOX_GFX_TEXARGMetaEnum, a);
    submit(line);
}

void oxRecordingVisualContext::setTextureConstant(int unit, const oxVec4f& value)
{
    submit("setTextureConstant " + std::to_string(unit) + " " + vec(value));
}

void oxRecordingVisualContext::setTextureCoordSource(int unit, OX_GFX_TEXCOORD_SOURCE source, int set)
{
    submit("setTextureCoordSource " + std::to_string(unit) + " " + text(&getOX_GFX_TEXCOORD_SOURCEMetaEnum, source) +
           " " + std::to_string(set));
}

void oxRecordingVisualContext::setTextureLod(int unit, float bias, float minLod, float maxLod)
{
    submit("setTextureLod " + std::to_string(unit) + " " + num(bias) + " " + num(minLod) + " " + num(maxLod));
}

void oxRecordingVisualContext::setGeometryMask(uint32_t formatMask)
{
    submit("setGeometryMask " + hex(formatMask));
}

void oxRecordingVisualContext::setTime(int64_t time)
{
    submit("setTime " + std::to_string(time));
}

void oxRecordingVisualContext::drawGeometry(const oxDrawDescription& d)
{
    int elements = d.countElements();
    if (elements < 0)
        return;
    submit(std::string("drawGeometry ") + text(&getOX_GFX_DRAWMetaEnum, d.primitiveType) +
           " primitives=" + std::to_string(d.primitiveCount) + " elements=" + std::to_string(elements) +
           " first=" + std::to_string(d.firstVertex) + (d.indices ? " indexed" : " direct") +
           " vertices=" + std::to_string(d.vertices->getVertexCount()) + " format=" + hex(d.vertices->getFormat().getBits()));
}

int oxRecordingVisualContext::createDisplayList()
{
    if (!getCapability(OX_GFX_CAP_DISPLAY_LISTS)) {
        _trace += "createDisplayList failed\n";
        return -1;
    }
    int handle = _nextList++;
    _lists[handle];
    _trace += "createDisplayList " + std::to_string(handle) + "\n";
    return handle;
}

bool oxRecordingVisualContext::beginDisplayList(int handle)
{
    if (_recording >= 0 || !_lists.count(handle))
        return false;
    _lists[handle].clear();
    _recording = handle;
    _trace += "beginDisplayList " + std::to_string(handle) + "\n";
    return true;
}

bool oxRecordingVisualContext::endDisplayList()
{
    if (_recording < 0)
        return false;
    _trace += "endDisplayList " + std::to_string(_recording) + "\n";
    _recording = -1;
    return true;
}

bool oxRecordingVisualContext::callDisplayList(int handle)
{
    if (_recording < 0 && !_lists.count(handle))
        return false;
    submit("callDisplayList " + std::to_string(handle), {}, handle);
    return true;
}

bool oxRecordingVisualContext::deleteDisplayList(int handle)
{
    if (handle == _recording || !_lists.erase(handle))
        return false;
    _trace += "deleteDisplayList " + std::to_string(handle) + "\n";
    return true;
}

void oxRecordingVisualContext::prepareRenderDestination(const oxRenderDestinationDescription& d)
{
    submit("prepareRenderDestination " + identity("destination", d.id) + " " + std::to_string(d.width) + "x" +
           std::to_string(d.height) + " " + (d.texture ? identity("texture", d.texture->id) : "frame-buffer") +
           (d.depthBuffer ? " depth" : " no-depth"));
}

void oxRecordingVisualContext::setRenderDestination(const oxRenderDestinationDescription* d)
{
    submit("setRenderDestination " + (d && d->texture ? identity("destination", d->id) : "frame-buffer"));
}

bool oxRecordingVisualContext::readPixels(int x, int y, int width, int height, oxImage* image)
{
    if (!image || width <= 0 || height <= 0 || !image->allocateImageMemory(width, height, OX_GFX_PIXEL_RGBA8))
        return false;
    _trace += "readPixels " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(width) + " " +
              std::to_string(height) + "\n";
    uint32_t color = oxVertexArray::packColor(_clearValues.color);
    uint8_t* p = image->getPixels();
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i)
        std::memcpy(p + 4 * i, &color, 4);
    image->touch();
    return true;
}

} // namespace Kel::Gfx

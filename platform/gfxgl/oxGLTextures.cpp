#include <algorithm>
#include <cstring>
#include <new>

#include "platform/core/oxOutput.h"
#include "platform/gfxgl/oxGLPrivate.h"

namespace Kel::Gfx {

namespace {
struct PixelLayout {
    GLint internalFormat;
    GLenum format;
    GLenum type;
};

// By image format; INDEX8 is converted to RGBA8 first.
bool pixelLayout(int format, PixelLayout& out)
{
    switch (format) {
    case OX_GFX_PIXEL_L8: out = {GL_LUMINANCE8, GL_LUMINANCE, GL_UNSIGNED_BYTE}; return true;
    case OX_GFX_PIXEL_A8: out = {GL_ALPHA8, GL_ALPHA, GL_UNSIGNED_BYTE}; return true;
    case OX_GFX_PIXEL_LA8: out = {GL_LUMINANCE8_ALPHA8, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE}; return true;
    case OX_GFX_PIXEL_RGB565: out = {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5}; return true;
    case OX_GFX_PIXEL_RGB8: out = {GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE}; return true;
    case OX_GFX_PIXEL_RGBA8: out = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE}; return true;
    case OX_GFX_PIXEL_RGBA4444: out = {GL_RGBA4, GL_RGBA, GL_UNSIGNED_SHORT_4_4_4_4}; return true;
    case OX_GFX_PIXEL_RGBA5551: out = {GL_RGB5_A1, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1}; return true;
    }
    return false;
}

// Rows in the opposite order: images keep the top row first, GL the bottom row.
void flipRows(const uint8_t* from, uint8_t* to, size_t rowBytes, int rows)
{
    for (int r = 0; r < rows; ++r)
        std::memcpy(to + size_t(rows - 1 - r) * rowBytes, from + size_t(r) * rowBytes, rowBytes);
}

bool isMipmapFilter(OX_GFX_FILTER f)
{
    return f >= OX_GFX_FILTER_NEAREST_MIPMAP_NEAREST;
}

// Magnification has no mip levels: the mipmap filters magnify as their base filter.
GLenum magnification(OX_GFX_FILTER f)
{
    bool nearest = f == OX_GFX_FILTER_NEAREST || f == OX_GFX_FILTER_NEAREST_MIPMAP_NEAREST ||
                   f == OX_GFX_FILTER_NEAREST_MIPMAP_LINEAR;
    return nearest ? GL_NEAREST : GL_LINEAR;
}

void setSampling(GLenum target, const oxTextureDescription& t, float maxAnisotropy)
{
    GLenum wrapS = oxGLWrap(t.wrapS), wrapT = oxGLWrap(t.wrapT), minFilter = oxGLFilter(t.minFilter);
    glTexParameteri(target, GL_TEXTURE_WRAP_S, GLint(wrapS == kGLNoEnum ? GL_REPEAT : wrapS));
    glTexParameteri(target, GL_TEXTURE_WRAP_T, GLint(wrapT == kGLNoEnum ? GL_REPEAT : wrapT));
    if (target == GL_TEXTURE_CUBE_MAP)
        glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GLint(minFilter == kGLNoEnum ? GL_LINEAR : minFilter));
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GLint(magnification(t.magFilter)));
    if (maxAnisotropy > 1.0f)
        glTexParameterf(target, GL_TEXTURE_MAX_ANISOTROPY, std::clamp(t.maxAnisotropy, 1.0f, maxAnisotropy));
}
} // namespace

oxGLTexture* oxGLVisualContext::findTexture(const void* id)
{
    auto it = _textures.find(id);
    return it == _textures.end() ? nullptr : it->second.get();
}

oxGLTexture& oxGLVisualContext::textureFor(const oxTextureDescription& t)
{
    GLenum target = t.faceCount == 6 ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    std::unique_ptr<oxGLTexture>& record = _textures[t.id];
    // A GL texture keeps the target it was first bound to.
    if (record && record->target != target) {
        glDeleteTextures(1, &record->name);
        record.reset();
    }
    if (!record) {
        record = std::make_unique<oxGLTexture>();
        glGenTextures(1, &record->name);
        record->target = target;
    }
    return *record;
}

bool oxGLVisualContext::isLoaded(const oxGLTexture& record, const oxTextureDescription& t) const
{
    if (!record.loaded || record.version != t.version)
        return false;
    if (record.renderTarget)
        return true;
    if (record.images.size() != size_t(std::max(t.levelCount, 0)) * size_t(t.faceCount))
        return false;
    size_t i = 0;
    for (int level = 0; level < t.levelCount; ++level)
        for (int face = 0; face < t.faceCount; ++face, ++i) {
            const oxImage* image = t.getImage(level, face);
            if (record.images[i].first != image || (image && record.images[i].second != image->getVersion()))
                return false;
        }
    return true;
}

void oxGLVisualContext::rebindUnitZero(uint32_t target)
{
    const oxGLUnitState& u = _state->units[0];
    const oxGLTexture* bound = u.textureId && u.textureTarget == target ? findTexture(u.textureId) : nullptr;
    glBindTexture(target, bound ? bound->name : 0);
}

void oxGLVisualContext::upload(oxGLTexture& record, const oxTextureDescription& t)
{
    oxGL.ActiveTexture(GL_TEXTURE0);
    glBindTexture(record.target, record.name);
    int levels = 0;
    std::vector<uint8_t> rows;
    for (int level = 0; level < t.levelCount; ++level) {
        bool complete = true;
        for (int face = 0; face < t.faceCount; ++face) {
            const oxImage* image = t.getImage(level, face);
            complete = complete && image && image->hasImageMemory();
        }
        if (!complete)
            break;
        for (int face = 0; face < t.faceCount; ++face) {
            const oxImage* image = t.getImage(level, face);
            Core::oxSmartPointer<oxImage> converted;
            PixelLayout layout;
            if (!pixelLayout(image->getFormat(), layout)) {
                converted = oxImage::_instantiateRef();
                if (!converted->convert(OX_GFX_PIXEL_RGBA8, image))
                    continue;
                image = converted;
                pixelLayout(OX_GFX_PIXEL_RGBA8, layout);
            }
            const uint8_t* pixels = image->getPixels();
            // Cube faces are laid out top row first in GL as well.
            if (record.target == GL_TEXTURE_2D) {
                bool copied = true;
                try {
                    rows.resize(image->getPixelBytes());
                } catch (const std::bad_alloc&) {
                    copied = false;
                }
                if (!copied) {
                    Core::oxReportWarning("oxGLVisualContext: no memory to upload a %dx%d texture image",
                                          image->getWidth(), image->getHeight());
                    continue;
                }
                flipRows(pixels, rows.data(), image->getRowBytes(), image->getHeight());
                pixels = rows.data();
            }
            GLenum faceTarget = record.target == GL_TEXTURE_2D ? GL_TEXTURE_2D : GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face);
            glTexImage2D(faceTarget, level, layout.internalFormat, image->getWidth(), image->getHeight(), 0,
                         layout.format, layout.type, pixels);
        }
        ++levels;
    }
    if (levels == 0)
        Core::oxReportWarning("oxGLVisualContext: a texture without pixels for its first level draws black");
    // One level under a mipmap filter: the device makes the rest.
    bool generate = levels == 1 && isMipmapFilter(t.minFilter);
    glTexParameteri(record.target, GL_TEXTURE_MAX_LEVEL, generate ? 1000 : std::max(levels - 1, 0));
    if (generate)
        oxGL.GenerateMipmap(record.target);
    setSampling(record.target, t, float(_capabilities[OX_GFX_CAP_MAX_ANISOTROPY]));
    if (GLenum error = glGetError(); error != GL_NO_ERROR)
        Core::oxReportWarning("oxGLVisualContext: OpenGL refused a texture's images (error 0x%04x)", unsigned(error));

    record.images.clear();
    for (int level = 0; level < t.levelCount; ++level)
        for (int face = 0; face < t.faceCount; ++face) {
            const oxImage* image = t.getImage(level, face);
            record.images.emplace_back(image, image ? image->getVersion() : 0);
        }
    record.version = t.version;
    record.loaded = true;
    record.renderTarget = false;
    rebindUnitZero(record.target);
}

namespace {
bool describable(const oxTextureDescription& t)
{
    if (!t.id || (t.faceCount != 1 && t.faceCount != 6)) {
        Core::oxReportWarning("oxGLVisualContext: a texture needs an identity and 1 or 6 faces (it has %d)",
                              t.faceCount);
        return false;
    }
    return true;
}
} // namespace

void oxGLVisualContext::loadTexture(const oxTextureDescription& t)
{
    if (!use() || !describable(t))
        return;
    oxGLTexture& record = textureFor(t);
    if (isLoaded(record, t))
        return;
    // The images are held until a deferred upload runs.
    Core::oxSmartPointer<oxImageList> images = const_cast<oxImageList*>(t.images);
    outsideList([this, t, images] {
        if (oxGLTexture* r = findTexture(t.id))
            upload(*r, t);
    });
}

void oxGLVisualContext::applyTextureLod(int unit, uint32_t target)
{
    const oxGLUnitState& u = _state->units[size_t(unit)];
    glTexParameterf(target, GL_TEXTURE_MIN_LOD, u.minLod);
    glTexParameterf(target, GL_TEXTURE_MAX_LOD, u.maxLod);
}

void oxGLVisualContext::applyUnitEnable(int unit)
{
    const oxGLUnitState& u = _state->units[size_t(unit)];
    GLenum want = u.texturing && u.textureId ? u.textureTarget : 0;
    if (want == u.enabledTarget && _recording < 0)
        return;
    oxGL.ActiveTexture(GLenum(GL_TEXTURE0 + unit));
    // A list may be called whatever is enabled then, so it switches both targets.
    for (GLenum target : {GLenum(GL_TEXTURE_2D), GLenum(GL_TEXTURE_CUBE_MAP)})
        if (target != want && (target == u.enabledTarget || _recording >= 0))
            glDisable(target);
    if (want)
        glEnable(want);
    change([unit, want](oxGLState& s) { s.units[size_t(unit)].enabledTarget = want; });
}

void oxGLVisualContext::bindTexture(int unit, const oxTextureDescription* t)
{
    if (!use() || !unitOk(unit, "bindTexture") || (t && !describable(*t)))
        return;
    const void* id = t ? t->id : nullptr;
    GLenum target = GL_TEXTURE_2D;
    GLuint name = 0;
    if (t) {
        loadTexture(*t);
        const oxGLTexture& record = *findTexture(id);
        target = record.target;
        name = record.name;
    }
    const oxGLUnitState& u = _state->units[size_t(unit)];
    oxGL.ActiveTexture(GLenum(GL_TEXTURE0 + unit));
    // One target bound per unit, so that what the unit samples is never in doubt.
    if (u.textureId && u.textureTarget != target)
        glBindTexture(u.textureTarget, 0);
    glBindTexture(target, name);
    change([unit, id, target](oxGLState& s) {
        s.units[size_t(unit)].textureId = id;
        s.units[size_t(unit)].textureTarget = target;
    });
    if (name)
        applyTextureLod(unit, target);
    applyUnitEnable(unit);
}

void oxGLVisualContext::unloadTexture(const void* textureId)
{
    if (!use())
        return;
    outsideList([this, textureId] {
        auto it = _textures.find(textureId);
        if (it == _textures.end())
            return;
        glDeleteTextures(1, &it->second->name);
        _textures.erase(it);
        // GL unbinds a deleted texture from every unit.
        for (int u = 0; u < _unitCount; ++u)
            if (_state->units[size_t(u)].textureId == textureId) {
                change([u](oxGLState& s) { s.units[size_t(u)].textureId = nullptr; });
                applyUnitEnable(u);
            }
        for (auto t = _targets.begin(); t != _targets.end();) {
            if (t->second->textureId != textureId) {
                ++t;
                continue;
            }
            if (_currentTarget == t->second.get())
                bindFrameBuffer(nullptr);
            oxGL.DeleteFramebuffers(1, &t->second->frameBuffer);
            oxGL.DeleteRenderbuffers(1, &t->second->depthBuffer);
            t = _targets.erase(t);
        }
    });
}

void oxGLVisualContext::bindFrameBuffer(const oxGLTarget* target)
{
    oxGL.BindFramebuffer(GL_FRAMEBUFFER, target ? target->frameBuffer : _frameBuffer);
    _currentTarget = target;
}

void oxGLVisualContext::prepareRenderDestination(const oxRenderDestinationDescription& d)
{
    if (!use() || !d.texture)
        return;
    if (_recording >= 0) {
        Core::oxReportWarning("oxGLVisualContext: render targets cannot change while a display list is recorded");
        return;
    }
    const oxTextureDescription& t = *d.texture;
    if (!d.id || !describable(t) || t.faceCount != 1 || d.width <= 0 || d.height <= 0 ||
        d.width > _capabilities[OX_GFX_CAP_MAX_TEXTURE_SIZE] || d.height > _capabilities[OX_GFX_CAP_MAX_TEXTURE_SIZE]) {
        Core::oxReportWarning("oxGLVisualContext: no render target of %dx%d pixels into a texture of %d faces",
                              d.width, d.height, t.faceCount);
        return;
    }
    std::unique_ptr<oxGLTarget>& target = _targets[d.id];
    if (target && target->version == d.version && target->textureId == t.id && target->width == d.width &&
        target->height == d.height && target->depth == d.depthBuffer && findTexture(t.id))
        return;
    if (!target)
        target = std::make_unique<oxGLTarget>();

    oxGLTexture& record = textureFor(t);
    oxGL.ActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, record.name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, d.width, d.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    setSampling(GL_TEXTURE_2D, t, float(_capabilities[OX_GFX_CAP_MAX_ANISOTROPY]));
    rebindUnitZero(GL_TEXTURE_2D);
    record.loaded = true;
    record.renderTarget = true;
    record.version = t.version;

    if (!target->frameBuffer)
        oxGL.GenFramebuffers(1, &target->frameBuffer);
    oxGL.BindFramebuffer(GL_FRAMEBUFFER, target->frameBuffer);
    oxGL.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, record.name, 0);
    if (d.depthBuffer) {
        if (!target->depthBuffer)
            oxGL.GenRenderbuffers(1, &target->depthBuffer);
        oxGL.BindRenderbuffer(GL_RENDERBUFFER, target->depthBuffer);
        oxGL.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, d.width, d.height);
    }
    oxGL.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                 d.depthBuffer ? target->depthBuffer : 0);
    GLenum status = oxGL.CheckFramebufferStatus(GL_FRAMEBUFFER);
    target->textureId = t.id;
    target->version = d.version;
    target->width = d.width;
    target->height = d.height;
    target->depth = d.depthBuffer;
    if (status == GL_FRAMEBUFFER_COMPLETE) {
        bindFrameBuffer(_currentTarget);
        return;
    }
    Core::oxReportWarning("oxGLVisualContext: a %dx%d render target is incomplete (status 0x%04x)", d.width, d.height,
                          unsigned(status));
    if (_currentTarget == target.get())
        _currentTarget = nullptr;
    bindFrameBuffer(_currentTarget);
    oxGL.DeleteFramebuffers(1, &target->frameBuffer);
    oxGL.DeleteRenderbuffers(1, &target->depthBuffer);
    _targets.erase(d.id);
}

void oxGLVisualContext::setRenderDestination(const oxRenderDestinationDescription* d)
{
    if (!use())
        return;
    if (_recording >= 0) {
        Core::oxReportWarning("oxGLVisualContext: render targets cannot change while a display list is recorded");
        return;
    }
    if (!d || !d->texture) {
        bindFrameBuffer(nullptr);
        return;
    }
    prepareRenderDestination(*d);
    auto it = _targets.find(d->id);
    if (it != _targets.end())
        bindFrameBuffer(it->second.get());
}

bool oxGLVisualContext::readPixels(int x, int y, int width, int height, oxImage* image)
{
    if (!use() || !image)
        return false;
    int targetWidth = _currentTarget ? _currentTarget->width : _width;
    int targetHeight = _currentTarget ? _currentTarget->height : _height;
    if (width <= 0 || height <= 0 || x < 0 || y < 0 || x > targetWidth - width || y > targetHeight - height) {
        Core::oxReportWarning("oxGLVisualContext: cannot read %dx%d pixels at (%d, %d) of a %dx%d target", width,
                              height, x, y, targetWidth, targetHeight);
        return false;
    }
    if (!image->allocateImageMemory(width, height, OX_GFX_PIXEL_RGBA8))
        return false;
    // Turned upright in place, a row at a time: a second frame's worth of memory is what a
    // large read cannot count on.
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, image->getPixels());
    const size_t rowBytes = image->getRowBytes();
    std::vector<uint8_t> row(rowBytes);
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = image->getPixels() + size_t(top) * rowBytes;
        uint8_t* b = image->getPixels() + size_t(bottom) * rowBytes;
        std::memcpy(row.data(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, row.data(), rowBytes);
    }
    image->touch();
    return true;
}

} // namespace Kel::Gfx

#include <algorithm>
#include <cstring>

#include "platform/core/oxOutput.h"
#include "platform/gfxgl/oxGLPrivate.h"

namespace Kel::Gfx {

namespace {
// GL limits display lists calling display lists to this depth.
constexpr int kMaxCallDepth = 64;

// The surfaceless display of the process, initialised by the first device and kept: EGL
// gives every caller the same display, terminating it would end the contexts of every
// device, and it would unload the driver only for the next device to load it again.
EGLDisplay g_display = EGL_NO_DISPLAY;

bool hasExtension(const char* list, const char* name)
{
    if (!list)
        return false;
    size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0'))
            return true;
    return false;
}

void warn(const char* what, EGLint error = EGL_SUCCESS)
{
    if (error != EGL_SUCCESS)
        Core::oxReportWarning("oxGLVisualContext: %s (EGL error 0x%04x)", what, unsigned(error));
    else
        Core::oxReportWarning("oxGLVisualContext: %s", what);
}

int getInteger(GLenum name)
{
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

const oxMatrix44f kIdentity;
} // namespace

oxGLVisualContext::oxGLVisualContext() : _state(std::make_unique<oxGLState>()), _draw(std::make_unique<oxGLDraw>())
{
}

oxGLVisualContext::~oxGLVisualContext()
{
    close();
}

void oxGLVisualContext::userRelease()
{
    close();
    oxVisualContext::userRelease();
}

Core::oxSmartPointer<oxGLVisualContext> oxGLVisualContext::create(int width, int height)
{
    Core::oxSmartPointer<oxGLVisualContext> vc = _instantiateRef();
    if (!vc->open(width, height))
        return nullptr;
    return vc;
}

bool oxGLVisualContext::open(int width, int height)
{
    if (!sizeOk(width, height))
        return false;
    if (!hasExtension(eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS), "EGL_MESA_platform_surfaceless")) {
        warn("no EGL display: EGL offers no surfaceless platform (EGL_MESA_platform_surfaceless)", eglGetError());
        return false;
    }
    if (g_display == EGL_NO_DISPLAY) {
        EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display == EGL_NO_DISPLAY) {
            warn("no EGL display on the surfaceless platform", eglGetError());
            return false;
        }
        if (!eglInitialize(display, nullptr, nullptr)) {
            warn("the surfaceless EGL display cannot be initialised", eglGetError());
            return false;
        }
        g_display = display;
    }
    _display = g_display;

    const char* extensions = eglQueryString(_display, EGL_EXTENSIONS);
    if (!hasExtension(extensions, "EGL_KHR_no_config_context") || !hasExtension(extensions, "EGL_KHR_surfaceless_context")) {
        warn("the EGL display makes no context without a configuration and a surface");
        close();
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        warn("EGL offers no OpenGL", eglGetError());
        close();
        return false;
    }
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                 4,
                                 EGL_CONTEXT_MINOR_VERSION,
                                 5,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                 EGL_NONE};
    _context = eglCreateContext(_display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (_context == EGL_NO_CONTEXT) {
        _context = nullptr;
        warn("no OpenGL 4.5 compatibility-profile context", eglGetError());
        close();
        return false;
    }
    if (!eglMakeCurrent(_display, EGL_NO_SURFACE, EGL_NO_SURFACE, _context)) {
        warn("the OpenGL context cannot be made current", eglGetError());
        close();
        return false;
    }
    return setUp(width, height);
}

bool oxGLVisualContext::sizeOk(int width, int height)
{
    if (width > 0 && height > 0 && width <= kMaxSize && height <= kMaxSize)
        return true;
    Core::oxReportWarning("oxGLVisualContext: no frame buffer of %dx%d pixels", width, height);
    return false;
}

Core::oxSmartPointer<oxGLVisualContext> oxGLVisualContext::createInCurrentContext(int width, int height)
{
    if (!sizeOk(width, height))
        return nullptr;
    if (!glGetString(GL_VERSION)) {
        warn("no OpenGL context is current on this thread");
        return nullptr;
    }
    Core::oxSmartPointer<oxGLVisualContext> vc = _instantiateRef();
    vc->_adopted = true;
    if (!vc->setUp(width, height))
        return nullptr;
    return vc;
}

bool oxGLVisualContext::allocateFrameBuffer(int width, int height)
{
    oxGL.BindRenderbuffer(GL_RENDERBUFFER, _colorBuffer);
    oxGL.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    oxGL.BindRenderbuffer(GL_RENDERBUFFER, _depthBuffer);
    oxGL.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    oxGL.BindFramebuffer(GL_FRAMEBUFFER, _frameBuffer);
    oxGL.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, _colorBuffer);
    oxGL.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, _depthBuffer);
    GLenum status = oxGL.CheckFramebufferStatus(GL_FRAMEBUFFER);
    GLenum error = glGetError();
    if (error == GL_OUT_OF_MEMORY) {
        Core::oxReportWarning("oxGLVisualContext: no memory for a %dx%d frame buffer", width, height);
        return false;
    }
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        Core::oxReportWarning("oxGLVisualContext: no %dx%d frame buffer (status 0x%04x)", width, height,
                              unsigned(status));
        return false;
    }
    _width = width;
    _height = height;
    return true;
}

bool oxGLVisualContext::setSize(int width, int height)
{
    if (width == _width && height == _height)
        return isOpen();
    if (!use() || !sizeOk(width, height))
        return false;
    if (_recording >= 0) {
        Core::oxReportWarning("oxGLVisualContext: the frame buffer cannot change size while a list is recorded");
        return false;
    }
    const int oldWidth = _width, oldHeight = _height;
    if (!allocateFrameBuffer(width, height)) {
        allocateFrameBuffer(oldWidth, oldHeight);
        bindFrameBuffer(_currentTarget);
        return false;
    }
    // The device's own frame takes the new size; a render target that is current keeps its
    // binding and viewport.
    bindFrameBuffer(_currentTarget);
    if (!_currentTarget) {
        glViewport(0, 0, width, height);
        _state->viewport = oxViewport{0, 0, width, height, 0.0f, 1.0f};
    }
    return true;
}

void oxGLVisualContext::copyToWindow(int width, int height)
{
    if (!use() || width <= 0 || height <= 0)
        return;
    oxGL.BindFramebuffer(GL_READ_FRAMEBUFFER, _frameBuffer);
    oxGL.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    oxGL.BlitFramebuffer(0, 0, _width, _height, 0, 0, width, height, GL_COLOR_BUFFER_BIT,
                         width == _width && height == _height ? GL_NEAREST : GL_LINEAR);
    bindFrameBuffer(_currentTarget);
}

bool oxGLVisualContext::setUp(int width, int height)
{
    const char* missing = nullptr;
    if (!oxGL.load(&missing)) {
        Core::oxReportWarning("oxGLVisualContext: OpenGL lacks %s", missing);
        close();
        return false;
    }
    _open = true;
    oxGL.GenRenderbuffers(1, &_colorBuffer);
    oxGL.GenRenderbuffers(1, &_depthBuffer);
    oxGL.GenFramebuffers(1, &_frameBuffer);
    if (!allocateFrameBuffer(width, height)) {
        close();
        return false;
    }

    for (int i = 0; i < kCapabilityCount; ++i)
        _capabilities[i] = oxGetGenericCapability(i);
    _unitCount = std::min(getInteger(GL_MAX_TEXTURE_UNITS), kGLMaxUnits);
    _lightCount = std::min(getInteger(GL_MAX_LIGHTS), kGLMaxLights);
    _clipPlaneCount = std::min(getInteger(GL_MAX_CLIP_PLANES), kGLMaxClipPlanes);
    GLint viewportDims[2] = {};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewportDims);
    GLfloat anisotropy = 1.0f;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &anisotropy);
    if (glGetError() != GL_NO_ERROR)
        anisotropy = 1.0f;
    _capabilities[OX_GFX_CAP_MAX_TEXTURE_SIZE] = getInteger(GL_MAX_TEXTURE_SIZE);
    _capabilities[OX_GFX_CAP_MAX_LIGHTS] = _lightCount;
    _capabilities[OX_GFX_CAP_MAX_CLIP_PLANES] = _clipPlaneCount;
    _capabilities[OX_GFX_CAP_MAX_PALETTE_MATRICES] = kGLPaletteSize;
    _capabilities[OX_GFX_CAP_MAX_TEXTURE_COORD_SETS] = std::min(getInteger(GL_MAX_TEXTURE_COORDS), kGLMaxUnits);
    _capabilities[OX_GFX_CAP_TEXTURE_UNITS] = _unitCount;
    _capabilities[OX_GFX_CAP_MAX_ANISOTROPY] = int(anisotropy);
    _capabilities[OX_GFX_CAP_MAX_VIEWPORT_SIZE] = std::min(viewportDims[0], viewportDims[1]);

    // The state the attribute defaults describe; GL's own defaults cover the rest.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // Specular highlights stay white on textured surfaces.
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glViewport(0, 0, width, height);
    _state->viewport = oxViewport{0, 0, width, height, 0.0f, 1.0f};
    for (int u = 0; u < _unitCount; ++u) {
        _state->units[size_t(u)].set = u;
        applyTexGen(u);
    }
    if (GLenum error = glGetError(); error != GL_NO_ERROR) {
        Core::oxReportWarning("oxGLVisualContext: OpenGL refused the initial state (error 0x%04x)", unsigned(error));
        close();
        return false;
    }
    return true;
}

void oxGLVisualContext::close()
{
    // A window's context is the window's to keep current and to destroy.
    const bool current = _adopted ? _open : _context && eglMakeCurrent(_display, EGL_NO_SURFACE, EGL_NO_SURFACE, _context);
    if (current) {
        if (_recording >= 0)
            glEndList();
        deleteBlendProgram();
        deleteMorphTargets();
        for (auto& [handle, list] : _lists)
            glDeleteLists(GLuint(handle), 1);
        for (auto& [id, texture] : _textures)
            glDeleteTextures(1, &texture->name);
        for (auto& [id, target] : _targets) {
            oxGL.DeleteFramebuffers(1, &target->frameBuffer);
            oxGL.DeleteRenderbuffers(1, &target->depthBuffer);
        }
        if (_frameBuffer)
            oxGL.DeleteFramebuffers(1, &_frameBuffer);
        if (_colorBuffer)
            oxGL.DeleteRenderbuffers(1, &_colorBuffer);
        if (_depthBuffer)
            oxGL.DeleteRenderbuffers(1, &_depthBuffer);
        if (!_adopted)
            eglMakeCurrent(_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    if (_context)
        eglDestroyContext(_display, _context);
    _context = nullptr;
    _open = false;
    _lists.clear();
    _textures.clear();
    _targets.clear();
    _currentTarget = nullptr;
    _recording = -1;
    _afterList.clear();
    _blendProgram.reset();
    _morphProgram.reset();
    _morphTargets.clear();
    _frameBuffer = _colorBuffer = _depthBuffer = 0;
    _display = nullptr;
}

bool oxGLVisualContext::use()
{
    if (!_open)
        return false;
    if (_adopted)
        return true;
    if (eglGetCurrentContext() != _context && !eglMakeCurrent(_display, EGL_NO_SURFACE, EGL_NO_SURFACE, _context)) {
        warn("the OpenGL context cannot be made current", eglGetError());
        return false;
    }
    return true;
}

bool oxGLVisualContext::unitOk(int unit, const char* operation) const
{
    if (unit >= 0 && unit < _unitCount)
        return true;
    Core::oxReportWarning("oxGLVisualContext: %s: no texture unit %d", operation, unit);
    return false;
}

bool oxGLVisualContext::selectUnit(int unit, const char* operation)
{
    if (!use() || !unitOk(unit, operation))
        return false;
    oxGL.ActiveTexture(GLenum(GL_TEXTURE0 + unit));
    return true;
}

const char* oxGLVisualContext::getRenderer() const
{
    if (!const_cast<oxGLVisualContext*>(this)->use())
        return "";
    const GLubyte* renderer = glGetString(GL_RENDERER);
    return renderer ? reinterpret_cast<const char*>(renderer) : "";
}

void oxGLVisualContext::finish()
{
    if (use())
        glFinish();
}

uint32_t oxGLVisualContext::takeGLError()
{
    uint32_t error = _pendingError;
    _pendingError = 0;
    return error ? error : use() ? glGetError() : 0;
}

int oxGLVisualContext::getCapability(int number) const
{
    return isOpen() && number >= 0 && number < kCapabilityCount ? _capabilities[number] : 0;
}

oxViewport oxGLVisualContext::getViewport() const
{
    return _state->viewport;
}

oxMatrix44f oxGLVisualContext::getProjectionMatrix() const
{
    return _state->projection;
}

oxClearValues oxGLVisualContext::getClearValues() const
{
    return _state->clearValues;
}

void oxGLVisualContext::setSwitch(OX_GFX_SWITCH state, int unit, bool on)
{
    if (!use())
        return;
    switch (state) {
    case OX_GFX_ALPHA_TEST: oxGLSet(GL_ALPHA_TEST, on); return;
    case OX_GFX_BLEND: oxGLSet(GL_BLEND, on); return;
    case OX_GFX_DEPTH_TEST: oxGLSet(GL_DEPTH_TEST, on); return;
    case OX_GFX_DEPTH_WRITE: glDepthMask(on ? GL_TRUE : GL_FALSE); return;
    case OX_GFX_STENCIL_TEST: oxGLSet(GL_STENCIL_TEST, on); return;
    case OX_GFX_LIGHTING:
        oxGLSet(GL_LIGHTING, on);
        change([on](oxGLState& s) { s.lighting = on; });
        return;
    case OX_GFX_NORMALIZE:
        oxGLSet(GL_NORMALIZE, on);
        change([on](oxGLState& s) { s.normalize = on; });
        return;
    case OX_GFX_CULL_FACE: oxGLSet(GL_CULL_FACE, on); return;
    // GL keeps its matrices as they come; there is nothing to optimise.
    case OX_GFX_MATRIX_OPTIMIZATION: return;
    case OX_GFX_CLIPPING:
        change([on](oxGLState& s) { s.clipping = on; });
        applyClipPlanes();
        return;
    case OX_GFX_VERTEX_BLEND: change([on](oxGLState& s) { s.vertexBlend = on; }); return;
    case OX_GFX_TEXTURE:
        if (!unitOk(unit, "setSwitch"))
            return;
        change([unit, on](oxGLState& s) { s.units[size_t(unit)].texturing = on; });
        applyUnitEnable(unit);
        return;
    case OX_GFX_TEXTURE_MATRIX:
        if (!unitOk(unit, "setSwitch"))
            return;
        change([unit, on](oxGLState& s) { s.units[size_t(unit)].matrixOn = on; });
        applyTextureMatrix(unit);
        return;
    }
    Core::oxReportWarning("oxGLVisualContext: no switch %d", int(state));
}

void oxGLVisualContext::setAlphaFunction(OX_GFX_COMPARE function, float reference)
{
    GLenum f = oxGLCompare(function);
    if (f == kGLNoEnum)
        Core::oxReportWarning("oxGLVisualContext: no comparison %d", int(function));
    else if (use())
        glAlphaFunc(f, reference);
}

void oxGLVisualContext::setBlendFunction(OX_GFX_BLEND_FACTOR source, OX_GFX_BLEND_FACTOR destination,
                                         OX_GFX_BLEND_EQUATION equation)
{
    GLenum s = oxGLBlendFactor(source), d = oxGLBlendFactor(destination), e = oxGLBlendEquation(equation);
    if (s == kGLNoEnum || d == kGLNoEnum || e == kGLNoEnum) {
        Core::oxReportWarning("oxGLVisualContext: no blend function %d %d %d", int(source), int(destination),
                              int(equation));
        return;
    }
    if (!use())
        return;
    glBlendFunc(s, d);
    oxGL.BlendEquation(e);
}

void oxGLVisualContext::setDepthFunction(OX_GFX_COMPARE function)
{
    GLenum f = oxGLCompare(function);
    if (f == kGLNoEnum)
        Core::oxReportWarning("oxGLVisualContext: no comparison %d", int(function));
    else if (use())
        glDepthFunc(f);
}

void oxGLVisualContext::setColorMask(bool red, bool green, bool blue, bool alpha)
{
    if (use())
        glColorMask(red, green, blue, alpha);
}

void oxGLVisualContext::setCullFace(OX_GFX_CULL face)
{
    const GLenum f = oxGLCullFace(face);
    if (f == kGLNoEnum)
        Core::oxReportWarning("oxGLVisualContext: no face %d to cull", int(face));
    else if (use())
        glCullFace(f);
}

void oxGLVisualContext::setStencilFunction(OX_GFX_COMPARE function, int reference, uint32_t mask)
{
    GLenum f = oxGLCompare(function);
    if (f == kGLNoEnum)
        Core::oxReportWarning("oxGLVisualContext: no comparison %d", int(function));
    else if (use())
        glStencilFunc(f, reference, mask);
}

void oxGLVisualContext::setStencilOperation(OX_GFX_STENCIL_OP fail, OX_GFX_STENCIL_OP depthFail,
                                            OX_GFX_STENCIL_OP pass, uint32_t writeMask)
{
    GLenum f = oxGLStencilOp(fail), d = oxGLStencilOp(depthFail), p = oxGLStencilOp(pass);
    if (f == kGLNoEnum || d == kGLNoEnum || p == kGLNoEnum) {
        Core::oxReportWarning("oxGLVisualContext: no stencil operations %d %d %d", int(fail), int(depthFail),
                              int(pass));
        return;
    }
    if (!use())
        return;
    glStencilOp(f, d, p);
    glStencilMask(writeMask);
}

int oxGLVisualContext::findLightSlot(const void* id) const
{
    for (int i = 0; i < _lightCount; ++i)
        if (_state->lights[size_t(i)].id == id)
            return i;
    return -1;
}

void oxGLVisualContext::placeLight(int slot)
{
    const oxLightParameters& l = _state->lights[size_t(slot)].parameters;
    GLenum light = GLenum(GL_LIGHT0 + slot);
    // GL takes a directional light's position as the direction towards it.
    oxVec4f position = l.type == OX_GFX_LIGHT_DIRECTIONAL ? oxVec4f(-l.direction, 0.0f) : oxVec4f(l.position, 1.0f);
    glPushMatrix();
    glLoadMatrixf(_state->view.data());
    glLightfv(light, GL_POSITION, &position.x);
    glLightfv(light, GL_SPOT_DIRECTION, &l.direction.x);
    glPopMatrix();
}

void oxGLVisualContext::setLight(const oxLightParameters& light)
{
    if (!light.id) {
        Core::oxReportWarning("oxGLVisualContext: a light without an identity");
        return;
    }
    if (!use())
        return;
    int slot = findLightSlot(light.id);
    // A new light takes a free slot, or else the slot of a light that is off.
    for (int i = 0; slot < 0 && i < _lightCount; ++i)
        if (!_state->lights[size_t(i)].id)
            slot = i;
    for (int i = 0; slot < 0 && i < _lightCount; ++i)
        if (!_state->lights[size_t(i)].on)
            slot = i;
    if (slot < 0)
        return;
    change([slot, light](oxGLState& s) {
        oxGLLightSlot& l = s.lights[size_t(slot)];
        if (l.id != light.id)
            l.on = false;
        l.id = light.id;
        l.parameters = light;
    });
    GLenum gl = GLenum(GL_LIGHT0 + slot);
    glLightfv(gl, GL_AMBIENT, &light.ambient.x);
    glLightfv(gl, GL_DIFFUSE, &light.diffuse.x);
    glLightfv(gl, GL_SPECULAR, &light.specular.x);
    glLightf(gl, GL_CONSTANT_ATTENUATION, light.attenuation.x);
    glLightf(gl, GL_LINEAR_ATTENUATION, light.attenuation.y);
    glLightf(gl, GL_QUADRATIC_ATTENUATION, light.attenuation.z);
    bool spot = light.type == OX_GFX_LIGHT_SPOT && light.cutoff < 180.0f;
    glLightf(gl, GL_SPOT_CUTOFF, spot ? std::clamp(light.cutoff, 0.0f, 90.0f) : 180.0f);
    glLightf(gl, GL_SPOT_EXPONENT, std::clamp(light.exponent, 0.0f, 128.0f));
    placeLight(slot);
}

void oxGLVisualContext::setLightState(const void* lightId, bool on)
{
    if (!use())
        return;
    int slot = findLightSlot(lightId);
    if (slot < 0 || !lightId)
        return;
    oxGLSet(GLenum(GL_LIGHT0 + slot), on);
    change([slot, on](oxGLState& s) { s.lights[size_t(slot)].on = on; });
}

void oxGLVisualContext::setColor(const oxVec4f& color)
{
    if (!use())
        return;
    glColor4fv(&color.x);
    change([color](oxGLState& s) { s.color = color; });
}

void oxGLVisualContext::setMaterial(const oxMaterialParameters& m)
{
    GLenum tracked = oxGLColorMaterial(m.colorMaterial);
    if (tracked == kGLNoEnum) {
        Core::oxReportWarning("oxGLVisualContext: no colour material %d", int(m.colorMaterial));
        return;
    }
    if (!use())
        return;
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, &m.ambient.x);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &m.diffuse.x);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, &m.specular.x);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, &m.emission.x);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(m.shininess, 0.0f, 128.0f));
    // After the material: enabling colour material overwrites the tracked colours at once.
    if (tracked != GL_NONE)
        glColorMaterial(GL_FRONT_AND_BACK, tracked);
    oxGLSet(GL_COLOR_MATERIAL, tracked != GL_NONE);
    change([tracked](oxGLState& s) { s.colorMaterial = tracked; });
}

void oxGLVisualContext::applyTextureMatrix(int unit)
{
    const oxGLUnitState& u = _state->units[size_t(unit)];
    oxGL.ActiveTexture(GLenum(GL_TEXTURE0 + unit));
    glMatrixMode(GL_TEXTURE);
    glLoadMatrixf(u.matrixOn ? u.matrix.data() : kIdentity.data());
    glMatrixMode(GL_MODELVIEW);
}

void oxGLVisualContext::applyTexGen(int unit)
{
    static constexpr GLenum kCoords[4] = {GL_S, GL_T, GL_R, GL_Q};
    static constexpr GLenum kEnables[4] = {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q};
    const oxGLUnitState& u = _state->units[size_t(unit)];
    GLint mode = 0;
    int generated = 0;
    switch (u.source) {
    case OX_GFX_TEXCOORD_SET: break;
    case OX_GFX_TEXCOORD_OBJECT_LINEAR: mode = GL_OBJECT_LINEAR, generated = 4; break;
    case OX_GFX_TEXCOORD_EYE_LINEAR: mode = GL_EYE_LINEAR, generated = 4; break;
    case OX_GFX_TEXCOORD_SPHERE_MAP: mode = GL_SPHERE_MAP, generated = 2; break;
    case OX_GFX_TEXCOORD_NORMAL_MAP: mode = GL_NORMAL_MAP, generated = 3; break;
    case OX_GFX_TEXCOORD_REFLECTION_MAP: mode = GL_REFLECTION_MAP, generated = 3; break;
    }
    oxGL.ActiveTexture(GLenum(GL_TEXTURE0 + unit));
    glPushMatrix();
    glLoadIdentity();
    for (int c = 0; c < 4; ++c) {
        oxVec4f plane = u.texGen.getColumn(c);
        glTexGenfv(kCoords[c], GL_OBJECT_PLANE, &plane.x);
        glTexGenfv(kCoords[c], GL_EYE_PLANE, &plane.x);
        if (c < generated)
            glTexGeni(kCoords[c], GL_TEXTURE_GEN_MODE, mode);
        oxGLSet(kEnables[c], c < generated);
    }
    glPopMatrix();
}

void oxGLVisualContext::setMatrix(OX_GFX_MATRIX mode, int unit, const oxMatrix44f& m)
{
    if (!use())
        return;
    switch (mode) {
    case OX_GFX_MATRIX_MODEL_VIEW: glLoadMatrixf(m.data()); return;
    case OX_GFX_MATRIX_PROJECTION:
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(m.data());
        glMatrixMode(GL_MODELVIEW);
        change([m](oxGLState& s) { s.projection = m; });
        return;
    case OX_GFX_MATRIX_TEXTURE:
        if (!unitOk(unit, "setMatrix"))
            return;
        change([unit, m](oxGLState& s) { s.units[size_t(unit)].matrix = m; });
        if (_state->units[size_t(unit)].matrixOn)
            applyTextureMatrix(unit);
        return;
    case OX_GFX_MATRIX_TEXGEN:
        if (!unitOk(unit, "setMatrix"))
            return;
        change([unit, m](oxGLState& s) { s.units[size_t(unit)].texGen = m; });
        applyTexGen(unit);
        return;
    case OX_GFX_MATRIX_VERTEX_BLEND:
        if (unit < 0 || unit >= kGLPaletteSize) {
            Core::oxReportWarning("oxGLVisualContext: no blend matrix %d", unit);
            return;
        }
        change([unit, m](oxGLState& s) {
            if (s.blendMatrices.size() <= size_t(unit))
                s.blendMatrices.resize(size_t(unit) + 1);
            s.blendMatrices[size_t(unit)] = m;
            s.blendVersion = oxGLNextBlendVersion();
        });
        markPaletteChanged(unit);
        return;
    }
    Core::oxReportWarning("oxGLVisualContext: no matrix mode %d", int(mode));
}

void oxGLVisualContext::setViewMatrix(const oxMatrix44f& m)
{
    if (!use())
        return;
    change([m](oxGLState& s) { s.view = m; });
    for (int i = 0; i < _lightCount; ++i)
        if (_state->lights[size_t(i)].id)
            placeLight(i);
}

void oxGLVisualContext::setBlendMatrices(const oxMatrix44f* matrices, int count)
{
    if (!use())
        return;
    count = matrices ? std::clamp(count, 0, kGLPaletteSize) : 0;
    change([v = std::vector<oxMatrix44f>(matrices, matrices + count)](oxGLState& s) {
        s.blendMatrices = v;
        s.blendVersion = oxGLNextBlendVersion();
    });
    markPaletteChanged(-1);
}

void oxGLVisualContext::setViewport(const oxViewport& v)
{
    if (v.width < 0 || v.height < 0) {
        Core::oxReportWarning("oxGLVisualContext: no viewport of %dx%d", v.width, v.height);
        return;
    }
    if (!use())
        return;
    glViewport(v.x, v.y, v.width, v.height);
    glDepthRange(v.depthNear, v.depthFar);
    change([v](oxGLState& s) { s.viewport = v; });
}

void oxGLVisualContext::applyClipPlanes()
{
    for (int p = 0; p < _clipPlaneCount; ++p)
        oxGLSet(GLenum(GL_CLIP_PLANE0 + p), _state->clipping && (_state->clipPlanesSet >> p & 1));
}

void oxGLVisualContext::setClipPlane(int unit, const oxVec4f& plane, const oxMatrix44f& modelView)
{
    if (!use())
        return;
    if (unit < 0 || unit >= _clipPlaneCount) {
        Core::oxReportWarning("oxGLVisualContext: no clip plane %d", unit);
        return;
    }
    bool set = plane != oxVec4f();
    if (set) {
        const GLdouble equation[4] = {plane.x, plane.y, plane.z, plane.w};
        glPushMatrix();
        glLoadMatrixf(modelView.data());
        glClipPlane(GLenum(GL_CLIP_PLANE0 + unit), equation);
        glPopMatrix();
    }
    change([unit, set](oxGLState& s) {
        s.clipPlanesSet = set ? s.clipPlanesSet | 1u << unit : s.clipPlanesSet & ~(1u << unit);
    });
    oxGLSet(GLenum(GL_CLIP_PLANE0 + unit), set && _state->clipping);
}

void oxGLVisualContext::clear(uint32_t buffers, const oxClearValues& values)
{
    if (!use())
        return;
    glClearColor(values.color.x, values.color.y, values.color.z, values.color.w);
    glClearDepth(values.depth);
    glClearStencil(values.stencil);
    GLbitfield mask = (buffers & OX_GFX_CLEAR_COLOR ? GL_COLOR_BUFFER_BIT : 0) |
                      (buffers & OX_GFX_CLEAR_DEPTH ? GL_DEPTH_BUFFER_BIT : 0) |
                      (buffers & OX_GFX_CLEAR_STENCIL ? GL_STENCIL_BUFFER_BIT : 0);
    if (mask)
        glClear(mask);
    change([values](oxGLState& s) { s.clearValues = values; });
}

void oxGLVisualContext::setTextureFunction(int unit, const oxTextureFunctionParameters& f)
{
    GLenum combine = oxGLCombine(f.function);
    GLenum sources[3];
    for (int i = 0; i < 3; ++i)
        sources[i] = oxGLCombineSource(f.arguments[i]);
    if (combine == kGLNoEnum || std::count(sources, sources + 3, kGLNoEnum)) {
        Core::oxReportWarning("oxGLVisualContext: no texture function %d (%d %d %d)", int(f.function),
                              int(f.arguments[0]), int(f.arguments[1]), int(f.arguments[2]));
        return;
    }
    if (!selectUnit(unit, "setTextureFunction"))
        return;
    if (combine == GL_DECAL || combine == GL_BLEND) {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GLint(combine));
        return;
    }
    bool dot = combine == GL_DOT3_RGB || combine == GL_DOT3_RGBA;
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GLint(combine));
    // Alpha has no dot product; there the two arguments' alphas multiply.
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, dot ? GL_MODULATE : GLint(combine));
    for (int i = 0; i < 3; ++i) {
        glTexEnvi(GL_TEXTURE_ENV, GLenum(GL_SRC0_RGB + i), GLint(sources[i]));
        glTexEnvi(GL_TEXTURE_ENV, GLenum(GL_SRC0_ALPHA + i), GLint(sources[i]));
        // INTERPOLATE mixes by the third argument's alpha: a constant's alpha fades between two.
        glTexEnvi(GL_TEXTURE_ENV, GLenum(GL_OPERAND0_RGB + i), i == 2 ? GL_SRC_ALPHA : GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GLenum(GL_OPERAND0_ALPHA + i), GL_SRC_ALPHA);
    }
}

void oxGLVisualContext::setTextureConstant(int unit, const oxVec4f& value)
{
    if (!selectUnit(unit, "setTextureConstant"))
        return;
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, &value.x);
}

void oxGLVisualContext::setTextureCoordSource(int unit, OX_GFX_TEXCOORD_SOURCE source, int set)
{
    if (source < OX_GFX_TEXCOORD_SET || source > OX_GFX_TEXCOORD_REFLECTION_MAP ||
        (source == OX_GFX_TEXCOORD_SET && (set < -1 || set >= oxVertexFormat::kMaxTexCoordSets))) {
        Core::oxReportWarning("oxGLVisualContext: no texture-coordinate source %d (set %d)", int(source), set);
        return;
    }
    if (!use() || !unitOk(unit, "setTextureCoordSource"))
        return;
    if (set < 0)
        set = unit;
    change([unit, source, set](oxGLState& s) {
        s.units[size_t(unit)].source = source;
        s.units[size_t(unit)].set = set;
    });
    applyTexGen(unit);
}

void oxGLVisualContext::setTextureLod(int unit, float bias, float minLod, float maxLod)
{
    if (!selectUnit(unit, "setTextureLod"))
        return;
    glTexEnvf(GL_TEXTURE_FILTER_CONTROL, GL_TEXTURE_LOD_BIAS, bias);
    change([unit, minLod, maxLod](oxGLState& s) {
        s.units[size_t(unit)].minLod = minLod;
        s.units[size_t(unit)].maxLod = maxLod;
    });
    const oxGLUnitState& u = _state->units[size_t(unit)];
    if (u.textureId)
        applyTextureLod(unit, u.textureTarget);
}

void oxGLVisualContext::setGeometryMask(uint32_t formatMask)
{
    if (use())
        change([formatMask](oxGLState& s) { s.geometryMask = formatMask; });
}

void oxGLVisualContext::setTime(int64_t time)
{
    if (use())
        change([time](oxGLState& s) { s.time = time; });
}

void oxGLVisualContext::drawGeometry(const oxDrawDescription& draw)
{
    if (use())
        _draw->draw(*this, draw);
}

int oxGLVisualContext::createDisplayList()
{
    if (!use())
        return -1;
    GLuint handle = glGenLists(1);
    if (handle == 0 || handle > GLuint(INT32_MAX)) {
        Core::oxReportWarning("oxGLVisualContext: OpenGL gave no display list");
        return -1;
    }
    _lists[int(handle)] = std::make_unique<oxGLList>();
    return int(handle);
}

bool oxGLVisualContext::beginDisplayList(int handle)
{
    if (!use() || _recording >= 0)
        return false;
    auto it = _lists.find(handle);
    if (it == _lists.end())
        return false;
    it->second->steps.clear();
    _stateBeforeList = std::make_unique<oxGLState>(*_state);
    if (_blendProgram) {
        _blendProgram->listChanged.reset();
        _blendProgram->listCountChanged = false;
    }
    glNewList(GLuint(handle), GL_COMPILE);
    _recording = handle;
    return true;
}

bool oxGLVisualContext::endDisplayList()
{
    if (_recording < 0 || !use())
        return false;
    glEndList();
    int handle = _recording;
    _recording = -1;
    *_state = *_stateBeforeList;
    _stateBeforeList.reset();
    // Running it may add more work to the list.
    std::vector<std::function<void()>> work;
    work.swap(_afterList);
    for (auto& w : work)
        w();
    GLenum error = glGetError();
    if (!_pendingError)
        _pendingError = error;
    if (error == GL_OUT_OF_MEMORY) {
        Core::oxReportWarning("oxGLVisualContext: display list %d ran out of memory", handle);
        return false;
    }
    return true;
}

void oxGLVisualContext::replay(int handle, int depth)
{
    auto it = _lists.find(handle);
    if (it == _lists.end())
        return;
    if (depth >= kMaxCallDepth) {
        Core::oxReportWarning("oxGLVisualContext: display lists nested deeper than %d", kMaxCallDepth);
        return;
    }
    for (const oxGLList::Step& step : it->second->steps) {
        if (step.effect)
            step.effect(*_state);
        else
            replay(step.call, depth + 1);
    }
}

bool oxGLVisualContext::callDisplayList(int handle)
{
    if (!use() || handle <= 0 || (_recording < 0 && !_lists.count(handle)))
        return false;
    // Blended draws in the list take the palette in force now: the caller's, or what the
    // list being recorded set before this call.
    oxGLBlendProgram* p = hasVertexBlendProgram() ? _blendProgram.get() : nullptr;
    if (p && (_recording >= 0 ? p->listCountChanged : p->uploadedVersion != _state->blendVersion)) {
        oxGL.UseProgram(p->program);
        if (_recording >= 0) {
            compileListPalette(*p);
        } else {
            uploadPalette(*p, nullptr);
            p->uploadedVersion = _state->blendVersion;
        }
        oxGL.UseProgram(0);
    }
    glCallList(GLuint(handle));
    if (_recording >= 0)
        _lists[_recording]->steps.push_back({{}, handle});
    else if (p) {
        // The list may have set uniforms of its own.
        p->uploadedVersion = 0;
        p->configKnown = false;
    }
    replay(handle, 0);
    return true;
}

bool oxGLVisualContext::deleteDisplayList(int handle)
{
    if (!use() || handle == _recording || !_lists.erase(handle))
        return false;
    glDeleteLists(GLuint(handle), 1);
    return true;
}

} // namespace Kel::Gfx

#pragma once
#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/core/oxSmartPointer.h"
#include "platform/gfx/oxVisualContext.h"

namespace Kel::Gfx {

struct oxGLState;
struct oxGLTexture;
struct oxGLTarget;
struct oxGLList;
struct oxGLDraw;
struct oxGLBlendProgram;
struct oxGLMorphTargets;
struct oxGLMorphDraw;

// The OpenGL device: an OpenGL 4.5 compatibility-profile context made through EGL, drawing
// with the fixed-function pipeline into a frame buffer object of its own. It needs no window
// and no environment: the display is Mesa's surfaceless platform, which uses a GPU when the
// machine has one and the software rasteriser otherwise (LIBGL_ALWAYS_SOFTWARE=1 forces the
// latter, which gives the same pixels on every machine).
//
// Conventions the GL calls do not fix on their own:
// - Images are stored top row first; they are uploaded so that texture coordinate t = 0 is
//   the picture's bottom row, as it is for a texture that was drawn into, and readPixels
//   gives the top row first again.
// - A light takes one of GL's light slots when it is set, a free one or that of a light
//   that is off; with every slot holding a light that is on, further lights are ignored.
//   Lights are placed with the view matrix current when they are set or when the view
//   changes; eye-linear texture-coordinate planes are given in eye space.
// - The clipping switch turns every user clip plane that is set on or off together.
// - Skinned vertices are blended on the GPU by a vertex program made at the first blended
//   draw: the palette (256 matrices, an index past the matrices set takes the identity) is a
//   uniform array uploaded when it changed, weights and indices are generic attributes, and
//   the program then does what the fixed-function vertex stage does for the device's state
//   (transforms, lights with the material and colour material, separate specular, texture
//   matrices, clip planes); fragments stay fixed function. A draw falls back to blending on
//   the host, with the blend matrices last applied, when the program did not compile or
//   link (one warning per device), when a texture unit it draws with generates its
//   coordinates, when it has more than 4 weights or indices a vertex, and when
//   setGpuVertexBlending(false) says so. Both give the same pixels within rounding.
// - Morphed vertices are blended on the GPU by a variant of that program: the targets of
//   positions and normals (three floats a vertex) are copied to buffers once and again only
//   when touched, and each draw sends only the active weights (at most 64 a component).
//   The host blends instead while a list is recorded, for skinned vertices, for other
//   components, and when the program would not (as above).
// - A display list records the device's own state changes beside the GL list, and replays
//   them when called. What the recorded GL calls were chosen by (vertex data, host-blended
//   vertices, whether the program draws and its switches such as lighting and which lights
//   are on, which texture target a unit enables) is taken as it was at recording. A draw
//   the program blends in a list takes the blend matrices in force when the list is
//   called: those the list sets itself, the caller's otherwise.
//   Textures loaded while recording are uploaded when the recording ends; render targets
//   cannot be changed while recording.
//
// Creation makes the context current on the calling thread; every operation makes this
// device's context current again if another device took the thread. The EGL display stays
// initialised from the first device to the end of the process.
class oxGLVisualContext : public oxVisualContext {
    OX_CLASS(oxGLVisualContext, oxVisualContext)
public:
    // A device drawing into a width × height frame buffer, at most kMaxSize pixels a side;
    // null, with a warning saying why, when there is no EGL display, no OpenGL 4.5
    // compatibility context, or no frame buffer of that size (the size is out of range, or
    // the driver has no memory for it).
    static constexpr int kMaxSize = 16384;
    static Core::oxSmartPointer<oxGLVisualContext> create(int width, int height);

    // A device in the OpenGL context current on the calling thread, one that a window system
    // made (GLX or EGL, version 4.5 compatibility profile or above): it draws into a frame
    // buffer of its own as ever, and copyToWindow() shows the frame. The caller keeps that
    // context current whenever the device is used, and releases the device before the
    // context goes. Null, with a warning, when no context is current or it lacks what the
    // device needs.
    static Core::oxSmartPointer<oxGLVisualContext> createInCurrentContext(int width, int height);

    // Whether create() made it (a device made through its class alone draws nothing).
    bool isOpen() const { return _open; }
    // Gives the frame buffer a new size (its content is then undefined); the viewport
    // follows unless a render target is current. False, with a warning and the old size
    // kept, for a size create() would refuse or while a list is recorded.
    bool setSize(int width, int height);
    // Copies the frame to the current context's window frame buffer (0), scaled to
    // width × height pixels.
    void copyToWindow(int width, int height);
    int getWidth() const { return _width; }
    int getHeight() const { return _height; }
    // GL_RENDERER: which rasteriser draws ("llvmpipe ..." for the software one).
    const char* getRenderer() const;
    // Waits until the device has drawn everything (glFinish).
    void finish();
    // The oldest GL error flagged since the last call (glGetError), 0 when there is none.
    uint32_t takeGLError();
    // Whether blended draws may use the vertex program (on by default); off, every skinned
    // vertex is blended on the host. Each draw looks at it when it is made; a recorded draw
    // keeps the way it was recorded.
    void setGpuVertexBlending(bool on) { _gpuVertexBlending = on; }
    bool getGpuVertexBlending() const { return _gpuVertexBlending; }
    // Whether the vertex program has been made and linked (false before the first blended
    // draw that asked for it, and after it failed).
    bool hasVertexBlendProgram() const;
    // Whether the morphing variant has been made and linked.
    bool hasMorphProgram() const;

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
    bool drawMorphedGeometry(const oxDrawDescription& draw, const oxMorphStream* streams, int streamCount) override;
    int createDisplayList() override;
    bool beginDisplayList(int handle) override;
    bool endDisplayList() override;
    bool callDisplayList(int handle) override;
    bool deleteDisplayList(int handle) override;
    void prepareRenderDestination(const oxRenderDestinationDescription& destination) override;
    void setRenderDestination(const oxRenderDestinationDescription* destination) override;
    // Refused (false, with a warning) for a rectangle that leaves the current target.
    bool readPixels(int x, int y, int width, int height, oxImage* image) override;
    oxViewport getViewport() const override;
    oxMatrix44f getProjectionMatrix() const override;
    oxClearValues getClearValues() const override;

    void userRelease() override;

protected:
    oxGLVisualContext();
    ~oxGLVisualContext() override;

private:
    friend struct oxGLDraw;

    // Makes this device's context current; false when the device is not open.
    bool use();
    bool open(int width, int height);
    static bool sizeOk(int width, int height);
    // The entry points, the frame buffer and the initial state in the current context.
    bool setUp(int width, int height);
    bool allocateFrameBuffer(int width, int height);
    void close();
    bool unitOk(int unit, const char* operation) const;
    // use(), a unit the device has, and glActiveTexture for it.
    bool selectUnit(int unit, const char* operation);
    // Runs a change of the device's own state now and, while a list is recorded, keeps it
    // for the list's calls.
    template <class F>
    void change(F&& effect);
    void replay(int handle, int depth);
    // Work that GL would otherwise compile into the list being recorded.
    template <class F>
    void outsideList(F&& work);

    void placeLight(int slot);
    void applyClipPlanes();
    void applyUnitEnable(int unit);
    void applyTextureMatrix(int unit);
    void applyTexGen(int unit);
    int findLightSlot(const void* id) const;

    // The blending program for a draw of `v`, made on first use; null when the draw is to
    // be blended on the host.
    oxGLBlendProgram* blendProgramFor(const oxVertexArrayBase* v, bool morph = false);
    // The device copy of `targets` for vertices `stride` apart, made or refreshed as needed;
    // null when one cannot be made.
    const oxGLMorphTargets* morphTargetsFor(const oxVertexDataList* targets, int stride);
    void beginMorph(const oxGLMorphDraw& morph);
    void deleteMorphTargets();
    // Makes the program current with the palette and switches the draw needs (compiled into
    // the list being recorded, if any), and back to fixed function.
    void beginBlendProgram(oxGLBlendProgram& p, const oxVertexArrayBase* v, bool normals);
    void endBlendProgram();
    void uploadPalette(const oxGLBlendProgram& p, const std::bitset<256>* only);
    // Palette changes of the list being recorded, compiled into it.
    void compileListPalette(oxGLBlendProgram& p);
    void markPaletteChanged(int unit);
    void deleteBlendProgram();

    oxGLTexture* findTexture(const void* id);
    oxGLTexture& textureFor(const oxTextureDescription& texture);
    bool isLoaded(const oxGLTexture& record, const oxTextureDescription& texture) const;
    void upload(oxGLTexture& record, const oxTextureDescription& texture);
    void applyTextureLod(int unit, uint32_t target);
    void rebindUnitZero(uint32_t target);
    void bindFrameBuffer(const oxGLTarget* target);

    void* _display = nullptr;
    void* _context = nullptr;
    bool _adopted = false;  // made in a context of the caller's
    bool _open = false;
    int _width = 0;
    int _height = 0;
    uint32_t _frameBuffer = 0;
    uint32_t _colorBuffer = 0;
    uint32_t _depthBuffer = 0;
    int _capabilities[kCapabilityCount] = {};
    int _unitCount = 0;
    int _lightCount = 0;
    int _clipPlaneCount = 0;

    std::unique_ptr<oxGLState> _state;
    std::unique_ptr<oxGLState> _stateBeforeList;
    std::map<const void*, std::unique_ptr<oxGLTexture>> _textures;
    std::map<const void*, std::unique_ptr<oxGLTarget>> _targets;
    const oxGLTarget* _currentTarget = nullptr;
    std::map<int, std::unique_ptr<oxGLList>> _lists;
    int _recording = -1;
    uint32_t _pendingError = 0;  // taken from GL to check a recording, kept for takeGLError
    std::vector<std::function<void()>> _afterList;
    std::unique_ptr<oxGLDraw> _draw;
    std::unique_ptr<oxGLBlendProgram> _blendProgram;
    std::unique_ptr<oxGLBlendProgram> _morphProgram;
    std::map<const oxVertexDataList*, std::unique_ptr<oxGLMorphTargets>> _morphTargets;
    uint64_t _morphUse = 0;
    bool _gpuVertexBlending = true;
};

} // namespace Kel::Gfx

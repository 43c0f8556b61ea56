#pragma once
#include <cstdint>

#include "platform/core/oxObject.h"
#include "platform/gfx/oxGfxTypes.h"
#include "platform/gfx/oxImage.h"
#include "platform/gfx/oxIndexArray.h"
#include "platform/gfx/oxVertexArray.h"

namespace Kel::Gfx {

// Plain values handed to the device. Identities (`id`) are addresses of the objects that
// own the state (a light, a texture, a render destination): a device keys its own resources
// by them and never dereferences them.

struct oxLightParameters {
    const void* id = nullptr;
    OX_GFX_LIGHT_TYPE type = OX_GFX_LIGHT_DIRECTIONAL;
    oxVec3f position;                 // world space; the device places it with the view matrix
    oxVec3f direction{0, 0, -1};      // world space, the way the light shines
    oxVec4f ambient{0, 0, 0, 1};
    oxVec4f diffuse{1, 1, 1, 1};
    oxVec4f specular{1, 1, 1, 1};
    oxVec3f attenuation{1, 0, 0};     // constant, linear, quadratic
    float cutoff = 180.0f;            // spot half-angle in degrees; 180 is no cone
    float exponent = 0.0f;            // spot fall-off
};

struct oxMaterialParameters {
    oxVec4f ambient{0.2f, 0.2f, 0.2f, 1};
    oxVec4f diffuse{0.8f, 0.8f, 0.8f, 1};
    oxVec4f specular{0, 0, 0, 1};
    oxVec4f emission{0, 0, 0, 1};
    float shininess = 0.0f;
    OX_GFX_COLOR_MATERIAL colorMaterial = OX_GFX_COLOR_MATERIAL_NONE;
};

struct oxViewport {
    int x = 0, y = 0, width = 0, height = 0;
    float depthNear = 0.0f, depthFar = 1.0f;
};

struct oxClearValues {
    oxVec4f color{0, 0, 0, 0};
    float depth = 1.0f;
    int stencil = 0;
};

// A texture: its images (level-major: images[level * faces + face], one face unless it is a
// cube map of six) and its sampling settings. `version` changes whenever the settings or
// the set of images change; each image has its own version for its pixels.
struct oxTextureDescription {
    const void* id = nullptr;
    uint32_t version = 0;
    const oxImageList* images = nullptr;
    int levelCount = 0;
    int faceCount = 1;
    OX_GFX_WRAP wrapS = OX_GFX_WRAP_REPEAT;
    OX_GFX_WRAP wrapT = OX_GFX_WRAP_REPEAT;
    OX_GFX_FILTER minFilter = OX_GFX_FILTER_LINEAR;
    OX_GFX_FILTER magFilter = OX_GFX_FILTER_LINEAR;
    float maxAnisotropy = 1.0f;

    const oxImage* getImage(int level, int face = 0) const;
};

// What a unit does with its texture (GL_COMBINE with up to three arguments; REPLACE uses
// the first, MODULATE, ADD and SUBTRACT the first two, INTERPOLATE all three).
struct oxTextureFunctionParameters {
    OX_GFX_TEXFUNC function = OX_GFX_TEXFUNC_MODULATE;
    OX_GFX_TEXARG arguments[3] = {OX_GFX_TEXARG_TEXTURE, OX_GFX_TEXARG_PREVIOUS, OX_GFX_TEXARG_CONSTANT};
};

// An off-screen target: a colour texture (a framebuffer object with the texture attached)
// and optionally a depth buffer. Without a texture the target is the frame buffer.
struct oxRenderDestinationDescription {
    const void* id = nullptr;
    uint32_t version = 0;
    const oxTextureDescription* texture = nullptr;
    int width = 0;
    int height = 0;
    bool depthBuffer = true;
};

// One draw: primitives over a vertex array, through 16-bit indices when there are any.
// Lists (points, lines, triangles) use 1, 2 or 3 elements per primitive; strips and fans
// take their lengths from `lengths`, one per primitive, or without lengths are a single
// primitive over every element. Elements are indices when indexed, else vertices, taken
// from the start; `firstVertex` is added to every vertex number they give (glDrawArrays'
// first, glDrawElementsBaseVertex's base vertex).
struct oxDrawDescription {
    OX_GFX_DRAW primitiveType = OX_GFX_DRAW_TRIANGLES;
    int primitiveCount = 0;
    int firstVertex = 0;
    oxVertexArrayBase* vertices = nullptr;
    const oxIndexArray* indices = nullptr;
    const oxPrimLengthArray* lengths = nullptr;

    // Elements the primitives use; -1 (with a warning) when the description does not fit its
    // arrays: missing positions, too few elements, an index beyond the vertices.
    int countElements() const;
};

// Displacements added to one float component of a draw's vertices: slot j adds
// weights[j] times element v of targets->get(targetIndices[j]) to vertex v.
class oxVertexDataList;
struct oxMorphStream {
    OX_GFX_COMPONENT component = OX_GFX_COMPONENT_POSITION;
    int index = 0;
    const oxVertexDataList* targets = nullptr;
    int slotCount = 0;
    const float* weights = nullptr;
    const int* targetIndices = nullptr;
};

// The device. Every operation maps onto OpenGL 4.5 compatibility-profile calls, named
// beside it; attributes apply themselves through these typed operations, so this library
// needs nothing from the attribute library. A new device starts in the state the attribute
// defaults describe: depth test and writing on with LESS_EQUAL, everything else off, blend
// factors SRC_ALPHA / ONE_MINUS_SRC_ALPHA, identity matrices.
//
// A device is used by one thread at a time. One device is current per process
// (makeCurrent, findVisualContext); it is not held by that.
class oxVisualContext : public Core::oxObject {
    OX_CLASS(oxVisualContext, Core::oxObject)
public:
    void makeCurrent();
    bool isCurrent() const;

    // Numbered capabilities (OX_GFX_CAP); 0 for numbers the device does not know.
    virtual int getCapability(int number) const = 0;

    // glEnable / glDisable (glDepthMask for DEPTH_WRITE); `unit` matters for TEXTURE and
    // TEXTURE_MATRIX (glActiveTexture).
    virtual void setSwitch(OX_GFX_SWITCH state, int unit, bool on) = 0;
    virtual void setAlphaFunction(OX_GFX_COMPARE function, float reference) = 0;             // glAlphaFunc
    virtual void setBlendFunction(OX_GFX_BLEND_FACTOR source, OX_GFX_BLEND_FACTOR destination,
                                  OX_GFX_BLEND_EQUATION equation) = 0;                       // glBlendFunc, glBlendEquation
    virtual void setDepthFunction(OX_GFX_COMPARE function) = 0;                              // glDepthFunc
    virtual void setColorMask(bool red, bool green, bool blue, bool alpha) = 0;              // glColorMask
    virtual void setCullFace(OX_GFX_CULL face) = 0;                                          // glCullFace
    virtual void setStencilFunction(OX_GFX_COMPARE function, int reference, uint32_t mask) = 0; // glStencilFunc
    virtual void setStencilOperation(OX_GFX_STENCIL_OP fail, OX_GFX_STENCIL_OP depthFail, OX_GFX_STENCIL_OP pass,
                                     uint32_t writeMask) = 0;                                // glStencilOp, glStencilMask

    // glLightfv for the slot the device gives this light; glEnable(GL_LIGHTi) through the
    // state. A device with fewer slots than lights on ignores the extra ones.
    virtual void setLight(const oxLightParameters& light) = 0;
    virtual void setLightState(const void* lightId, bool on) = 0;
    virtual void setColor(const oxVec4f& color) = 0;                                         // glColor4fv
    virtual void setMaterial(const oxMaterialParameters& material) = 0;                      // glMaterialfv, glColorMaterial

    // glMatrixMode + glLoadMatrixf (row-vector matrices are exactly GL's column-major
    // layout); TEXTURE and TEXGEN per unit (texture-generation planes are the columns).
    virtual void setMatrix(OX_GFX_MATRIX mode, int unit, const oxMatrix44f& m) = 0;
    // The world-to-eye matrix that places lights given in world space.
    virtual void setViewMatrix(const oxMatrix44f& m) = 0;
    // Matrices that blend skinned vertices (done by the device, on the host if it must).
    virtual void setBlendMatrices(const oxMatrix44f* matrices, int count) = 0;
    virtual void setViewport(const oxViewport& viewport) = 0;                                // glViewport, glDepthRange
    // glClipPlane in the space of `modelView`, glEnable(GL_CLIP_PLANEi); a zero plane
    // disables the unit.
    virtual void setClipPlane(int unit, const oxVec4f& plane, const oxMatrix44f& modelView) = 0;
    // glClearColor, glClearDepth, glClearStencil, then glClear of `buffers` (OX_GFX_CLEAR
    // bits; none: the values are only set).
    virtual void clear(uint32_t buffers, const oxClearValues& values) = 0;

    // Creates or refreshes the device copy of a texture (glTexImage2D per level) unbound.
    virtual void loadTexture(const oxTextureDescription& texture) = 0;
    // glActiveTexture + glBindTexture, loading first when needed; null unbinds the unit.
    virtual void bindTexture(int unit, const oxTextureDescription* texture) = 0;
    virtual void unloadTexture(const void* textureId) = 0;                                   // glDeleteTextures
    virtual void setTextureFunction(int unit, const oxTextureFunctionParameters& function) = 0; // glTexEnvi
    virtual void setTextureConstant(int unit, const oxVec4f& value) = 0;                     // GL_TEXTURE_ENV_COLOR
    // glClientActiveTexture set for SET, glTexGeni otherwise. A set of -1 is the unit's own.
    virtual void setTextureCoordSource(int unit, OX_GFX_TEXCOORD_SOURCE source, int set) = 0;
    virtual void setTextureLod(int unit, float bias, float minLod, float maxLod) = 0;        // sampler LOD settings

    // Components of geometry the device uses (oxVertexFormat bits; the rest are ignored, so
    // that geometry without colours takes the current colour).
    virtual void setGeometryMask(uint32_t formatMask) = 0;
    // The frame time in nanoseconds, for devices that animate.
    virtual void setTime(int64_t time) = 0;

    // glVertexPointer and siblings, then glDrawArrays / glDrawElements per primitive. An
    // invalid description is refused with a warning.
    virtual void drawGeometry(const oxDrawDescription& draw) = 0;
    // drawGeometry with vertices displaced by weighted morph targets, blended by the device:
    // false, having drawn nothing, when it does not blend these (the caller then blends on
    // the host and draws the result). The base class blends nothing.
    virtual bool drawMorphedGeometry(const oxDrawDescription& draw, const oxMorphStream* streams, int streamCount);

    // Display lists (glGenLists, glNewList GL_COMPILE, glEndList, glCallList,
    // glDeleteLists). create gives a handle, negative on failure; begin and end return
    // whether recording started and ended cleanly; while recording, state and draw calls
    // and list calls are recorded, not executed.
    virtual int createDisplayList() = 0;
    virtual bool beginDisplayList(int handle) = 0;
    virtual bool endDisplayList() = 0;
    virtual bool callDisplayList(int handle) = 0;
    virtual bool deleteDisplayList(int handle) = 0;

    // Creates or resizes an off-screen target (glGenFramebuffers, glFramebufferTexture2D)
    // without drawing into it.
    virtual void prepareRenderDestination(const oxRenderDestinationDescription& destination) = 0;
    // glBindFramebuffer; null is the frame buffer.
    virtual void setRenderDestination(const oxRenderDestinationDescription* destination) = 0;
    // glReadPixels of the current target into `image` (RGBA8, bottom row of the target last).
    virtual bool readPixels(int x, int y, int width, int height, oxImage* image) = 0;

    // The current settings, from which default attributes refresh themselves.
    virtual oxViewport getViewport() const = 0;
    virtual oxMatrix44f getProjectionMatrix() const = 0;
    virtual oxClearValues getClearValues() const = 0;

    void userRelease() override;

protected:
    oxVisualContext() = default;
};

// The current device, or null.
oxVisualContext* findVisualContext();

} // namespace Kel::Gfx

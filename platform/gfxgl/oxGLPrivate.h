#pragma once
// What the source files of the OpenGL device share: the GL headers, the entry points beyond
// GL 1.1 (resolved through eglGetProcAddress, so that nothing depends on what the GL
// library happens to export), the device's own state, and its resources.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <array>
#include <bitset>
#include <functional>
#include <vector>

#include "platform/gfx/oxVertexArray2.h"
#include "platform/gfxgl/oxGLVisualContext.h"

namespace Kel::Gfx {

#define OX_GL_FUNCTIONS(X)                                                   \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                                 \
    X(PFNGLCLIENTACTIVETEXTUREARBPROC, ClientActiveTexture)                  \
    X(PFNGLBLENDEQUATIONPROC, BlendEquation)                                 \
    X(PFNGLSECONDARYCOLORPOINTERPROC, SecondaryColorPointer)                 \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                             \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                       \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                             \
    X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)                             \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                   \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)             \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)               \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                           \
    X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                     \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                           \
    X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)                     \
    X(PFNGLGENERATEMIPMAPPROC, GenerateMipmap)                               \
    X(PFNGLCREATESHADERPROC, CreateShader)                                   \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                                   \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                                 \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                                     \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                           \
    X(PFNGLDELETESHADERPROC, DeleteShader)                                   \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                                 \
    X(PFNGLATTACHSHADERPROC, AttachShader)                                   \
    X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation)                       \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                                     \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                   \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                         \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                                 \
    X(PFNGLUSEPROGRAMPROC, UseProgram)                                       \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                       \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                                         \
    X(PFNGLUNIFORM1IVPROC, Uniform1iv)                                       \
    X(PFNGLUNIFORMMATRIX4FVPROC, UniformMatrix4fv)                           \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                     \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)             \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, DisableVertexAttribArray)          \
    X(PFNGLUNIFORM1FVPROC, Uniform1fv)                                       \
    X(PFNGLGENBUFFERSPROC, GenBuffers)                                       \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                                 \
    X(PFNGLBINDBUFFERPROC, BindBuffer)                                       \
    X(PFNGLBUFFERDATAPROC, BufferData)                                       \
    X(PFNGLBUFFERSUBDATAPROC, BufferSubData)                                 \
    X(PFNGLTEXBUFFERPROC, TexBuffer)

// The entry points, one set per process (GL dispatch does not depend on the context).
struct oxGLFunctions {
#define OX_GL_MEMBER_(Type, Name) Type Name = nullptr;
    OX_GL_FUNCTIONS(OX_GL_MEMBER_)
#undef OX_GL_MEMBER_
    // Resolves every entry point; false (naming the first missing one) when one is missing.
    bool load(const char** missing);
};
extern oxGLFunctions oxGL;

inline constexpr int kGLMaxUnits = 8;
inline constexpr int kGLMaxLights = 8;
inline constexpr int kGLMaxClipPlanes = 8;
// Matrix indices of blended vertices are bytes: the palette every path honours.
inline constexpr int kGLPaletteSize = 256;
// Weights (and indices) per vertex the blending program reads: one generic attribute each.
inline constexpr int kGLProgramMaxWeights = 4;

// GL enumerants for the device's enumerations.
GLenum oxGLCompare(OX_GFX_COMPARE c);
GLenum oxGLBlendFactor(OX_GFX_BLEND_FACTOR f);
GLenum oxGLBlendEquation(OX_GFX_BLEND_EQUATION e);
GLenum oxGLStencilOp(OX_GFX_STENCIL_OP op);
GLenum oxGLPrimitive(OX_GFX_DRAW type);
GLenum oxGLWrap(OX_GFX_WRAP w);
GLenum oxGLFilter(OX_GFX_FILTER f);
// GL_COMBINE_RGB modes, then GL_DECAL and GL_BLEND for the two texture-environment modes.
GLenum oxGLCombine(OX_GFX_TEXFUNC f);
GLenum oxGLCombineSource(OX_GFX_TEXARG a);
// GL_NONE for no colour material.
GLenum oxGLColorMaterial(OX_GFX_COLOR_MATERIAL m);
GLenum oxGLCullFace(OX_GFX_CULL face);
// What the functions above give for a value outside their enumeration.
inline constexpr GLenum kGLNoEnum = 0xFFFFFFFFu;

struct oxGLUnitState {
    bool texturing = false;
    const void* textureId = nullptr;  // what the unit samples
    GLenum textureTarget = GL_TEXTURE_2D;
    GLenum enabledTarget = 0;         // the target glEnable'd on the unit, 0 for none
    OX_GFX_TEXCOORD_SOURCE source = OX_GFX_TEXCOORD_SET;
    int set = 0;
    bool matrixOn = false;
    oxMatrix44f matrix;
    oxMatrix44f texGen;
    float minLod = -1000.0f;
    float maxLod = 1000.0f;
};

struct oxGLLightSlot {
    const void* id = nullptr;
    bool on = false;
    oxLightParameters parameters;
};

// What the device keeps beside GL's own state: what its getters answer and what decides
// the GL calls it makes later. While a list is recorded it changes as if the calls ran, and
// goes back to what it was when the recording ends.
struct oxGLState {
    oxViewport viewport;
    oxMatrix44f projection;
    oxClearValues clearValues;
    oxMatrix44f view;
    oxVec4f color{1, 1, 1, 1};
    uint32_t geometryMask = 0xFFFFFFFFu;
    bool clipping = true;
    uint32_t clipPlanesSet = 0;  // bit per unit
    bool vertexBlend = false;
    std::vector<oxMatrix44f> blendMatrices;
    // A new number, never used before, whenever blendMatrices changes: the blending program's
    // palette is uploaded again only when it differs from the one uploaded last.
    uint64_t blendVersion = 1;
    // Switches the blending program cannot read from GL's built-in state.
    bool lighting = false;
    bool normalize = false;
    GLenum colorMaterial = GL_NONE;
    int64_t time = 0;
    std::array<oxGLLightSlot, kGLMaxLights> lights;
    std::array<oxGLUnitState, kGLMaxUnits> units;
};

// The next blendVersion; numbers are unique in the process, so that a palette restored at the
// end of a recording or replayed from a list never passes for one uploaded before.
uint64_t oxGLNextBlendVersion();

// One step of a recorded list: a change of the device's state, or a call of another list.
struct oxGLList {
    struct Step {
        std::function<void(oxGLState&)> effect;
        int call = -1;
    };
    std::vector<Step> steps;
};

// A texture's device copy and what it was loaded from.
struct oxGLTexture {
    GLuint name = 0;
    GLenum target = GL_TEXTURE_2D;
    bool loaded = false;
    bool renderTarget = false;  // its pixels are drawn by the device, not loaded from images
    uint32_t version = 0;
    std::vector<std::pair<const oxImage*, uint32_t>> images;
};

// An off-screen target: a frame buffer object with a texture attached.
struct oxGLTarget {
    GLuint frameBuffer = 0;
    GLuint depthBuffer = 0;
    const void* textureId = nullptr;
    uint32_t version = 0;
    int width = 0;
    int height = 0;
    bool depth = false;
};

// Morph slots the program adds per component (positions, normals); a draw with more active
// slots is blended on the host.
inline constexpr int kGLMorphSlots = 64;

// The morph variant of the blending program also reads these: the targets of the positions
// and of the normals as buffer textures on the two units after the fixed-function ones.
struct oxGLMorphUniforms {
    GLint counts = -1, base = -1, strides = -1, weights = -1, targets = -1, positions = -1, normals = -1;
};

// The vertex program that blends skinned vertices on the GPU and then does what the
// fixed-function vertex stage does for the device's state; the fragment stage stays fixed
// function. Made at the first blended draw; `failed` when it did not compile or link, after
// which every blended draw takes the host path.
struct oxGLBlendProgram {
    // Generic attribute locations of the weights and the palette indices (0 aliases the
    // position in the compatibility profile).
    static constexpr GLuint kWeightLocation = 6;
    static constexpr GLuint kIndexLocation = 7;
    // What ox_config holds, per draw.
    enum Config { kWeights, kIndices, kNormals, kLighting, kLights, kNormalize, kColorMaterial, kTexUnits, kConfigCount };

    GLuint program = 0;
    bool failed = false;
    GLint paletteLocation = -1;
    GLint paletteCountLocation = -1;
    GLint configLocation = -1;
    // What GL's uniforms hold outside lists: the palette of this blendVersion (0: unknown)
    // and the configuration, valid when `configKnown`.
    uint64_t uploadedVersion = 0;
    bool configKnown = false;
    std::array<GLint, kConfigCount> config{};
    // Palette entries the list being recorded changed itself: uploaded from within the list
    // before its next blended draw or list call, so that the list brings its own matrices
    // and takes the caller's for the rest.
    std::bitset<kGLPaletteSize> listChanged;
    bool listCountChanged = false;
    oxGLMorphUniforms morph;
};

// A list of morph targets copied to the device, one after another (`stride` elements each,
// three floats per element), with the targets and versions it was copied from: held, so
// that a target's address cannot pass for another's while the copy lives.
struct oxGLMorphTargets {
    GLuint buffer = 0, texture = 0;
    int stride = 0;
    std::vector<Core::oxSmartPointer<oxVertexData>> targets;
    std::vector<uint32_t> versions;
    uint64_t lastUse = 0;
};

// What a morphed draw sets after making the program current: per stream (positions,
// normals), its slots and the device copy of its targets.
struct oxGLMorphDraw {
    oxGLBlendProgram* program = nullptr;
    int base = 0;
    std::array<GLint, 2> counts{}, strides{};
    std::array<GLuint, 2> textures{};
    std::array<float, 2 * kGLMorphSlots> weights{};
    std::array<GLint, 2 * kGLMorphSlots> targets{};
};

// Test hook: when set, the source the blending program is compiled from.
extern const char* oxGLBlendProgramSourceOverride;

// The client side of drawing: which arrays are on, and room for vertices the device has to
// convert or blend itself.
struct oxGLDraw {
    bool vertexArray = false;
    bool normalArray = false;
    bool colorArray = false;
    bool secondaryArray = false;
    std::array<bool, kGLMaxUnits> texCoordArrays{};
    int clientUnit = 0;
    // Blended vertices, and streams converted to what GL reads.
    std::vector<float> positions, normals;
    std::vector<float> convertedPositions, convertedNormals, convertedColors, convertedSecondary;
    std::array<std::vector<float>, kGLMaxUnits> convertedTexCoords;

    // With `morph`, its program draws the vertices displaced by its targets.
    void draw(oxGLVisualContext& vc, const oxDrawDescription& d, const oxGLMorphDraw* morph = nullptr);

private:
    void enable(GLenum array, bool& on, bool want);
    void enableTexCoords(int unit, bool want);
    void selectClientUnit(int unit);
    void blend(const oxGLState& s, oxVertexArrayBase* v, int first, int count, bool withNormals);
    // Points the program's weight and index attributes at the vertices from `first` on.
    void bindBlendAttributes(oxVertexArrayBase* v, int first);
    void unbindBlendAttributes();
};


inline void oxGLSet(GLenum capability, bool on)
{
    if (on)
        glEnable(capability);
    else
        glDisable(capability);
}

template <class F>
void oxGLVisualContext::change(F&& effect)
{
    effect(*_state);
    if (_recording >= 0)
        _lists[_recording]->steps.push_back({std::function<void(oxGLState&)>(std::forward<F>(effect)), -1});
}

template <class F>
void oxGLVisualContext::outsideList(F&& work)
{
    if (_recording >= 0)
        _afterList.emplace_back(std::forward<F>(work));
    else
        work();
}

} // namespace Kel::Gfx

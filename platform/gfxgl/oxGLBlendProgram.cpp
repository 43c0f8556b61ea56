// Vertex blending on the GPU: the program, its uniforms, and how it meets display lists.
//
// Uniforms and glUseProgram are compiled into a display list like any other state change,
// while making the program (shaders, linking, uniform locations) runs at once even while a
// list is recorded. So a list holds the program's use, its switches and the palette entries
// the list sets itself; the caller's palette is uploaded before the list is called.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/core/oxOutput.h"
#include "platform/gfxgl/oxGLPrivate.h"

namespace Kel::Gfx {

const char* oxGLBlendProgramSourceOverride = nullptr;

uint64_t oxGLNextBlendVersion()
{
    static uint64_t last = 1;
    return ++last;
}

namespace {
static_assert(sizeof(oxMatrix44f) == 16 * sizeof(float), "palettes are uploaded as they lie");
static_assert(kGLPaletteSize == 256, "the device's declaration of uploadPalette names the palette size");

// The light model the device sets (separate specular, infinite viewer, one-sided) is the one
// written out here; the device uses no fog, so no fog coordinate is written. ox_config is laid out as oxGLBlendProgram::Config. Lights and
// texture units are written out one by one with constant indices, and the weight loop has a
// constant bound: indexing built-in arrays by a variable costs a software rasteriser dearly.
constexpr const char* kProgramHead = R"(VERSION
uniform mat4 ox_palette[PALETTE];
uniform int ox_paletteCount;
uniform int ox_config[8];
in vec4 ox_weights;
in vec4 ox_indices;
MORPH_DECLARATIONS
mat4 blendMatrix(int k)
{
    int i = k < ox_config[1] ? int(ox_indices[k]) : k;
    return i < ox_paletteCount ? ox_palette[i] : mat4(1.0);
}

vec3 pointOf(vec4 p)
{
    return p.w != 1.0 && p.w != 0.0 ? p.xyz / p.w : p.xyz;
}

void addLight(gl_LightSourceParameters light, vec3 v, vec3 e, vec3 ambient, vec3 diffuse, vec3 specular,
              float shininess, inout vec3 primary, inout vec3 secondary)
{
    vec3 l;
    float factor = 1.0;
    if (light.position.w != 0.0) {
        vec3 d = light.position.xyz / light.position.w - v;
        float distance = length(d);
        l = d / distance;
        factor = 1.0 / (light.constantAttenuation + light.linearAttenuation * distance +
                        light.quadraticAttenuation * distance * distance);
    } else {
        l = normalize(light.position.xyz);
    }
    if (light.spotCutoff != 180.0) {
        float c = dot(-l, normalize(light.spotDirection));
        float x = light.spotExponent;
        factor *= c < light.spotCosCutoff ? 0.0 : x == 0.0 ? 1.0 : pow(c, x);
    }
    float nl = max(dot(e, l), 0.0);
    primary += factor * (ambient * light.ambient.rgb + nl * diffuse * light.diffuse.rgb);
    if (nl > 0.0) {
        float nh = max(dot(e, normalize(l + vec3(0.0, 0.0, 1.0))), 0.0);
        float highlight = shininess == 0.0 ? 1.0 : pow(nh, shininess);
        secondary += factor * highlight * specular * light.specular.rgb;
    }
}

void main()
{
    vec4 position = vec4(gl_Vertex.xyz, 1.0);
    vec3 inNormal = gl_Normal;
MORPH_DISPLACEMENTS    vec3 normal = inNormal;
    vec4 weights = ox_weights * vec4(lessThan(ivec4(0, 1, 2, 3), ivec4(ox_config[0])));
    vec3 p = vec3(0.0), n = vec3(0.0);
    for (int k = 0; k < 4; ++k) {
        if (weights[k] != 0.0) {
            mat4 m = blendMatrix(k);
            p += pointOf(m * position) * weights[k];
            n += mat3(m) * normal * weights[k];
        }
    }
    // Weights that add up to nothing leave the vertex as it is, as on the host.
    if (dot(weights, vec4(1.0)) != 0.0) {
        position = vec4(p, 1.0);
        normal = n;
    }
    if (ox_config[2] != 0)
        normal = normalize(normal);
    else
        normal = inNormal;

    vec4 eye = gl_ModelViewMatrix * position;
    gl_Position = gl_ProjectionMatrix * eye;
    gl_ClipVertex = eye;

    if (ox_config[3] == 0) {
        gl_FrontColor = gl_Color;
        gl_FrontSecondaryColor = gl_SecondaryColor;
    } else {
        vec3 e = gl_NormalMatrix * normal;
        if (ox_config[5] != 0)
            e = normalize(e);
        int cm = ox_config[6];
        vec4 emission = cm == 5 ? gl_Color : gl_FrontMaterial.emission;
        vec4 ambient = cm == 1 || cm == 3 ? gl_Color : gl_FrontMaterial.ambient;
        vec4 diffuse = cm == 2 || cm == 3 ? gl_Color : gl_FrontMaterial.diffuse;
        vec4 specular = cm == 4 ? gl_Color : gl_FrontMaterial.specular;
        float shininess = gl_FrontMaterial.shininess;
        vec3 primary = emission.rgb + ambient.rgb * gl_LightModel.ambient.rgb;
        vec3 secondary = vec3(0.0);
        vec3 v = eye.xyz / eye.w;
)";

// Buffer textures need GLSL 1.40; the compatibility profile keeps the built-in state the
// program reads. ox_morphCount, ox_morphStride: positions then normals; slot j of normals
// is entry MORPH_SLOTS + j. The morphed element of a vertex is that of the first vertex of
// the draw (ox_morphBase) plus gl_VertexID, as the arrays are pointed at the first vertex.
constexpr const char* kMorphDeclarations = R"(uniform samplerBuffer ox_morphPositions;
uniform samplerBuffer ox_morphNormals;
uniform int ox_morphCount[2];
uniform int ox_morphStride[2];
uniform int ox_morphBase;
uniform float ox_morphWeight[2 * MORPH_SLOTS];
uniform int ox_morphTarget[2 * MORPH_SLOTS];
)";
constexpr const char* kMorphDisplacements = R"(    int vertex = ox_morphBase + gl_VertexID;
    for (int j = 0; j < ox_morphCount[0]; ++j)
        position.xyz += ox_morphWeight[j] *
                        texelFetch(ox_morphPositions, ox_morphTarget[j] * ox_morphStride[0] + vertex).xyz;
    for (int j = 0; j < ox_morphCount[1]; ++j)
        inNormal += ox_morphWeight[MORPH_SLOTS + j] *
                    texelFetch(ox_morphNormals, ox_morphTarget[MORPH_SLOTS + j] * ox_morphStride[1] + vertex).xyz;
)";

void replaceAll(std::string& s, const std::string& what, const std::string& with)
{
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + with.size()))
        s.replace(at, what.size(), with);
}

std::string programSource(int unitCount, int lightCount, bool morph)
{
    std::string s = kProgramHead;
    replaceAll(s, "VERSION", morph ? "#version 150 compatibility" : "#version 130");
    replaceAll(s, "MORPH_DECLARATIONS", morph ? kMorphDeclarations : "");
    replaceAll(s, "MORPH_DISPLACEMENTS", morph ? kMorphDisplacements : "");
    replaceAll(s, "MORPH_SLOTS", std::to_string(kGLMorphSlots));
    s.replace(s.find("PALETTE"), 7, std::to_string(kGLPaletteSize));
    for (int i = 0; i < lightCount; ++i) {
        const std::string at = std::to_string(i);
        s += "        if ((ox_config[4] & " + std::to_string(1 << i) + ") != 0)\n            addLight(gl_LightSource[" +
             at + "], v, e, ambient.rgb, diffuse.rgb, specular.rgb, shininess, primary, secondary);\n";
    }
    s += "        gl_FrontColor = vec4(clamp(primary, 0.0, 1.0), clamp(diffuse.a, 0.0, 1.0));\n"
         "        gl_FrontSecondaryColor = vec4(clamp(secondary, 0.0, 1.0), 0.0);\n"
         "    }\n";
    for (int u = 0; u < unitCount; ++u) {
        const std::string at = std::to_string(u);
        s += "    if ((ox_config[7] & " + std::to_string(1 << u) + ") != 0)\n        gl_TexCoord[" + at +
             "] = gl_TextureMatrix[" + at + "] * gl_MultiTexCoord" + at + ";\n";
    }
    s += "}\n";
    return s;
}

// The first line of a shader's or program's log, for the warning.
std::string firstLine(GLuint object, bool program)
{
    GLint length = 0;
    if (program)
        oxGL.GetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    else
        oxGL.GetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    std::string log(size_t(std::max(length, 1)), '\0');
    if (program)
        oxGL.GetProgramInfoLog(object, GLsizei(log.size()), nullptr, log.data());
    else
        oxGL.GetShaderInfoLog(object, GLsizei(log.size()), nullptr, log.data());
    log.resize(std::strlen(log.c_str()));
    size_t end = log.find('\n');
    return end == std::string::npos ? log : log.substr(0, end);
}

// Colour-material modes by the material parameter they track, as the program numbers them.
GLint colorMaterialCode(GLenum tracked)
{
    switch (tracked) {
    case GL_AMBIENT: return 1;
    case GL_DIFFUSE: return 2;
    case GL_AMBIENT_AND_DIFFUSE: return 3;
    case GL_SPECULAR: return 4;
    case GL_EMISSION: return 5;
    default: return 0;
    }
}
} // namespace

bool oxGLVisualContext::hasVertexBlendProgram() const
{
    return _blendProgram && _blendProgram->program && !_blendProgram->failed;
}

bool oxGLVisualContext::hasMorphProgram() const
{
    return _morphProgram && _morphProgram->program && !_morphProgram->failed;
}

oxGLBlendProgram* oxGLVisualContext::blendProgramFor(const oxVertexArrayBase* v, bool morph)
{
    if (!_gpuVertexBlending)
        return nullptr;
    // What the program does not reproduce: more weights or indices than one attribute holds
    // (4; the host blends up to 15), and generated texture coordinates on a unit the draw
    // textures with, which fixed function would compute from the blended vertex.
    oxVertexFormat format = v->getFormat();
    if (format.getBlendWeightCount() > kGLProgramMaxWeights || format.getBlendIndexCount() > kGLProgramMaxWeights)
        return nullptr;
    for (int u = 0; u < _unitCount; ++u) {
        const oxGLUnitState& unit = _state->units[size_t(u)];
        if (unit.enabledTarget && unit.source != OX_GFX_TEXCOORD_SET)
            return nullptr;
    }
    std::unique_ptr<oxGLBlendProgram>& slot = morph ? _morphProgram : _blendProgram;
    if (!slot)
        slot = std::make_unique<oxGLBlendProgram>();
    oxGLBlendProgram& p = *slot;
    if (p.failed)
        return nullptr;
    if (p.program)
        return &p;

    const std::string source = programSource(_unitCount, _lightCount, morph);
    const char* text = oxGLBlendProgramSourceOverride ? oxGLBlendProgramSourceOverride : source.c_str();
    GLuint shader = oxGL.CreateShader(GL_VERTEX_SHADER);
    oxGL.ShaderSource(shader, 1, &text, nullptr);
    oxGL.CompileShader(shader);
    GLint ok = GL_FALSE;
    oxGL.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    std::string problem;
    if (!ok)
        problem = "does not compile: " + firstLine(shader, false);
    GLuint program = 0;
    if (ok) {
        program = oxGL.CreateProgram();
        oxGL.AttachShader(program, shader);
        oxGL.BindAttribLocation(program, oxGLBlendProgram::kWeightLocation, "ox_weights");
        oxGL.BindAttribLocation(program, oxGLBlendProgram::kIndexLocation, "ox_indices");
        oxGL.LinkProgram(program);
        oxGL.GetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok)
            problem = "does not link: " + firstLine(program, true);
    }
    oxGL.DeleteShader(shader);
    if (ok) {
        p.paletteLocation = oxGL.GetUniformLocation(program, "ox_palette");
        p.paletteCountLocation = oxGL.GetUniformLocation(program, "ox_paletteCount");
        p.configLocation = oxGL.GetUniformLocation(program, "ox_config");
        if (p.paletteLocation < 0 || p.paletteCountLocation < 0 || p.configLocation < 0) {
            ok = GL_FALSE;
            problem = "lacks its uniforms";
        }
    }
    if (ok && morph) {
        oxGLMorphUniforms& u = p.morph;
        u.counts = oxGL.GetUniformLocation(program, "ox_morphCount");
        u.strides = oxGL.GetUniformLocation(program, "ox_morphStride");
        u.base = oxGL.GetUniformLocation(program, "ox_morphBase");
        u.weights = oxGL.GetUniformLocation(program, "ox_morphWeight");
        u.targets = oxGL.GetUniformLocation(program, "ox_morphTarget");
        u.positions = oxGL.GetUniformLocation(program, "ox_morphPositions");
        u.normals = oxGL.GetUniformLocation(program, "ox_morphNormals");
        if (u.counts < 0 || u.strides < 0 || u.base < 0 || u.weights < 0 || u.targets < 0 || u.positions < 0 ||
            u.normals < 0) {
            ok = GL_FALSE;
            problem = "lacks its morph uniforms";
        } else {
            // The samplers never change: the two units after the fixed-function ones.
            oxGL.UseProgram(program);
            oxGL.Uniform1i(u.positions, kGLMaxUnits);
            oxGL.Uniform1i(u.normals, kGLMaxUnits + 1);
            oxGL.UseProgram(0);
        }
    }
    if (!ok) {
        if (program)
            oxGL.DeleteProgram(program);
        p.failed = true;
        Core::oxReportWarning("oxGLVisualContext: the vertex %s program %s; %s vertices are blended on the host",
                              morph ? "morphing" : "blending", problem.c_str(), morph ? "morphed" : "skinned");
        return nullptr;
    }
    p.program = program;
    return &p;
}

void oxGLVisualContext::uploadPalette(const oxGLBlendProgram& p, const std::bitset<kGLPaletteSize>* only)
{
    const std::vector<oxMatrix44f>& m = _state->blendMatrices;
    const int count = int(m.size());
    if (!only) {
        if (count)
            oxGL.UniformMatrix4fv(p.paletteLocation, count, GL_FALSE, m.front().data());
    } else {
        // Runs of changed entries, one call each; entries past the count are not read.
        for (int i = 0; i < count;) {
            if (!(*only)[size_t(i)]) {
                ++i;
                continue;
            }
            int end = i;
            while (end < count && (*only)[size_t(end)])
                ++end;
            oxGL.UniformMatrix4fv(p.paletteLocation + i, end - i, GL_FALSE, m[size_t(i)].data());
            i = end;
        }
    }
    oxGL.Uniform1i(p.paletteCountLocation, count);
}

void oxGLVisualContext::markPaletteChanged(int unit)
{
    if (_recording < 0)
        return;
    // The program may be made later in the same recording.
    if (!_blendProgram)
        _blendProgram = std::make_unique<oxGLBlendProgram>();
    if (unit < 0)
        _blendProgram->listChanged.set();
    else
        _blendProgram->listChanged.set(size_t(unit));
    _blendProgram->listCountChanged = true;
}

void oxGLVisualContext::compileListPalette(oxGLBlendProgram& p)
{
    if (!p.listCountChanged)
        return;
    uploadPalette(p, &p.listChanged);
    p.listChanged.reset();
    p.listCountChanged = false;
}

void oxGLVisualContext::beginBlendProgram(oxGLBlendProgram& p, const oxVertexArrayBase* v, bool normals)
{
    const oxGLState& s = *_state;
    std::array<GLint, oxGLBlendProgram::kConfigCount> config{};
    oxVertexStream indices = v->getStream(OX_GFX_COMPONENT_BLEND_INDEX);
    config[oxGLBlendProgram::kWeights] = v->getStream(OX_GFX_COMPONENT_BLEND_WEIGHT).scalarCount;
    config[oxGLBlendProgram::kIndices] = indices.isValid() ? indices.scalarCount : 0;
    config[oxGLBlendProgram::kNormals] = normals;
    config[oxGLBlendProgram::kLighting] = s.lighting;
    for (int i = 0; i < _lightCount; ++i)
        if (s.lights[size_t(i)].id && s.lights[size_t(i)].on)
            config[oxGLBlendProgram::kLights] |= 1 << i;
    config[oxGLBlendProgram::kNormalize] = s.normalize;
    config[oxGLBlendProgram::kColorMaterial] = colorMaterialCode(s.colorMaterial);
    for (int u = 0; u < _unitCount; ++u)
        if (s.units[size_t(u)].enabledTarget)
            config[oxGLBlendProgram::kTexUnits] |= 1 << u;

    oxGL.UseProgram(p.program);
    if (_recording >= 0) {
        // Compiled into the list: what GL's uniforms hold outside it stays as it was.
        compileListPalette(p);
        oxGL.Uniform1iv(p.configLocation, GLsizei(config.size()), config.data());
    } else {
        if (p.uploadedVersion != s.blendVersion) {
            uploadPalette(p, nullptr);
            p.uploadedVersion = s.blendVersion;
        }
        if (!p.configKnown || p.config != config) {
            oxGL.Uniform1iv(p.configLocation, GLsizei(config.size()), config.data());
            p.config = config;
            p.configKnown = true;
        }
    }
    // Fixed function adds the separate specular colour by itself only without a program.
    if (s.lighting)
        glEnable(GL_COLOR_SUM);
}

void oxGLVisualContext::endBlendProgram()
{
    if (_state->lighting)
        glDisable(GL_COLOR_SUM);
    oxGL.UseProgram(0);
}

void oxGLVisualContext::deleteBlendProgram()
{
    for (std::unique_ptr<oxGLBlendProgram>* p : {&_blendProgram, &_morphProgram}) {
        if (*p && (*p)->program)
            oxGL.DeleteProgram((*p)->program);
        p->reset();
    }
}

} // namespace Kel::Gfx

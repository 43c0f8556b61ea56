#include "platform/core/oxEnumTable.h"
#include "platform/gfxgl/oxGLPrivate.h"

namespace Kel::Gfx {

oxGLFunctions oxGL;

bool oxGLFunctions::load(const char** missing)
{
#define OX_GL_LOAD_(Type, Name)                                                   \
    Name = reinterpret_cast<Type>(eglGetProcAddress("gl" #Name));                 \
    if (!Name) {                                                                  \
        *missing = "gl" #Name;                                                    \
        return false;                                                             \
    }
    OX_GL_FUNCTIONS(OX_GL_LOAD_)
#undef OX_GL_LOAD_
    return true;
}

// Each device enumeration to its GL enumerant, row by row: the rows name their keys, so
// their order means nothing, and a value the device adds without a row here comes out as
// kGLNoEnum, which the callers report.
namespace {
using Core::oxMakeEnumTable;
} // namespace

GLenum oxGLCompare(OX_GFX_COMPARE c)
{
    static constexpr auto kTable = oxMakeEnumTable<OX_GFX_COMPARE, GLenum>({
        {OX_GFX_COMPARE_NEVER, GL_NEVER},
        {OX_GFX_COMPARE_LESS, GL_LESS},
        {OX_GFX_COMPARE_EQUAL, GL_EQUAL},
        {OX_GFX_COMPARE_LESS_EQUAL, GL_LEQUAL},
        {OX_GFX_COMPARE_GREATER, GL_GREATER},
        {OX_GFX_COMPARE_NOT_EQUAL, GL_NOTEQUAL},
        {OX_GFX_COMPARE_GREATER_EQUAL, GL_GEQUAL},
        {OX_GFX_COMPARE_ALWAYS, GL_ALWAYS},
    });
    return kTable.get(c, kGLNoEnum);
}

GLenum oxGLBlendFactor(OX_GFX_BLEND_FACTOR f)
{
    static constexpr auto kTable = oxMakeEnumTable<OX_GFX_BLEND_FACTOR, GLenum>({
        {OX_GFX_BLEND_ZERO, GL_ZERO},
        {OX_GFX_BLEND_ONE, GL_ONE},
        {OX_GFX_BLEND_SRC_COLOR, GL_SRC_COLOR},
        {OX_GFX_BLEND_ONE_MINUS_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR},
        {OX_GFX_BLEND_SRC_ALPHA, GL_SRC_ALPHA},
        {OX_GFX_BLEND_ONE_MINUS_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
        {OX_GFX_BLEND_DST_COLOR, GL_DST_COLOR},
        {OX_GFX_BLEND_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_DST_COLOR},
        {OX_GFX_BLEND_DST_ALPHA, GL_DST_ALPHA},
        {OX_GFX_BLEND_ONE_MINUS_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA},
        {OX_GFX_BLEND_SRC_ALPHA_SATURATE, GL_SRC_ALPHA_SATURATE},
        {OX_GFX_BLEND_CONSTANT_COLOR, GL_CONSTANT_COLOR},
        {OX_GFX_BLEND_ONE_MINUS_CONSTANT_COLOR, GL_ONE_MINUS_CONSTANT_COLOR},
        {OX_GFX_BLEND_CONSTANT_ALPHA, GL_CONSTANT_ALPHA},
        {OX_GFX_BLEND_ONE_MINUS_CONSTANT_ALPHA, GL_ONE_MINUS_CONSTANT_ALPHA},
    });
    return kTable.get(f, kGLNoEnum);
}

GLenum oxGLBlendEquation(OX_GFX_BLEND_EQUATION e)
{
    static constexpr auto kTable = oxMakeEnumTable<OX_GFX_BLEND_EQUATION, GLenum>({
        {OX_GFX_BLEND_ADD, GL_FUNC_ADD},
        {OX_GFX_BLEND_REVERSE_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT},
        {OX_GFX_BLEND_SUBTRACT, GL_FUNC_SUBTRACT},
        {OX_GFX_BLEND_MIN, GL_MIN},
        {OX_GFX_BLEND_MAX, GL_MAX},
    });
    return kTable.get(e, kGLNoEnum);
}

GLenum oxGLStencilOp(OX_GFX_STENCIL_OP op)
{
    static constexpr auto kTable = oxMakeEnumTable<OX_GFX_STENCIL_OP, GLenum>({
        {OX_GFX_STENCIL_KEEP, GL_KEEP},
        {OX_GFX_STENCIL_ZERO, GL_ZERO},
        {OX_GFX_STENCIL_REPLACE, GL_REPLACE},
        {OX_GFX_STENCIL_INCR, GL_INCR},
        {OX_GFX_STENCIL_DECR, GL_DECR},
        {OX_GFX_STENCIL_INVERT, GL_INVERT},
        {OX_GFX_STENCIL_INCR_WRAP, GL_INCR_WRAP},
        {OX_GFX_STENCIL_DECR_WRAP, GL_DECR_WRAP},
    });
    return kTable.get(op, kGLNoEnum);
}

GLenum oxGLPrimitive(OX_GFX_DRAW type)
{
    static constexpr auto kTable = oxMakeEnumTable<OX_GFX_DRAW, GLenum>({
        {OX_GFX_DRAW_POINTS, GL_POINTS},
        {OX_GFX_DRAW_LINES, GL_LINES},
        {OX_GFX_DRAW_LINE_STRIPS, GL_LINE_STRIP},
        {OX_GFX_DRAW_TRIANGLES, GL_TRIANGLES},
        {OX_GFX_DRAW_TRIANGLE_STRIPS, GL_TRIANGLE_STRIP},
        {OX_GFX_DRAW_TRIANGLE_FANS, GL_TRIANGLE_FAN},
    });
    return kTable.get(type, kGLNoEnum);
}

GLenum oxGLWrap(OX_GFX_WRAP w)
{
    static constexpr auto kTable = oxMakeEnumTable<OX_GFX_WRAP, GLenum>({
        {OX_GFX_WRAP_CLAMP, GL_CLAMP_TO_EDGE},
        {OX_GFX_WRAP_REPEAT, GL_REPEAT},
        {OX_GFX_WRAP_MIRRORED_REPEAT, GL_MIRRORED_REPEAT},
    });
    return kTable.get(w, kGLNoEnum);
}

GLenum oxGLFilter(OX_GFX_FILTER f)
{
    static constexpr auto kTable = oxMakeEnumTable<OX_GFX_FILTER, GLenum>({
        {OX_GFX_FILTER_NEAREST, GL_NEAREST},
        {OX_GFX_FILTER_LINEAR, GL_LINEAR},
        {OX_GFX_FILTER_NEAREST_MIPMAP_NEAREST, GL_NEAREST_MIPMAP_NEAREST},
        {OX_GFX_FILTER_LINEAR_MIPMAP_NEAREST, GL_LINEAR_MIPMAP_NEAREST},
        {OX_GFX_FILTER_NEAREST_MIPMAP_LINEAR, GL_NEAREST_MIPMAP_LINEAR},
        {OX_GFX_FILTER_LINEAR_MIPMAP_LINEAR, GL_LINEAR_MIPMAP_LINEAR},
    });
    return kTable.get(f, kGLNoEnum);
}

GLenum oxGLCombine(OX_GFX_TEXFUNC f)
{
    static constexpr auto kTable = oxMakeEnumTable<OX_GFX_TEXFUNC, GLenum>({
        {OX_GFX_TEXFUNC_REPLACE, GL_REPLACE},
        {OX_GFX_TEXFUNC_MODULATE, GL_MODULATE},
        {OX_GFX_TEXFUNC_ADD, GL_ADD},
        {OX_GFX_TEXFUNC_ADD_SIGNED, GL_ADD_SIGNED},
        {OX_GFX_TEXFUNC_INTERPOLATE, GL_INTERPOLATE},
        {OX_GFX_TEXFUNC_SUBTRACT, GL_SUBTRACT},
        {OX_GFX_TEXFUNC_DOT3_RGB, GL_DOT3_RGB},
        {OX_GFX_TEXFUNC_DOT3_RGBA, GL_DOT3_RGBA},
        {OX_GFX_TEXFUNC_DECAL, GL_DECAL},
        {OX_GFX_TEXFUNC_BLEND, GL_BLEND},
    });
    return kTable.get(f, kGLNoEnum);
}

GLenum oxGLCombineSource(OX_GFX_TEXARG a)
{
    static constexpr auto kTable = oxMakeEnumTable<OX_GFX_TEXARG, GLenum>({
        {OX_GFX_TEXARG_TEXTURE, GL_TEXTURE},
        {OX_GFX_TEXARG_CONSTANT, GL_CONSTANT},
        {OX_GFX_TEXARG_PRIMARY_COLOR, GL_PRIMARY_COLOR},
        {OX_GFX_TEXARG_PREVIOUS, GL_PREVIOUS},
    });
    return kTable.get(a, kGLNoEnum);
}

GLenum oxGLColorMaterial(OX_GFX_COLOR_MATERIAL m)
{
    static constexpr auto kTable = oxMakeEnumTable<OX_GFX_COLOR_MATERIAL, GLenum>({
        {OX_GFX_COLOR_MATERIAL_NONE, GL_NONE},
        {OX_GFX_COLOR_MATERIAL_AMBIENT_AND_DIFFUSE, GL_AMBIENT_AND_DIFFUSE},
        {OX_GFX_COLOR_MATERIAL_DIFFUSE, GL_DIFFUSE},
        {OX_GFX_COLOR_MATERIAL_AMBIENT, GL_AMBIENT},
        {OX_GFX_COLOR_MATERIAL_EMISSION, GL_EMISSION},
        {OX_GFX_COLOR_MATERIAL_SPECULAR, GL_SPECULAR},
    });
    return kTable.get(m, kGLNoEnum);
}

GLenum oxGLCullFace(OX_GFX_CULL face)
{
    static constexpr auto kTable = oxMakeEnumTable<OX_GFX_CULL, GLenum>({
        {OX_GFX_CULL_BACK, GL_BACK},
        {OX_GFX_CULL_FRONT, GL_FRONT},
        {OX_GFX_CULL_FRONT_AND_BACK, GL_FRONT_AND_BACK},
    });
    return kTable.get(face, kGLNoEnum);
}

} // namespace Kel::Gfx

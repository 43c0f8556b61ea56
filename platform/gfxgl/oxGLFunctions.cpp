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

namespace {
template <size_t N>
GLenum pick(const GLenum (&table)[N], int value)
{
    return value >= 0 && size_t(value) < N ? table[value] : kGLNoEnum;
}
} // namespace

GLenum oxGLCompare(OX_GFX_COMPARE c)
{
    static constexpr GLenum kTable[] = {GL_NEVER,   GL_LESS,     GL_EQUAL,  GL_LEQUAL,
                                        GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return pick(kTable, c);
}

GLenum oxGLBlendFactor(OX_GFX_BLEND_FACTOR f)
{
    static constexpr GLenum kTable[] = {GL_ZERO,
                                        GL_ONE,
                                        GL_SRC_COLOR,
                                        GL_ONE_MINUS_SRC_COLOR,
                                        GL_SRC_ALPHA,
                                        GL_ONE_MINUS_SRC_ALPHA,
                                        GL_DST_COLOR,
                                        GL_ONE_MINUS_DST_COLOR,
                                        GL_DST_ALPHA,
                                        GL_ONE_MINUS_DST_ALPHA,
                                        GL_SRC_ALPHA_SATURATE,
                                        GL_CONSTANT_COLOR,
                                        GL_ONE_MINUS_CONSTANT_COLOR,
                                        GL_CONSTANT_ALPHA,
                                        GL_ONE_MINUS_CONSTANT_ALPHA};
    return pick(kTable, f);
}

GLenum oxGLBlendEquation(OX_GFX_BLEND_EQUATION e)
{
    static constexpr GLenum kTable[] = {GL_FUNC_ADD, GL_FUNC_REVERSE_SUBTRACT, GL_FUNC_SUBTRACT, GL_MIN, GL_MAX};
    return pick(kTable, e);
}

GLenum oxGLStencilOp(OX_GFX_STENCIL_OP op)
{
    static constexpr GLenum kTable[] = {GL_KEEP, GL_ZERO,   GL_REPLACE,   GL_INCR,
                                        GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return pick(kTable, op);
}

GLenum oxGLPrimitive(OX_GFX_DRAW type)
{
    static constexpr GLenum kTable[] = {GL_POINTS,    GL_LINES,          GL_LINE_STRIP,
                                        GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};
    return pick(kTable, type);
}

GLenum oxGLWrap(OX_GFX_WRAP w)
{
    static constexpr GLenum kTable[] = {GL_CLAMP_TO_EDGE, GL_REPEAT, GL_MIRRORED_REPEAT};
    return pick(kTable, w);
}

GLenum oxGLFilter(OX_GFX_FILTER f)
{
    static constexpr GLenum kTable[] = {GL_NEAREST,
                                        GL_LINEAR,
                                        GL_NEAREST_MIPMAP_NEAREST,
                                        GL_LINEAR_MIPMAP_NEAREST,
                                        GL_NEAREST_MIPMAP_LINEAR,
                                        GL_LINEAR_MIPMAP_LINEAR};
    return pick(kTable, f);
}

GLenum oxGLCombine(OX_GFX_TEXFUNC f)
{
    static constexpr GLenum kTable[] = {GL_REPLACE,     GL_MODULATE, GL_ADD,      GL_ADD_SIGNED,
                                        GL_INTERPOLATE, GL_SUBTRACT, GL_DOT3_RGB, GL_DOT3_RGBA,
                                        GL_DECAL,       GL_BLEND};
    return pick(kTable, f);
}

GLenum oxGLCombineSource(OX_GFX_TEXARG a)
{
    static constexpr GLenum kTable[] = {GL_TEXTURE, GL_CONSTANT, GL_PRIMARY_COLOR, GL_PREVIOUS};
    return pick(kTable, a);
}

GLenum oxGLColorMaterial(OX_GFX_COLOR_MATERIAL m)
{
    static constexpr GLenum kTable[] = {GL_NONE,    GL_AMBIENT_AND_DIFFUSE, GL_DIFFUSE,
                                        GL_AMBIENT, GL_EMISSION,            GL_SPECULAR};
    return pick(kTable, m);
}

} // namespace Kel::Gfx

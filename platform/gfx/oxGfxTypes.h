#pragma once
// The vocabulary of the device layer: every enumeration that attributes store and that the
// visual context takes. Values follow the order of the matching OpenGL enumerants, so a GL
// device maps each one through a table; the item names are what the metadata and traces show.
#include <cstdint>

#include "platform/core/oxMetaEnum.h"

namespace Kel::Gfx {

// Primitive types of a geometry.
OX_NAMESPACE_ENUM(OX_GFX_DRAW, OX_GFX_DRAW_POINTS = 0, OX_GFX_DRAW_LINES = 1, OX_GFX_DRAW_LINE_STRIPS = 2,
                  OX_GFX_DRAW_TRIANGLES = 3, OX_GFX_DRAW_TRIANGLE_STRIPS = 4, OX_GFX_DRAW_TRIANGLE_FANS = 5)

// Depth, alpha and stencil tests (glDepthFunc, glAlphaFunc, glStencilFunc).
OX_NAMESPACE_ENUM(OX_GFX_COMPARE, OX_GFX_COMPARE_NEVER = 0, OX_GFX_COMPARE_LESS = 1, OX_GFX_COMPARE_EQUAL = 2,
                  OX_GFX_COMPARE_LESS_EQUAL = 3, OX_GFX_COMPARE_GREATER = 4, OX_GFX_COMPARE_NOT_EQUAL = 5,
                  OX_GFX_COMPARE_GREATER_EQUAL = 6, OX_GFX_COMPARE_ALWAYS = 7)

// glBlendFunc factors.
OX_NAMESPACE_ENUM(OX_GFX_BLEND_FACTOR, OX_GFX_BLEND_ZERO = 0, OX_GFX_BLEND_ONE = 1, OX_GFX_BLEND_SRC_COLOR = 2,
                  OX_GFX_BLEND_ONE_MINUS_SRC_COLOR = 3, OX_GFX_BLEND_SRC_ALPHA = 4,
                  OX_GFX_BLEND_ONE_MINUS_SRC_ALPHA = 5, OX_GFX_BLEND_DST_COLOR = 6,
                  OX_GFX_BLEND_ONE_MINUS_DST_COLOR = 7, OX_GFX_BLEND_DST_ALPHA = 8,
                  OX_GFX_BLEND_ONE_MINUS_DST_ALPHA = 9, OX_GFX_BLEND_SRC_ALPHA_SATURATE = 10,
                  OX_GFX_BLEND_CONSTANT_COLOR = 11, OX_GFX_BLEND_ONE_MINUS_CONSTANT_COLOR = 12,
                  OX_GFX_BLEND_CONSTANT_ALPHA = 13, OX_GFX_BLEND_ONE_MINUS_CONSTANT_ALPHA = 14)

// glBlendEquation. SUBTRACT is source minus destination, REVERSE_SUBTRACT the other way.
OX_NAMESPACE_ENUM(OX_GFX_BLEND_EQUATION, OX_GFX_BLEND_ADD = 0, OX_GFX_BLEND_REVERSE_SUBTRACT = 1,
                  OX_GFX_BLEND_SUBTRACT = 2, OX_GFX_BLEND_MIN = 3, OX_GFX_BLEND_MAX = 4)

// glCullFace.
OX_NAMESPACE_ENUM(OX_GFX_CULL, OX_GFX_CULL_BACK = 0, OX_GFX_CULL_FRONT = 1, OX_GFX_CULL_FRONT_AND_BACK = 2)

// glStencilOp.
OX_NAMESPACE_ENUM(OX_GFX_STENCIL_OP, OX_GFX_STENCIL_KEEP = 0, OX_GFX_STENCIL_ZERO = 1, OX_GFX_STENCIL_REPLACE = 2,
                  OX_GFX_STENCIL_INCR = 3, OX_GFX_STENCIL_DECR = 4, OX_GFX_STENCIL_INVERT = 5,
                  OX_GFX_STENCIL_INCR_WRAP = 6, OX_GFX_STENCIL_DECR_WRAP = 7)

// Texture functions of a unit: GL_COMBINE_RGB modes first, then the two environment modes
// that have no combiner equivalent.
OX_NAMESPACE_ENUM(OX_GFX_TEXFUNC, OX_GFX_TEXFUNC_REPLACE = 0, OX_GFX_TEXFUNC_MODULATE = 1,
                  OX_GFX_TEXFUNC_ADD = 2, OX_GFX_TEXFUNC_ADD_SIGNED = 3, OX_GFX_TEXFUNC_INTERPOLATE = 4,
                  OX_GFX_TEXFUNC_SUBTRACT = 5, OX_GFX_TEXFUNC_DOT3_RGB = 6, OX_GFX_TEXFUNC_DOT3_RGBA = 7,
                  OX_GFX_TEXFUNC_DECAL = 8, OX_GFX_TEXFUNC_BLEND = 9)

// Combiner arguments (GL_SOURCEn_RGB).
OX_NAMESPACE_ENUM(OX_GFX_TEXARG, OX_GFX_TEXARG_TEXTURE = 0, OX_GFX_TEXARG_CONSTANT = 1,
                  OX_GFX_TEXARG_PRIMARY_COLOR = 2, OX_GFX_TEXARG_PREVIOUS = 3)

OX_NAMESPACE_ENUM(OX_GFX_WRAP, OX_GFX_WRAP_CLAMP = 0, OX_GFX_WRAP_REPEAT = 1, OX_GFX_WRAP_MIRRORED_REPEAT = 2)

OX_NAMESPACE_ENUM(OX_GFX_FILTER, OX_GFX_FILTER_NEAREST = 0, OX_GFX_FILTER_LINEAR = 1,
                  OX_GFX_FILTER_NEAREST_MIPMAP_NEAREST = 2, OX_GFX_FILTER_LINEAR_MIPMAP_NEAREST = 3,
                  OX_GFX_FILTER_NEAREST_MIPMAP_LINEAR = 4, OX_GFX_FILTER_LINEAR_MIPMAP_LINEAR = 5)

// Where a unit's texture coordinates come from: a coordinate set of the vertices, or
// generation (glTexGen) from positions or normals.
OX_NAMESPACE_ENUM(OX_GFX_TEXCOORD_SOURCE, OX_GFX_TEXCOORD_SET = 0, OX_GFX_TEXCOORD_OBJECT_LINEAR = 1,
                  OX_GFX_TEXCOORD_EYE_LINEAR = 2, OX_GFX_TEXCOORD_SPHERE_MAP = 3, OX_GFX_TEXCOORD_NORMAL_MAP = 4,
                  OX_GFX_TEXCOORD_REFLECTION_MAP = 5)

// Matrix stacks the device loads (glMatrixMode; texture generation planes and vertex-blend
// matrices have no GL stack and are kept by the device).
OX_NAMESPACE_ENUM(OX_GFX_MATRIX, OX_GFX_MATRIX_MODEL_VIEW = 0, OX_GFX_MATRIX_PROJECTION = 1,
                  OX_GFX_MATRIX_TEXTURE = 2, OX_GFX_MATRIX_TEXGEN = 3, OX_GFX_MATRIX_VERTEX_BLEND = 4)

// On/off switches (glEnable, glDepthMask). TEXTURE and TEXTURE_MATRIX are per unit.
OX_NAMESPACE_ENUM(OX_GFX_SWITCH, OX_GFX_ALPHA_TEST = 0, OX_GFX_BLEND = 1, OX_GFX_DEPTH_TEST = 2,
                  OX_GFX_DEPTH_WRITE = 3, OX_GFX_STENCIL_TEST = 4, OX_GFX_LIGHTING = 5, OX_GFX_NORMALIZE = 6,
                  OX_GFX_CLIPPING = 7, OX_GFX_MATRIX_OPTIMIZATION = 8, OX_GFX_TEXTURE = 9,
                  OX_GFX_TEXTURE_MATRIX = 10, OX_GFX_VERTEX_BLEND = 11, OX_GFX_CULL_FACE = 12)

OX_NAMESPACE_ENUM(OX_GFX_LIGHT_TYPE, OX_GFX_LIGHT_DIRECTIONAL = 0, OX_GFX_LIGHT_POSITIONAL = 1,
                  OX_GFX_LIGHT_SPOT = 2)

// glColorMaterial: which material colours follow the current (or vertex) colour.
OX_NAMESPACE_ENUM(OX_GFX_COLOR_MATERIAL, OX_GFX_COLOR_MATERIAL_NONE = 0,
                  OX_GFX_COLOR_MATERIAL_AMBIENT_AND_DIFFUSE = 1, OX_GFX_COLOR_MATERIAL_DIFFUSE = 2,
                  OX_GFX_COLOR_MATERIAL_AMBIENT = 3, OX_GFX_COLOR_MATERIAL_EMISSION = 4,
                  OX_GFX_COLOR_MATERIAL_SPECULAR = 5)

// Buffers a clear touches (bits).
OX_NAMESPACE_ENUM(OX_GFX_CLEAR, OX_GFX_CLEAR_COLOR = 1, OX_GFX_CLEAR_DEPTH = 2, OX_GFX_CLEAR_STENCIL = 4)

// Numbered device capabilities. Counts are 0 when absent; yes/no capabilities are 0 or 1.
OX_NAMESPACE_ENUM(OX_GFX_CAP, OX_GFX_CAP_MAX_TEXTURE_SIZE = 0, OX_GFX_CAP_MAX_LIGHTS = 1,
                  OX_GFX_CAP_MAX_CLIP_PLANES = 2, OX_GFX_CAP_MAX_VERTEX_BLEND_MATRICES = 3,
                  OX_GFX_CAP_MAX_PALETTE_MATRICES = 4, OX_GFX_CAP_MAX_TEXTURE_COORD_SETS = 5,
                  OX_GFX_CAP_DEPTH_BITS = 6, OX_GFX_CAP_STENCIL_BITS = 7, OX_GFX_CAP_TEXTURE_UNITS = 8,
                  OX_GFX_CAP_CUBE_MAPS = 9, OX_GFX_CAP_TEXTURE_COMBINE = 10, OX_GFX_CAP_RENDER_TO_TEXTURE = 11,
                  OX_GFX_CAP_DISPLAY_LISTS = 12, OX_GFX_CAP_NON_POWER_OF_TWO_TEXTURES = 13,
                  OX_GFX_CAP_MAX_ANISOTROPY = 14, OX_GFX_CAP_BLEND_EQUATIONS = 15,
                  OX_GFX_CAP_TEXTURE_SUBTRACT = 16, OX_GFX_CAP_TEXTURE_DOT3 = 17,
                  OX_GFX_CAP_MAX_VIEWPORT_SIZE = 18)
inline constexpr int kCapabilityCount = 19;
// The capabilities of a modest fixed-function device: 8 texture units, 8 lights, 6 clip
// planes, 4 blend matrices, display lists, render to texture, combiners with dot products.
// What devices and managers start from when they know no better.
int oxGetGenericCapability(int number);

// Vertex components: what a vertex carries, numbered as the vertex-data component types.
// BINORMAL (7) runs along the v direction of a texture-coordinate set, TANGENT (8) along u.
OX_NAMESPACE_ENUM(OX_GFX_COMPONENT, OX_GFX_COMPONENT_POSITION = 0, OX_GFX_COMPONENT_NORMAL = 1,
                  OX_GFX_COMPONENT_COLOR = 2, OX_GFX_COMPONENT_SECONDARY_COLOR = 3,
                  OX_GFX_COMPONENT_TEXCOORD = 4, OX_GFX_COMPONENT_BLEND_WEIGHT = 5,
                  OX_GFX_COMPONENT_BLEND_INDEX = 6, OX_GFX_COMPONENT_BINORMAL = 7, OX_GFX_COMPONENT_TANGENT = 8)
inline constexpr int kComponentTypeCount = 9;

// Scalar types of vertex data.
OX_NAMESPACE_ENUM(OX_GFX_SCALAR, OX_GFX_SCALAR_FLOAT = 0, OX_GFX_SCALAR_UNSIGNED_BYTE = 1,
                  OX_GFX_SCALAR_UNSIGNED_SHORT = 2, OX_GFX_SCALAR_SHORT = 3)

inline int oxGetScalarSize(OX_GFX_SCALAR type)
{
    switch (type) {
    case OX_GFX_SCALAR_FLOAT: return 4;
    case OX_GFX_SCALAR_UNSIGNED_BYTE: return 1;
    case OX_GFX_SCALAR_UNSIGNED_SHORT:
    case OX_GFX_SCALAR_SHORT: return 2;
    }
    return 0;
}

// An item name without the library prefix ("BLEND_SRC_ALPHA"), or "?" for a value the
// enumeration does not have: for traces and messages.
const char* oxGfxEnumText(Core::oxMetaEnum* meta, int value);

} // namespace Kel::Gfx

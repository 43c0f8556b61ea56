#pragma once
// The math value types, declared as field types of the object system: a class can hold
// them as persistent fields (stored, copied, compared and parsed as float tuples).
#include "platform/core/oxFieldTraits.h"
#include "platform/math/oxBox3f.h"
#include "platform/math/oxMatrix44f.h"
#include "platform/math/oxQuaternionf.h"
#include "platform/math/oxVec2f.h"
#include "platform/math/oxVec3f.h"
#include "platform/math/oxVec4f.h"

OX_FLOAT_TUPLE_FIELD_TRAITS(Kel::Math::oxVec2f, Vec2f, 2)
OX_FLOAT_TUPLE_FIELD_TRAITS(Kel::Math::oxVec3f, Vec3f, 3)
OX_FLOAT_TUPLE_FIELD_TRAITS(Kel::Math::oxVec4f, Vec4f, 4)
OX_FLOAT_TUPLE_FIELD_TRAITS(Kel::Math::oxMatrix44f, Matrix44f, 16)
OX_FLOAT_TUPLE_FIELD_TRAITS(Kel::Math::oxQuaternionf, Quaternionf, 4)

static_assert(sizeof(Kel::Math::oxVec3f) == 3 * sizeof(float) && sizeof(Kel::Math::oxMatrix44f) == 16 * sizeof(float),
              "math value types are stored as packed float tuples");

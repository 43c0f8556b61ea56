#pragma once
#include <cstdint>

#include "platform/core/oxDataList.h"
#include "platform/math/oxMathLists.h"

namespace Kel::Utils::oxCompression {

// Quantises every component of every vector to 16 bits against one base and one range for
// the whole list: value = base + q / 65535 × range. The error is at most range / 131070.
// `out` receives count × 3 (or × 4) values.
void oxCompressVec3fList(const Math::oxVec3f* values, int count, uint16_t* out, float& base, float& range);
void oxCompressVec4fList(const Math::oxVec4f* values, int count, uint16_t* out, float& base, float& range);
// List forms: `out` is resized to hold the quantised components.
void oxCompressVec3fList(const Math::oxVec3fList* values, Core::oxUnsignedShortList* out, float& base, float& range);
void oxCompressVec4fList(const Math::oxVec4fList* values, Core::oxUnsignedShortList* out, float& base, float& range);

void oxUncompressVec3fArray(const uint16_t* data, float base, float range, Math::oxVec3f* out, int count);
void oxUncompressVec4fArray(const uint16_t* data, float base, float range, Math::oxVec4f* out, int count);

} // namespace Kel::Utils::oxCompression

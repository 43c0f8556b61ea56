#include "platform/utils/oxCompression.h"

#include <cmath>

namespace Kel::Utils::oxCompression {

namespace {
void compress(const float* v, int n, uint16_t* out, float& base, float& range)
{
    if (n <= 0) {
        base = range = 0;
        return;
    }
    float lo = v[0], hi = v[0];
    for (int i = 1; i < n; ++i) {
        lo = v[i] < lo ? v[i] : lo;
        hi = v[i] > hi ? v[i] : hi;
    }
    base = lo;
    range = hi - lo;
    float scale = range > 0 ? 65535.0f / range : 0.0f;
    for (int i = 0; i < n; ++i) {
        float q = std::floor((v[i] - lo) * scale + 0.5f);
        out[i] = uint16_t(q < 0 ? 0 : q > 65535 ? 65535 : q);
    }
}

void uncompress(const uint16_t* data, float base, float range, float* out, int n)
{
    float step = range / 65535.0f;
    for (int i = 0; i < n; ++i)
        out[i] = base + float(data[i]) * step;
}
} // namespace

void oxCompressVec3fList(const Math::oxVec3f* values, int count, uint16_t* out, float& base, float& range)
{
    if (count <= 0) {
        base = range = 0;
        return;
    }
    compress(&values->x, count * 3, out, base, range);
}

void oxCompressVec4fList(const Math::oxVec4f* values, int count, uint16_t* out, float& base, float& range)
{
    if (count <= 0) {
        base = range = 0;
        return;
    }
    compress(&values->x, count * 4, out, base, range);
}

void oxCompressVec3fList(const Math::oxVec3fList* values, Core::oxUnsignedShortList* out, float& base, float& range)
{
    out->resizeAndSetCount(values->getCount() * 3);
    oxCompressVec3fList(values->data(), values->getCount(), out->data(), base, range);
}

void oxCompressVec4fList(const Math::oxVec4fList* values, Core::oxUnsignedShortList* out, float& base, float& range)
{
    out->resizeAndSetCount(values->getCount() * 4);
    oxCompressVec4fList(values->data(), values->getCount(), out->data(), base, range);
}

void oxUncompressVec3fArray(const uint16_t* data, float base, float range, Math::oxVec3f* out, int count)
{
    if (count <= 0)
        return;
    uncompress(data, base, range, &out->x, count * 3);
}

void oxUncompressVec4fArray(const uint16_t* data, float base, float range, Math::oxVec4f* out, int count)
{
    if (count <= 0)
        return;
    uncompress(data, base, range, &out->x, count * 4);
}

} // namespace Kel::Utils::oxCompression

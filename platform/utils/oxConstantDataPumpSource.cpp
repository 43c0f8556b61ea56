#include "platform/utils/oxConstantDataPumpSource.h"

#include <cstring>

#include "platform/core/oxMetaObject.h"
#include "platform/core/oxOutput.h"

namespace Kel::Utils {

using namespace Core;

namespace {
// The destination buffer a pump hands over holds one matrix.
constexpr size_t kMaxValueBytes = 64;
} // namespace

void oxConstantDataPumpSource::arkRegisterInitialize(oxFields<oxConstantDataPumpSource>& f)
{
    f.add(OX_FIELD(valueKind)).setDefault(int(oxFieldKind::Float));
    f.add(OX_FIELD(value));
}

bool oxConstantDataPumpSource::setValue(oxFieldKind kind, const void* bytes, size_t size)
{
    if (!bytes || !oxIsPlainKind(kind) || size == 0 || size > kMaxValueBytes) {
        oxReportWarning("oxConstantDataPumpSource: %zu bytes of a %s are not one plain value", size,
                        oxFieldKindName(kind));
        return false;
    }
    _valueKind = int(kind);
    _value.assign(bytes, size);
    return true;
}

bool oxConstantDataPumpSource::produceValue(int64_t, void* value)
{
    if (_value.empty() || _value.size() > kMaxValueBytes)
        return false;
    std::memcpy(value, _value.data(), _value.size());
    return true;
}

} // namespace Kel::Utils

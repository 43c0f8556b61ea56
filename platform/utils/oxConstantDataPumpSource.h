#pragma once
#include "platform/core/oxMemoryBlock.h"
#include "platform/utils/oxDataPumpInterface.h"

namespace Kel::Utils {

// A source whose value does not change: the bytes of one value of its kind, as a
// description file or a caller gives it (a tint that a pump writes into every frame's
// attribute, say).
class oxConstantDataPumpSource : public oxDataPumpInterface {
    OX_CLASS(oxConstantDataPumpSource, oxDataPumpInterface)
    OX_FIELDS(valueKind, value)
public:
    // Copies one value of `kind` (only plain kinds, at most a matrix).
    bool setValue(Core::oxFieldKind kind, const void* bytes, size_t size);
    Core::oxFieldKind getValueKind() const override { return Core::oxFieldKind(_valueKind); }
    // The stored bytes at any time; false when nothing is stored.
    bool produceValue(int64_t time, void* value) override;

protected:
    oxConstantDataPumpSource() = default;
    static void arkRegisterInitialize(Core::oxFields<oxConstantDataPumpSource>& f);

    int _valueKind = int(Core::oxFieldKind::Float);
    Core::oxMemoryBlock _value;
};

} // namespace Kel::Utils

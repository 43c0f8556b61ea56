#pragma once
#include <cstdint>

#include "platform/core/oxFieldTraits.h"
#include "platform/core/oxObject.h"

namespace Kel::Utils {

// A source of animated values: for a time it produces one value of one field kind (a
// float, a vector, a matrix ...), which a data pump copies into a field of some object.
// What it computes the value from (key frames, a function of time) is the source's own.
class oxDataPumpInterface : public Core::oxObject {
    OX_CLASS(oxDataPumpInterface, Core::oxObject)
public:
    // The kind of the values produced; only plain kinds (numbers, vectors, matrices) are
    // copied into fields.
    virtual Core::oxFieldKind getValueKind() const = 0;
    // Writes the value for `time` (nanoseconds) into `value`, which has room for one value
    // of the kind; false when there is none for that time.
    virtual bool produceValue(int64_t time, void* value) = 0;

protected:
    oxDataPumpInterface() = default;
};

} // namespace Kel::Utils

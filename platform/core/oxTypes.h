#pragma once
#include <cstddef>
#include <cstdint>

namespace Kel::Core {

// The outcome of operations that can fail. The library throws nothing across its API:
// failures come back as these values, booleans or null results.
enum oxResult : int { kFailure = 0, kSuccess = 1 };

inline bool oxSucceeded(oxResult r) { return r == kSuccess; }

class oxObject;
class oxMetaObject;
class oxMetaField;
class oxMetaEnum;
class oxMemoryPool;

} // namespace Kel::Core

namespace Kel {
using Core::kFailure;
using Core::kSuccess;
using Core::oxResult;
} // namespace Kel

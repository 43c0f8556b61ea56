#include "platform/utils/OXUtils.h"

namespace Kel {

void libOXUtils_arkRegister()
{
}

} // namespace Kel

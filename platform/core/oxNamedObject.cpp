#include "platform/core/oxNamedObject.h"

namespace Kel::Core {

void oxNamedObject::arkRegisterInitialize(oxFields<oxNamedObject>& f)
{
    f.add(OX_FIELD(name));
}

oxObject* oxInfo::resolve(const char*)
{
    return nullptr;
}

} // namespace Kel::Core

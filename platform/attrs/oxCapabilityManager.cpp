#include "platform/attrs/oxCapabilityManager.h"

namespace Kel::Attrs {

const char* oxCapabilityManager::getCapabilityName(int number)
{
    return Gfx::getOX_GFX_CAPMetaEnum()->getEnumName(number);
}

oxGenericCapabilityManager::oxGenericCapabilityManager()
{
    for (int i = 0; i < Gfx::kCapabilityCount; ++i)
        _values[i] = Gfx::oxGetGenericCapability(i);
}

int oxGenericCapabilityManager::getCapability(int number) const
{
    return number >= 0 && number < Gfx::kCapabilityCount ? _values[number] : 0;
}

void oxGenericCapabilityManager::setCapability(int number, int value)
{
    if (number >= 0 && number < Gfx::kCapabilityCount)
        _values[number] = value;
}

} // namespace Kel::Attrs

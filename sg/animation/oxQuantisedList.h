#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

// A 16-bit list of exactly `values` entries holding no more memory than that (made when
// absent): quantised key data is written once and kept for good.
inline oxUnsignedShortList* oxSizeExactly(oxSmartPointer<oxUnsignedShortList>& list, int values)
{
    if (!list)
        list = oxUnsignedShortList::_instantiateRef();
    list->setCapacity(values);
    list->resizeAndSetCount(values);
    return list;
}

} // namespace Kel::Sg

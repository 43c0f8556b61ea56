#include "sg/traversal/oxAttrStack.h"

namespace Kel::Sg {

void oxAttrStack::arkRegisterInitialize(oxFields<oxAttrStack>& f)
{
    f.add(OX_FIELD(default));
    f.add(OX_FIELD(cachedOverride)).setDefault(-1);
    f.add(OX_FIELD(popProc));
    f.add(OX_FIELD(hasChangedFromLastIncrementalFlush));
    f.add(OX_FIELD(lastIncrementalFlushedAttr));
    f.add(OX_FIELD(hasChangedFromRoot));
    f.add(OX_FIELD(lastFlushedAttr));
    f.add(OX_FIELD(cachedRenderPackage));
}

void oxAttrStack::resetForFrame()
{
    _cachedOverride = -1;
    setCount(0);
    _lastIncrementalFlushedAttr = _default;
    _hasChangedFromLastIncrementalFlush = false;
    _hasChangedFromRoot = false;
    _cachedRenderPackage = nullptr;
}

void oxAttrStack::postFileRead()
{
    Utils::oxNonRefCountedObjectStack::postFileRead();
    if (_cachedOverride >= getCount() || _cachedOverride < -1)
        _cachedOverride = -1;
}

} // namespace Kel::Sg

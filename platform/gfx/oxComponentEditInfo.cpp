#include "platform/gfx/oxComponentEditInfo.h"

#include "platform/core/oxOutput.h"

namespace Kel::Gfx {

void oxComponentEditInfo::arkRegisterInitialize(oxFields<oxComponentEditInfo>& f)
{
    f.add(OX_FIELD(component)).enumeration(&getOX_GFX_COMPONENTMetaEnum);
    f.add(OX_FIELD(componentIndex));
    f.add(OX_FIELD(mode)).enumeration(&getMODEMetaEnum);
}

bool oxComponentEditInfo::begin(oxVertexArrayBase* array, OX_GFX_COMPONENT component, int index, MODE mode)
{
    if (isOpen()) {
        Core::oxReportWarning("oxComponentEditInfo: an edit is already open");
        return false;
    }
    if (!array)
        return false;
    oxVertexStream stream = array->getStream(component, index);
    if (!stream.isValid())
        return false;
    _component = component;
    _componentIndex = index;
    _mode = mode;
    _array = array;
    _stream = stream;
    _count = array->getVertexCount();
    ++array->_openEdits;
    return true;
}

void oxComponentEditInfo::end(bool changed)
{
    if (!isOpen())
        return;
    if (changed && _mode != kRead)
        _array->touch();
    --_array->_openEdits;
    _array = nullptr;
    _stream = {};
    _count = 0;
}

void oxComponentEditInfo::userRelease()
{
    end(false);
    oxObject::userRelease();
}

} // namespace Kel::Gfx

#include "sg/nodes/oxSwitch.h"

namespace Kel::Sg {

void oxSwitch::arkRegisterInitialize(oxFields<oxSwitch>& f)
{
    f.add(OX_FIELD(childMask)).constructWithOwner();
}

void oxSwitch::fitMask()
{
    if (_childMask)
        _childMask->setBitCount(unsigned(getChildCount()));
}

void oxSwitch::setChildMask(oxBitMask* mask)
{
    _childMask = mask;
    fitMask();
}

void oxSwitch::activateChild(int index)
{
    if (_childMask && index >= 0 && unsigned(index) < _childMask->getBitCount())
        _childMask->setBit(unsigned(index));
}

void oxSwitch::deactivateChild(int index)
{
    if (_childMask && index >= 0 && unsigned(index) < _childMask->getBitCount())
        _childMask->clearBit(unsigned(index));
}

void oxSwitch::activateAllChildren()
{
    if (_childMask)
        _childMask->setAll();
}

void oxSwitch::deactivateAllChildren()
{
    if (_childMask)
        _childMask->clearAll();
}

bool oxSwitch::isChildActive(int index) const
{
    return _childMask && index >= 0 && unsigned(index) < _childMask->getBitCount() &&
           _childMask->isOn(unsigned(index));
}

bool oxSwitch::insertChild(int index, oxNode* child)
{
    if (!oxGroup::insertChild(index, child))
        return false;
    fitMask();
    return true;
}

int oxSwitch::appendChild(oxNode* child)
{
    int index = getChildCount();
    return insertChild(index, child) ? index : -1;
}

oxNode* oxSwitch::removeChild(int index)
{
    oxNode* child = oxGroup::removeChild(index).get();
    fitMask();
    return child;
}

int oxSwitch::removeChild(oxNode* child)
{
    int index = oxGroup::removeChild(child);
    fitMask();
    return index;
}

void oxSwitch::removeAllChildren()
{
    oxGroup::removeAllChildren();
    fitMask();
}

void oxSwitch::postFileRead()
{
    oxGroup::postFileRead();
    fitMask();
}

} // namespace Kel::Sg

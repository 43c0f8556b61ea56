#include "platform/core/oxStrings.h"

namespace Kel::Core {

void oxStringObj::userResetFields(bool forFileRead)
{
    oxObject::userResetFields(forFileRead);
    _value.clear();
}

void oxStringObj::userCopyShallow(const oxObject* source)
{
    _value = static_cast<const oxStringObj*>(source)->_value;
}

bool oxStringObj::userIsAlikeShallow(const oxObject* other) const
{
    return static_cast<const oxStringObj*>(other)->_value == _value;
}

bool oxStringRefList::remove(int index)
{
    if (index < 0 || index >= getCount())
        return false;
    _items.erase(_items.begin() + index);
    return true;
}

int oxStringRefList::find(const oxStringRef& s) const
{
    for (size_t i = 0; i < _items.size(); ++i)
        if (_items[i] == s)
            return int(i);
    return -1;
}

void oxStringRefList::userResetFields(bool forFileRead)
{
    oxObject::userResetFields(forFileRead);
    _items.clear();
}

void oxStringRefList::userCopyShallow(const oxObject* source)
{
    _items = static_cast<const oxStringRefList*>(source)->_items;
}

bool oxStringRefList::userIsAlikeShallow(const oxObject* other) const
{
    return static_cast<const oxStringRefList*>(other)->_items == _items;
}

void oxObjectStringMap::insert(std::string_view name, oxObject* object)
{
    _map[std::string(name)] = object;
}

oxObject* oxObjectStringMap::find(std::string_view name) const
{
    auto it = _map.find(name);
    return it == _map.end() ? nullptr : it->second.get();
}

bool oxObjectStringMap::remove(std::string_view name)
{
    auto it = _map.find(name);
    if (it == _map.end())
        return false;
    _map.erase(it);
    return true;
}

void oxObjectStringMap::userResetFields(bool forFileRead)
{
    oxObject::userResetFields(forFileRead);
    _map.clear();
}

} // namespace Kel::Core

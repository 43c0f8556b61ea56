#include "sg/core/oxUserInfo.h"

#include <cstring>

namespace Kel::Sg {

oxPropertyValue::~oxPropertyValue() = default;

bool oxStringKey::isHashableWith(const oxPropertyKey* other) const
{
    return other && other->getMetaObject() == getMetaObject();
}

int oxStringKey::compare(const oxPropertyKey* other) const
{
    if (!isHashableWith(other))
        return other ? std::strcmp(getMetaObject()->getName(), other->getMetaObject()->getName()) : 1;
    return _value.compare(static_cast<const oxStringKey*>(other)->_value);
}

oxSmartPointer<oxProperty> oxProperty::makeText(const char* key, const char* value)
{
    oxSmartPointer<oxStringKey> k = oxStringKey::_instantiateRef();
    k->setValue(key);
    oxSmartPointer<oxStringValue> v = oxStringValue::_instantiateRef();
    v->setValue(value);
    oxSmartPointer<oxProperty> p = oxProperty::_instantiateRef();
    p->setKey(k);
    p->setValue(v);
    return p;
}

void oxProperty::arkRegisterInitialize(oxFields<oxProperty>& f)
{
    f.add(OX_FIELD(key));
    f.add(OX_FIELD(value));
}

void oxUserInfo::arkRegisterInitialize(oxFields<oxUserInfo>& f)
{
    f.add(OX_FIELD(propertyList)).constructWithOwner();
}

oxResult oxUserInfo::removeProperty(int index)
{
    return _propertyList && _propertyList->remove(index) ? kSuccess : kFailure;
}

oxProperty* oxSimpleUserInfo::getProperty(const oxPropertyKey* key)
{
    for (int i = 0; i < getPropertyCount(); ++i)
        if (oxProperty* p = _propertyList->get(i); p && key && key->isAlikeShallow(p->getKey()))
            return p;
    return nullptr;
}

oxResult oxSimpleUserInfo::removeProperty(const oxPropertyKey* key)
{
    int index = _propertyList ? _propertyList->find(getProperty(key)) : -1;
    return key && index >= 0 ? removeProperty(index) : kFailure;
}

oxResult oxSimpleUserInfo::insertProperty(oxProperty* property)
{
    return insertProperty(getPropertyCount(), property);
}

oxResult oxSimpleUserInfo::insertProperty(int index, oxProperty* property)
{
    return property && _propertyList && _propertyList->insert(index, property) ? kSuccess : kFailure;
}

void oxHashedUserInfo::arkRegisterInitialize(oxFields<oxHashedUserInfo>& f)
{
    f.add(OX_FIELD(searchProperty));
}

int oxHashedUserInfo::search(const oxPropertyKey* key)
{
    if (!_searchProperty)
        _searchProperty = oxProperty::_instantiateFromPool(getMemoryPool());
    _searchProperty->setKey(const_cast<oxPropertyKey*>(key));
    int lo = 0, hi = getPropertyCount() - 1;
    int found = -1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        oxPropertyKey* k = _propertyList->get(mid)->getKey();
        int c = k ? k->compare(_searchProperty->getKey()) : -1;
        if (c == 0) {
            found = mid;
            break;
        }
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    // The probe must not keep the caller's key alive.
    _searchProperty->setKey(nullptr);
    return found >= 0 ? found : -lo - 1;
}

oxProperty* oxHashedUserInfo::getProperty(const oxPropertyKey* key)
{
    if (!key || !_propertyList)
        return nullptr;
    int i = search(key);
    return i >= 0 ? _propertyList->get(i) : nullptr;
}

oxResult oxHashedUserInfo::removeProperty(const oxPropertyKey* key)
{
    if (!key || !_propertyList)
        return kFailure;
    int i = search(key);
    return i >= 0 ? removeProperty(i) : kFailure;
}

oxResult oxHashedUserInfo::insertProperty(oxProperty* property)
{
    if (!property || !property->getKey() || !_propertyList)
        return kFailure;
    int i = search(property->getKey());
    if (i >= 0)
        return kFailure;
    return _propertyList->insert(-i - 1, property) ? kSuccess : kFailure;
}

} // namespace Kel::Sg

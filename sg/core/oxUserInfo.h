#pragma once
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

// Keys and values of user properties. Keys order themselves for keyed lookups.
class oxPropertyKey : public oxObject {
    OX_CLASS(oxPropertyKey, oxObject)
public:
    // Whether the two keys can be ordered against each other by compare().
    virtual bool isHashableWith(const oxPropertyKey* other) const = 0;
    // Negative, zero or positive, like strcmp.
    virtual int compare(const oxPropertyKey* other) const = 0;

protected:
    oxPropertyKey() = default;
};

class oxPropertyValue : public oxObject {
    OX_CLASS(oxPropertyValue, oxObject)
protected:
    oxPropertyValue() = default;
    // Only concrete value classes are made.
    ~oxPropertyValue() override = 0;
};

class oxStringKey : public oxPropertyKey {
    OX_CLASS(oxStringKey, oxPropertyKey)
    OX_FIELDS(value)
public:
    const oxStringRef& getValue() const { return _value; }
    void setValue(const char* text) { _value = oxStringRef(text); }
    // True for another string key (exactly this class).
    bool isHashableWith(const oxPropertyKey* other) const override;
    // Byte-wise comparison of the texts; keys of other classes order by class name.
    int compare(const oxPropertyKey* other) const override;

protected:
    oxStringKey() = default;
    static void arkRegisterInitialize(oxFields<oxStringKey>& f) { f.add(OX_FIELD(value)); }
    oxStringRef _value;
};

class oxStringValue : public oxPropertyValue {
    OX_CLASS(oxStringValue, oxPropertyValue)
    OX_FIELDS(value)
public:
    const oxStringRef& getValue() const { return _value; }
    void setValue(const char* text) { _value = oxStringRef(text); }

protected:
    oxStringValue() = default;
    static void arkRegisterInitialize(oxFields<oxStringValue>& f) { f.add(OX_FIELD(value)); }
    oxStringRef _value;
};

class oxProperty : public oxObject {
    OX_CLASS(oxProperty, oxObject)
    OX_FIELDS(key, value)
public:
    oxPropertyKey* getKey() const { return _key; }
    oxPropertyValue* getValue() const { return _value; }
    void setKey(oxPropertyKey* key) { _key = key; }
    void setValue(oxPropertyValue* value) { _value = value; }
    // The common case in one call: a text key with a text value.
    static oxSmartPointer<oxProperty> makeText(const char* key, const char* value);

protected:
    oxProperty() = default;
    static void arkRegisterInitialize(oxFields<oxProperty>& f);
    oxSmartPointer<oxPropertyKey> _key;
    oxSmartPointer<oxPropertyValue> _value;
};

OX_OBJECT_LIST(oxPropertyList, oxProperty)

// A group that carries key/value properties on the graph.
class oxUserInfo : public oxGroup {
    OX_CLASS(oxUserInfo, oxGroup)
    OX_FIELDS(propertyList)
public:
    // Null when no property has the key.
    virtual oxProperty* getProperty(const oxPropertyKey* key) = 0;
    virtual oxResult removeProperty(const oxPropertyKey* key) = 0;
    virtual oxResult insertProperty(oxProperty* property) = 0;

    oxResult removeProperty(int index);
    oxPropertyList* getPropertyList() const { return _propertyList; }
    int getPropertyCount() const { return _propertyList ? _propertyList->getCount() : 0; }

protected:
    oxUserInfo() = default;
    static void arkRegisterInitialize(oxFields<oxUserInfo>& f);
    oxSmartPointer<oxPropertyList> _propertyList;
};

// Properties in insertion order, found by a linear scan; equal keys may repeat.
class oxSimpleUserInfo : public oxUserInfo {
    OX_CLASS(oxSimpleUserInfo, oxUserInfo)
public:
    using oxUserInfo::removeProperty;
    oxProperty* getProperty(const oxPropertyKey* key) override;
    oxResult removeProperty(const oxPropertyKey* key) override;
    oxResult insertProperty(oxProperty* property) override;
    oxResult insertProperty(int index, oxProperty* property);

protected:
    oxSimpleUserInfo() = default;
};

// Properties kept ordered by key and found by binary search; one property per key.
class oxHashedUserInfo : public oxUserInfo {
    OX_CLASS(oxHashedUserInfo, oxUserInfo)
    OX_FIELDS(searchProperty)
public:
    using oxUserInfo::removeProperty;
    oxProperty* getProperty(const oxPropertyKey* key) override;
    oxResult removeProperty(const oxPropertyKey* key) override;
    // kFailure, changing nothing, when a property with an equal key is present.
    oxResult insertProperty(oxProperty* property) override;

protected:
    oxHashedUserInfo() = default;
    static void arkRegisterInitialize(oxFields<oxHashedUserInfo>& f);
    // Index of the property with an equal key, or -(insertion point) - 1.
    int search(const oxPropertyKey* key);

    oxSmartPointer<oxProperty> _searchProperty;
};

} // namespace Kel::Sg

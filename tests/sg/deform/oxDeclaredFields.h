#pragma once
// The fields a registered class declares itself (not its bases'), in order, each followed
// by a space; "missing" for a class that is not registered.
#include <string>

#include "platform/core/OXCore.h"

inline std::string oxDeclaredFieldNames(const char* type)
{
    const Kel::Core::oxMetaObject* meta = Kel::Core::oxMetaObject::findType(type);
    if (!meta)
        return "missing";
    std::string out;
    for (int i = 0; i < meta->getMetaFieldCount(); ++i)
        if (meta->getIndexedMetaField(i)->getOwner() == meta)
            out += std::string(meta->getIndexedMetaField(i)->getName()) + " ";
    return out;
}

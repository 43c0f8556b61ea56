#include "platform/utils/oxDataPump.h"

#include <cstring>

#include "platform/core/oxMetaObject.h"
#include "platform/core/oxOutput.h"
#include "platform/utils/oxDataPumpManager.h"

namespace Kel::Utils {

using namespace Core;

namespace {

// Room for the largest plain value a field holds (a matrix).
constexpr size_t kMaxValueBytes = 64;

const oxMetaField* findField(const oxObject* object, const char* name)
{
    if (!object || !name)
        return nullptr;
    return object->getMetaObject()->getMetaField(name);
}

bool accepts(const oxMetaField* field, const oxDataPumpInterface* source)
{
    return field && oxIsPlainKind(field->getKind()) && field->getSize() <= kMaxValueBytes &&
           (!source || source->getValueKind() == field->getKind());
}

} // namespace

void oxDataPump::arkRegisterInitialize(oxFields<oxDataPump>& f)
{
    f.add(OX_FIELD(source));
    f.add(OX_FIELD(destObject));
    f.add(OX_FIELD(destFieldName));
}

bool oxDataPump::setDestByFieldName(oxObject* object, const char* name)
{
    const oxMetaField* field = findField(object, name);
    if (!accepts(field, _source)) {
        oxReportWarning("oxDataPump: %s has no field \"%s\" that takes the pump's values",
                        object ? object->getMetaObject()->getName() : "(null)", name ? name : "(null)");
        _destObject = nullptr;
        _destFieldName = oxStringRef();
        _destField = nullptr;
        _destFieldOf = nullptr;
        return false;
    }
    _destObject = object;
    _destFieldName = oxStringRef(name);
    _destField = field;
    _destFieldOf = object;
    return true;
}

const oxMetaField* oxDataPump::destField()
{
    if (_destFieldOf != _destObject.get()) {
        _destField = findField(_destObject, _destFieldName.c_str());
        _destFieldOf = _destObject;
    }
    return accepts(_destField, _source) ? _destField : nullptr;
}

bool oxDataPump::pump(int64_t time)
{
    if (!_source || !_destObject)
        return false;
    const oxMetaField* field = destField();
    if (!field)
        return false;
    alignas(16) unsigned char value[kMaxValueBytes];
    if (!_source->produceValue(time, value))
        return false;
    std::memcpy(field->address(_destObject.get()), value, field->getSize());
    field->notifyChanged(_destObject);
    return true;
}

void oxDataPumpInfo::arkRegisterInitialize(oxFields<oxDataPumpInfo>& f)
{
    f.add(OX_FIELD(pumpList)).constructWithOwner();
}

int oxDataPumpInfo::pump(int64_t time)
{
    int stored = 0;
    for (int i = 0; i < getPumpCount(); ++i)
        if (oxDataPump* p = getPump(i))
            stored += p->pump(time) ? 1 : 0;
    return stored;
}

void oxDataPumpManager::arkRegisterInitialize(oxFields<oxDataPumpManager>& f)
{
    f.add(OX_FIELD(infoList)).constructWithOwner();
}

int oxDataPumpManager::append(oxDataPumpInfo* info)
{
    return info && _infoList ? _infoList->append(info) : -1;
}

int oxDataPumpManager::update(int64_t time)
{
    int stored = 0;
    for (int i = 0; i < getInfoCount(); ++i)
        if (oxDataPumpInfo* info = _infoList->get(i))
            stored += info->pump(time);
    return stored;
}

} // namespace Kel::Utils

#pragma once
#include "platform/core/oxObjectList.h"
#include "platform/core/oxStringRef.h"
#include "platform/utils/oxDataPumpInterface.h"

namespace Kel::Core {
class oxMetaField;
}

namespace Kel::Utils {

// Drives one field of one object from a value source: each pump() asks the source for the
// value at a time and stores it in the field through the field's description, so that the
// field's change notification runs as for any other edit through the metadata.
class oxDataPump : public Core::oxObject {
    OX_CLASS(oxDataPump, Core::oxObject)
    OX_FIELDS(source, destObject, destFieldName)
public:
    void setSource(oxDataPumpInterface* source) { _source = source; }
    oxDataPumpInterface* getSource() const { return _source; }

    // The field named `name` of `object` becomes the destination. False, with a warning and
    // no destination, when the object has no such field or the field cannot take the
    // source's values (another kind, or not a plain one).
    bool setDestByFieldName(Core::oxObject* object, const char* name);
    Core::oxObject* getDestObject() const { return _destObject; }
    const Core::oxStringRef& getDestFieldName() const { return _destFieldName; }

    // Copies the source's value at `time` into the destination field; false when the pump
    // lacks a source or destination, the field does not match, or the source has no value.
    bool pump(int64_t time);

protected:
    oxDataPump() = default;
    static void arkRegisterInitialize(Core::oxFields<oxDataPump>& f);
    // The destination's description, looked up again after a read or copy, which carry the
    // name only. Null when the destination does not match the source.
    const Core::oxMetaField* destField();

    Core::oxSmartPointer<oxDataPumpInterface> _source;
    Core::oxSmartPointer<Core::oxObject> _destObject;
    Core::oxStringRef _destFieldName;

private:
    const Core::oxMetaField* _destField = nullptr;
    const Core::oxObject* _destFieldOf = nullptr;
};

OX_OBJECT_LIST(oxDataPumpList, oxDataPump)

} // namespace Kel::Utils

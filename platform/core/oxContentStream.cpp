#include "platform/core/oxContentStream.h"

#include "platform/core/oxObject.h"

namespace Kel::Core {

size_t oxPlainScalarSize(oxFieldKind kind)
{
    switch (kind) {
    case oxFieldKind::Short:
    case oxFieldKind::UnsignedShort: return 2;
    case oxFieldKind::UnsignedChar:
    case oxFieldKind::Bool:
    case oxFieldKind::CharArray:
    case oxFieldKind::UnsignedCharArray: return 1;
    case oxFieldKind::Long:
    case oxFieldKind::UnsignedLong:
    case oxFieldKind::Pointer:
    case oxFieldKind::Double: return 8;
    case oxFieldKind::String:
    case oxFieldKind::ObjectRef:
    case oxFieldKind::RawRef:
    case oxFieldKind::MemoryRef:
    case oxFieldKind::ObjectRefArray: return 0;
    default: return 4; // 32-bit integers, enumerations, floats and float tuples
    }
}

namespace {
// Runs a container's writeContents and reports only the objects it names.
class ReferenceCollector final : public oxContentWriter {
public:
    explicit ReferenceCollector(oxReferenceVisitor& visitor) : _visitor(visitor) {}
    void beginArray(oxFieldKind kind, int, uint32_t) override { _holds = kind != oxFieldKind::RawRef; }
    void writePlain(const void*, uint32_t) override {}
    void writeString(const oxStringRef&) override {}
    void writeText(std::string_view) override {}
    void writeMemory(const void*, size_t) override {}
    void fail(const char*) override {}
    void writeObject(const oxObject* object) override
    {
        if (object)
            _visitor.visit(const_cast<oxObject*>(object), _holds);
    }

private:
    oxReferenceVisitor& _visitor;
    bool _holds = true;
};
} // namespace

void oxVisitReferences(const oxObject* object, oxReferenceVisitor& visitor)
{
    if (!object)
        return;
    const oxMetaObject* meta = object->getMetaObject();
    for (int i = 0; i < meta->getMetaFieldCount(); ++i) {
        const oxMetaField* f = meta->getIndexedMetaField(i);
        if (!f->isPersistent() || !oxIsObjectKind(f->getKind()))
            continue;
        for (int k = 0; k < f->getCount(); ++k)
            if (oxObject* target = f->getObject(object, k))
                visitor.visit(target, f->getKind() != oxFieldKind::RawRef);
    }
    ReferenceCollector collector(visitor);
    object->writeContents(collector);
}

} // namespace Kel::Core

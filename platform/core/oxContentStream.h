#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/oxFieldTraits.h"
#include "platform/core/oxStringRef.h"
#include "platform/core/oxTypes.h"

namespace Kel::Core {

class oxMemoryBlock;

// What a container holds beyond its declared fields (the elements of a list, the entries of
// a map, the text of a string object) is stored as a sequence of typed arrays. A container
// class overrides oxObject::writeContents and oxObject::readContents and talks to these two
// interfaces; the scene-file writer and reader implement them, so a new container needs no
// change to either.
//
// An array is `count` elements of one kind, each `width` values wide: width 1 for scalars,
// strings and references, 3 for an oxVec3f, N for a char[N]. ObjectRef arrays hold the
// objects they name; RawRef arrays only point at them (non-counting lists).
class oxContentWriter {
public:
    virtual void beginArray(oxFieldKind kind, int width, uint32_t count) = 0;
    // Plain kinds: `count` elements laid out as in memory (packed values of the kind).
    virtual void writePlain(const void* elements, uint32_t count) = 0;
    virtual void writeString(const oxStringRef& text) = 0;
    virtual void writeText(std::string_view text) = 0;
    virtual void writeObject(const oxObject* object) = 0;
    virtual void writeMemory(const void* bytes, size_t size) = 0;
    // The container cannot be stored as it is; the write fails with this reason.
    virtual void fail(const char* reason) = 0;

    void writeArray(oxFieldKind kind, int width, const void* elements, uint32_t count)
    {
        beginArray(kind, width, count);
        writePlain(elements, count);
    }

protected:
    ~oxContentWriter() = default;
};

class oxContentReader {
public:
    // Opens the next array. False when there is none or it is not of `kind` and `width`; the
    // read has then failed. `count` is checked against the bytes that are left, so a
    // container may size itself to it before reading the elements.
    virtual bool beginArray(oxFieldKind kind, int width, uint32_t& count) = 0;
    virtual bool readPlain(void* elements, uint32_t count) = 0;
    // A null string reads as a null reference; readText turns it into "".
    virtual bool readString(oxStringRef& text) = 0;
    virtual bool readText(std::string& text) = 0;
    // Null, or an object of `type` or a class derived from it (null type: any class).
    virtual bool readObject(oxObject*& object, const oxMetaObject* type) = 0;
    virtual bool readMemory(oxMemoryBlock& block) = 0;
    // No array is left: a container whose newer versions store more asks before reading it.
    virtual bool atEnd() const = 0;
    // Fails the read with the container's own reason; returns false for convenience.
    virtual bool fail(const char* reason) = 0;

protected:
    ~oxContentReader() = default;
};

// Bytes of one value of a plain kind (a char array's character, a vector's float); 0 for
// the kinds that are not plain.
size_t oxPlainScalarSize(oxFieldKind kind);

class oxReferenceVisitor {
public:
    virtual void visit(oxObject* target, bool holds) = 0;

protected:
    ~oxReferenceVisitor() = default;
};

// Visits every object `object` refers to through its persistent fields and its contents, in
// the order they are stored; `holds` tells whether the reference counts. Null references
// are left out.
void oxVisitReferences(const oxObject* object, oxReferenceVisitor& visitor);

template <class F>
void oxForEachReference(const oxObject* object, F&& fn)
{
    struct Visitor final : oxReferenceVisitor {
        explicit Visitor(F& f) : _f(f) {}
        void visit(oxObject* target, bool holds) override { _f(target, holds); }
        F& _f;
    } visitor(fn);
    oxVisitReferences(object, visitor);
}

} // namespace Kel::Core

#include "platform/core/oxOXBReader.h"

#include <cstring>
#include <new>
#include <string_view>

#include "platform/core/oxContentStream.h"
#include "platform/core/oxDirectory.h"
#include "platform/core/oxFiles.h"
#include "platform/core/oxMemoryBlock.h"
#include "platform/core/oxOXBFile.h"
#include "platform/core/oxOutput.h"
#include "platform/core/oxReferenceGraph.h"

namespace Kel::Core {

namespace {

// How the objects of one stored class are built.
struct ResolvedClass {
    bool resolved = false;
    bool isDescription = false;  // objects of the class stand for class descriptions
    oxMetaObject* stored = nullptr; // the class the file names; its description reads the fields
    oxMetaObject* concrete = nullptr; // the class the objects become
    oxMetaObject* carrier = nullptr;  // redirected classes: what the older object is read into
    // Per stored field, the field it sets, or null when it is skipped.
    std::vector<const oxMetaField*> fields;
    // Per stored field, the bytes of its value when they are copied as they are (plain
    // kinds but booleans, whose bytes are checked); 0 for the rest.
    std::vector<uint32_t> plainBytes;
};

// One read. Pass one checks every record against the classes and the object table and
// collects the references, so that the graph's shape is known to be sound before anything
// is built; pass two creates the objects and fills them.
//
// An object that its owner creates itself (a construct-with-owner field: a group's child
// list) is not created again: when the file names it only in that field, the owner comes
// first and the object is of exactly the field's class, the one the owner made, inside its
// own block, is filled from the record. Anything else (an object named twice, of a derived
// class, of a redirected class, or met before its owner) is created on its own, and the
// owner's own one goes when the field is set.
class Build final : public oxContentReader {
public:
    // `keepEveryObject` false: the caller wants the root alone, and the build lets go of
    // each object that something else holds as soon as it is settled.
    Build(const oxOXBFile& file, oxMemoryPool* pool, bool keepEveryObject)
        : _file(file), _pool(pool), _keepEveryObject(keepEveryObject)
    {
    }

    bool check();
    bool build(std::vector<oxSmartPointer<oxObject>>& objects);
    // Notes on tolerated differences, given once the read has succeeded.
    const std::vector<std::string>& getNotes() const { return _notes; }

    bool beginArray(oxFieldKind kind, int width, uint32_t& count) override;
    bool readPlain(void* elements, uint32_t count) override;
    bool readString(oxStringRef& text) override;
    bool readText(std::string& text) override;
    bool readObject(oxObject*& object, const oxMetaObject* type) override;
    bool readMemory(oxMemoryBlock& block) override;
    bool atEnd() const override { return _cursor->atEnd(); }
    bool fail(const char* reason) override;

private:
    bool resolveClass(uint32_t index);
    bool checkRecord(uint32_t number);
    bool checkContents(oxOXBCursor& in, uint32_t number);
    bool fillRecord(uint32_t number);
    bool fillField(oxOXBCursor& in, oxObject* object, const oxMetaField* field);
    const char* className(uint32_t number) const { return _finalClass[number - 1]->getName(); }
    // Every string of the file, pooled, before the objects that hold them are filled.
    bool makeStrings();
    // Sets `into` to string `number`. The last of the uses counted in the first pass takes
    // the build's own reference: the text is not touched again, neither here nor when the
    // build lets its strings go, which at 100,000 names was a miss each, twice.
    void takeString(oxStringRef& into, uint32_t number)
    {
        if (--_stringUses[number] == 0)
            into = std::move(_strings[number]);
        else
            into = _strings[number];
    }
    void addReference(uint32_t from, uint32_t to, bool holds)
    {
        _graph.add(from - 1, to - 1, holds);
        if (!holds && !_keepEveryObject)
            _pointedAt[to - 1] = 1;
    }
    // Notes a reference to `to` from stored field `field` of `from`, when that field makes
    // its object with its owner and `to` could be that object; kNotOwned otherwise.
    void noteOwner(uint32_t to, uint32_t from, uint32_t field)
    {
        Owner& o = _owners[to - 1];
        if (o.number == 0 && field != kNotOwned)
            o = {from, field};
        else
            o.number = kShared;
    }
    // Whether a reference from stored field `i` of object `from` to `to` can be the one
    // that lets `to` be built inside `from`.
    bool canOwn(uint32_t from, const ResolvedClass& rc, uint32_t i, uint32_t to) const;
    // The member that object `number`'s owner made for it, or null.
    oxObject* ownedMember(uint32_t number) const;
    // Asks for the object that the open array names `ahead` values after the cursor.
    void prefetchElement(uint64_t ahead) const;
    // Takes n values of the open array, which must hold what the container reads.
    bool take(bool kindMatches, const char* what, uint32_t n);

    const oxOXBFile& _file;
    oxMemoryPool* _pool;
    bool _keepEveryObject;
    // Per object, 1 when a plain pointer leads to it: the build keeps those to the end.
    std::vector<uint8_t> _pointedAt;
    std::vector<ResolvedClass> _classes;
    std::vector<const oxMetaObject*> _finalClass; // per object: what references to it find
    // Per object, 1 for a class description. Reference checks look here rather than at the
    // object table, whose entries are six times as wide.
    std::vector<uint8_t> _isDescription;
    std::vector<oxMetaObject*> _described;        // per object: the class a description names
    // Per object, who refers to it: none yet, one owner through one of its stored fields, or
    // more than that (kShared, also for any reference that cannot own it).
    struct Owner {
        uint32_t number = 0;
        uint32_t field = 0;
    };
    static constexpr uint32_t kShared = ~0u;
    static constexpr uint32_t kNotOwned = ~0u;
    std::vector<Owner> _owners;
    std::vector<oxSmartPointer<oxObject>> _objects;
    std::vector<oxSmartPointer<oxObject>> _carriers;
    std::vector<oxStringRef> _strings; // by string number; 0 is the null string
    // Per string, the fields and container values that may take it: the fill takes no more.
    std::vector<uint32_t> _stringUses;
    oxReferenceGraph _graph;
    std::vector<std::string> _notes;

    // The record whose contents are being read.
    oxOXBCursor* _cursor = nullptr;
    uint32_t _current = 0;
    oxFieldKind _arrayKind = oxFieldKind::Int;
    uint32_t _arrayWidth = 1;
    uint64_t _valuesLeft = 0;
};

// The passes over every object meet objects made long before, whose memory has left the
// caches; each pass asks for the objects a little ahead of the one it works on.
constexpr size_t kPrefetchAhead = 8;

void prefetchObject(const std::vector<oxSmartPointer<oxObject>>& objects, size_t index)
{
    if (index < objects.size())
        if (const oxObject* o = objects[index].get())
            __builtin_prefetch(o);
}

bool isClassDescriptionClass(const oxMetaObject* meta)
{
    return meta == oxMetaObject::getClassTypeSafe();
}

bool Build::resolveClass(uint32_t index)
{
    ResolvedClass& rc = _classes[index];
    if (rc.resolved)
        return true;
    const oxOXBFile::Class& c = _file.getClass(index);
    std::string name(c.name);
    oxMetaObject* meta = oxMetaObject::findType(c.name);
    if (!meta)
        return _file.fail(c.offset, "class %s is not registered", name.c_str());
    rc.stored = meta;
    if (isClassDescriptionClass(meta)) {
        if (c.fieldCount)
            return _file.fail(c.offset, "class descriptions are stored without fields, but %u are listed",
                              c.fieldCount);
        rc.isDescription = true;
        rc.concrete = meta;
        rc.resolved = true;
        return true;
    }
    oxMetaObject* concrete = meta;
    for (int hops = 0; concrete->getRedirect(); ++hops) {
        if (hops == 32)
            return _file.fail(c.offset, "the redirection of class %s to newer classes never ends", name.c_str());
        concrete = concrete->getRedirect();
    }
    if (!concrete->canInstantiate())
        return _file.fail(c.offset, "class %s cannot be instantiated%s%s", concrete->getName(),
                          concrete != meta ? " (stored objects of class " : "",
                          concrete != meta ? (name + " become objects of it)").c_str() : "");
    rc.concrete = concrete;
    if (concrete != meta) {
        if (meta->canInstantiate())
            rc.carrier = meta;
        else if (concrete->isDerivedFrom(meta))
            rc.carrier = concrete;
        else
            return _file.fail(c.offset,
                              "class %s is redirected to %s, but cannot be instantiated to read the older "
                              "object, and %s does not derive from it",
                              name.c_str(), concrete->getName(), concrete->getName());
    }
    rc.fields.resize(c.fieldCount);
    rc.plainBytes.resize(c.fieldCount);
    for (uint32_t i = 0; i < c.fieldCount; ++i) {
        const oxOXBFile::Field& stored = _file.getField(c, i);
        if (stored.kind != oxFieldKind::Bool)
            rc.plainBytes[i] = uint32_t(oxPlainScalarSize(stored.kind) * stored.width);
        const oxMetaField* f = meta->getMetaField(stored.name);
        std::string why;
        if (!f)
            why = "the class has no such field";
        else if (!f->isPersistent())
            why = "the class no longer stores it";
        else if (f->getKind() != stored.kind || uint32_t(f->getCount()) != stored.width)
            why = "the class declares it as " + oxOXBFile::shapeName(f->getKind(), uint32_t(f->getCount()));
        else {
            rc.fields[i] = f;
            continue;
        }
        _notes.push_back(_file.getSourceName() + ": class " + name + ": stored field " + std::string(stored.name) +
                         " (" + oxOXBFile::shapeName(stored.kind, stored.width) + ") is skipped: " + why);
    }
    rc.resolved = true;
    return true;
}

bool Build::check()
{
    uint32_t count = _file.getObjectCount();
    _classes.resize(_file.getClassCount());
    _finalClass.resize(count);
    _isDescription.resize(count);
    if (!_keepEveryObject)
        _pointedAt.resize(count);
    _described.resize(count);
    _owners.resize(count);
    _stringUses.resize(size_t(_file.getStringCount()) + 1);
    for (uint32_t n = 1; n <= count; ++n) {
        uint32_t index = _file.getObject(n).classIndex;
        if (!_classes[index].resolved && !resolveClass(index))
            return false;
        _finalClass[n - 1] = _classes[index].concrete;
        _isDescription[n - 1] = _classes[index].isDescription;
    }
    if (_classes[_file.getObject(_file.getRoot()).classIndex].isDescription)
        return _file.fail(_file.getRootOffset(), "the root is a class description, not an object");
    for (uint32_t n = 1; n <= count; ++n)
        if (!checkRecord(n))
            return false;

    _graph.setNodeCount(count);
    uint32_t node = 0, from = 0, to = 0;
    if (_graph.findHoldingCycle(node))
        return _file.fail(_file.getObject(node + 1).recordBegin,
                          "object %u (class %s) is on a cycle of holding references, whose objects could never "
                          "be released",
                          node + 1, className(node + 1));
    if (_graph.findUnheldTarget(_file.getRoot() - 1, from, to))
        return _file.fail(_file.getObject(from + 1).recordBegin,
                          "object %u (class %s) points at object %u (class %s) without holding it, and nothing "
                          "that the root holds holds that object",
                          from + 1, className(from + 1), to + 1, className(to + 1));
    return true;
}

bool Build::checkRecord(uint32_t number)
{
    const oxOXBFile::Object& object = _file.getObject(number);
    const oxOXBFile::Class& c = _file.getClass(object.classIndex);
    const ResolvedClass& rc = _classes[object.classIndex];
    oxOXBCursor in(_file, object.recordBegin, object.recordEnd);
    if (rc.isDescription) {
        uint32_t s = 0;
        if (!in.readStringNumber(s))
            return false;
        if (!s || !(_described[number - 1] = oxMetaObject::findType(_file.getString(s))))
            return in.fail("object %u describes the class %s, which is not registered", number,
                           std::string(_file.getString(s)).c_str());
        return in.atEnd() || in.fail("%zu bytes follow the class description of object %u", in.remaining(), number);
    }
    for (uint32_t i = 0; i < c.fieldCount; ++i) {
        const oxOXBFile::Field& stored = _file.getField(c, i);
        if (rc.plainBytes[i] && rc.plainBytes[i] <= in.remaining()) {
            in.readBytes(nullptr, rc.plainBytes[i]);
            continue;
        }
        const oxMetaField* f = rc.fields[i];
        if (!oxIsObjectKind(stored.kind)) {
            uint32_t s = 0;
            if (!(stored.kind == oxFieldKind::String ? in.readStringNumber(s) : in.skipValue(stored.kind, stored.width)))
                return false;
            if (stored.kind == oxFieldKind::String && f)
                ++_stringUses[s];
            continue;
        }
        for (uint32_t k = 0; k < stored.width; ++k) {
            uint32_t target = 0;
            if (!in.readReference(target))
                return false;
            if (!target || !f)
                continue;
            const oxMetaObject* wanted = f->getReferencedClass();
            if (wanted && !_finalClass[target - 1]->isDerivedFrom(wanted))
                return _file.fail(in.getOffset() - 4,
                                  "field %s of object %u (class %s) refers to object %u of class %s, which is not "
                                  "a %s",
                                  f->getName(), number, className(number), target, className(target),
                                  wanted->getName());
            if (!_isDescription[target - 1]) {
                addReference(number, target, stored.kind != oxFieldKind::RawRef);
                noteOwner(target, number, canOwn(number, rc, i, target) ? i : kNotOwned);
            }
        }
    }
    return checkContents(in, number);
}

bool Build::canOwn(uint32_t from, const ResolvedClass& rc, uint32_t i, uint32_t to) const
{
    const oxMetaField* f = rc.fields[i];
    const ResolvedClass& target = _classes[_file.getObject(to).classIndex];
    return f->isConstructWithOwner() && f->getKind() == oxFieldKind::ObjectRef && from < to &&
           to != _file.getRoot() && !rc.carrier && !target.carrier && target.concrete == f->getReferencedClass();
}

oxObject* Build::ownedMember(uint32_t number) const
{
    const Owner& o = _owners[number - 1];
    if (o.number == 0 || o.number == kShared)
        return nullptr;
    oxObject* owner = _objects[o.number - 1].get();
    const oxMetaField* f = _classes[_file.getObject(o.number).classIndex].fields[o.field];
    oxObject* member = owner ? f->getObject(owner) : nullptr;
    // The owner's class decides what it makes (its class may even make none).
    return member && member->getMetaObject() == _finalClass[number - 1] ? member : nullptr;
}

bool Build::checkContents(oxOXBCursor& in, uint32_t number)
{
    while (!in.atEnd()) {
        oxFieldKind kind;
        uint32_t width = 0, count = 0;
        if (!in.beginArray(kind, width, count))
            return false;
        if (oxPlainScalarSize(kind)) {
            if (!in.readPlain(kind, width, nullptr, count))
                return false;
            continue;
        }
        uint64_t values = kind == oxFieldKind::MemoryRef ? count : uint64_t(count) * width;
        for (uint64_t v = 0; v < values; ++v) {
            uint32_t target = 0;
            if (kind == oxFieldKind::String) {
                if (!in.readStringNumber(target))
                    return false;
                ++_stringUses[target];
            } else if (!oxIsObjectKind(kind)) {
                if (!in.skipValue(kind, 1))
                    return false;
            } else if (!in.readReference(target))
                return false;
            else if (target && !_isDescription[target - 1]) {
                addReference(number, target, kind != oxFieldKind::RawRef);
                noteOwner(target, number, kNotOwned);
            }
        }
    }
    return true;
}

bool Build::makeStrings()
{
    uint32_t count = _file.getStringCount();
    _strings.resize(size_t(count) + 1);
    if (!oxStringRef::makeMany(_file.getStrings(), _strings.data() + 1, count))
        return _file.fail(sizeof oxOXBFile::kMagic + 4, "no memory for the %u strings of the file", count);
    return true;
}

bool Build::build(std::vector<oxSmartPointer<oxObject>>& objects)
{
    if (!makeStrings())
        return false;
    uint32_t count = _file.getObjectCount();
    _objects.resize(count);
    _carriers.resize(count);
    for (uint32_t n = 1; n <= count; ++n) {
        const ResolvedClass& rc = _classes[_file.getObject(n).classIndex];
        if (rc.isDescription) {
            _objects[n - 1] = _described[n - 1];
            continue;
        }
        if (oxObject* member = ownedMember(n)) {
            _objects[n - 1] = member;
            continue;
        }
        _objects[n - 1] = rc.concrete->createInstance(_pool, true);
        if (rc.carrier)
            _carriers[n - 1] = rc.carrier->createInstance(_pool, true);
        if (!_objects[n - 1] || (rc.carrier && !_carriers[n - 1]))
            return _file.fail(_file.getObject(n).recordBegin, "object %u of class %s could not be created", n,
                              rc.concrete->getName());
    }
    for (uint32_t n = 1; n <= count; ++n) {
        prefetchObject(_objects, n - 1 + kPrefetchAhead);
        if (!fillRecord(n))
            return false;
    }
    for (uint32_t n = 1; n <= count; ++n) {
        if (!_carriers[n - 1])
            continue;
        if (_objects[n - 1]->makeConcrete(_carriers[n - 1]) != kSuccess)
            return _file.fail(_file.getObject(n).recordBegin,
                              "object %u of class %s could not take over the older object of class %s", n,
                              className(n), _classes[_file.getObject(n).classIndex].stored->getName());
        _carriers[n - 1] = nullptr;
    }
    const uint32_t root = _file.getRoot();
    for (uint32_t n = 1; n <= count; ++n) {
        prefetchObject(_objects, n - 1 + kPrefetchAhead);
        if (_isDescription[n - 1])
            continue;
        _objects[n - 1]->postFileRead();
        // Let go while the object is still in the cache. One that only the build holds, or
        // that a plain pointer leads to, waits for the end: objects settled later may still
        // look at it.
        if (!_keepEveryObject && n != root && !_pointedAt[n - 1] && _objects[n - 1]->getRefCount() > 1)
            _objects[n - 1] = nullptr;
    }
    objects.swap(_objects);
    return true;
}

bool Build::fillRecord(uint32_t number)
{
    const oxOXBFile::Object& stored = _file.getObject(number);
    const oxOXBFile::Class& c = _file.getClass(stored.classIndex);
    const ResolvedClass& rc = _classes[stored.classIndex];
    if (rc.isDescription)
        return true;
    oxObject* object = rc.carrier ? _carriers[number - 1].get() : _objects[number - 1].get();
    oxOXBCursor in(_file, stored.recordBegin, stored.recordEnd);
    for (uint32_t i = 0; i < c.fieldCount; ++i) {
        const oxMetaField* f = rc.fields[i];
        if (rc.plainBytes[i]) {
            // Checked in the first pass: the bytes are there.
            in.readBytes(f ? f->address(object) : nullptr, rc.plainBytes[i]);
            continue;
        }
        const oxOXBFile::Field& field = _file.getField(c, i);
        if (!(f ? fillField(in, object, f) : in.skipValue(field.kind, field.width)))
            return false;
    }
    if (in.atEnd())
        return true;
    _cursor = &in;
    _current = number;
    _valuesLeft = 0;
    bool read = object->readContents(*this);
    _cursor = nullptr;
    if (!read)
        return _file.fail(in.getOffset(), "object %u (class %s) could not read its contents", number,
                          className(number));
    if (_valuesLeft || !in.atEnd())
        return _file.fail(in.getOffset(), "object %u (class %s) left %zu bytes of its contents unread", number,
                          className(number), in.remaining());
    return true;
}

bool Build::fillField(oxOXBCursor& in, oxObject* object, const oxMetaField* field)
{
    oxFieldKind kind = field->getKind();
    uint32_t number = 0;
    switch (kind) {
    case oxFieldKind::String:
        if (!in.readStringNumber(number))
            return false;
        takeString(*static_cast<oxStringRef*>(field->address(object)), number);
        return true;
    case oxFieldKind::ObjectRef:
    case oxFieldKind::RawRef:
    case oxFieldKind::ObjectRefArray:
        for (int k = 0; k < field->getCount(); ++k) {
            if (!in.readReference(number))
                return false;
            if (!field->setObject(object, number ? _objects[number - 1].get() : nullptr, k, false))
                return in.fail("field %s of class %s refused object %u", field->getName(),
                               object->getMetaObject()->getName(), number);
        }
        return true;
    case oxFieldKind::MemoryRef:
        if (!in.readMemorySize(number))
            return false;
        static_cast<oxMemoryBlock*>(field->address(object))->assign(_file.getData() + in.getOffset(), number);
        return in.readBytes(nullptr, number);
    default:
        return in.readPlain(kind, uint32_t(field->getCount()), field->address(object), 1);
    }
}

bool Build::fail(const char* reason)
{
    return _cursor->fail("object %u (class %s): %s", _current, className(_current), reason);
}

bool Build::take(bool kindMatches, const char* what, uint32_t n)
{
    if (!kindMatches)
        return _cursor->fail("object %u (class %s) reads %s from an array of %s", _current, className(_current), what,
                             oxOXBFile::shapeName(_arrayKind, _arrayWidth).c_str());
    if (n > _valuesLeft)
        return _cursor->fail("object %u (class %s) reads more values than its array of %s holds", _current,
                             className(_current), oxOXBFile::shapeName(_arrayKind, _arrayWidth).c_str());
    _valuesLeft -= n;
    return true;
}

bool Build::beginArray(oxFieldKind kind, int width, uint32_t& count)
{
    if (_valuesLeft)
        return _cursor->fail("object %u (class %s) left part of an array unread", _current, className(_current));
    if (_cursor->atEnd())
        return _cursor->fail("object %u (class %s) expects an array of %s, but its contents end here", _current,
                             className(_current), oxOXBFile::shapeName(kind, uint32_t(width)).c_str());
    oxFieldKind storedKind;
    uint32_t storedWidth = 0;
    if (!_cursor->beginArray(storedKind, storedWidth, count))
        return false;
    if (storedKind != kind || storedWidth != uint32_t(width))
        return _cursor->fail("object %u (class %s) expects an array of %s, but the file stores %s", _current,
                             className(_current), oxOXBFile::shapeName(kind, uint32_t(width)).c_str(),
                             oxOXBFile::shapeName(storedKind, storedWidth).c_str());
    _arrayKind = kind;
    _arrayWidth = storedWidth;
    _valuesLeft = oxPlainScalarSize(kind) || kind == oxFieldKind::MemoryRef ? count : uint64_t(count) * storedWidth;
    if (oxIsObjectKind(kind))
        for (uint64_t k = 0; k < kPrefetchAhead && k < _valuesLeft; ++k)
            prefetchElement(k);
    return true;
}

void Build::prefetchElement(uint64_t ahead) const
{
    // The first pass checked that the array's numbers lie within the record and the table.
    uint32_t number = 0;
    std::memcpy(&number, _file.getData() + _cursor->getOffset() + 4 * ahead, 4);
    if (number)
        prefetchObject(_objects, number - 1);
}

bool Build::readPlain(void* elements, uint32_t count)
{
    return take(oxPlainScalarSize(_arrayKind) != 0, "plain values", count) &&
           _cursor->readPlain(_arrayKind, _arrayWidth, elements, count);
}

bool Build::readString(oxStringRef& text)
{
    uint32_t number = 0;
    if (!take(_arrayKind == oxFieldKind::String, "a string", 1) || !_cursor->readStringNumber(number))
        return false;
    takeString(text, number);
    return true;
}

bool Build::readText(std::string& text)
{
    oxStringRef s;
    if (!readString(s))
        return false;
    text.assign(s.c_str(), s.length());
    return true;
}

bool Build::readObject(oxObject*& object, const oxMetaObject* type)
{
    uint32_t number = 0;
    if (!take(oxIsObjectKind(_arrayKind), "an object", 1))
        return false;
    // A container's elements were made long before it reads them, and each is touched as
    // it is taken: the ones a few places ahead are asked for now.
    if (_valuesLeft >= kPrefetchAhead)
        prefetchElement(kPrefetchAhead);
    if (!_cursor->readReference(number))
        return false;
    object = number ? _objects[number - 1].get() : nullptr;
    if (object && type && !_finalClass[number - 1]->isDerivedFrom(type))
        return _file.fail(_cursor->getOffset() - 4,
                          "object %u (class %s) holds object %u of class %s where a %s belongs", _current,
                          className(_current), number, className(number), type->getName());
    return true;
}

bool Build::readMemory(oxMemoryBlock& block)
{
    uint32_t size = 0;
    if (!take(_arrayKind == oxFieldKind::MemoryRef, "a memory block", 1) || !_cursor->readMemorySize(size))
        return false;
    block.assign(_file.getData() + _cursor->getOffset(), size);
    return _cursor->readBytes(nullptr, size);
}

} // namespace

oxOXBReader::~oxOXBReader()
{
    clear();
}

void oxOXBReader::clear()
{
    for (size_t i = 0; i < _objects.size(); ++i) {
        prefetchObject(_objects, i + kPrefetchAhead);
        _objects[i] = nullptr;
    }
    _objects.clear();
    _root = 0;
}

oxObject* oxOXBReader::getRoot() const
{
    return getObject(_root);
}

oxObject* oxOXBReader::getObject(uint32_t number) const
{
    return number >= 1 && number <= _objects.size() ? _objects[number - 1].get() : nullptr;
}

namespace {

// One read into `objects` (by number); false with the reason in `error`, nothing kept.
bool readObjects(const void* data, size_t size, const char* sourceName, oxMemoryPool* pool, bool keepEveryObject,
                 std::vector<oxSmartPointer<oxObject>>& objects, uint32_t& root, std::string& error)
{
    oxOXBFile file;
    std::vector<std::string> notes;
    const char* source = sourceName ? sourceName : "scene file";
    try {
        // Whatever a failed build created is released here, before the warning.
        Build build(file, pool, keepEveryObject);
        if (file.open(data, size, source) && build.check() && build.build(objects))
            notes = build.getNotes();
    } catch (const std::bad_alloc&) {
        objects.clear();
        error = std::string(source) + ": not enough memory to build the objects it holds";
    }
    if (error.empty())
        error = file.getError();
    if (!error.empty()) {
        oxReportWarning("%s", error.c_str());
        return false;
    }
    for (const std::string& note : notes)
        oxReportWarning("%s", note.c_str());
    root = file.getRoot();
    return true;
}

oxSmartPointer<oxObject> readRoot(const void* data, size_t size, const char* sourceName, oxMemoryPool* pool)
{
    std::vector<oxSmartPointer<oxObject>> objects;
    uint32_t root = 0;
    std::string error;
    if (!readObjects(data, size, sourceName, pool, false, objects, root, error))
        return nullptr;
    oxSmartPointer<oxObject> result = objects[root - 1];
    for (size_t i = 0; i < objects.size(); ++i) {
        prefetchObject(objects, i + kPrefetchAhead);
        objects[i] = nullptr;
    }
    return result;
}

} // namespace

oxResult oxOXBReader::read(const void* data, size_t size, const char* sourceName)
{
    clear();
    _error.clear();
    std::vector<oxSmartPointer<oxObject>> objects;
    uint32_t root = 0;
    if (!readObjects(data, size, sourceName, _pool, true, objects, root, _error))
        return kFailure;
    _objects.swap(objects);
    _root = root;
    return kSuccess;
}

oxResult oxOXBReader::loadFile(const char* path, std::vector<uint8_t>& bytes, std::string* error)
{
    std::string message;
    if (oxReadWholeFile(path, kMaxFileSize, bytes, message))
        return kSuccess;
    bytes.clear();
    oxReportWarning("%s", message.c_str());
    if (error)
        *error = std::move(message);
    return kFailure;
}

oxResult oxOXBReader::readFile(const char* path)
{
    clear();
    std::vector<uint8_t> bytes;
    if (loadFile(path, bytes, &_error) != kSuccess)
        return kFailure;
    return read(bytes.data(), bytes.size(), path);
}

oxSmartPointer<oxObject> oxOXBReader::readObject(const char* path, oxMemoryPool* pool)
{
    std::vector<uint8_t> bytes;
    if (loadFile(path, bytes) != kSuccess)
        return nullptr;
    return readRoot(bytes.data(), bytes.size(), path, pool);
}

oxSmartPointer<oxObject> oxOXBReader::readObject(const void* data, size_t size, const char* sourceName,
                                                 oxMemoryPool* pool)
{
    return readRoot(data, size, sourceName, pool);
}

oxSmartPointer<oxDirectory> oxOXBReader::readDirectory(const char* path, oxMemoryPool* pool)
{
    oxSmartPointer<oxObject> root = readObject(path, pool);
    if (!root)
        return nullptr;
    if (oxDirectory* directory = oxDirectory::dynamicCast(root.get()))
        return directory;
    oxSmartPointer<oxDirectory> directory = oxDirectory::_instantiateFromPool(pool);
    if (oxInfo* info = oxInfo::dynamicCast(root.get()))
        directory->appendInfo(info);
    else
        directory->addObject(root);
    return directory;
}

} // namespace Kel::Core

// Every registered class that can be instantiated goes through a scene file and must come
// back field for field. Nothing here names a class of the library: the classes, their
// fields and the values given to them come from the class metadata, so a class added later
// is covered as soon as it is registered.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/sg/core/oxbTestSupport.h"

using namespace oxbtest;

namespace {

bool isClassDescription(const oxObject* o)
{
    return o && o->getMetaObject() == oxMetaObject::getClassTypeSafe();
}

template <class T>
void bump(void* p, int seed)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::is_floating_point_v<T>) {
        // Large values (an empty box's limits) swallow a small step.
        T next = T(v + 1.25 * (seed + 1));
        v = std::isfinite(v) && next != v ? next : T(v == T(seed + 1) ? seed + 2 : seed + 1);
    } else
        v = T(v + 1 + seed % 5);
    std::memcpy(p, &v, sizeof v);
}

// Changes the value of one field (or list element) at `p` to another value of its kind.
void changeValue(oxFieldKind kind, int width, size_t size, const oxMetaEnum* enumeration, void* p, int seed)
{
    switch (kind) {
    case oxFieldKind::Int: return bump<int32_t>(p, seed);
    case oxFieldKind::UnsignedInt: return bump<uint32_t>(p, seed);
    case oxFieldKind::Short: return bump<int16_t>(p, seed);
    case oxFieldKind::UnsignedShort: return bump<uint16_t>(p, seed);
    case oxFieldKind::UnsignedChar: return bump<uint8_t>(p, seed);
    case oxFieldKind::Long: return bump<int64_t>(p, seed);
    case oxFieldKind::UnsignedLong: return bump<uint64_t>(p, seed);
    case oxFieldKind::Double: return bump<double>(p, seed);
    case oxFieldKind::Bool: *static_cast<bool*>(p) = !*static_cast<bool*>(p); return;
    case oxFieldKind::Enum: {
        int32_t v;
        std::memcpy(&v, p, 4);
        int32_t next = v + 1;
        for (int i = 0; enumeration && i < enumeration->getItemCount(); ++i)
            if (enumeration->getItemValue(i) != v) {
                next = enumeration->getItemValue(i);
                break;
            }
        std::memcpy(p, &next, 4);
        return;
    }
    case oxFieldKind::String: *static_cast<oxStringRef*>(p) = oxStringRef("text " + std::to_string(seed)); return;
    case oxFieldKind::MemoryRef: {
        const uint8_t bytes[] = {0, 1, uint8_t(seed), 0xfe, 0xff};
        static_cast<oxMemoryBlock*>(p)->assign(bytes, sizeof bytes);
        return;
    }
    case oxFieldKind::CharArray: {
        std::string text = "c" + std::to_string(seed) + "xyz";
        std::memset(p, 0, size);
        std::memcpy(p, text.data(), std::min(text.size(), size - 1));
        return;
    }
    case oxFieldKind::UnsignedCharArray:
        for (int i = 0; i < width; ++i)
            bump<uint8_t>(static_cast<uint8_t*>(p) + i, seed + i);
        return;
    default: // float, float arrays and tuples
        for (int i = 0; i < width; ++i)
            bump<float>(static_cast<float*>(p) + i, seed + i);
        return;
    }
}

// What a container holds, as text, with objects named by their place in a directory: two
// containers hold the same when their texts are equal.
class ContentText final : public oxContentWriter {
public:
    explicit ContentText(const oxDirectory* dir) : _dir(dir) {}
    static std::string objectName(const oxDirectory* dir, const oxObject* o)
    {
        if (!o)
            return "null";
        if (isClassDescription(o))
            return std::string("class ") + static_cast<const oxMetaObject*>(o)->getName();
        return "#" + std::to_string(dir->findShared(o));
    }
    void beginArray(oxFieldKind kind, int width, uint32_t count) override
    {
        _kind = kind;
        _width = width;
        text += "\n[" + oxOXBFile::shapeName(kind, uint32_t(width)) + " x" + std::to_string(count) + "]";
    }
    void writePlain(const void* elements, uint32_t count) override
    {
        const auto* b = static_cast<const uint8_t*>(elements);
        char hex[4];
        for (size_t i = 0; i < oxPlainScalarSize(_kind) * size_t(_width) * count; ++i) {
            std::snprintf(hex, sizeof hex, "%02x", b[i]);
            text += hex;
        }
    }
    void writeString(const oxStringRef& s) override { text += s.isNull() ? " null" : " \"" + std::string(s.view()) + "\""; }
    void writeText(std::string_view s) override { text += " \"" + std::string(s) + "\""; }
    void writeObject(const oxObject* o) override
    {
        text += " " + objectName(_dir, o);
        references = references || o;
    }
    void writeMemory(const void* bytes, size_t size) override { writePlain(bytes, uint32_t(size)); }
    void fail(const char* reason) override { text += std::string(" FAILED: ") + reason; }

    std::string text;
    bool references = false;

private:
    const oxDirectory* _dir;
    oxFieldKind _kind = oxFieldKind::Int;
    int _width = 1;
};

// Builds an instance of a class with every persistent field changed from its default and,
// for the core's containers, some contents. Objects it refers to are fresh instances of
// the referenced classes.
class Sampler {
public:
    explicit Sampler(oxDirectory* dir) : _dir(dir) {}

    // Fields that could not be given another value, with the reason.
    std::vector<std::string> unchanged;

    oxObject* instanceOf(oxMetaObject* type)
    {
        if (type == oxMetaObject::getClassTypeSafe())
            return oxGroup::getClassTypeSafe();
        // The class itself, else the first concrete class derived from it, breadth first.
        std::vector<oxMetaObject*> candidates{type};
        for (size_t i = 0; i < candidates.size(); ++i) {
            oxMetaObject* c = candidates[i];
            if (c->canInstantiate() && !c->getRedirect()) {
                oxObject* o = c->createInstance();
                _keep.push_back(o);
                return o;
            }
            candidates.insert(candidates.end(), c->getDerivedTypes().begin(), c->getDerivedTypes().end());
        }
        return nullptr;
    }

    // The first concrete class strictly derived from `type`, breadth first.
    oxObject* instanceOfDerived(oxMetaObject* type)
    {
        if (!type)
            return nullptr;
        std::vector<oxMetaObject*> candidates(type->getDerivedTypes().begin(), type->getDerivedTypes().end());
        for (size_t i = 0; i < candidates.size(); ++i)
            if (!candidates[i]->canInstantiate() || candidates[i]->getRedirect())
                candidates.insert(candidates.end(), candidates[i]->getDerivedTypes().begin(),
                                  candidates[i]->getDerivedTypes().end());
            else
                return instanceOf(candidates[i]);
        return nullptr;
    }

    bool hasStoredState(const oxObject* object) const
    {
        const oxMetaObject* meta = object->getMetaObject();
        for (int i = 0; i < meta->getMetaFieldCount(); ++i)
            if (meta->getIndexedMetaField(i)->isPersistent())
                return true;
        ContentText contents(_dir);
        object->writeContents(contents);
        return !contents.text.empty();
    }

    void fill(oxObject* object, int depth, int seed)
    {
        const oxMetaObject* meta = object->getMetaObject();
        for (int i = 0; i < meta->getMetaFieldCount(); ++i) {
            const oxMetaField* f = meta->getIndexedMetaField(i);
            if (!f->isPersistent())
                continue;
            if (!oxIsObjectKind(f->getKind())) {
                changeValue(f->getKind(), f->getCount(), f->getSize(), f->getMetaEnum(), f->address(object), seed + i);
                continue;
            }
            for (int k = 0; k < f->getCount(); ++k) {
                oxObject* owned = f->isConstructWithOwner() ? f->getObject(object, k) : nullptr;
                if (owned && depth < 2) {
                    fill(owned, depth + 1, seed + 10 * i);
                    // A member of a class with nothing to store (a behaviour object) can only
                    // differ by its class: one derived from it takes its place.
                    if (!hasStoredState(owned))
                        if (oxObject* other = instanceOfDerived(f->getReferencedClass()))
                            f->setObject(object, other, k, false);
                    continue;
                }
                oxObject* target = f->getReferencedClass() ? instanceOf(f->getReferencedClass()) : nullptr;
                if (!target || !f->setObject(object, target, k, false))
                    unchanged.push_back(std::string(meta->getName()) + "." + f->getName() +
                                        ": no object of its class can be made");
            }
        }
        fillContents(object, seed);
    }

private:
    void fillContents(oxObject* object, int seed)
    {
        if (auto* list = oxDataList::dynamicCast(object)) {
            // Lists of pointers (callback tables) are stored empty by design.
            if (list->getElementKind() == oxFieldKind::Pointer)
                return;
            list->resizeAndSetCount(3);
            for (int e = 0; e < 3; ++e)
                changeValue(list->getElementKind(), list->getElementScalarCount(), size_t(list->getElementSize()),
                            nullptr, list->getRaw(e), seed + e);
        } else if (auto* objects = oxObjectList::dynamicCast(object)) {
            oxObject* entry = instanceOf(objects->getElementType());
            objects->appendObject(entry);
            objects->appendObject(nullptr);
            objects->appendObject(entry);
        } else if (auto* plain = oxNonRefCountedObjectList::dynamicCast(object)) {
            plain->appendObject(instanceOf(plain->getElementType()));
        } else if (auto* strings = oxStringRefList::dynamicCast(object)) {
            strings->append(oxStringRef("s" + std::to_string(seed)));
            strings->append(oxStringRef());
            strings->append("");
        } else if (auto* map = oxObjectStringMap::dynamicCast(object)) {
            map->insert("first", instanceOf(oxNamedObject::getClassTypeSafe()));
            map->insert("second", nullptr);
        } else if (auto* text = oxStringObj::dynamicCast(object)) {
            text->set("text object " + std::to_string(seed));
        }
    }

    oxDirectory* _dir;
    std::vector<oxSmartPointer<oxObject>> _keep;
};

std::vector<std::string> storableClasses()
{
    registerAll();
    std::vector<std::string> names;
    for (int i = 0; i < oxMetaObject::getRegisteredCount(); ++i) {
        oxMetaObject* meta = oxMetaObject::getRegistered(i);
        // Redirected classes are read back as their newer class, by design.
        if (meta->canInstantiate() && !meta->getRedirect())
            names.push_back(meta->getName());
    }
    return names;
}

class OXBRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST(OXBRoundTripCoverage, TheWalkFindsTheLibraryAndTheTestClasses)
{
    std::vector<std::string> names = storableClasses();
    for (const char* expected : {"oxGroup", "oxNode", "oxNodeList", "oxAABox", "oxDirectory", "oxFloatList",
                                 "oxObjectStringMap", "oxBitMask", "oxObjectPool", "AllKinds", "WeightTable",
                                 "oxTransformSequence1_5", "oxCompressedTransformSequence1_5Data",
                                 "oxTimeTransform1_5", "oxTransformRecorder",
                                 "oxCompressedAnimationSequenceQS", "oxCompressedBezierAnimationSequenceQS", "oxAnimation",
                                 "oxAnimationTrack", "oxAnimationTrackList", "oxAnimationBinding",
                                 "oxAnimationBindingList", "oxAnimationTransitionDefinition",
                                 "oxAnimationTransitionDefinitionList", "oxAnimationTransitionParams",
                                 "oxAnimationTransitionPoint", "oxAnimationTransitionPointList", "oxAnimationInfo",
                                 "oxAnimationToken", "oxAnimationTokenList", "oxAnimationList", "BoneTable",
                                 "oxSkeleton", "oxSkeletonBoneInfo", "oxSkeletonBoneInfoList", "oxSkeletonList",
                                 "oxSkin", "oxSkinList", "oxBlendListRecord", "oxBlendListRecordList",
                                 "oxAnimationState", "oxAnimationStateList",
                                 "oxAnimationStatePool", "oxAnimationModifier", "oxAnimationModifierList",
                                 "oxAnimationCombinerBoneInfo", "oxAnimationCombinerBoneInfoList",
                                 "oxAnimationCombinerBoneInfoListList", "oxAnimationCombinerBoneInfoPool",
                                 "oxAnimationCombiner", "oxAnimationCombinerList", "oxAnimationDatabase",
                                 "oxAnimationDatabaseList", "oxActor", "oxActorList", "oxActorInfo",
                                 "oxActorInfoList", "oxJoint",
                                 "oxInverseKinematicsJoint", "oxInverseKinematicsJointList",
                                 "oxInverseKinematicsHandle", "oxInverseKinematicsHandleList",
                                 "oxInverseKinematicsSolver", "oxInverseKinematicsAnimation",
                                 "oxInverseKinematicsSource", "oxVertexArrayHelper", "oxHeapable",
                                 "oxHeapableList", "oxHeap", "_vertex", "_vertexList", "_face", "_faceList",
                                 "_edge", "_edgeList", "oxMultiResolutionMeshCore",
                                 "oxMultiResolutionMeshInstance", "oxMorphSequenceData",
                                 "oxMorphSequenceDataList", "oxMorphSequence", "oxMorphInstance2",
                                 "oxMorphInstance", "oxMorphBase", "oxIntListList", "oxVec3fListList", "oxBumpMapShader",
                                 "oxCartoonShader", "oxMetaObjectList"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    EXPECT_EQ(std::find(names.begin(), names.end(), "oxMetaObject"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "OldTimer"), names.end());
}

TEST_P(OXBRoundTrip, EveryPersistentFieldComesBack)
{
    oxMetaObject* meta = oxMetaObject::findType(GetParam());
    ASSERT_TRUE(meta);
    const std::string cls = meta->getName();
    oxSmartPointer<oxDirectory> dir = oxDirectory::_instantiate();
    Sampler sampler(dir);
    oxSmartPointer<oxObject> subject = meta->createInstance();
    ASSERT_TRUE(subject);
    sampler.fill(subject, 0, 3);
    ASSERT_EQ(dir->addObject(subject), 0);

    // Every persistent field now differs from its default, or the test would prove little.
    oxSmartPointer<oxObject> fresh = meta->createInstance();
    for (int i = 0; i < meta->getMetaFieldCount(); ++i) {
        const oxMetaField* f = meta->getIndexedMetaField(i);
        if (!f->isPersistent() || !f->isAlike(fresh, subject))
            continue;
        // Containers whose class compares no contents differ by what they hold.
        if (oxIsObjectKind(f->getKind()) && f->getCount() == 1 && f->getObject(fresh) && f->getObject(subject)) {
            ContentText before(dir), after(dir);
            f->getObject(fresh)->writeContents(before);
            f->getObject(subject)->writeContents(after);
            if (before.text != after.text)
                continue;
        }
        sampler.unchanged.push_back(cls + "." + f->getName() + ": still has its default value");
    }
    for (const std::string& note : sampler.unchanged)
        ADD_FAILURE() << note;

    WarningCatcher warnings;
    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(dir, bytes), kSuccess) << warnings.all();
    oxOXBReader reader;
    ASSERT_EQ(reader.read(bytes.data(), bytes.size(), cls.c_str()), kSuccess) << warnings.all();
    auto* readDir = oxDirectory::dynamicCast(reader.getRoot());
    ASSERT_TRUE(readDir);
    ASSERT_EQ(readDir->getSharedCount(), dir->getSharedCount());
    // A class may check its fields after reading and give up values that contradict each
    // other (pixels that do not fit an image's size); the samples are arbitrary, so they get
    // the same treatment before they are compared.
    for (int n = 0; n < dir->getSharedCount(); ++n)
        dir->getShared(n)->postFileRead();

    for (int n = 0; n < dir->getSharedCount(); ++n) {
        const oxObject* a = dir->getShared(n);
        const oxObject* b = readDir->getShared(n);
        ASSERT_TRUE(b);
        const oxMetaObject* m = a->getMetaObject();
        const std::string where = "object #" + std::to_string(n) + " (" + m->getName() + ", made for " + cls + ")";
        ASSERT_EQ(std::string(b->getMetaObject()->getName()), m->getName()) << where;
        bool references = false;
        for (int i = 0; i < m->getMetaFieldCount(); ++i) {
            const oxMetaField* f = m->getIndexedMetaField(i);
            if (!f->isPersistent())
                continue;
            if (!oxIsObjectKind(f->getKind())) {
                EXPECT_TRUE(f->isAlike(a, b)) << where << ", field " << f->getName() << ": wrote " << f->toText(a)
                                              << ", read " << f->toText(b) << "\n" << warnings.all();
                continue;
            }
            for (int k = 0; k < f->getCount(); ++k) {
                references = references || f->getObject(a, k);
                EXPECT_EQ(ContentText::objectName(dir, f->getObject(a, k)),
                          ContentText::objectName(readDir, f->getObject(b, k)))
                    << where << ", field " << f->getName() << "[" << k << "]";
            }
        }
        ContentText wrote(dir), read(readDir);
        a->writeContents(wrote);
        b->writeContents(read);
        EXPECT_EQ(wrote.text, read.text) << where << ": contents";
        // Without references, identities cannot differ: the class's own comparison applies.
        if (!references && !wrote.references) {
            EXPECT_TRUE(a->isAlikeShallow(b)) << where;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Classes, OXBRoundTrip, ::testing::ValuesIn(storableClasses()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

} // namespace

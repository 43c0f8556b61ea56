#pragma once
// Small classes that exercise every part of the class machinery.
#include "platform/core/OXCore.h"

namespace coretest {
using namespace Kel::Core;

class Leaf : public oxNamedObject {
    OX_CLASS(Leaf, oxNamedObject)
    OX_FIELDS(count, scale, mode, label, bytes, tiny, big, on, weights, tag)
public:
    OX_ENUM(Mode, kOff = 0, kSlow = 1, kFast = 4, kFastest)
    int32_t _count = 0;
    double _scale = 0;
    Mode _mode = kOff;
    oxStringRef _label;
    oxMemoryBlock _bytes;
    int16_t _tiny = 0;
    uint64_t _big = 0;
    bool _on = false;
    float _weights[3] = {};
    char _tag[8] = {};
    static inline int changes = 0;

protected:
    Leaf() = default;
    static void arkRegisterInitialize(oxFields<Leaf>& f)
    {
        f.add(OX_FIELD(count)).setDefault(7).onChange([](oxObject*, const oxMetaField*) { ++changes; });
        f.add(OX_FIELD(scale)).setDefault(2.5);
        f.add(OX_FIELD(mode)).setDefault(kSlow).enumeration(&getModeMetaEnum);
        f.add(OX_FIELD(label)).setDefault("unnamed");
        f.add(OX_FIELD(bytes));
        f.add(OX_FIELD(tiny)).setDefault(int16_t(-3));
        f.add(OX_FIELD(big)).setDefault(uint64_t(1) << 40);
        f.add(OX_FIELD(on)).setDefault(true);
        f.add(OX_FIELD(weights));
        f.add(OX_FIELD(tag));
    }
};

OX_OBJECT_LIST(LeafList, Leaf)

// Owns a list, refers to another leaf, and redeclares an inherited default.
class Holder : public Leaf {
    OX_CLASS(Holder, Leaf)
    OX_FIELDS(leaves, other, numbers, scratch)
public:
    oxSmartPointer<LeafList> _leaves;
    oxSmartPointer<Leaf> _other;
    oxSmartPointer<oxFloatList> _numbers;
    oxSmartPointer<oxIntList> _scratch;
    static inline int userRegistered = 0;
    static void arkRegisterUser() { ++userRegistered; }

protected:
    Holder() = default;
    static void arkRegisterInitialize(oxFields<Holder>& f)
    {
        f.add(OX_FIELD(leaves)).constructWithOwner();
        f.add(OX_FIELD(other));
        f.add(OX_FIELD(numbers)).constructWithOwner();
        f.add(OX_FIELD(scratch)).constructWithOwner().notPersistent();
        f.redeclare<int32_t>(nullptr, "_count", 42);
    }
};

// Declares no fields and no hook of its own: inherits both without running them twice.
class Plain : public Holder {
    OX_CLASS(Plain, Holder)
protected:
    Plain() = default;
};

class Shape : public oxObject {
    OX_CLASS(Shape, oxObject)
public:
    virtual float area() const = 0;

protected:
    Shape() = default;
};

} // namespace coretest

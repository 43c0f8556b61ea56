#pragma once
// Classes and helpers shared by the scene-file tests: a class with a field of every kind,
// an older class redirected to a newer one (concrete and abstract forms), a container
// outside the core lists; the builder of hand-made files comes from the core's tests.
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/oxbSampleScenes.h"
#include "tests/platform/core/oxbFileBuilder.h"

namespace oxbtest {
using namespace Kel::Core;
using namespace Kel::Sg;

class AllKinds : public oxNamedObject {
    OX_CLASS(AllKinds, oxNamedObject)
    OX_FIELDS(i, u, s, us, uc, l, ul, b, f, d, e, str, ref, raw, mem, chars, bytes, floats, refs, v2, v3, v4, m, q,
              scratch)
public:
    OX_ENUM(Mode, kOff = 0, kOn = 1, kAuto = 7)
    int32_t _i = 0;
    uint32_t _u = 0;
    int16_t _s = 0;
    uint16_t _us = 0;
    uint8_t _uc = 0;
    int64_t _l = 0;
    uint64_t _ul = 0;
    bool _b = false;
    float _f = 0;
    double _d = 0;
    Mode _e = kOff;
    oxStringRef _str;
    oxSmartPointer<oxNamedObject> _ref;
    oxNamedObject* _raw = nullptr;
    oxMemoryBlock _mem;
    char _chars[12] = {};
    uint8_t _bytes[5] = {};
    float _floats[3] = {};
    oxSmartPointer<oxObject> _refs[2];
    oxVec2f _v2;
    oxVec3f _v3;
    oxVec4f _v4;
    oxMatrix44f _m;
    oxQuaternionf _q;
    int32_t _scratch = 0;

protected:
    AllKinds() = default;
    static void arkRegisterInitialize(oxFields<AllKinds>& f)
    {
        f.add(OX_FIELD(i)).setDefault(-5);
        f.add(OX_FIELD(u)).setDefault(5u);
        f.add(OX_FIELD(s));
        f.add(OX_FIELD(us));
        f.add(OX_FIELD(uc));
        f.add(OX_FIELD(l)).setDefault(int64_t(-1) << 40);
        f.add(OX_FIELD(ul));
        f.add(OX_FIELD(b)).setDefault(true);
        f.add(OX_FIELD(f)).setDefault(0.5f);
        f.add(OX_FIELD(d)).setDefault(2.25);
        f.add(OX_FIELD(e)).enumeration(&getModeMetaEnum).setDefault(kOn);
        f.add(OX_FIELD(str)).setDefault("default text");
        f.add(OX_FIELD(ref));
        f.add(OX_FIELD(raw));
        f.add(OX_FIELD(mem));
        f.add(OX_FIELD(chars));
        f.add(OX_FIELD(bytes));
        f.add(OX_FIELD(floats));
        f.add(OX_FIELD(refs));
        f.add(OX_FIELD(v2));
        f.add(OX_FIELD(v3)).setDefault(oxVec3f(1, 2, 3));
        f.add(OX_FIELD(v4));
        f.add(OX_FIELD(m));
        f.add(OX_FIELD(q));
        f.add(OX_FIELD(scratch)).setDefault(99).notPersistent();
    }
};

OX_OBJECT_LIST(AllKindsList, AllKinds)

// The older form of a timer kept seconds as a double; the newer keeps nanoseconds.
class OldTimer : public oxObject {
    OX_CLASS(OldTimer, oxObject)
    OX_FIELDS(seconds, label)
public:
    double _seconds = 0;
    oxStringRef _label;

protected:
    OldTimer() = default;
    static void arkRegisterInitialize(oxFields<OldTimer>& f)
    {
        f.add(OX_FIELD(seconds));
        f.add(OX_FIELD(label));
    }
};

class NewTimer : public oxObject {
    OX_CLASS(NewTimer, oxObject)
    OX_FIELDS(nanoseconds, label)
public:
    int64_t _nanoseconds = 0;
    oxStringRef _label;
    static inline int concreteCalls = 0;

    oxResult makeConcrete(const oxObject* older) override
    {
        ++concreteCalls;
        oxResult r = oxObject::makeConcrete(older);
        if (const OldTimer* old = OldTimer::dynamicCast(older))
            _nanoseconds = int64_t(old->_seconds * 1e9);
        return r;
    }

protected:
    NewTimer() = default;
    static void arkRegisterInitialize(oxFields<NewTimer>& f)
    {
        f.add(OX_FIELD(nanoseconds));
        f.add(OX_FIELD(label));
    }
};

// An abstract older class whose newer form derives from it and inherits its fields.
class AbstractOld : public oxObject {
    OX_CLASS(AbstractOld, oxObject)
    OX_FIELDS(seconds)
public:
    virtual int64_t nanoseconds() const = 0;
    double _seconds = 0;

protected:
    AbstractOld() = default;
    static void arkRegisterInitialize(oxFields<AbstractOld>& f) { f.add(OX_FIELD(seconds)); }
};

class DerivedNew : public AbstractOld {
    OX_CLASS(DerivedNew, AbstractOld)
    OX_FIELDS(nanosecondsLong)
public:
    int64_t nanoseconds() const override { return _nanosecondsLong; }
    int64_t _nanosecondsLong = 0;

    oxResult makeConcrete(const oxObject* older) override
    {
        oxResult r = AbstractOld::makeConcrete(older);
        if (_seconds != 0 && _nanosecondsLong == 0)
            _nanosecondsLong = int64_t(_seconds * 1e9);
        _seconds = 0;
        return r;
    }

protected:
    DerivedNew() = default;
    static void arkRegisterInitialize(oxFields<DerivedNew>& f) { f.add(OX_FIELD(nanosecondsLong)); }
};

// A container unknown to the core: pairs of a name and a weight, stored as two arrays,
// through nothing but the two content hooks.
class WeightTable : public oxObject {
    OX_CLASS(WeightTable, oxObject)
public:
    std::vector<std::string> _names;
    std::vector<double> _weights;

    void writeContents(oxContentWriter& out) const override
    {
        out.beginArray(oxFieldKind::String, 1, uint32_t(_names.size()));
        for (const std::string& n : _names)
            out.writeText(n);
        out.writeArray(oxFieldKind::Double, 1, _weights.data(), uint32_t(_weights.size()));
    }
    bool readContents(oxContentReader& in) override
    {
        uint32_t n = 0, w = 0;
        if (!in.beginArray(oxFieldKind::String, 1, n))
            return false;
        _names.resize(n);
        for (std::string& s : _names)
            if (!in.readText(s))
                return false;
        if (!in.beginArray(oxFieldKind::Double, 1, w))
            return false;
        if (w != n)
            return in.fail("as many weights as names");
        _weights.resize(w);
        return in.readPlain(_weights.data(), w);
    }
    bool userIsAlikeShallow(const oxObject* other) const override
    {
        auto* o = static_cast<const WeightTable*>(other);
        return o->_names == _names && o->_weights == _weights;
    }

protected:
    WeightTable() = default;
};

// Everything the scene-file tests read and write, the library's classes included.
// The least transform source: a uniform scale that grows with time, counting its resets.
class ScaleSource : public oxTransformSource {
    OX_CLASS(ScaleSource, oxTransformSource)
    OX_FIELDS(perSecond, transformable)
public:
    float _perSecond = 1;
    bool _transformable = false;
    int _resets = 0;
    oxMatrix44f _baked;

    bool getMatrix(oxMatrix44f& m, int64_t t) override
    {
        if (t < 0)
            return false;
        oxMatrix44f scale;
        scale.makeScale(1 + _perSecond * float(t) / 1000.0f);
        m = scale * _baked;
        return true;
    }
    bool isTransformable() const override { return _transformable; }
    void transform(const oxMatrix44f& m) override { _baked = _baked * m; }
    void reset() override { ++_resets; }

protected:
    ScaleSource() = default;
    static void arkRegisterInitialize(oxFields<ScaleSource>& f)
    {
        f.add(OX_FIELD(perSecond));
        f.add(OX_FIELD(transformable));
    }
};

// The least animation hierarchy: bones with names and parents, no joints. A bone's matrix
// is its local pose times its parent's.
class BoneTable : public oxAnimationHierarchy {
    OX_CLASS(BoneTable, oxAnimationHierarchy)
    OX_FIELDS(names, parents)
public:
    // The new bone's index.
    int addBone(const char* name, int parent)
    {
        _parents->append(parent);
        return _names->append(oxStringRef(name));
    }

    void update(oxTraversal*, oxActor*, const oxMatrix44f* local, oxMatrix44f* bones, oxMatrix44f*,
                oxAnimationModifierList*) override
    {
        for (int b = 0; b < getBoneCount(); ++b) {
            const int p = getParent(b);
            bones[b] = p >= 0 && p < b ? local[b] * bones[p] : local[b];
        }
    }
    int getBoneCount() const override { return _names->getCount(); }
    int getJointCount() const override { return 0; }
    const char* getBoneName(int bone) const override
    {
        return bone >= 0 && bone < getBoneCount() ? _names->get(bone).get() : nullptr;
    }
    int findBoneIndex(const char* name) const override
    {
        for (int b = 0; name && b < getBoneCount(); ++b)
            if (const char* n = getBoneName(b); n && strcasecmp(n, name) == 0)
                return b;
        return -1;
    }
    int getParent(int bone) const override
    {
        return bone >= 0 && bone < _parents->getCount() ? _parents->get(bone) : -1;
    }
    int getChild(int parent, int& cursor) const override
    {
        for (int b = cursor < 0 ? 0 : cursor; b < getBoneCount(); ++b)
            if (getParent(b) == parent) {
                cursor = b + 1;
                return b;
            }
        return -1;
    }
    int getChildCount(int parent) const override
    {
        int n = 0, cursor = 0;
        while (getChild(parent, cursor) >= 0)
            ++n;
        return n;
    }
    int getSpecifiedChild(int parent, int k) const override
    {
        int cursor = 0, child = -1;
        for (int i = 0; i <= k; ++i)
            if ((child = getChild(parent, cursor)) < 0)
                return -1;
        return child;
    }

protected:
    BoneTable() = default;
    static void arkRegisterInitialize(oxFields<BoneTable>& f)
    {
        f.add(OX_FIELD(names)).constructWithOwner();
        f.add(OX_FIELD(parents)).constructWithOwner();
    }

    oxSmartPointer<oxStringRefList> _names;
    oxSmartPointer<oxIntList> _parents;
};

inline void registerAll()
{
    oxbsamples::registerLibraries();
    ScaleSource::arkRegister();
    BoneTable::arkRegister();
    AllKinds::arkRegister();
    AllKindsList::arkRegister();
    WeightTable::arkRegister();
    OldTimer::getClassTypeSafe()->setRedirect(NewTimer::getClassTypeSafe());
    AbstractOld::getClassTypeSafe()->setRedirect(DerivedNew::getClassTypeSafe());
}

using oxbfile::FileBuilder;
using oxbfile::WarningCatcher;

} // namespace oxbtest

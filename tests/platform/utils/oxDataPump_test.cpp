// Data pumps copy values from a source into fields of other objects through the field
// descriptions, one frame time at a time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/oxOutput.h"
#include "platform/utils/OXUtils.h"

using namespace Kel::Core;
using namespace Kel::Utils;
using Kel::Math::oxVec3f;

namespace {

// value(t) = t / 1000 as a float; fails for negative times.
class RampSource : public oxDataPumpInterface {
    OX_CLASS(RampSource, oxDataPumpInterface)
public:
    oxFieldKind getValueKind() const override { return oxFieldKind::Float; }
    bool produceValue(int64_t time, void* value) override
    {
        if (time < 0)
            return false;
        *static_cast<float*>(value) = float(time) / 1000.0f;
        return true;
    }

protected:
    RampSource() = default;
};

// (t, 2t, 3t) in seconds.
class VectorSource : public oxDataPumpInterface {
    OX_CLASS(VectorSource, oxDataPumpInterface)
public:
    oxFieldKind getValueKind() const override { return oxFieldKind::Vec3f; }
    bool produceValue(int64_t time, void* value) override
    {
        const float s = float(time) * 1e-9f;
        *static_cast<oxVec3f*>(value) = oxVec3f(s, 2 * s, 3 * s);
        return true;
    }

protected:
    VectorSource() = default;
};

class Target : public oxObject {
    OX_CLASS(Target, oxObject)
    OX_FIELDS(level, offset, count, child)
public:
    float _level = 0;
    oxVec3f _offset;
    int _count = 0;
    oxSmartPointer<oxObject> _child;
    static inline int levelChanges = 0;

protected:
    Target() = default;
    static void arkRegisterInitialize(oxFields<Target>& f)
    {
        f.add(OX_FIELD(level)).onChange([](oxObject*, const oxMetaField*) { ++levelChanges; });
        f.add(OX_FIELD(offset));
        f.add(OX_FIELD(count));
        f.add(OX_FIELD(child));
    }
};

std::vector<std::string>& warnings()
{
    static std::vector<std::string> list;
    return list;
}

class DataPumpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::libOXUtils_arkRegister(); }
    void SetUp() override
    {
        warnings().clear();
        _old = oxSetWarningHandler([](const char* m) { warnings().push_back(m); });
    }
    void TearDown() override { oxSetWarningHandler(_old); }
    oxWarningHandler _old = nullptr;
};

} // namespace

TEST_F(DataPumpTest, PumpStoresTheSourceValueInTheNamedFieldAndNotifiesIt)
{
    oxSmartPointer<Target> target = Target::_instantiateRef();
    oxSmartPointer<oxDataPump> pump = oxDataPump::_instantiateRef();
    pump->setSource(RampSource::_instantiateRef());
    ASSERT_TRUE(pump->setDestByFieldName(target, "_level"));
    EXPECT_EQ(pump->getDestObject(), target.get());
    EXPECT_EQ(std::string(pump->getDestFieldName().c_str()), "_level");

    const int before = Target::levelChanges;
    EXPECT_TRUE(pump->pump(2500));
    EXPECT_FLOAT_EQ(target->_level, 2.5f);
    EXPECT_EQ(Target::levelChanges, before + 1) << "the field's change notification runs";

    // A time the source has no value for leaves the field alone.
    EXPECT_FALSE(pump->pump(-1));
    EXPECT_FLOAT_EQ(target->_level, 2.5f);
    EXPECT_EQ(Target::levelChanges, before + 1);
}

TEST_F(DataPumpTest, FieldsThatCannotTakeTheValuesAreRefusedWithAWarning)
{
    oxSmartPointer<Target> target = Target::_instantiateRef();
    oxSmartPointer<oxDataPump> pump = oxDataPump::_instantiateRef();
    pump->setSource(RampSource::_instantiateRef());

    EXPECT_FALSE(pump->setDestByFieldName(target, "_count")) << "an int field does not take floats";
    EXPECT_FALSE(pump->setDestByFieldName(target, "_missing"));
    EXPECT_FALSE(pump->setDestByFieldName(target, "_child")) << "object references are not plain values";
    EXPECT_FALSE(pump->setDestByFieldName(nullptr, "_level"));
    EXPECT_FALSE(pump->setDestByFieldName(target, nullptr));
    EXPECT_EQ(warnings().size(), 5u);
    EXPECT_EQ(pump->getDestObject(), nullptr);
    EXPECT_FALSE(pump->pump(1000)) << "no destination";

    // Without a source a pump stores nothing.
    oxSmartPointer<oxDataPump> idle = oxDataPump::_instantiateRef();
    ASSERT_TRUE(idle->setDestByFieldName(target, "_count"));
    EXPECT_FALSE(idle->pump(1000));
    EXPECT_EQ(target->_count, 0);

    // A source of another kind set after the destination is caught when pumping.
    ASSERT_TRUE(pump->setDestByFieldName(target, "_level"));
    pump->setSource(VectorSource::_instantiateRef());
    EXPECT_FALSE(pump->pump(1000));
    EXPECT_FLOAT_EQ(target->_level, 0.0f);
}

TEST_F(DataPumpTest, ManagerRunsEveryPumpOfEveryInfoAndCopiesKeepTheirDestination)
{
    oxSmartPointer<Target> a = Target::_instantiateRef();
    oxSmartPointer<Target> b = Target::_instantiateRef();
    oxSmartPointer<oxDataPumpInfo> info = oxDataPumpInfo::_instantiateRef();
    oxSmartPointer<oxDataPump> level = oxDataPump::_instantiateRef();
    level->setSource(RampSource::_instantiateRef());
    ASSERT_TRUE(level->setDestByFieldName(a, "_level"));
    oxSmartPointer<oxDataPump> offset = oxDataPump::_instantiateRef();
    offset->setSource(VectorSource::_instantiateRef());
    ASSERT_TRUE(offset->setDestByFieldName(a, "_offset"));
    info->appendPump(level);
    info->appendPump(offset);

    // The second info's pump is a copy, redirected to another object.
    oxSmartPointer<oxDataPump> copy = oxDataPump::_instantiateRef();
    ASSERT_EQ(copy->copy(level), kSuccess);
    EXPECT_EQ(copy->getDestObject(), a.get());
    ASSERT_TRUE(copy->setDestByFieldName(b, "_level"));
    oxSmartPointer<oxDataPumpInfo> second = oxDataPumpInfo::_instantiateRef();
    second->appendPump(copy);

    oxSmartPointer<oxDataPumpManager> manager = oxDataPumpManager::_instantiateRef();
    EXPECT_EQ(manager->append(nullptr), -1);
    EXPECT_EQ(manager->append(info), 0);
    EXPECT_EQ(manager->append(second), 1);
    EXPECT_EQ(manager->update(2000000000), 3);
    EXPECT_FLOAT_EQ(a->_level, 2000000.0f);
    EXPECT_FLOAT_EQ(a->_offset.x, 2.0f);
    EXPECT_FLOAT_EQ(a->_offset.z, 6.0f);
    EXPECT_FLOAT_EQ(b->_level, 2000000.0f);

    EXPECT_TRUE(manager->remove(info));
    EXPECT_EQ(manager->update(4000000000), 1) << "only the second info is left";
    EXPECT_FLOAT_EQ(a->_level, 2000000.0f);
    EXPECT_FLOAT_EQ(b->_level, 4000000.0f);
}

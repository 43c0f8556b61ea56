#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "sg/OXSg.h"

using namespace Kel::Sg;
using namespace Kel::Attrs;

namespace {

// Attribute classes that appear only while a test runs, as a plug-in's would.
class LateFogAttr : public oxAttr {
    OX_CLASS(LateFogAttr, oxAttr)
protected:
    LateFogAttr() = default;
    void applyTo(oxVisualContext&) override {}
};

class LateUnitAttr : public oxAttr {
    OX_CLASS(LateUnitAttr, oxAttr)
public:
    int getUnitCapability() const override { return Kel::Gfx::OX_GFX_CAP_TEXTURE_UNITS; }

protected:
    LateUnitAttr() = default;
    void applyTo(oxVisualContext&) override {}
};

oxSmartPointer<oxGenericCapabilityManager> capabilities(int textureUnits)
{
    oxSmartPointer<oxGenericCapabilityManager> caps = oxGenericCapabilityManager::_instantiateRef();
    caps->setCapability(Kel::Gfx::OX_GFX_CAP_TEXTURE_UNITS, textureUnits);
    return caps;
}

oxSmartPointer<oxAttrStackManager> makeManager(int textureUnits = 4)
{
    Kel::Sg::oxArkRegisterForOXBFiles();
    oxSmartPointer<oxAttrStackManager> m = oxAttrStackManager::_instantiateRef();
    m->setup(oxAttr::getClassTypeSafe(), oxGenericAttrDefaultManager::_instantiateRef(), capabilities(textureUnits));
    return m;
}

template <class T>
oxSmartPointer<T> attrOf(int unit = 0)
{
    oxSmartPointer<T> a = T::_instantiateRef();
    a->setUnit(unit);
    return a;
}

std::vector<oxAttr*> contents(const oxNonRefCountedAttrList* list)
{
    std::vector<oxAttr*> v;
    for (int i = 0; i < list->getCount(); ++i)
        v.push_back(list->get(i));
    return v;
}

// What the manager should hold, kept the plain way: per stack the entries with their kind,
// and what each flush should report.
struct ModelStack {
    oxMetaObject* meta;
    int unit;
    oxAttr* def;
    std::vector<std::pair<oxAttr*, bool>> entries; // attribute, pushed as override
    oxAttr* reported;
    oxAttr* current() const
    {
        for (auto& e : entries)
            if (e.second)
                return e.first;
        return entries.empty() ? def : entries.back().first;
    }
};

std::vector<oxAttr*> g_popped;
void recordPop(oxAttr* attr, void* data)
{
    EXPECT_EQ(data, &g_popped);
    g_popped.push_back(attr);
}

} // namespace

TEST(AttrStackManager, RandomPushPopOverrideAndFlushMatchAPlainModel)
{
    oxSmartPointer<oxAttrStackManager> m = makeManager(4);
    std::vector<ModelStack> stacks;
    std::vector<std::vector<oxSmartPointer<oxAttr>>> pool;
    auto addStack = [&](oxMetaObject* meta, int unit) {
        oxAttr* def = m->getDefaultAttr(meta, unit);
        ASSERT_NE(def, nullptr) << meta->getName() << " unit " << unit;
        stacks.push_back({meta, unit, def, {}, def});
        pool.emplace_back();
        for (int i = 0; i < 3; ++i) {
            oxSmartPointer<oxAttr> a = static_cast<oxAttr*>(meta->createInstance());
            a->setUnit(unit);
            pool.back().push_back(a);
        }
    };
    for (oxMetaObject* meta : {oxBlendStateAttr::getClassTypeSafe(), oxDepthStateAttr::getClassTypeSafe(),
                               oxCullFaceAttr::getClassTypeSafe(), oxModelViewMatrixAttr::getClassTypeSafe()})
        addStack(meta, 0);
    for (int u = 0; u < 3; ++u)
        addStack(oxTextureStateAttr::getClassTypeSafe(), u);
    for (int u = 0; u < 2; ++u)
        addStack(oxTextureMatrixAttr::getClassTypeSafe(), u);
    m->setPopFunctionData(&g_popped);
    m->setPopFunction(oxBlendStateAttr::getClassTypeSafe(), &recordPop);
    g_popped.clear();
    std::vector<oxAttr*> expectedPops;

    std::vector<size_t> incOrder, rootOrder;
    auto touch = [&](size_t s) {
        if (std::find(incOrder.begin(), incOrder.end(), s) == incOrder.end())
            incOrder.push_back(s);
        if (std::find(rootOrder.begin(), rootOrder.end(), s) == rootOrder.end())
            rootOrder.push_back(s);
    };

    std::mt19937 rng(20240611);
    oxSmartPointer<oxNonRefCountedAttrList> out = oxNonRefCountedAttrList::_instantiateRef();
    int incrementalFlushes = 0, fullFlushes = 0, nonEmptyFlushes = 0;
    for (int step = 0; step < 20000; ++step) {
        size_t s = rng() % stacks.size();
        ModelStack& ms = stacks[s];
        int handle = m->getAttrHandle(ms.meta, ms.unit);
        int op = int(rng() % 100);
        oxAttr* a = pool[s][rng() % 3];
        if (op < 30) {
            switch (rng() % 3) {
            case 0: m->pushAttr(a); break;
            case 1: m->fastPushAttr(a, handle); break;
            default: m->pushAttr(a, handle); break;
            }
            ms.entries.push_back({a, false});
            touch(s);
        } else if (op < 40) {
            if (rng() % 2)
                m->pushOverride(a);
            else
                m->fastPushOverride(a, handle);
            ms.entries.push_back({a, true});
            touch(s);
        } else if (op < 75) {
            if (ms.entries.empty())
                continue;
            auto [top, isOverride] = ms.entries.back();
            if (isOverride)
                m->popOverride(top);
            else {
                switch (rng() % 4) {
                case 0: m->popAttr(top); break;
                case 1: m->popAttr(handle); break;
                case 2: m->popAttr(ms.meta, ms.unit); break;
                default: m->fastPopAttr(handle); break;
                }
            }
            if (s == 0)
                expectedPops.push_back(top);
            ms.entries.pop_back();
            touch(s);
        } else if (op < 88) {
            // Only touched stacks can have changed; they report in first-touch order.
            std::vector<oxAttr*> expected;
            for (size_t t : incOrder)
                if (stacks[t].current() != stacks[t].reported) {
                    expected.push_back(stacks[t].current());
                    stacks[t].reported = stacks[t].current();
                }
            incOrder.clear();
            nonEmptyFlushes += !expected.empty();
            out->removeAll();
            if (rng() % 2) {
                out->append(a); // emptied first
                m->flushUpdateAttrs(out);
            } else {
                out->append(a); // kept: the update goes after it
                expected.insert(expected.begin(), a);
                m->flushUpdateAttrsNoReset(out);
            }
            ASSERT_EQ(contents(out), expected) << "step " << step;
            ++incrementalFlushes;
        } else if (op < 96) {
            // Everything away from its default, in the order the stacks first left it.
            std::vector<size_t> kept;
            std::vector<oxAttr*> expected;
            for (size_t t : rootOrder)
                if (stacks[t].current() != stacks[t].def) {
                    kept.push_back(t);
                    expected.push_back(stacks[t].current());
                }
            rootOrder = kept;
            out->append(a); // replaced, not appended to
            m->flushAttrs(out);
            ASSERT_EQ(contents(out), expected) << "step " << step;
            EXPECT_FALSE(m->getStackChanged());
            ++fullFlushes;
        } else if (op < 99) {
            m->setCurrentAttr(a);
            ms.reported = a;
            touch(s);
            EXPECT_EQ(m->getCurrentAttr(a), a);
        } else {
            m->reset();
            for (ModelStack& r : stacks) {
                r.entries.clear();
                r.reported = r.def;
            }
            incOrder.clear();
            rootOrder.clear();
        }
        for (ModelStack& r : stacks)
            ASSERT_EQ(m->getTopOrDefault(r.meta, r.unit), r.current()) << r.meta->getName() << " step " << step;
    }
    EXPECT_EQ(g_popped, expectedPops);
    EXPECT_GT(incrementalFlushes, 1000);
    EXPECT_GT(nonEmptyFlushes, 500);
    EXPECT_GT(fullFlushes, 500);
}

TEST(AttrStackManager, PushedAndPoppedBetweenFlushesReportsNothing)
{
    oxSmartPointer<oxAttrStackManager> m = makeManager();
    oxSmartPointer<oxNonRefCountedAttrList> out = oxNonRefCountedAttrList::_instantiateRef();
    oxSmartPointer<oxBlendStateAttr> a = attrOf<oxBlendStateAttr>(), b = attrOf<oxBlendStateAttr>();
    oxAttrStack* stack = m->getStack(a.get());

    m->pushAttr(a);
    m->popAttr(a);
    EXPECT_TRUE(stack->hasChangedFromLastIncrementalFlush());
    m->flushUpdateAttrs(out);
    EXPECT_EQ(out->getCount(), 0);
    EXPECT_FALSE(stack->hasChangedFromLastIncrementalFlush());

    m->pushAttr(a);
    m->flushUpdateAttrs(out);
    EXPECT_EQ(contents(out), std::vector<oxAttr*>{a});
    m->pushAttr(b);
    m->popAttr(b);
    m->flushUpdateAttrs(out);
    EXPECT_EQ(out->getCount(), 0);

    // Back at the default: the full flush is empty and the stack leaves the root list.
    m->popAttr(a);
    EXPECT_TRUE(stack->hasChangedFromRoot());
    m->flushAttrs(out);
    EXPECT_EQ(out->getCount(), 0);
    EXPECT_FALSE(stack->hasChangedFromRoot());
}

TEST(AttrStackManager, OverridesStayCurrentUntilTheOutermostIsPopped)
{
    oxSmartPointer<oxAttrStackManager> m = makeManager();
    oxSmartPointer<oxDepthStateAttr> below = attrOf<oxDepthStateAttr>(), outer = attrOf<oxDepthStateAttr>(),
                                     inner = attrOf<oxDepthStateAttr>(), plain = attrOf<oxDepthStateAttr>();
    oxMetaObject* meta = oxDepthStateAttr::getClassTypeSafe();
    oxAttr* def = m->getDefaultAttr(meta);

    m->pushAttr(below);
    m->pushOverride(outer);
    m->pushAttr(plain);
    EXPECT_EQ(m->getTopOrDefault(meta), outer.get());
    EXPECT_EQ(m->getTop(meta), plain.get());
    m->pushOverride(inner);
    EXPECT_EQ(m->getTopOrDefault(meta), outer.get());
    m->popOverride(inner);
    m->popAttr(meta);
    EXPECT_EQ(m->getTopOrDefault(meta), outer.get());
    m->popOverride(outer);
    EXPECT_EQ(m->getTopOrDefault(meta), below.get());
    EXPECT_EQ(m->getStack(meta)->getCachedOverride(), -1);
    m->popAttr(meta);
    EXPECT_EQ(m->getTopOrDefault(meta), def);

    // An override pop calls the pop function only for the attribute it was given.
    m->setPopFunctionData(&g_popped);
    m->setPopFunction(meta, &recordPop);
    g_popped.clear();
    m->pushOverride(outer);
    m->pushOverride(inner);
    m->popOverride(outer);
    m->popOverride(outer);
    EXPECT_EQ(g_popped, std::vector<oxAttr*>{outer});
    EXPECT_EQ(m->getTopOrDefault(meta), def);
}

TEST(AttrStackManager, SetCurrentAttrIsWhatTheNextFlushComparesWith)
{
    oxSmartPointer<oxAttrStackManager> m = makeManager();
    oxSmartPointer<oxNonRefCountedAttrList> out = oxNonRefCountedAttrList::_instantiateRef();
    oxSmartPointer<oxCullFaceAttr> a = attrOf<oxCullFaceAttr>();
    m->pushAttr(a);
    m->setCurrentAttr(a);
    m->flushUpdateAttrs(out);
    EXPECT_EQ(out->getCount(), 0);
    // The stack still differs from its default, so a package would carry it.
    m->flushAttrs(out);
    EXPECT_EQ(contents(out), std::vector<oxAttr*>{a});

    // Every stack's attribute in force, in handle order: here all defaults but one.
    out->removeAll();
    m->getTopAttrs(out);
    std::vector<oxAttr*> expected;
    for (int h = 0; h < m->getNumAttrs(); ++h)
        if (oxAttrStack* s = m->getStack(h))
            expected.push_back(h == m->getAttrHandle(a.get()) ? a.get() : s->getDefault());
    EXPECT_EQ(contents(out), expected);
}

TEST(AttrStackManager, LightStatesTakeSlotsUpToTheConfiguredCount)
{
    oxSmartPointer<oxAttrStackManager> m = makeManager();
    const int slots = oxGetNumUnits(oxLightStateAttr::getClassTypeSafe());
    ASSERT_GT(slots, 0);
    std::vector<oxSmartPointer<oxLightAttr>> lights;
    std::vector<oxSmartPointer<oxLightStateAttr>> states;
    for (int i = 0; i <= slots; ++i) {
        lights.push_back(oxLightAttr::_instantiateRef());
        states.push_back(oxLightStateAttr::_instantiateRef());
        states.back()->setLight(lights.back());
        states.back()->setEnabled(true);
        m->pushLightState(states.back(), i % 2 == 1);
    }
    int base = m->getAttrHandle(oxLightStateAttr::getClassTypeSafe());
    std::vector<bool> used(slots, false);
    for (int i = 0; i < slots; ++i) {
        int handle = m->getAttrHandleSafe(states[i]);
        ASSERT_GE(handle, base);
        ASSERT_LT(handle, base + slots);
        EXPECT_FALSE(used[handle - base]) << "two lights share slot " << handle - base;
        used[handle - base] = true;
        EXPECT_EQ(m->getTopOrDefault(handle), states[i].get());
        EXPECT_TRUE(m->getLightState(lights[i]));
        // The slot's default now stands for this light, switched off.
        auto* def = oxLightStateAttr::dynamicCast(m->getDefaultAttr(handle));
        ASSERT_NE(def, nullptr);
        EXPECT_EQ(def->getLight(), lights[i].get());
        EXPECT_FALSE(def->getEnabled());
    }
    // One light too many: neither pushed nor popped, and no error.
    EXPECT_EQ(m->getAttrHandleSafe(states[slots]), -1);
    EXPECT_FALSE(m->getLightState(lights[slots]));
    m->popLightState(states[slots], true);

    for (int i = slots - 1; i >= 0; --i)
        m->popLightState(states[i], i % 2 == 1);
    EXPECT_FALSE(m->getLightState(lights[0]));
    EXPECT_FALSE(m->getLightState(nullptr));
    oxSmartPointer<oxLightStateAttr> noLight = oxLightStateAttr::_instantiateRef();
    m->pushLightState(noLight, false);
    m->popLightState(nullptr, false);

    // A frame later every light gets a fresh slot and the old defaults let go of theirs.
    auto* slotDefault = oxLightStateAttr::dynamicCast(m->getDefaultAttr(m->getAttrHandleSafe(states[0])));
    m->reset();
    EXPECT_EQ(slotDefault->getLight(), nullptr);
    EXPECT_EQ(m->getAttrHandleSafe(states[0]), -1);
    m->pushLightState(states[slots], false);
    EXPECT_EQ(m->getAttrHandleSafe(states[slots]), base);
}

TEST(AttrStackManager, SimpleLightManagementQueuesStatesAheadOfOtherChanges)
{
    oxSmartPointer<oxAttrStackManager> m = makeManager();
    m->setSimpleLightManagementState(true);
    oxSmartPointer<oxNonRefCountedAttrList> out = oxNonRefCountedAttrList::_instantiateRef();
    oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();
    oxSmartPointer<oxLightStateAttr> on = oxLightStateAttr::_instantiateRef();
    on->setLight(light);
    on->setEnabled(true);
    oxSmartPointer<oxBlendStateAttr> blend = attrOf<oxBlendStateAttr>();

    m->pushAttr(blend);
    m->pushLightState(on, false);
    m->flushUpdateAttrs(out);
    EXPECT_EQ(contents(out), (std::vector<oxAttr*>{on, blend}));
    EXPECT_EQ(m->getAttrHandleSafe(on), -1) << "no stack is touched";

    m->popAttr(blend);
    m->popLightState(on, false);
    m->flushUpdateAttrs(out);
    ASSERT_EQ(out->getCount(), 2);
    auto* off = oxLightStateAttr::dynamicCast(out->get(0));
    ASSERT_NE(off, nullptr);
    EXPECT_NE(off, on.get());
    EXPECT_EQ(off->getLight(), light.get());
    EXPECT_FALSE(off->getEnabled());
    EXPECT_EQ(out->get(1), m->getDefaultAttr(blend.get()));

    // Inverse states come from a pool that the frame's reset rewinds.
    m->reset();
    m->popLightState(on, false);
    m->flushUpdateAttrs(out);
    EXPECT_EQ(contents(out), std::vector<oxAttr*>{off});

    oxRegistry::getGlobal().setValue(kRegistrySectionRendering, "simpleLightManagementState", "true");
    EXPECT_TRUE(oxAttrStackManager::_instantiateRef()->getSimpleLightManagementState());
    oxRegistry::getGlobal().removeKey(kRegistrySectionRendering, "simpleLightManagementState");
}

TEST(AttrStackManager, ALateClassGetsOneHandleInEveryManager)
{
    oxSmartPointer<oxAttrStackManager> a = makeManager(2);
    oxSmartPointer<oxAttrStackManager> b = makeManager(2);
    oxSmartPointer<oxAttrStackManager> unset = oxAttrStackManager::_instantiateRef();
    ASSERT_EQ(LateUnitAttr::getClassType(), nullptr) << "the classes must arrive while the managers live";
    ASSERT_EQ(LateFogAttr::getClassType(), nullptr);

    // A class with units, arriving when the managers' devices differ, leaves them with
    // different counts.
    oxGenericCapabilityManager::dynamicCast(b->getCapabilityManager())->setCapability(Kel::Gfx::OX_GFX_CAP_TEXTURE_UNITS, 5);
    int start = a->getNumAttrs();
    ASSERT_EQ(b->getNumAttrs(), start);
    oxMetaObject* units = LateUnitAttr::getClassTypeSafe();
    EXPECT_EQ(units->getAttrHandle(), start);
    EXPECT_EQ(a->getNumAttrs(), start + 2);
    EXPECT_EQ(b->getNumAttrs(), start + 5);

    oxMetaObject* fog = LateFogAttr::getClassTypeSafe();
    EXPECT_EQ(fog->getAttrHandle(), start + 5);
    for (oxAttrStackManager* m : {a.get(), b.get()}) {
        EXPECT_EQ(m->getNumAttrs(), start + 6);
        oxAttr* def = m->getDefaultAttr(fog);
        ASSERT_NE(def, nullptr);
        EXPECT_EQ(def->getMetaObject(), fog);
        oxSmartPointer<LateFogAttr> attr = LateFogAttr::_instantiateRef();
        m->pushAttr(attr);
        EXPECT_EQ(m->getTopOrDefault(fog), attr.get());
        m->popAttr(fog);
    }
    EXPECT_EQ(a->getStack(units, 2), nullptr);
    EXPECT_EQ(unset->getNumAttrs(), 0);
    EXPECT_EQ(unset->getStack(fog), nullptr);
}

// Every stack of a manager is the one its handle names: a default of the right class and
// unit, or an empty entry where the manager has fewer units than another.
void expectLayout(const oxAttrStackManager* m)
{
    for (int i = 0; i < oxMetaObject::getRegisteredCount(); ++i) {
        oxMetaObject* meta = oxMetaObject::getRegistered(i);
        if (!meta->isDerivedFrom(oxAttr::getClassTypeSafe()) || meta->isAbstract() || meta->getAttrHandle() < 0)
            continue;
        SCOPED_TRACE(meta->getName());
        int units = oxGetNumUnits(meta);
        if (units <= 0)
            units = std::max(1, m->getDefaultAttr(meta)->getUnitCount(m->getCapabilityManager()));
        int after = meta->getAttrHandle() + units;
        if (after < m->getNumAttrs() && m->getStack(after)) {
            EXPECT_NE(m->getStack(after)->getDefault()->getMetaObject(), meta) << "more units than the device has";
        }
        for (int u = 0; u < units; ++u) {
            oxAttr* def = m->getDefaultAttr(meta, u);
            ASSERT_NE(def, nullptr) << "unit " << u;
            EXPECT_EQ(def->getMetaObject(), meta);
            if (meta != oxLightStateAttr::getClassTypeSafe()) {
                EXPECT_EQ(def->getUnit(), u);
            }
        }
    }
}

TEST(AttrStackManager, MoreUnitsInALaterManagerShiftTheHandlesOfEveryManager)
{
    oxSmartPointer<oxAttrStackManager> few = makeManager(2);
    oxMetaObject* texState = oxTextureStateAttr::getClassTypeSafe();
    // Room the handles leave for texture states: the second manager needs more.
    const int texHandle = few->getAttrHandle(texState);
    int next = texHandle + 1;
    while (next < few->getNumAttrs() && (!few->getStack(next) || few->getStack(next)->getDefault()->getMetaObject() == texState))
        ++next;
    ASSERT_LT(next, few->getNumAttrs()) << "texture states must not be the last class";
    const int manyUnits = next - texHandle + 3;
    std::vector<int> before;
    for (int i = 0; i < oxMetaObject::getRegisteredCount(); ++i)
        before.push_back(oxMetaObject::getRegistered(i)->getAttrHandle());

    oxSmartPointer<oxAttrStackManager> many = makeManager(manyUnits);
    int shifted = 0;
    for (int i = 0; i < int(before.size()); ++i)
        shifted += oxMetaObject::getRegistered(i)->getAttrHandle() > before[i];
    EXPECT_GT(shifted, 0);
    expectLayout(few);
    expectLayout(many);
    // The units only the second manager has are empty entries in the first, and a reset
    // walks past them.
    EXPECT_EQ(few->getStack(texState, 2), nullptr);
    EXPECT_NE(many->getStack(texState, manyUnits - 1), nullptr);
    oxSmartPointer<oxTextureStateAttr> t = attrOf<oxTextureStateAttr>(1);
    few->pushAttr(t);
    many->pushAttr(t);
    few->reset();
    many->reset();
    EXPECT_EQ(few->getTopOrDefault(t.get()), few->getDefaultAttr(texState, 1));
}

TEST(AttrPoolManager, OnePoolPerClassRewoundByReset)
{
    Kel::Sg::oxArkRegisterForOXBFiles();
    oxSmartPointer<oxAttrPoolManager> pools = oxAttrPoolManager::_instantiateRef();
    std::vector<oxMetaObject*> classes{oxModelViewMatrixAttr::getClassTypeSafe(), oxProjectionMatrixAttr::getClassTypeSafe(),
                                       oxBlendStateAttr::getClassTypeSafe(), oxViewportAttr::getClassTypeSafe()};
    for (oxMetaObject* c : classes)
        EXPECT_EQ(pools->getAttrPool(c)->getObjectMeta(), c);
    for (oxMetaObject* c : classes)
        EXPECT_EQ(pools->getAttrPool(c), pools->getAttrPool(c));
    ASSERT_EQ(pools->getAttrPools()->getCount(), int(classes.size()));
    for (int i = 1; i < pools->getAttrPools()->getCount(); ++i)
        EXPECT_LT(pools->getAttrPools()->get(i - 1)->getObjectMeta(), pools->getAttrPools()->get(i)->getObjectMeta());

    oxModelViewMatrixAttr* first = pools->allocate<oxModelViewMatrixAttr>();
    ASSERT_NE(first, nullptr);
    EXPECT_NE(pools->allocate<oxModelViewMatrixAttr>(), first);
    pools->reset();
    EXPECT_EQ(pools->getAttrPool(oxModelViewMatrixAttr::getClassTypeSafe())->getFreeIndex(), 0);
    EXPECT_EQ(pools->allocate<oxModelViewMatrixAttr>(), first);

    static std::string warning;
    auto previous = oxSetWarningHandler([](const char* text) { warning = text; });
    EXPECT_EQ(pools->getAttrPool(oxGroup::getClassTypeSafe()), nullptr);
    EXPECT_EQ(pools->getAttrPool(nullptr), nullptr);
    oxSetWarningHandler(previous);
    EXPECT_NE(warning.find("not an attribute class"), std::string::npos) << warning;
    EXPECT_EQ(pools->getAttrPools()->getCount(), int(classes.size()));
}

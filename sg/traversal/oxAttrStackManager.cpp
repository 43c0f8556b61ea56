#include "sg/traversal/oxAttrStackManager.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/core/oxRegistry.h"
#include "sg/traversal/oxRenderPackage.h"

namespace Kel::Sg {

namespace {

struct LightStateSettings {
    int maxLightStateCount = 256;
    bool disableBumpDotProduct = false;
};

// Read once: every manager must agree on the slot count, since it sizes the handle range.
const LightStateSettings& lightStateSettings()
{
    static const LightStateSettings settings = [] {
        LightStateSettings s;
        const oxRegistry& registry = oxRegistry::getGlobal();
        // Section 7 holds the settings of lights and shaders together.
        registry.getValue(oxRegistry::kSectionShaders, "maxLightStateCount", s.maxLightStateCount, 256);
        registry.getValue(oxRegistry::kSectionShaders, "disableBumpDotProduct", s.disableBumpDotProduct, false);
        return s;
    }();
    return settings;
}

// Attribute classes in registration order. Class descriptions live as long as the
// process, so plain pointers do.
std::vector<oxMetaObject*>& attrClasses()
{
    static std::vector<oxMetaObject*> classes;
    return classes;
}

// Every live manager, so that handles stay identical across them.
oxNonRefCountedAttrStackManagerList* g_managers = nullptr;

oxNonRefCountedAttrStackManagerList& liveManagers()
{
    if (!g_managers) {
        g_managers = oxNonRefCountedAttrStackManagerList::_instantiateFromPool(nullptr);
        g_managers->ref();
    }
    return *g_managers;
}

bool lightBefore(const oxAttr* a, const oxAttr* b)
{
    return std::less<const oxAttr*>()(a, b);
}

} // namespace

int oxGetNumUnits(const oxMetaObject* attrClass)
{
    if (attrClass && attrClass == oxLightAttr::getClassType())
        return 1;
    if (attrClass && attrClass == oxLightStateAttr::getClassType())
        return lightStateSettings().maxLightStateCount;
    return 0;
}

bool oxGetDisableBumpDotProduct()
{
    return lightStateSettings().disableBumpDotProduct;
}

void oxAttrStackManager::arkRegisterInitialize(oxFields<oxAttrStackManager>& f)
{
    f.add(OX_FIELD(numAttrs));
    f.add(OX_FIELD(attrStacks)).constructWithOwner();
    f.add(OX_FIELD(attrDefaults)).constructWithOwner();
    f.add(OX_FIELD(attrIncrementalUpdateList)).constructWithOwner();
    f.add(OX_FIELD(attrRootUpdateList)).constructWithOwner();
    f.add(OX_FIELD(nextAttrUpdateList)).constructWithOwner();
    f.add(OX_FIELD(lightAttrAddrs)).constructWithOwner();
    f.add(OX_FIELD(lightAttrStackAddrs)).constructWithOwner();
    f.add(OX_FIELD(updateLightAttrs)).constructWithOwner();
    f.add(OX_FIELD(popProcData));
    f.add(OX_FIELD(capabilityManager));
    f.add(OX_FIELD(defaultManager));
    f.add(OX_FIELD(simpleLightMgr)).setDefault(false);
    f.add(OX_FIELD(lightDisableAttrPool)).constructWithOwner();
    f.add(OX_FIELD(stackChanged));
}

void oxAttrStackManager::arkRegisterUser()
{
    oxMetaObject::registerClassRegistrationCallback(&oxAttrStackManager::registerClass);
}

void oxAttrStackManager::userUnregister()
{
    attrClasses().clear();
}

void oxAttrStackManager::registerClass(oxMetaObject* meta)
{
    if (!meta->isDerivedFrom(oxAttr::getClassType()) || meta->isAbstract())
        return;
    std::vector<oxMetaObject*>& classes = attrClasses();
    if (std::find(classes.begin(), classes.end(), meta) != classes.end())
        return;
    classes.push_back(meta);
    if (!g_managers)
        return;
    int largest = 0;
    for (int i = 0; i < g_managers->getCount(); ++i)
        largest = std::max(largest, g_managers->get(i)->_numAttrs);
    for (int i = 0; i < g_managers->getCount(); ++i)
        g_managers->get(i)->registerAttribute(meta, largest);
}

void oxAttrStackManager::userInstantiate(bool forFileRead)
{
    oxObject::userInstantiate(forFileRead);
    if (forFileRead)
        return;
    liveManagers().append(this);
    registerKnownAttributes();
    oxRegistry::getGlobal().getValue(kRegistrySectionRendering, "simpleLightManagementState", _simpleLightMgr, false);
}

void oxAttrStackManager::userRelease()
{
    if (g_managers) {
        g_managers->removeObject(this);
        if (g_managers->getCount() == 0) {
            g_managers->release();
            g_managers = nullptr;
        }
    }
    oxObject::userRelease();
}

void oxAttrStackManager::setup(oxMetaObject*, oxAttrDefaultManager* defaults, oxCapabilityManager* capabilities)
{
    _defaultManager = defaults;
    _capabilityManager = capabilities;
    removeAttributes();
    registerKnownAttributes();
}

void oxAttrStackManager::removeAttributes()
{
    reset();
    _attrDefaults->removeAll();
    _attrStacks->removeAll();
    _numAttrs = 0;
}

oxAttr* oxAttrStackManager::makeDefault(oxMetaObject* meta, int unit)
{
    // Light-state slots are this manager's own: it binds their defaults to lights and turns
    // them off, which must not reach a default manager shared with other traversals (the
    // attribute library has no units of light states either).
    if (meta == oxLightStateAttr::getClassType())
        return static_cast<oxAttr*>(meta->createInstance(getMemoryPool()));
    return _defaultManager->getDefaultAttr(meta, unit);
}

void oxAttrStackManager::registerAttribute(oxMetaObject* meta, int first)
{
    if (!_defaultManager || !_capabilityManager)
        return;
    int base = meta->getAttrHandle();
    if (base < 0) {
        meta->setAttrHandle(first);
        base = first;
    } else
        base = std::max(base, first);

    int units = oxGetNumUnits(meta);
    if (units <= 0) {
        oxAttr* unit0 = _defaultManager->getDefaultAttr(meta, 0);
        units = unit0 ? std::max(unit0->getUnitCount(_capabilityManager), 1) : 1;
    }
    // Never shorter: the entries beyond belong to classes with later handles.
    int count = std::max(base + units, _attrStacks->getCount());
    _attrStacks->setCount(count);
    _attrDefaults->setCount(count);
    _numAttrs = count;

    for (int u = 0; u < units; ++u) {
        oxAttr* def = makeDefault(meta, u);
        oxAttrStack* stack = oxAttrStack::_instantiateFromPool(getMemoryPool());
        stack->_default = def;
        stack->_lastIncrementalFlushedAttr = def;
        stack->_popProc = nullptr;
        _attrStacks->set(base + u, stack);
        _attrDefaults->set(base + u, def);
    }
}

void oxAttrStackManager::registerKnownAttributes()
{
    if (!_defaultManager || !_capabilityManager)
        return;
    std::vector<oxMetaObject*>& classes = attrClasses();
    const int n = int(classes.size());
    for (int i = 0; i < n; ++i) {
        bool hadHandle = classes[i]->getAttrHandle() >= 0;
        registerAttribute(classes[i], _numAttrs);
        if (!hadHandle || i + 1 == n)
            continue;
        // This manager has more units of class i than the managers that placed the next
        // class: everything from there moves up, here and in every other manager.
        int next = classes[i + 1]->getAttrHandle();
        if (next < 0 || next >= _numAttrs)
            continue;
        int d = _numAttrs - next;
        for (int m = 0; g_managers && m < g_managers->getCount(); ++m)
            if (oxAttrStackManager* other = g_managers->get(m); other != this)
                other->shiftAttributeLists(next, d);
        for (int j = i + 1; j < n; ++j)
            if (int h = classes[j]->getAttrHandle(); h >= 0)
                classes[j]->setAttrHandle(h + d);
    }
}

void oxAttrStackManager::shiftAttributeLists(int at, int count)
{
    if (at >= _numAttrs)
        return;
    _attrStacks->setCapacity(_attrStacks->getCount() + count);
    _attrDefaults->setCapacity(_attrDefaults->getCount() + count);
    for (int i = 0; i < count; ++i) {
        _attrStacks->insert(at, nullptr);
        _attrDefaults->insert(at, nullptr);
    }
    _numAttrs += count;
    // Stacks marked dirty keep their place in the lists under their new handles.
    for (oxIntList* dirty : {_attrIncrementalUpdateList.get(), _attrRootUpdateList.get()})
        for (int32_t& handle : *dirty)
            if (handle >= at)
                handle += count;
}

int oxAttrStackManager::findLight(const oxLightAttr* light) const
{
    int lo = 0, hi = _lightAttrAddrs->getCount();
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (lightBefore(_lightAttrAddrs->get(mid), light))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < _lightAttrAddrs->getCount() && _lightAttrAddrs->get(lo) == light ? lo : -1 - lo;
}

oxLightStateAttr* oxAttrStackManager::getSlotDefault(int slot) const
{
    int base = oxLightStateAttr::getClassType() ? oxLightStateAttr::getClassType()->getAttrHandle() : -1;
    if (base < 0 || slot < 0 || base + slot >= _attrDefaults->getCount())
        return nullptr;
    return oxLightStateAttr::dynamicCast(_attrDefaults->get(base + slot));
}

int oxAttrStackManager::acquireLightSlot(oxLightAttr* light)
{
    int at = findLight(light);
    if (at >= 0)
        return (*_lightAttrStackAddrs)[at];
    int slot = _lightAttrAddrs->getCount();
    if (slot >= oxGetNumUnits(oxLightStateAttr::getClassType()))
        return -1;
    oxLightStateAttr* def = getSlotDefault(slot);
    if (!def)
        return -1;
    at = -1 - at;
    _lightAttrAddrs->insert(at, light);
    _lightAttrStackAddrs->insert(at, slot);
    def->setLight(light);
    def->setEnabled(false);
    return slot;
}

int oxAttrStackManager::getLightAttrHandle(const oxLightStateAttr* lightState) const
{
    int at = findLight(lightState->getLight());
    return at < 0 ? -1 : oxLightStateAttr::getClassType()->getAttrHandle() + (*_lightAttrStackAddrs)[at];
}

bool oxAttrStackManager::getLightState(const oxLightAttr* light) const
{
    if (!light)
        return false;
    int at = findLight(light);
    if (at < 0)
        return false;
    int handle = oxLightStateAttr::getClassType()->getAttrHandle() + (*_lightAttrStackAddrs)[at];
    auto* state = oxLightStateAttr::dynamicCast(getTopOrDefault(handle));
    return state && state->getEnabled();
}

void oxAttrStackManager::pushLightState(oxLightStateAttr* lightState, bool override)
{
    oxLightAttr* light = lightState ? lightState->getLight() : nullptr;
    if (!light)
        return;
    if (_simpleLightMgr) {
        _updateLightAttrs->append(lightState);
        return;
    }
    int slot = acquireLightSlot(light);
    if (slot < 0)
        return;
    int handle = oxLightStateAttr::getClassType()->getAttrHandle() + slot;
    if (override)
        fastPushOverride(lightState, handle);
    else
        fastPushAttr(lightState, handle);
}

void oxAttrStackManager::popLightState(oxLightStateAttr* lightState, bool override)
{
    oxLightAttr* light = lightState ? lightState->getLight() : nullptr;
    if (!light)
        return;
    if (_simpleLightMgr) {
        // Leaving a light-state set queues the opposite state for the same light.
        oxLightStateAttr* inverse = _lightDisableAttrPool->allocate();
        if (!inverse)
            return;
        inverse->setLight(light);
        inverse->setEnabled(!lightState->getEnabled());
        _updateLightAttrs->append(inverse);
        return;
    }
    int at = findLight(light);
    if (at < 0)
        return;
    int handle = oxLightStateAttr::getClassType()->getAttrHandle() + (*_lightAttrStackAddrs)[at];
    if (override)
        fastPopOverride(lightState, handle);
    else
        fastPopAttr(handle);
}

void oxAttrStackManager::clearLightHandles()
{
    for (int32_t slot : *_lightAttrStackAddrs)
        if (oxLightStateAttr* def = getSlotDefault(slot))
            def->setLight(nullptr);
    _lightAttrAddrs->removeAll();
    _lightAttrStackAddrs->removeAll();
}

void oxAttrStackManager::getTopAttrs(oxNonRefCountedAttrList* list) const
{
    for (int h = 0; h < _attrStacks->getCount(); ++h)
        if (oxAttrStack* s = stackAt(h))
            list->append(s->getTopOrDefault());
}

void oxAttrStackManager::setCurrentAttr(oxAttr* attr)
{
    int handle = getAttrHandleSafe(attr);
    if (oxAttrStack* s = getStack(handle)) {
        s->_lastIncrementalFlushedAttr = attr;
        markDirty(s, handle);
    }
}

template <class List>
void oxAttrStackManager::appendIncrementalUpdate(List* list)
{
    if (_simpleLightMgr) {
        for (int i = 0; i < _updateLightAttrs->getCount(); ++i)
            list->append(_updateLightAttrs->get(i));
        _updateLightAttrs->removeAll();
    }
    for (int32_t handle : *_attrIncrementalUpdateList) {
        oxAttrStack* s = stackAt(handle);
        s->_hasChangedFromLastIncrementalFlush = false;
        oxAttr* current = s->getTopOrDefault();
        if (current != s->_lastIncrementalFlushedAttr) {
            // A frame's display list does not hold what the frame's pools own: they outlive it.
            if constexpr (List::holdsReferences) {
                if (current->isPoolOwned())
                    list->appendWithoutReference(current);
                else
                    list->append(current);
            } else
                list->append(current);
            s->_lastIncrementalFlushedAttr = current;
        }
    }
    _attrIncrementalUpdateList->removeAll();
}

void oxAttrStackManager::flushUpdateAttrs(oxNonRefCountedAttrList* list)
{
    // Emptied, not freed (removeAll would give up the room): flushes run every frame.
    list->setCount(0);
    appendIncrementalUpdate(list);
}

void oxAttrStackManager::flushUpdateAttrsNoReset(oxNonRefCountedAttrList* list)
{
    appendIncrementalUpdate(list);
}

void oxAttrStackManager::flushUpdateAttrsNoReset(oxAttrList* list)
{
    appendIncrementalUpdate(list);
}

template <class List>
void oxAttrStackManager::collectFullState(List* list)
{
    list->setCount(0);
    const int n = _attrRootUpdateList->getCount();
    // Grow only: a steady frame must not reallocate what the previous one sized.
    list->setCapacity(n);
    _nextAttrUpdateList->removeAll();
    if (_nextAttrUpdateList->getCapacity() < n)
        _nextAttrUpdateList->setCapacity(n);
    for (int32_t handle : *_attrRootUpdateList) {
        oxAttrStack* s = stackAt(handle);
        oxAttr* current = s->getTopOrDefault();
        if (current != s->_default.get()) {
            _nextAttrUpdateList->append(handle);
            list->append(current);
        } else
            s->_hasChangedFromRoot = false;
    }
    std::swap(_nextAttrUpdateList, _attrRootUpdateList);
    _stackChanged = false;
}

void oxAttrStackManager::flushAttrs(oxNonRefCountedAttrList* list)
{
    collectFullState(list);
}

void oxAttrStackManager::flushAttrs(oxAttrList* list)
{
    collectFullState(list);
}

int oxAttrStackManager::flushAttrs(oxAttr** attrs, int32_t* handles, int max)
{
    if (getFullStateBound() > max)
        return -1;
    _nextAttrUpdateList->removeAll();
    if (_nextAttrUpdateList->getCapacity() < _attrRootUpdateList->getCount())
        _nextAttrUpdateList->setCapacity(_attrRootUpdateList->getCount());
    int n = 0;
    for (int32_t handle : *_attrRootUpdateList) {
        oxAttrStack* s = stackAt(handle);
        oxAttr* current = s->getTopOrDefault();
        if (current != s->_default.get()) {
            _nextAttrUpdateList->append(handle);
            attrs[n] = current;
            handles[n++] = handle | (current->isPoolOwned() ? oxStateRecord::kPoolOwned : 0);
        } else
            s->_hasChangedFromRoot = false;
    }
    std::swap(_nextAttrUpdateList, _attrRootUpdateList);
    _stackChanged = false;
    return n;
}

void oxAttrStackManager::reset()
{
    for (int h = 0; h < _attrStacks->getCount(); ++h)
        if (oxAttrStack* s = stackAt(h))
            s->resetForFrame();
    _attrIncrementalUpdateList->removeAll();
    _attrRootUpdateList->removeAll();
    clearLightHandles();
    _updateLightAttrs->removeAll();
    _lightDisableAttrPool->reset();
}

void oxAttrStackManager::postFileRead()
{
    oxObject::postFileRead();
    userAllocateFields(false);
    _numAttrs = std::clamp(_numAttrs, 0, std::min(_attrStacks->getCount(), _attrDefaults->getCount()));
    _attrStacks->setCount(_numAttrs);
    _attrDefaults->setCount(_numAttrs);
    reset();
}

} // namespace Kel::Sg

#pragma once
#include "platform/attrs/oxAttrDefaultManager.h"
#include "platform/attrs/oxCapabilityManager.h"
#include "platform/attrs/oxLightAttr.h"
#include "sg/core/oxObjectPool.h"
#include "sg/traversal/oxAttrStack.h"

namespace Kel::Sg {

using Attrs::oxAttrDefaultManager;
using Attrs::oxCapabilityManager;
using Attrs::oxLightAttr;
using Attrs::oxLightStateAttr;

OX_DATA_LIST(oxAttrStackManagerPopFunctionList, oxAttrPopFunction)

// Stacks a class has in every manager whatever the device: 1 for lights, the configured
// light-state slot count ("maxLightStateCount") for light states, 0 (ask the device) for
// the rest.
int oxGetNumUnits(const oxMetaObject* attrClass);
// The "disableBumpDotProduct" flag, read with the light-state slot count.
bool oxGetDisableBumpDotProduct();

// The render state of a traversal: one stack per attribute class and unit, addressed by an
// integer handle that is the same in every manager (the class's first handle lives in its
// class description, the unit is added to it). Pushing and popping only mark stacks dirty;
// the state reaches the device when the traversal flushes what changed into a list.
//
// Push and pop are contracts, not checks: a caller pushes only units the manager has and
// pops exactly what it pushed.
class oxAttrStackManager : public oxObject {
    OX_CLASS(oxAttrStackManager, oxObject)
    OX_FIELDS(numAttrs, attrStacks, attrDefaults, attrIncrementalUpdateList, attrRootUpdateList, nextAttrUpdateList,
              lightAttrAddrs, lightAttrStackAddrs, updateLightAttrs, popProcData, capabilityManager, defaultManager,
              simpleLightMgr, lightDisableAttrPool, stackChanged)
public:
    static void arkRegisterUser();
    // The class-registration callback: every concrete attribute class gets its handles.
    static void registerClass(oxMetaObject* meta);
    // Forgets the attribute classes seen so far.
    static void userUnregister();

    // Set-up: takes both managers and builds a stack for every attribute class known.
    // The first argument names the attribute base class; every known class is registered.
    void setup(oxMetaObject* attrBaseClass, oxAttrDefaultManager* defaults, oxCapabilityManager* capabilities);
    void registerKnownAttributes();
    void registerAttribute(oxMetaObject* meta, int first);
    void removeAttributes();
    void shiftAttributeLists(int at, int count);

    void setDefaultManager(oxAttrDefaultManager* m) { _defaultManager = m; }
    oxAttrDefaultManager* getDefaultManager() const { return _defaultManager; }
    void setCapabilityManager(oxCapabilityManager* m) { _capabilityManager = m; }
    oxCapabilityManager* getCapabilityManager() const { return _capabilityManager; }
    void setSimpleLightManagementState(bool on) { _simpleLightMgr = on; }
    bool getSimpleLightManagementState() const { return _simpleLightMgr; }
    void setPopFunctionData(void* data) { _popProcData = data; }
    void* getPopFunctionData() const { return _popProcData; }
    int getNumAttrs() const { return _numAttrs; }
    oxAttrStackList* getStacksArray() const { return _attrStacks; }
    // Some stack changed since the last full flush.
    bool getStackChanged() const { return _stackChanged; }

    // Handles. A light state's slot is the manager's choice: getAttrHandleSafe finds it.
    static int getAttrHandle(const oxMetaObject* meta) { return meta->getAttrHandle(); }
    static int getAttrHandle(const oxMetaObject* meta, int unit) { return meta->getAttrHandle() + unit; }
    static int getAttrHandle(const oxAttr* attr) { return getAttrHandle(attr, attr->getUnit()); }
    static int getAttrHandle(const oxAttr* attr, int unit) { return getAttrHandle(attr->getMetaObjectFast(), unit); }
    int getAttrHandleSafe(const oxAttr* attr) const
    {
        return attr->getMetaObjectFast() == oxLightStateAttr::getClassType()
                   ? getLightAttrHandle(static_cast<const oxLightStateAttr*>(attr))
                   : getAttrHandle(attr);
    }
    // -1 when the state's light owns no slot.
    int getLightAttrHandle(const oxLightStateAttr* lightState) const;

    // Queries take a handle, a class (unit 0), a class and unit, or an attribute. They give
    // null for a handle this manager has no stack for.
    oxAttrStack* getStack(int handle) const
    {
        return handle >= 0 && handle < _attrStacks->getCount() ? _attrStacks->get(handle) : nullptr;
    }
    oxAttrStack* getStack(const oxMetaObject* meta, int unit = 0) const { return getStack(getAttrHandle(meta, unit)); }
    oxAttrStack* getStack(const oxAttr* attr) const { return getStack(getAttrHandle(attr)); }
    template <class... Key>
    oxAttr* getTop(const Key&... key) const
    {
        return query(&oxAttrStack::getTop, key...);
    }
    template <class... Key>
    oxAttr* getTopOrDefault(const Key&... key) const
    {
        return query(&oxAttrStack::getTopOrDefault, key...);
    }
    // What the last incremental flush handed on for the stack.
    template <class... Key>
    oxAttr* getCurrentAttr(const Key&... key) const
    {
        return query(&oxAttrStack::getLastIncrementalFlushedAttr, key...);
    }
    template <class... Key>
    oxAttr* getDefaultAttr(const Key&... key) const
    {
        return query(&oxAttrStack::getDefault, key...);
    }
    oxAttrPopFunction getPopFunction(const oxMetaObject* meta, int unit = 0) const
    {
        oxAttrStack* s = getStack(meta, unit);
        return s ? s->getPopFunction() : nullptr;
    }
    void setPopFunction(const oxMetaObject* meta, oxAttrPopFunction fn, int unit = 0)
    {
        if (oxAttrStack* s = getStack(meta, unit))
            s->setPopFunction(fn);
    }
    // Appends the attribute in force for every stack, in handle order.
    void getTopAttrs(oxNonRefCountedAttrList* list) const;
    // Takes `attr` as what was last handed on for its stack; the next incremental flush
    // compares against it.
    void setCurrentAttr(oxAttr* attr);
    // Whether the light is on in the current state: false for a light without a slot.
    bool getLightState(const oxLightAttr* light) const;

    // Push and pop: one stack operation and at most two dirty-list appends.
    void fastPushAttr(oxAttr* attr, int handle)
    {
        oxAttrStack* s = stackAt(handle);
        s->push(attr);
        markDirty(s, handle);
    }
    void fastPushAttr(oxAttr* attr) { fastPushAttr(attr, getAttrHandle(attr)); }
    void pushAttr(oxAttr* attr) { fastPushAttr(attr); }
    void pushAttr(oxAttr* attr, int handle) { fastPushAttr(attr, handle); }

    void fastPopAttr(int handle)
    {
        oxAttrStack* s = stackAt(handle);
        if (s->_popProc)
            s->_popProc(s->getTop(), getPopFunctionData());
        s->pop();
        markDirty(s, handle);
    }
    // The attribute only selects the stack; it is not compared with the top.
    void fastPopAttr(const oxAttr* attr) { fastPopAttr(getAttrHandle(attr)); }
    void fastPopAttr(const oxMetaObject* meta, int unit = 0) { fastPopAttr(getAttrHandle(meta, unit)); }
    void popAttr(int handle) { fastPopAttr(handle); }
    void popAttr(const oxAttr* attr) { fastPopAttr(attr); }
    void popAttr(const oxMetaObject* meta, int unit = 0) { fastPopAttr(meta, unit); }

    void fastPushOverride(oxAttr* attr, int handle)
    {
        oxAttrStack* s = stackAt(handle);
        s->pushOverride(attr);
        markDirty(s, handle);
    }
    void fastPushOverride(oxAttr* attr) { fastPushOverride(attr, getAttrHandle(attr)); }
    void pushOverride(oxAttr* attr) { fastPushOverride(attr); }
    void fastPopOverride(oxAttr* attr, int handle)
    {
        oxAttrStack* s = stackAt(handle);
        if (s->_popProc && s->getTop() == attr)
            s->_popProc(attr, getPopFunctionData());
        s->popOverride();
        markDirty(s, handle);
    }
    void fastPopOverride(oxAttr* attr) { fastPopOverride(attr, getAttrHandle(attr)); }
    void popOverride(oxAttr* attr) { fastPopOverride(attr); }

    // Light states live in per-light slots chosen here. A state without a light, or for a
    // light beyond the slot count, is ignored.
    void pushLightState(oxLightStateAttr* lightState, bool override);
    void popLightState(oxLightStateAttr* lightState, bool override);
    // Unbinds every slot: lights get fresh slots next frame.
    void clearLightHandles();

    // Flushes. The incremental form appends what changed since the previous incremental
    // flush (queued light states first); the full form replaces the list's content with
    // every attribute that differs from its default.
    void flushUpdateAttrs(oxNonRefCountedAttrList* list);
    void flushUpdateAttrsNoReset(oxNonRefCountedAttrList* list);
    void flushUpdateAttrsNoReset(oxAttrList* list);
    void flushAttrs(oxNonRefCountedAttrList* list);
    void flushAttrs(oxAttrList* list);
    // The same full flush as pairs: every attribute that differs from its default into
    // `attrs` and its stack's handle into `handles` (with oxStateRecord::kPoolOwned set when a
    // pool owns the attribute). Room for getFullStateBound() entries is always enough.
    int flushAttrs(oxAttr** attrs, int32_t* handles, int max);
    int getFullStateBound() const { return _attrRootUpdateList->getCount(); }

    // Every stack back to its empty state, slots and queued light states dropped.
    virtual void reset();

    void userInstantiate(bool forFileRead) override;
    void userRelease() override;
    // Brings the counts and lists read from a file into agreement, then resets.
    void postFileRead() override;

protected:
    oxAttrStackManager() = default;
    static void arkRegisterInitialize(oxFields<oxAttrStackManager>& f);

    oxAttrStack* stackAt(int handle) const { return _attrStacks->get(handle); }
    template <class... Key>
    oxAttr* query(oxAttr* (oxAttrStack::*get)() const, const Key&... key) const
    {
        oxAttrStack* s = getStack(key...);
        return s ? (s->*get)() : nullptr;
    }
    void markDirty(oxAttrStack* s, int handle)
    {
        if (!s->_hasChangedFromLastIncrementalFlush) {
            _attrIncrementalUpdateList->append(handle);
            s->_hasChangedFromLastIncrementalFlush = true;
        }
        if (!s->_hasChangedFromRoot) {
            _attrRootUpdateList->append(handle);
            s->_hasChangedFromRoot = true;
        }
        _stackChanged = true;
    }
    // The default of one stack; see the .cpp for light-state slots.
    oxAttr* makeDefault(oxMetaObject* meta, int unit);
    // Index of the light in _lightAttrAddrs, or -1 - the index where it would go.
    int findLight(const oxLightAttr* light) const;
    // The light's slot, taking a free one if it has none; -1 when every slot is taken.
    int acquireLightSlot(oxLightAttr* light);
    oxLightStateAttr* getSlotDefault(int slot) const;
    template <class List>
    void appendIncrementalUpdate(List* list);
    template <class List>
    void collectFullState(List* list);

    int32_t _numAttrs = 0;
    oxSmartPointer<oxAttrStackList> _attrStacks;
    oxSmartPointer<oxAttrList> _attrDefaults;
    oxSmartPointer<oxIntList> _attrIncrementalUpdateList;
    oxSmartPointer<oxIntList> _attrRootUpdateList;
    oxSmartPointer<oxIntList> _nextAttrUpdateList;
    oxSmartPointer<oxNonRefCountedAttrList> _lightAttrAddrs;
    oxSmartPointer<oxIntList> _lightAttrStackAddrs;
    oxSmartPointer<oxNonRefCountedAttrList> _updateLightAttrs;
    void* _popProcData = nullptr;
    oxSmartPointer<oxCapabilityManager> _capabilityManager;
    oxSmartPointer<oxAttrDefaultManager> _defaultManager;
    bool _simpleLightMgr = false;
    oxSmartPointer<oxLightStateAttrPool> _lightDisableAttrPool;
    bool _stackChanged = false;
};

OX_NON_REF_COUNTED_OBJECT_LIST(oxNonRefCountedAttrStackManagerList, oxAttrStackManager)

} // namespace Kel::Sg

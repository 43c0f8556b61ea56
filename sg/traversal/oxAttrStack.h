#pragma once
#include "platform/attrs/oxAttr.h"
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

using Attrs::oxAttr;
using Attrs::oxAttrList;
using Attrs::oxNonRefCountedAttrList;

// Called with an attribute as it leaves its stack, and the manager's user data.
using oxAttrPopFunction = void (*)(oxAttr* attr, void* data);

class oxAttrStackManager;

// The attributes pushed for one attribute class and unit, the last pushed on top, with the
// class default standing in when nothing is pushed. An override entry stays current while
// ordinary entries come and go above it. The flags and records below belong to the
// manager's dirty tracking and the sorter's state reduction.
class oxAttrStack : public Utils::oxNonRefCountedObjectStack {
    OX_CLASS(oxAttrStack, Utils::oxNonRefCountedObjectStack)
    OX_FIELDS(default, cachedOverride, popProc, hasChangedFromLastIncrementalFlush, lastIncrementalFlushedAttr,
              hasChangedFromRoot, lastFlushedAttr, cachedRenderPackage)
public:
    oxMetaObject* getElementType() const override { return oxAttr::getClassTypeSafe(); }

    oxAttr* get(int index) const { return static_cast<oxAttr*>(getObject(index)); }
    // The last pushed entry, overrides aside; null when empty.
    oxAttr* getTop() const { return isEmpty() ? nullptr : get(getCount() - 1); }
    // The attribute in force: the outermost override, else the top, else the default.
    oxAttr* getTopOrDefault() const
    {
        if (_cachedOverride >= 0)
            return get(_cachedOverride);
        return isEmpty() ? _default.get() : get(getCount() - 1);
    }
    bool isDefault() const { return getTopOrDefault() == _default.get(); }

    void push(oxAttr* attr) { appendObject(attr); }
    // Pushes an entry that stays current until it is popped; a nested override leaves the
    // outer one in force.
    void pushOverride(oxAttr* attr)
    {
        if (_cachedOverride < 0)
            _cachedOverride = getCount();
        appendObject(attr);
    }
    // The caller pops what it pushed: the stack is not empty.
    void popOverride()
    {
        pop();
        if (getCount() == _cachedOverride)
            _cachedOverride = -1;
    }

    oxAttr* getDefault() const { return _default; }
    void setDefault(oxAttr* attr) { _default = attr; }
    int getCachedOverride() const { return _cachedOverride; }
    oxAttrPopFunction getPopFunction() const { return _popProc; }
    void setPopFunction(oxAttrPopFunction fn) { _popProc = fn; }
    bool hasChangedFromLastIncrementalFlush() const { return _hasChangedFromLastIncrementalFlush; }
    bool hasChangedFromRoot() const { return _hasChangedFromRoot; }
    oxAttr* getLastIncrementalFlushedAttr() const { return _lastIncrementalFlushedAttr; }
    void setLastIncrementalFlushedAttr(oxAttr* attr) { _lastIncrementalFlushedAttr = attr; }
    oxAttr* getLastFlushedAttr() const { return _lastFlushedAttr; }
    void setLastFlushedAttr(oxAttr* attr) { _lastFlushedAttr = attr; }
    // The render package whose state last set this stack during state reduction.
    oxObject* getCachedRenderPackage() const { return _cachedRenderPackage; }
    void setCachedRenderPackage(oxObject* package) { _cachedRenderPackage = package; }

    // Empty, nothing overridden, nothing dirty, and the default taken as handed on.
    void resetForFrame();
    // An override index read from a file may point past the entries.
    void postFileRead() override;

protected:
    oxAttrStack() = default;
    static void arkRegisterInitialize(oxFields<oxAttrStack>& f);

    friend class oxAttrStackManager;

    oxSmartPointer<oxAttr> _default;
    int32_t _cachedOverride = -1;
    oxAttrPopFunction _popProc = nullptr;
    bool _hasChangedFromLastIncrementalFlush = false;
    oxAttr* _lastIncrementalFlushedAttr = nullptr;
    bool _hasChangedFromRoot = false;
    oxAttr* _lastFlushedAttr = nullptr;
    oxObject* _cachedRenderPackage = nullptr;
};

OX_OBJECT_LIST(oxAttrStackList, oxAttrStack)

} // namespace Kel::Sg

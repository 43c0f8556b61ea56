#pragma once
#include "platform/attrs/oxAttr.h"

namespace Kel::Attrs {

// An ordered list of attributes applied as one, in order: what a traversal hands the
// device for a frame. Lists may nest; a list that contains itself is cut off (with a
// warning) instead of recursing without end.
class oxDisplayListAttr : public oxAttr {
    OX_CLASS(oxDisplayListAttr, oxAttr)
    OX_FIELDS(attrs)
public:
    int append(oxAttr* attr) { return _attrs->append(attr); }
    // Without holding it: for attributes whose owner (a frame's pool) outlives the list's use.
    int appendWithoutReference(oxAttr* attr) { return _attrs->appendWithoutReference(attr); }
    oxAttr* get(int i) const { return i >= 0 && i < getCount() ? _attrs->get(i) : nullptr; }
    bool set(int i, oxAttr* attr) { return _attrs->set(i, attr); }
    int getCount() const { return _attrs->getCount(); }
    // Grows with null entries (skipped when applied) or shrinks.
    void setCount(int count) { _attrs->setCount(count); }
    void removeAll() { _attrs->removeAll(); }
    // Appends every attribute of `other` (not `other` itself).
    void concatenate(const oxDisplayListAttr* other);
    oxAttrList* getAttrs() const { return _attrs; }

    bool extendBounds(oxBox3f& box) const override;
    // Resets every attribute of the list.
    void reset() override;

protected:
    oxDisplayListAttr() = default;
    static void arkRegisterInitialize(oxFields<oxDisplayListAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    oxSmartPointer<oxAttrList> _attrs;

private:
    // Runs `f` on every entry; false (with a warning) when the list is already being walked,
    // that is, when it contains itself.
    template <class F>
    bool forEachAttr(F&& f) const;
    mutable bool _walking = false;
};

// A display list recorded on a device, called by handle: what a geometry compiled into a
// render list draws instead of its vertex arrays. The handle is the device's, so it is not
// stored; a list recorded on another device is not called.
class oxRenderListAttr : public oxAttr {
    OX_CLASS(oxRenderListAttr, oxAttr)
    OX_FIELDS(handle)
public:
    int getHandle() const { return _handle; }
    oxVisualContext* getVisualContext() const { return _vc; }
    // Records `attrs` into a new list on `vc`, replacing (and deleting) a list recorded
    // before. False when the device gives no list or the recording fails.
    bool record(oxVisualContext* vc, const oxAttrList* attrs);
    // Takes over `handle`, a list recorded on `vc` (-1: none yet); a different list held
    // before is deleted.
    void adopt(oxVisualContext* vc, int handle);
    // Deletes the list on its device.
    void deleteList() { adopt(nullptr, -1); }

    void userRelease() override;

protected:
    oxRenderListAttr() = default;
    static void arkRegisterInitialize(oxFields<oxRenderListAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    int32_t _handle = -1;

private:
    oxSmartPointer<oxVisualContext> _vc;
};

} // namespace Kel::Attrs

#include "platform/attrs/oxDisplayListAttr.h"

#include "platform/core/oxOutput.h"

namespace Kel::Attrs {

void oxDisplayListAttr::arkRegisterInitialize(oxFields<oxDisplayListAttr>& f)
{
    f.add(OX_FIELD(attrs)).constructWithOwner();
}

void oxDisplayListAttr::concatenate(const oxDisplayListAttr* other)
{
    if (!other)
        return;
    // Counted first: concatenating a list to itself doubles it once.
    int n = other->getCount();
    for (int i = 0; i < n; ++i)
        append(other->_attrs->get(i));
}

template <class F>
bool oxDisplayListAttr::forEachAttr(F&& f) const
{
    if (_walking) {
        Core::oxReportWarning("oxDisplayListAttr: a display list contains itself; the inner copy is skipped");
        return false;
    }
    _walking = true;
    for (int i = 0; i < getCount(); ++i)
        if (oxAttr* attr = _attrs->get(i))
            f(attr);
    _walking = false;
    return true;
}

void oxDisplayListAttr::applyTo(oxVisualContext& vc)
{
    forEachAttr([&](oxAttr* attr) { attr->apply(&vc); });
}

bool oxDisplayListAttr::extendBounds(oxBox3f& box) const
{
    bool any = false;
    forEachAttr([&](oxAttr* attr) { any = attr->extendBounds(box) || any; });
    return any;
}

void oxDisplayListAttr::reset()
{
    forEachAttr([](oxAttr* attr) { attr->reset(); });
}

void oxRenderListAttr::arkRegisterInitialize(oxFields<oxRenderListAttr>& f)
{
    f.add(OX_FIELD(handle)).notPersistent().setDefault(-1);
}

bool oxRenderListAttr::record(oxVisualContext* vc, const oxAttrList* attrs)
{
    deleteList();
    if (!vc || !attrs)
        return false;
    int handle = vc->createDisplayList();
    if (handle < 0)
        return false;
    if (!vc->beginDisplayList(handle)) {
        vc->deleteDisplayList(handle);
        return false;
    }
    for (int i = 0; i < attrs->getCount(); ++i)
        if (oxAttr* attr = attrs->get(i))
            attr->apply(vc);
    if (!vc->endDisplayList()) {
        vc->deleteDisplayList(handle);
        return false;
    }
    adopt(vc, handle);
    return true;
}

void oxRenderListAttr::adopt(oxVisualContext* vc, int handle)
{
    if (_vc && _handle >= 0 && (vc != _vc.get() || handle != _handle))
        _vc->deleteDisplayList(_handle);
    _handle = handle;
    _vc = vc;
}

void oxRenderListAttr::userRelease()
{
    deleteList();
    oxAttr::userRelease();
}

void oxRenderListAttr::applyTo(oxVisualContext& vc)
{
    if (_handle >= 0 && &vc == _vc.get())
        vc.callDisplayList(_handle);
}

} // namespace Kel::Attrs

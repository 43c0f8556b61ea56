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

void oxDisplayListAttr::applyTo(oxVisualContext& vc)
{
    if (_applying) {
        Core::oxReportWarning("oxDisplayListAttr: a display list contains itself; the inner copy is skipped");
        return;
    }
    _applying = true;
    for (int i = 0; i < getCount(); ++i)
        if (oxAttr* attr = _attrs->get(i))
            attr->apply(&vc);
    _applying = false;
}

bool oxDisplayListAttr::extendBounds(oxBox3f& box) const
{
    if (_applying)
        return false;
    auto* self = const_cast<oxDisplayListAttr*>(this);
    self->_applying = true;
    bool any = false;
    for (int i = 0; i < getCount(); ++i)
        if (oxAttr* attr = _attrs->get(i))
            any = attr->extendBounds(box) || any;
    self->_applying = false;
    return any;
}

void oxDisplayListAttr::reset()
{
    if (_applying)
        return;
    _applying = true;
    for (int i = 0; i < getCount(); ++i)
        if (oxAttr* attr = _attrs->get(i))
            attr->reset();
    _applying = false;
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
    _handle = handle;
    _vc = vc;
    return true;
}

void oxRenderListAttr::deleteList()
{
    if (_vc && _handle >= 0)
        _vc->deleteDisplayList(_handle);
    _handle = -1;
    _vc = nullptr;
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

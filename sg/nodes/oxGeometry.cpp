#include "sg/nodes/oxGeometry.h"

#include "platform/attrs/oxGeometryAttr2.h"

namespace Kel::Sg {

using Attrs::oxGeometryAttr2;

namespace {

bool blendsWithMatrices(const oxGeometryAttr* attr)
{
    return attr->getVertexFormat().getBlendWeightCount() != 0;
}

} // namespace

void oxGeometry::arkRegisterInitialize(oxFields<oxGeometry>& f)
{
    f.add(OX_FIELD(renderList)).notPersistent();
    f.redeclare(&k_trigger, "_trigger", true);
}

void oxGeometry::arkRegisterUser()
{
    userRegister();
}

void oxGeometry::userRegister()
{
    if (k_geoSet)
        return;
    // Declared after registration so that it follows every declared field; classes derived
    // later inherit it like any other.
    oxFields<oxGeometry> f(getClassType());
    f.add(OX_FIELD(geoSet)).constructWithOwner().notPersistent();
    oxGeometrySetAttr::arkRegister();
}

bool oxGeometry::isSkinnedAttr(const oxAttr* attr)
{
    if (const oxGeometryAttr* g = oxGeometryAttr::dynamicCast(attr))
        return blendsWithMatrices(g);
    // Kinds of the second generation (morphed geometry) blend on their own copy.
    if (attr && attr->getMetaObject() == oxGeometryAttr2::getClassTypeSafe()) {
        const Gfx::oxVertexArray2* vertices = static_cast<const oxGeometryAttr2*>(attr)->getVertexArray();
        return vertices && vertices->findVertexData(Gfx::OX_GFX_COMPONENT_BLEND_WEIGHT, 0);
    }
    return false;
}

bool oxGeometry::hasSkinnedAttr() const
{
    for (int i = 0; i < getAttrCount(); ++i)
        if (isSkinnedAttr(getAttr(i)))
            return true;
    return false;
}

bool oxGeometry::createRenderList(oxVisualContext* vc)
{
    if (!_geoSet)
        return false;
    if (getRenderListHandle() != -1)
        return true;
    if (hasSkinnedAttr())
        return false;
    // Records on the device and, on success, hands the device and the handle to the
    // geometry set; a list that failed to record is deleted again.
    return _geoSet->getRenderList()->record(vc, _attributes);
}

void oxGeometry::deleteRenderList(oxVisualContext* vc)
{
    if (getRenderListHandle() == -1)
        return;
    if (vc && vc != _geoSet->getVisualContext())
        oxReportWarning("geometry %s: its render list belongs to another visual context; deleted there",
                        _name.isNull() ? "(unnamed)" : _name.c_str());
    _geoSet->getRenderList()->deleteList();
}

void oxGeometry::updateUsageFlags(unsigned flags, bool on)
{
    for (int i = 0; i < getAttrCount(); ++i) {
        auto* g = oxBaseGeometryAttr::dynamicCast(getAttr(i));
        Gfx::oxVertexArrayBase* vertices = g ? g->getVertexSource() : nullptr;
        if (!vertices)
            continue;
        uint32_t old = vertices->getUsageFlags();
        vertices->setUsageFlags(on ? old | flags : old & ~flags);
    }
}

int oxGeometry::getTotalTriangles() const
{
    int total = 0;
    for (int i = 0; i < getAttrCount(); ++i) {
        auto* g = oxBaseGeometryAttr::dynamicCast(getAttr(i));
        if (!g)
            continue;
        if (g->getPrimitiveType() == Gfx::OX_GFX_DRAW_TRIANGLES)
            total += g->getPrimitiveCount();
        else if (g->getPrimitiveType() == Gfx::OX_GFX_DRAW_TRIANGLE_STRIPS)
            total += g->getVertexCount() - 2 * g->getPrimitiveCount();
    }
    return total;
}

void oxGeometry::transform(const oxMatrix44f& m)
{
    for (int i = 0; i < getAttrCount(); ++i)
        if (oxGeometryAttr* g = oxGeometryAttr::dynamicCast(getAttr(i)); g && !blendsWithMatrices(g))
            g->transform(m);
}

void oxGeometry::reset()
{
    oxAttrSet::reset();
    if (_geoSet)
        _geoSet->reset();
}

void oxGeometry::setFlags(int flags)
{
    oxAttrSet::setFlags(flags);
    updateRenderListMode();
}

void oxGeometry::setFlags(int mask, bool on)
{
    oxAttrSet::setFlags(mask, on);
    updateRenderListMode();
}

void oxGeometry::postFileRead()
{
    oxAttrSet::postFileRead();
    updateRenderListMode();
}

void oxGeometry::userCopyShallow(const oxObject* source)
{
    oxAttrSet::userCopyShallow(source);
    updateRenderListMode();
}

void oxGeometry::userCopyDeep(const oxObject* source)
{
    oxAttrSet::userCopyDeep(source);
    updateRenderListMode();
}

void oxGeometry::updateRenderListMode()
{
    if (!_geoSet)
        return;
    int mode = oxGeometrySetAttr::kNoRenderList;
    if (!hasSkinnedAttr()) {
        if (_flags & USE_RENDER_LIST_DELETE_ORIGINAL)
            mode = oxGeometrySetAttr::kRenderListOnly;
        else if (_flags & USE_RENDER_LIST)
            mode = oxGeometrySetAttr::kRenderList;
    }
    _geoSet->setRenderListMode(mode);
}

} // namespace Kel::Sg

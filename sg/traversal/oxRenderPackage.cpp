#include "sg/traversal/oxRenderPackage.h"

#include "platform/attrs/oxTextureUnitAttrs.h"
#include "sg/traversal/oxAttrStackManager.h"

namespace Kel::Sg {

namespace {

template <class List>
void appendNodeGeometry(oxGeometry* geometry, List* out)
{
    if (geometry->getFlags() & (oxNode::USE_RENDER_LIST | oxNode::USE_RENDER_LIST_DELETE_ORIGINAL)) {
        if (oxGeometrySetAttr* set = geometry->getGeoSet()) {
            if (!set->getGeometryList())
                set->setGeometryList(geometry->getGeometryAttrs());
            out->append(set);
            return;
        }
    }
    for (int i = 0; i < geometry->getGeometryAttrCount(); ++i)
        out->append(geometry->getGeometryAttr(i));
}

int vertexCountOf(const oxAttr* attr)
{
    if (auto* g = Attrs::oxBaseGeometryAttr::dynamicCast(attr))
        return g->getVertexCount();
    const auto* set = oxGeometrySetAttr::dynamicCast(attr);
    const oxAttrList* list = set ? set->getGeometryList() : nullptr;
    int n = 0;
    for (int i = 0; list && i < list->getCount(); ++i)
        if (auto* g = Attrs::oxBaseGeometryAttr::dynamicCast(list->get(i)))
            n += g->getVertexCount();
    return n;
}

} // namespace

void oxRenderPackage::arkRegisterInitialize(oxFields<oxRenderPackage>& f)
{
    f.add(OX_FIELD(stateAttrs)).constructWithOwner();
    f.add(OX_FIELD(cachedStateAttrs));
    f.add(OX_FIELD(geomAttrs)).constructWithOwner();
    f.add(OX_FIELD(sortingCache));
    f.add(OX_FIELD(distance)).setDefault(0.0f);
    f.add(OX_FIELD(theMass)).constructWithOwner();
}

void oxRenderPackage::appendGeometryAttrs(oxGeometry* geometry, oxNonRefCountedAttrList* out)
{
    appendNodeGeometry(geometry, out);
}

void oxRenderPackage::appendGeometryAttrs(oxGeometry* geometry, oxAttrList* out)
{
    appendNodeGeometry(geometry, out);
}

void oxRenderPackage::build(oxGeometry* geometry, oxAttrStackManager* manager)
{
    _sortingCache = manager->getTop(Attrs::oxTextureBindAttr::getClassTypeSafe(), 0);
    manager->flushAttrs(_stateAttrs.get());
    _geomAttrs->setCount(0);
    appendGeometryAttrs(geometry, _geomAttrs.get());
}

void oxRenderPackage::draw(oxVisualContext* vc)
{
    for (oxNonRefCountedAttrList* list : {getStateAttrs(), _geomAttrs.get()})
        for (int i = 0; list && i < list->getCount(); ++i)
            if (oxAttr* attr = list->get(i))
                attr->apply(vc);
}

int oxRenderPackage::getVertexCount() const
{
    int n = 0;
    for (int i = 0; i < _geomAttrs->getCount(); ++i)
        n += vertexCountOf(_geomAttrs->get(i));
    return n;
}

void oxRenderPackage::setGeometryAttrs(const oxNonRefCountedAttrList* list)
{
    _geomAttrs->setCount(0);
    for (int i = 0; list && i < list->getCount(); ++i)
        _geomAttrs->append(list->get(i));
}

} // namespace Kel::Sg

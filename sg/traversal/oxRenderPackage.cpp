#include "sg/traversal/oxRenderPackage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/attrs/oxTextureUnitAttrs.h"
#include "sg/traversal/oxAttrStackManager.h"
#include "sg/traversal/oxSorter.h"

namespace Kel::Sg {

// ---- frame arena ---------------------------------------------------------------------

oxFrameArena::~oxFrameArena()
{
    for (Chunk& c : _chunks)
        std::free(c.data);
}

void* oxFrameArena::allocate(size_t bytes)
{
    bytes = (bytes + 7) & ~size_t(7);
    while (_chunk < _chunks.size()) {
        Chunk& c = _chunks[_chunk];
        if (_used + bytes <= c.size) {
            void* p = c.data + _used;
            _used += bytes;
            return p;
        }
        ++_chunk;
        _used = 0;
    }
    const size_t size = std::max(bytes, kChunkBytes);
    auto* data = static_cast<char*>(std::malloc(size));
    if (!data)
        return nullptr;
    _chunks.push_back(Chunk{data, size});
    _chunk = _chunks.size() - 1;
    _used = bytes;
    return data;
}

bool oxFrameArena::extend(void* block, size_t oldBytes, size_t newBytes)
{
    oldBytes = (oldBytes + 7) & ~size_t(7);
    newBytes = (newBytes + 7) & ~size_t(7);
    if (_chunk >= _chunks.size())
        return false;
    Chunk& c = _chunks[_chunk];
    if (static_cast<char*>(block) + oldBytes != c.data + _used || _used - oldBytes + newBytes > c.size)
        return false;
    _used = _used - oldBytes + newBytes;
    return true;
}

void oxFrameArena::rewind()
{
    _chunk = 0;
    _used = 0;
}

// ---- render package ------------------------------------------------------------------

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

// An output that writes into a fixed array and counts past its end.
struct ArrayOut {
    oxAttr** at;
    int max;
    int count = 0;
    void append(oxAttr* attr)
    {
        if (count < max)
            at[count] = attr;
        ++count;
    }
};

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

int oxRenderPackage::collectGeometryAttrs(oxGeometry* geometry, oxAttr** out, int max)
{
    ArrayOut array{out, max};
    appendNodeGeometry(geometry, &array);
    return array.count <= max ? array.count : -1;
}

oxPackageRecord* oxRenderPackage::getRecord() const
{
    return (_recordFlags & kRecorded) && oxSorter::isCurrentFrame(_stamp) ? _record : nullptr;
}

void oxRenderPackage::takeOverRecord() const
{
    if (_stamp && !oxSorter::isCurrentFrame(_stamp)) {
        // The frame it was handed out for is over: what the sorter's reset empties is
        // emptied now, so that a reset need not visit every pooled package.
        if (_recordFlags & kListsUsed)
            _theMass->setCount(0);
        _stamp = 0;
        _recordFlags = 0;
    }
    if (oxPackageRecord* r = getRecord()) {
        oxNonRefCountedAttrList* geometry = _geomAttrs;
        geometry->setCount(0);
        for (int i = 0; i < r->geometryCount; ++i)
            geometry->append(r->geometry()[i]);
        if (oxStateRecord* state = r->state; state && state->valid) {
            // A shared record is the earlier package's state: its list is the one in use.
            oxNonRefCountedAttrList* list = stateListInUse();
            list->setCount(0);
            for (int i = 0; i < state->count; ++i)
                list->append(state->attrs()[i]);
            state->valid = 0;
        }
    }
    _record = nullptr;
    _recordFlags = kListsUsed;
}

void oxRenderPackage::startFrame(uint32_t stamp)
{
    if (_recordFlags & kListsUsed)
        _theMass->setCount(0);
    _recordFlags = 0;
    _record = nullptr;
    _stamp = stamp;
    _cachedStateAttrs = _stateAttrs;
}

oxNonRefCountedAttrList* oxRenderPackage::getStateAttrs() const
{
    takeOverRecord();
    return stateListInUse();
}

void oxRenderPackage::setStateAttrs(oxNonRefCountedAttrList* list)
{
    takeOverRecord();
    _cachedStateAttrs = list;
}

oxNonRefCountedAttrList* oxRenderPackage::getOwnStateAttrs() const
{
    takeOverRecord();
    return _stateAttrs;
}

oxNonRefCountedAttrList* oxRenderPackage::getGeometryAttrs() const
{
    takeOverRecord();
    return _geomAttrs;
}

oxRenderPackageList* oxRenderPackage::getSubPackages() const
{
    takeOverRecord();
    return _theMass;
}

bool oxRenderPackage::isCompound() const
{
    return getSubPackages()->getCount() > 0;
}

void oxRenderPackage::build(oxGeometry* geometry, oxAttrStackManager* manager)
{
    takeOverRecord();
    _sortingCache = manager->getTop(Attrs::oxTextureBindAttr::getClassTypeSafe(), 0);
    manager->flushAttrs(_stateAttrs.get());
    _geomAttrs->setCount(0);
    appendGeometryAttrs(geometry, _geomAttrs.get());
}

void oxRenderPackage::draw(oxVisualContext* vc)
{
    takeOverRecord();
    for (oxNonRefCountedAttrList* list : {stateListInUse(), _geomAttrs.get()})
        for (int i = 0; list && i < list->getCount(); ++i)
            if (oxAttr* attr = list->get(i))
                attr->apply(vc);
}

int oxRenderPackage::getVertexCount() const
{
    takeOverRecord();
    int n = 0;
    for (int i = 0; i < _geomAttrs->getCount(); ++i)
        n += vertexCountOf(_geomAttrs->get(i));
    return n;
}

void oxRenderPackage::setGeometryAttrs(const oxNonRefCountedAttrList* list)
{
    takeOverRecord();
    _geomAttrs->setCount(0);
    for (int i = 0; list && i < list->getCount(); ++i)
        _geomAttrs->append(list->get(i));
}

void oxRenderPackage::userResetFields(bool forFileRead)
{
    oxObject::userResetFields(forFileRead);
    _record = nullptr;
    _recordFlags = 0;
    _stamp = 0;
}

} // namespace Kel::Sg

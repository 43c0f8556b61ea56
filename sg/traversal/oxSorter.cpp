#include "sg/traversal/oxSorter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "platform/attrs/oxMatrixAttrs.h"
#include "platform/attrs/oxTextureUnitAttrs.h"
#include "platform/attrs/oxViewAttrs.h"
#include "sg/traversal/oxAttrStackManager.h"

namespace Kel::Sg {

namespace {

using Attrs::oxBlendStateAttr;
using Attrs::oxClearAttr;
using Attrs::oxMatrixAttr;
using Attrs::oxModelViewMatrixAttr;
using Attrs::oxStateAttr;

constexpr int kTransparentSection =
    oxSorter::SORT_TRANSPARENT | oxSorter::SORT_TRANSPARENT_DISTANCE | oxSorter::SORT_TRANSPARENT_CUSTOM;

// Texture keys are identities: ordering them by address groups packages that bind the same
// texture, which is all the sort is for.
uintptr_t textureKey(const oxRenderPackage* p)
{
    return reinterpret_cast<uintptr_t>(p->getSortingCache());
}

// A distance that is not a number (a broken matrix) sorts as the nearest, so that the
// comparisons stay a strict weak order and the sorts stay within their arrays.
float distanceKey(const oxRenderPackage* p)
{
    float d = p->getDistance();
    return std::isnan(d) ? -INFINITY : d;
}

using SortKey = oxSorter::SortKey;

// Orders of sort keys. They compare the keys copied out of the packages, so a sort reads
// one contiguous array instead of two packages per comparison.
// Function objects, so that the sorts inline their comparisons.
struct ByTexture {
    bool operator()(const SortKey& a, const SortKey& b) const { return a.texture < b.texture; }
};

struct FarthestFirst {
    bool operator()(const SortKey& a, const SortKey& b) const { return a.distance > b.distance; }
};

// Texture first, then nearer first: state changes stay grouped by texture, and within a
// texture the nearest geometry fills the depth buffer first.
struct ByTextureThenNearest {
    bool operator()(const SortKey& a, const SortKey& b) const
    {
        if (a.texture != b.texture)
            return a.texture < b.texture;
        return a.distance < b.distance;
    }
};

void fillIdentityOrder(oxIntList* order, int n)
{
    order->setCount(n);
    for (int i = 0; i < n; ++i)
        (*order)[i] = i;
}

// Bubble passes over a draw order kept from the last frame: a steady scene is sorted
// already and costs one pass. Each pass starts one place before the first exchange of the
// pass before it, where the earliest misplaced entry may have to move further down. False
// when `passes` were not enough.
template <class T, class Before>
bool boundedBubbleSort(T* a, int n, int passes, Before before)
{
    int start = 1;
    for (int pass = 0; pass < passes; ++pass) {
        int firstExchange = -1;
        for (int i = start; i < n; ++i) {
            if (before(a[i], a[i - 1])) {
                std::swap(a[i - 1], a[i]);
                if (firstExchange < 0)
                    firstExchange = i;
            }
        }
        if (firstExchange < 0)
            return true;
        start = std::max(firstExchange - 1, 1);
    }
    return false;
}

// Bottom-up merge sort through `scratch`; stable, like the bubble passes.
template <class T, class Before>
void stableMergeSort(T* a, int n, std::vector<T>& scratch, Before before)
{
    scratch.resize(size_t(n));
    T* from = a;
    T* to = scratch.data();
    for (int width = 1; width < n; width *= 2) {
        for (int lo = 0; lo < n; lo += 2 * width) {
            const int mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            int i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                to[k++] = before(from[j], from[i]) ? from[j++] : from[i++];
            while (i < mid)
                to[k++] = from[i++];
            while (j < hi)
                to[k++] = from[j++];
        }
        std::swap(from, to);
    }
    if (from != a)
        std::copy(from, from + n, a);
}

// A kept order that changed a little is mended by a few bubble passes; one that changed
// much would take a pass per place an entry moves (quadratic), so it is merged instead.
// Both are stable, so the order is the same either way: the kept order's among equal keys.
template <class T, class Before>
void keptOrderSort(T* a, int n, std::vector<T>& scratch, Before before)
{
    constexpr int kBubblePasses = 4;
    if (!boundedBubbleSort(a, n, kBubblePasses, before))
        stableMergeSort(a, n, scratch, before);
}

// For a fresh order: quicksort over [lo, hi] with the median of the first, middle and last
// entries as pivot. It recurses into the smaller part only, so the stack stays shallow.
template <class T, class Before>
void medianQuickSort(T* a, int lo, int hi, Before before)
{
    while (hi - lo >= 2) {
        int mid = lo + (hi - lo) / 2;
        if (before(a[mid], a[lo]))
            std::swap(a[lo], a[mid]);
        if (before(a[hi], a[mid])) {
            std::swap(a[mid], a[hi]);
            if (before(a[mid], a[lo]))
                std::swap(a[lo], a[mid]);
        }
        const T pivot = a[mid];
        int i = lo, j = hi;
        while (i <= j) {
            while (before(a[i], pivot))
                ++i;
            while (before(pivot, a[j]))
                --j;
            if (i <= j)
                std::swap(a[i++], a[j--]);
        }
        if (j - lo < hi - i) {
            medianQuickSort(a, lo, j, before);
            lo = i;
        } else {
            medianQuickSort(a, i, hi, before);
            hi = j;
        }
    }
    if (hi - lo == 1 && before(a[hi], a[lo]))
        std::swap(a[lo], a[hi]);
}

enum class SortAlgorithm { Adaptive, Quick, Standard };

// Sorts `order` (indices into `packages`) through a copy of the keys taken when the packages
// were filed. The algorithms make the same comparisons with the same outcomes as on the bare
// indices, so the order they leave is the one a sort of the indices would. Lists edited
// behind the sorter's back (their count no longer matches the keys) have their keys taken
// from the packages again.
template <class Before>
void sortOrder(oxIntList* order, const oxRenderPackageList* packages, const std::vector<SortKey>& filed,
               std::vector<SortKey>& keys, std::vector<SortKey>& scratch, SortAlgorithm algorithm, Before before)
{
    const int n = order->getCount();
    if (n < 2)
        return;
    keys.resize(size_t(n));
    const int32_t* indices = order->data();
    const int count = packages->getCount();
    const bool keysFiled = filed.size() == size_t(count);
    for (int i = 0; i < n; ++i) {
        const int32_t index = indices[i];
        // A kept order reads the filed keys out of turn.
        if (constexpr int ahead = 16; keysFiled && i + ahead < n && unsigned(indices[i + ahead]) < unsigned(count))
            __builtin_prefetch(&filed[size_t(indices[i + ahead])]);
        if (keysFiled && index >= 0 && index < count)
            keys[size_t(i)] = filed[size_t(index)];
        else {
            const oxRenderPackage* p = index >= 0 && index < count ? packages->get(index) : nullptr;
            keys[size_t(i)] = p ? SortKey{textureKey(p), distanceKey(p), index, p} : SortKey{0, -INFINITY, index, nullptr};
        }
        keys[size_t(i)].index = index;
    }
    switch (algorithm) {
    case SortAlgorithm::Adaptive: keptOrderSort(keys.data(), n, scratch, before); break;
    case SortAlgorithm::Quick: medianQuickSort(keys.data(), 0, n - 1, before); break;
    case SortAlgorithm::Standard: std::sort(keys.begin(), keys.end(), before); break;
    }
    int32_t* out = order->data();
    for (int i = 0; i < n; ++i)
        out[i] = keys[size_t(i)].index;
}

SortAlgorithm keptOrFresh(bool orderKept)
{
    return orderKept ? SortAlgorithm::Adaptive : SortAlgorithm::Quick;
}

bool isGeometry(const oxAttr* attr)
{
    return attr && (attr->isOfType(Attrs::oxGeometryAttr::getClassTypeSafe()) ||
                    attr->isOfType(oxGeometrySetAttr::getClassTypeSafe()));
}

// The frames sorters are building now, one stamp each: a package recorded under a stamp that
// is no longer here belongs to a finished frame. Few sorters live at once.
std::vector<uint32_t>& liveFrameStamps()
{
    static auto* stamps = new std::vector<uint32_t>();
    return *stamps;
}

uint32_t g_lastFrameStamp = 0;

} // namespace

bool oxSorter::isCurrentFrame(uint32_t stamp)
{
    const std::vector<uint32_t>& live = liveFrameStamps();
    return stamp && std::find(live.begin(), live.end(), stamp) != live.end();
}

void oxSorter::takeNewFrameStamp()
{
    std::vector<uint32_t>& live = liveFrameStamps();
    if (_frameStamp)
        live.erase(std::remove(live.begin(), live.end(), _frameStamp), live.end());
    if (++g_lastFrameStamp == 0)
        ++g_lastFrameStamp;
    _frameStamp = g_lastFrameStamp;
    live.push_back(_frameStamp);
}

void oxSorter::userRelease()
{
    std::vector<uint32_t>& live = liveFrameStamps();
    live.erase(std::remove(live.begin(), live.end(), _frameStamp), live.end());
    _frameStamp = 0;
    oxObject::userRelease();
}

void oxSorter::arkRegisterInitialize(oxFields<oxSorter>& f)
{
    f.add(OX_FIELD(dlist)).constructWithOwner();
    f.add(OX_FIELD(mode)).setDefault(0);
    f.add(OX_FIELD(renderPackagePool)).constructWithOwner();
    f.add(OX_FIELD(tmpAttrs)).constructWithOwner();
    f.add(OX_FIELD(transpPackages)).constructWithOwner();
    f.add(OX_FIELD(opaquePackages)).constructWithOwner();
    f.add(OX_FIELD(firstPackages)).constructWithOwner();
    f.add(OX_FIELD(lightAttrs)).constructWithOwner();
    f.add(OX_FIELD(firstAttrs)).constructWithOwner();
    f.add(OX_FIELD(transpAttrs)).constructWithOwner();
    f.add(OX_FIELD(opaqueAttrs)).constructWithOwner();
    f.add(OX_FIELD(firstPackageIndices)).constructWithOwner();
    f.add(OX_FIELD(transpPackageIndices)).constructWithOwner();
    f.add(OX_FIELD(opaquePackageIndices)).constructWithOwner();
    f.add(OX_FIELD(depthWriteDisable)).constructWithOwner();
    f.add(OX_FIELD(cullFaceFront)).constructWithOwner();
    f.add(OX_FIELD(cullFaceBack)).constructWithOwner();
    f.add(OX_FIELD(transparencyDrawMode)).setDefault(int32_t(TRANSPARENCY_DRAW_DEFAULT));
    f.add(OX_FIELD(emptyRenderPackage)).constructWithOwner();
    f.add(OX_FIELD(emptyRenderPackageList)).constructWithOwner();
    f.add(OX_FIELD(emptyRenderPackageIndices)).constructWithOwner();
    f.add(OX_FIELD(lastEmptyRenderPackageAttrs)).constructWithOwner();
    f.add(OX_FIELD(firstEmptyRenderPackageAttrs)).constructWithOwner();
    f.add(OX_FIELD(emptyGeometry)).constructWithOwner();
    f.add(OX_FIELD(curList)).constructWithOwner();
    f.add(OX_FIELD(prevList)).constructWithOwner();
    f.add(OX_FIELD(isCompoundPackageOpen));
    f.add(OX_FIELD(isCompoundPackageTransparent));
    f.add(OX_FIELD(isCompoundPackageFirst));
    f.add(OX_FIELD(compoundPackage));
    f.add(OX_FIELD(compoundPackageNestCount));
    f.add(OX_FIELD(cachedPackage));
    f.add(OX_FIELD(outputCreated));
    f.add(OX_FIELD(useZSort)).setDefault(false);
    f.add(OX_FIELD(forceNoSeparate)).setDefault(false);
    f.add(OX_FIELD(printOutputState)).setDefault(false);
}

void oxSorter::userInstantiate(bool forFileRead)
{
    oxObject::userInstantiate(forFileRead);
    takeNewFrameStamp();
    if (forFileRead)
        return;
    setUpSharedObjects();
    initDisplayList();
}

void oxSorter::postFileRead()
{
    oxObject::postFileRead();
    userAllocateFields(false);
    setUpSharedObjects();
    // A stored frame means nothing now, and its pool and draw order could hold anything:
    // the pool is emptied and retyped, the kept order dropped.
    _renderPackagePool->setCount(0);
    _renderPackagePool->setObjectMeta(oxRenderPackage::getClassTypeSafe());
    _opaquePackageIndices->setCount(0);
    reset();
}

void oxSorter::setUpSharedObjects()
{
    _depthWriteDisable->setEnabled(false);
    _cullFaceFront->setEnabled(true);
    _cullFaceFront->setFace(Gfx::OX_GFX_CULL_FRONT);
    _cullFaceBack->setEnabled(true);
    _cullFaceBack->setFace(Gfx::OX_GFX_CULL_BACK);

    oxRenderPackage* empty = _emptyRenderPackage;
    empty->_stateAttrs->setCount(0);
    empty->_geomAttrs->setCount(0);
    empty->_theMass->setCount(0);
    empty->_cachedStateAttrs = empty->_stateAttrs;
    _emptyRenderPackageList->setCount(0);
    _emptyRenderPackageList->append(empty);
    _emptyRenderPackageIndices->setCount(0);
    _emptyRenderPackageIndices->append(0);

    // Carries one attribute at a time for flushAttr and nothing for flushRenderPackage.
    _emptyGeometry->setAttrCount(0);
    _emptyGeometry->setFlags(0);
    _emptyGeometry->setBound(nullptr);
}

void oxSorter::initDisplayList()
{
    _dlist->append(_lightAttrs);
    _dlist->append(_firstAttrs);
}

oxRenderPackage* oxSorter::allocateRenderPackage()
{
    oxRenderPackage* package = _renderPackagePool->allocate();
    if (package)
        package->startFrame(_frameStamp);
    return package;
}

oxRenderPackage* oxSorter::allocateCustomRenderPackage()
{
    return allocateRenderPackage();
}

void oxSorter::configureCustomRenderPackage(oxRenderPackage*, oxGeometry*, oxAttrStackManager*) {}

void oxSorter::customSortTransparentPackages(oxAttrStackManager*) {}

void oxSorter::addGeometry(oxGeometry* geometry, oxAttrStackManager* manager)
{
    if (_outputCreated || !manager)
        return;
    if (!geometry) {
        closeDisplayList(manager);
        return;
    }
    bool transparent = _forceNoSeparate;
    if (!transparent && (_mode & REQUIRE_TRANSPARENT_RENDER_PACKAGE)) {
        auto* blend = oxStateAttr::dynamicCast(manager->getTopOrDefault(oxBlendStateAttr::getClassTypeSafe()));
        transparent = blend && blend->getEnabled();
    }
    if (!(_mode & REQUIRE_OPAQUE_RENDER_PACKAGE) && !_isCompoundPackageOpen && !transparent) {
        appendPendingState(manager);
        oxRenderPackage::appendGeometryAttrs(geometry, _dlist->getAttrs());
        return;
    }

    const bool distance = (_mode & REQUIRE_OPAQUE_DISTANCE) || (transparent && (_mode & REQUIRE_TRANSPARENT_DISTANCE));
    const bool custom = transparent && (_mode & SORT_TRANSPARENT_CUSTOM);
    oxRenderPackage* package = nullptr;
    if (!manager->getStackChanged() && _cachedPackage) {
        if (!distance && !custom) {
            appendGeometry(_cachedPackage, geometry);
            return;
        }
        // Each package needs its own key, but the state is the previous package's.
        package = custom ? allocateCustomRenderPackage() : allocateRenderPackage();
        if (!package)
            return;
        shareState(package, _cachedPackage, geometry);
    } else {
        package = custom ? allocateCustomRenderPackage() : allocateRenderPackage();
        if (!package)
            return;
        if (!recordPackage(package, geometry, manager))
            package->build(geometry, manager);
    }
    _cachedPackage = package;

    if (distance) {
        oxVec3f centre(0, 0, 0);
        if (oxVolume* bound = geometry->getBound())
            centre = bound->getCenter();
        if (auto* mv = oxMatrixAttr::dynamicCast(manager->getTop(oxModelViewMatrixAttr::getClassTypeSafe())))
            centre = mv->getMatrix().transformPoint(centre);
        package->_distance = _useZSort ? centre.z * centre.z : centre.x * centre.x + centre.y * centre.y + centre.z * centre.z;
    }
    if (custom)
        configureCustomRenderPackage(package, geometry, manager);

    if (_isCompoundPackageOpen && _compoundPackage)
        _compoundPackage->_theMass->append(package);
    else if (transparent)
        file(_transpPackages, _transpKeys, package);
    else
        file(_opaquePackages, _opaqueKeys, package);
}

namespace {

// Geometry attributes a node draws.
int geometryCountOf(oxGeometry* geometry)
{
    if ((geometry->getFlags() & (oxNode::USE_RENDER_LIST | oxNode::USE_RENDER_LIST_DELETE_ORIGINAL)) &&
        geometry->getGeoSet())
        return 1;
    return geometry->getGeometryAttrCount();
}

// Records hold a node's geometry and state as long as they are of a sensible size; a node
// with more goes through the package's lists.
constexpr int kMaxRecordedGeometry = 256;

} // namespace

bool oxSorter::recordPackage(oxRenderPackage* package, oxGeometry* geometry, oxAttrStackManager* manager)
{
    const int geometryCount = geometryCountOf(geometry);
    const int stateRoom = manager->getFullStateBound();
    if (geometryCount > kMaxRecordedGeometry)
        return false;
    // The state first, then the package's part: its geometry can grow in place while later
    // geometry joins the package.
    const size_t stateBytes = (oxStateRecord::bytesFor(stateRoom) + 7) & ~size_t(7);
    char* block = static_cast<char*>(_arena.allocate(stateBytes + oxPackageRecord::bytesFor(geometryCount)));
    if (!block)
        return false;
    auto* state = reinterpret_cast<oxStateRecord*>(block);
    state->capacity = stateRoom;
    state->valid = 1;
    state->count = manager->flushAttrs(state->attrs(), state->handles(), stateRoom);
    auto* record = reinterpret_cast<oxPackageRecord*>(block + stateBytes);
    record->state = state;
    record->geometryCount = oxRenderPackage::collectGeometryAttrs(geometry, record->geometry(), geometryCount);
    if (record->geometryCount < 0)
        record->geometryCount = 0;
    package->_sortingCache = manager->getTop(Attrs::oxTextureBindAttr::getClassTypeSafe(), 0);
    package->_cachedStateAttrs = package->_stateAttrs;
    package->_record = record;
    package->_stamp = _frameStamp;
    package->_recordFlags = uint8_t((package->_recordFlags & oxRenderPackage::kListsUsed) | oxRenderPackage::kRecorded);
    return true;
}

void oxSorter::shareState(oxRenderPackage* package, oxRenderPackage* previous, oxGeometry* geometry)
{
    const int geometryCount = geometryCountOf(geometry);
    oxPackageRecord* shared = recordOf(previous);
    auto* record = shared && geometryCount <= kMaxRecordedGeometry
                       ? static_cast<oxPackageRecord*>(_arena.allocate(oxPackageRecord::bytesFor(geometryCount)))
                       : nullptr;
    if (record) {
        record->state = shared->state;
        record->geometryCount = oxRenderPackage::collectGeometryAttrs(geometry, record->geometry(), geometryCount);
        if (record->geometryCount < 0)
            record->geometryCount = 0;
        package->_record = record;
        package->_stamp = _frameStamp;
        package->_recordFlags = uint8_t((package->_recordFlags & oxRenderPackage::kListsUsed) | oxRenderPackage::kRecorded);
    } else {
        package->takeOverRecord();
        package->_stateAttrs->setCount(0);
        package->_geomAttrs->setCount(0);
        oxRenderPackage::appendGeometryAttrs(geometry, package->_geomAttrs);
    }
    // The state list is shared, not rebuilt: the earlier package's own or the one it shares.
    package->_cachedStateAttrs = previous->stateListInUse();
    package->_sortingCache = previous->_sortingCache;
}

void oxSorter::appendGeometry(oxRenderPackage* package, oxGeometry* geometry)
{
    const int n = geometryCountOf(geometry);
    if (oxPackageRecord* record = recordOf(package); record && package->_stamp == _frameStamp) {
        const int count = record->geometryCount;
        if (_arena.extend(record, oxPackageRecord::bytesFor(count), oxPackageRecord::bytesFor(count + n))) {
            const int added = oxRenderPackage::collectGeometryAttrs(geometry, record->geometry() + count, n);
            record->geometryCount = count + (added < 0 ? 0 : added);
            return;
        }
    }
    package->takeOverRecord();
    oxRenderPackage::appendGeometryAttrs(geometry, package->_geomAttrs);
}

void oxSorter::file(oxRenderPackageList* list, std::vector<SortKey>& keys, oxRenderPackage* package)
{
    // A list edited behind the sorter's back has its keys taken anew when it is sorted.
    if (keys.size() != size_t(list->getCount()))
        keys.clear();
    const int index = list->append(package);
    if (index >= 0 && keys.size() == size_t(index))
        keys.push_back(SortKey{textureKey(package), distanceKey(package), index, package});
}

void oxSorter::addLightSet(oxLightSet* lightSet, oxAttrStackManager* manager)
{
    if (_outputCreated || !lightSet)
        return;
    // Without a model-view pushed the lights stand under whatever the frame starts with; a
    // null entry would change nothing, so none is written.
    if (oxAttr* mv = manager ? manager->getTop(oxModelViewMatrixAttr::getClassTypeSafe()) : nullptr) {
        if (mv->isPoolOwned())
            _lightAttrs->appendWithoutReference(mv);
        else
            _lightAttrs->append(mv);
    }
    for (int i = 0; i < lightSet->getLightCount(); ++i)
        if (oxLightAttr* light = lightSet->getLight(i))
            _lightAttrs->append(light);
}

void oxSorter::appendAttr(oxAttr* attr)
{
    if (!_outputCreated && attr)
        _dlist->append(attr);
}

void oxSorter::appendAttrs(const oxNonRefCountedAttrList* list)
{
    for (int i = 0; list && i < list->getCount(); ++i)
        appendAttr(list->get(i));
}

void oxSorter::appendAttrs(const oxAttrList* list)
{
    for (int i = 0; list && i < list->getCount(); ++i)
        appendAttr(list->get(i));
}

void oxSorter::appendAttrs(oxAttr* const* attrs, int count)
{
    for (int i = 0; attrs && i < count; ++i)
        appendAttr(attrs[i]);
}

void oxSorter::appendHeldAttrs(const oxNonRefCountedAttrList* list)
{
    if (_outputCreated || !list)
        return;
    const int n = list->getCount();
    _dlist->getAttrs()->setCapacity(_dlist->getCount() + n);
    for (int i = 0; i < n; ++i)
        if (oxAttr* attr = list->get(i))
            _dlist->appendWithoutReference(attr);
}

void oxSorter::flushAttr(oxAttr* attr, oxAttrStackManager* manager)
{
    if (!attr)
        return;
    _emptyGeometry->appendAttr(attr);
    addGeometry(_emptyGeometry, manager);
    _emptyGeometry->setAttrCount(0);
}

void oxSorter::flushRenderPackage(oxAttrStackManager* manager)
{
    addGeometry(_emptyGeometry, manager);
}

void oxSorter::resetAttrForRenderPackage(oxAttrStackManager* manager, oxMetaObject* attrClass)
{
    oxAttr* def = manager && attrClass ? manager->getDefaultAttr(attrClass) : nullptr;
    if (!def)
        return;
    const int handle = oxAttrStackManager::getAttrHandle(attrClass, 0);
    manager->pushAttr(def, handle);
    flushRenderPackage(manager);
    manager->popAttr(handle);
}

void oxSorter::beginCompoundRenderPackage(bool transparent, bool first)
{
    ++_compoundPackageNestCount;
    if (_isCompoundPackageOpen)
        return;
    oxRenderPackage* package = allocateRenderPackage();
    if (!package)
        return;
    _isCompoundPackageTransparent = transparent;
    _isCompoundPackageFirst = first;
    _isCompoundPackageOpen = true;
    _compoundPackage = package;
    package->_theMass->setCount(0);
    package->_recordFlags |= oxRenderPackage::kListsUsed;
}

void oxSorter::endCompoundRenderPackage()
{
    if (_compoundPackageNestCount <= 0)
        return;
    if (--_compoundPackageNestCount > 0)
        return;
    _isCompoundPackageOpen = false;
    oxRenderPackage* package = _compoundPackage; // the pool keeps it alive
    _compoundPackage = nullptr;
    if (!package || package->_theMass->getCount() == 0)
        return;
    package->_geomAttrs->setCount(0);
    package->_stateAttrs->setCount(0);
    const oxRenderPackage* first = package->_theMass->get(0);
    package->_sortingCache = first->_sortingCache;
    package->_distance = first->_distance;
    if (_isCompoundPackageTransparent)
        file(_transpPackages, _transpKeys, package);
    else if (_isCompoundPackageFirst)
        _firstPackages->append(package);
    else
        file(_opaquePackages, _opaqueKeys, package);
}

void oxSorter::appendOpaqueRenderPackage(oxRenderPackage* package)
{
    if (package)
        file(_opaquePackages, _opaqueKeys, package);
}

void oxSorter::appendTransparentPackages(oxRenderPackage* package)
{
    if (package)
        file(_transpPackages, _transpKeys, package);
}

void oxSorter::appendPendingState(oxAttrStackManager* manager)
{
    manager->flushUpdateAttrsNoReset(_dlist->getAttrs());
}

void oxSorter::closeDisplayList(oxAttrStackManager* manager)
{
    if (!_outputCreated && manager)
        appendPendingState(manager);
}

void oxSorter::sortOpaquePackages(bool orderKept)
{
    oxIntList* order = _opaquePackageIndices;
    if (_mode & SORT_OPAQUE_TEXTURE)
        sortOrder(order, _opaquePackages, _opaqueKeys, _sortKeys, _sortScratch, keptOrFresh(orderKept), ByTexture());
    else if (_mode & SORT_OPAQUE_DISTANCE_FTB) // farthest first, whatever the name says
        sortOrder(order, _opaquePackages, _opaqueKeys, _sortKeys, _sortScratch, SortAlgorithm::Standard, FarthestFirst());
    else if (_mode & SORT_OPAQUE_TEXTURE_DISTANCE_FTB)
        sortOrder(order, _opaquePackages, _opaqueKeys, _sortKeys, _sortScratch, keptOrFresh(orderKept), ByTextureThenNearest());
}

void oxSorter::sortTransparentPackages(oxAttrStackManager* manager)
{
    oxIntList* order = _transpPackageIndices;
    if (_mode & SORT_TRANSPARENT_DISTANCE)
        sortOrder(order, _transpPackages, _transpKeys, _sortKeys, _sortScratch, SortAlgorithm::Standard, FarthestFirst());
    else if (_mode & SORT_TRANSPARENT_TEXTURE)
        sortOrder(order, _transpPackages, _transpKeys, _sortKeys, _sortScratch, SortAlgorithm::Quick, ByTexture());
    else if (_mode & SORT_TRANSPARENT_CUSTOM)
        customSortTransparentPackages(manager);
}

void oxSorter::emitTransparentPackages(oxAttrStackManager* manager)
{
    switch (_transparencyDrawMode) {
    case TRANSPARENCY_DRAW_DEFAULT:
        sequentialStateReduce(_transpPackages, _transpPackageIndices, _transpAttrs, manager);
        break;
    case TRANSPARENCY_DRAW_NO_DEPTH_WRITE:
        _transpAttrs->append(_depthWriteDisable);
        sequentialStateReduce(_transpPackages, _transpPackageIndices, _transpAttrs, manager);
        if (oxAttr* def = manager->getDefaultAttr(oxDepthWriteStateAttr::getClassTypeSafe()))
            _transpAttrs->append(def);
        break;
    case TRANSPARENCY_DRAW_SEPARATE_FRONT_AND_BACK:
        sequentialStateReduce(_transpPackages, _transpPackageIndices, _transpAttrs, manager);
        separateFrontAndBack(manager);
        break;
    default: // an unknown mode draws no transparent packages
        break;
    }
}

void oxSorter::separateFrontAndBack(oxAttrStackManager* manager)
{
    oxAttrList* out = _transpAttrs->getAttrs();
    oxAttr* cullState = manager->getDefaultAttr(oxCullFaceAttr::getClassTypeSafe());
    oxNonRefCountedAttrList* tmp = _tmpAttrs;
    tmp->setCount(0);
    for (int i = 0; i < out->getCount(); ++i) {
        oxAttr* attr = out->get(i);
        if (auto* cull = oxCullFaceAttr::dynamicCast(attr)) {
            tmp->append(cull);
            cullState = cull;
            continue;
        }
        const auto* cull = oxCullFaceAttr::dynamicCast(cullState);
        if (!isGeometry(attr) || (cull && cull->getEnabled())) {
            tmp->append(attr);
            continue;
        }
        // Two-sided: back faces first, then front faces, then the state as it was.
        tmp->append(_cullFaceFront);
        tmp->append(attr);
        tmp->append(_cullFaceBack);
        tmp->append(attr);
        if (cullState)
            tmp->append(cullState);
    }
    // Written back from the end: every entry of the old list lands at its own index or a
    // later one, so it is already held at its new place before its old place lets go.
    const int n = tmp->getCount();
    out->setCount(n);
    for (int j = n - 1; j >= 0; --j)
        out->set(j, tmp->get(j));
    tmp->setCount(0);
}

namespace {

// How far ahead each stage of the reduction's prefetching runs: the list entry naming a
// package, the package, its record, and the state record the package record points to.
// Each stage reads only what an earlier stage fetched.
constexpr int kPrefetchEntry = 24;
constexpr int kPrefetchPackage = 16;
constexpr int kPrefetchRecord = 8;
constexpr int kPrefetchState = 4;

} // namespace

void oxSorter::reduceState(oxRenderPackage* package, oxStateRecord* record, oxNonRefCountedAttrList* list,
                           oxDisplayListAttr* output, oxAttrStackManager* manager)
{
    const int n = record ? record->count : list->getCount();
    oxAttr* const* attrs = record ? record->attrs() : nullptr;
    const int32_t* handles = record ? record->handles() : nullptr;
    for (int i = 0; i < n; ++i) {
        oxAttr* attr = attrs ? attrs[i] : list->get(i);
        if (!attr)
            continue;
        // A record knows each stack and whether a pool owns the attribute, so the attribute
        // itself (one per leaf for the model-view) is never loaded.
        const int32_t tagged = handles ? handles[i] : manager->getAttrHandleSafe(attr);
        const bool poolOwned = handles ? (tagged & oxStateRecord::kPoolOwned) != 0 : attr->isPoolOwned();
        const int handle = handles ? (tagged & oxStateRecord::kHandleMask) : tagged;
        oxAttrStack* stack = manager->getStack(handle);
        if (!stack) {
            // Nothing records what the output has for it: always emitted.
            output->append(attr);
            continue;
        }
        _curList->append(handle);
        stack->setCachedRenderPackage(package);
        if (attr != stack->getLastIncrementalFlushedAttr()) {
            if (poolOwned)
                output->appendWithoutReference(attr);
            else
                output->append(attr);
            stack->setLastIncrementalFlushedAttr(attr);
        }
    }
}

void oxSorter::reducePackage(oxRenderPackage* package, oxPackageRecord* record, oxNonRefCountedAttrList*& lastState,
                             oxDisplayListAttr* output, oxAttrStackManager* manager)
{
    oxNonRefCountedAttrList* state = package->stateListInUse();
    if (state != lastState) {
        lastState = state;
        oxStateRecord* recorded = record && record->state && record->state->valid ? record->state : nullptr;
        if (recorded || state)
            reduceState(package, recorded, state, output, manager);
        // What the previous package set and this one leaves alone goes back to the default.
        for (int32_t handle : *_prevList) {
            oxAttrStack* stack = manager->getStack(handle);
            if (!stack || stack->getCachedRenderPackage() == package)
                continue;
            oxAttr* def = stack->getDefault();
            if (def != stack->getLastIncrementalFlushedAttr()) {
                output->append(def);
                stack->setLastIncrementalFlushedAttr(def);
            }
        }
        std::swap(_curList, _prevList);
        _curList->removeAll();
    }
    if (record) {
        oxAttr* const* geometry = record->geometry();
        for (int i = 0; i < record->geometryCount; ++i)
            if (geometry[i])
                output->append(geometry[i]);
        return;
    }
    oxNonRefCountedAttrList* geometry = package->_geomAttrs;
    for (int i = 0; i < geometry->getCount(); ++i)
        if (oxAttr* attr = geometry->get(i))
            output->append(attr);
}

void oxSorter::sequentialStateReduce(oxRenderPackageList* packages, oxIntList* order, oxDisplayListAttr* output,
                                     oxAttrStackManager* manager)
{
    if (!packages || !order || !output || !manager)
        return;
    oxNonRefCountedAttrList* lastState = nullptr;
    const int n = order->getCount();
    const int32_t* indices = order->data();
    const int packageCount = packages->getCount();
    auto packageAt = [&](int k) -> oxRenderPackage* {
        const int32_t index = indices[k];
        return index >= 0 && index < packageCount ? packages->get(index) : nullptr;
    };
    for (int k = 0; k < n; ++k) {
        // Packages and their records lie apart in memory and a sorted order visits them out
        // of turn: each is fetched a few packages before its turn.
        if (k + kPrefetchEntry < n && unsigned(indices[k + kPrefetchEntry]) < unsigned(packageCount))
            __builtin_prefetch(packages->getEntryAddress(indices[k + kPrefetchEntry]));
        if (k + kPrefetchPackage < n)
            if (const oxRenderPackage* ahead = packageAt(k + kPrefetchPackage))
                __builtin_prefetch(ahead);
        if (k + kPrefetchRecord < n)
            if (const oxRenderPackage* ahead = packageAt(k + kPrefetchRecord))
                if (const oxPackageRecord* record = recordOf(ahead))
                    __builtin_prefetch(record);
        if (k + kPrefetchState < n)
            if (const oxRenderPackage* ahead = packageAt(k + kPrefetchState))
                if (const oxPackageRecord* record = recordOf(ahead); record && record->state)
                    __builtin_prefetch(record->state);
        oxRenderPackage* package = packageAt(k);
        if (!package)
            continue;
        oxPackageRecord* record = recordOf(package);
        // A recorded package is never a compound one.
        oxRenderPackageList* parts = record ? nullptr : package->_theMass.get();
        if (!parts || parts->getCount() == 0) {
            reducePackage(package, record, lastState, output, manager);
            continue;
        }
        for (int i = 0; i < parts->getCount(); ++i)
            if (oxRenderPackage* part = parts->get(i))
                reducePackage(part, recordOf(part), lastState, output, manager);
    }
}

oxDisplayListAttr* oxSorter::getOutput(oxAttrStackManager* manager)
{
    if (_outputCreated || !manager)
        return _dlist;
    appendPendingState(manager);
    _outputCreated = true;

    const int opaqueCount = _opaquePackages->getCount();
    if ((_mode & SORT_OPAQUE) || opaqueCount > 0) {
        const bool orderKept = _opaquePackageIndices->getCount() == opaqueCount;
        if (!orderKept)
            fillIdentityOrder(_opaquePackageIndices, opaqueCount);
        sortOpaquePackages(orderKept);
        sequentialStateReduce(_opaquePackages, _opaquePackageIndices, _opaqueAttrs, manager);
    }
    _dlist->append(_opaqueAttrs);

    if ((_mode & kTransparentSection) || _transpPackages->getCount() > 0) {
        fillIdentityOrder(_transpPackageIndices, _transpPackages->getCount());
        sortTransparentPackages(manager);
        emitTransparentPackages(manager);
    }
    _dlist->append(_transpAttrs);

    // The empty package sets nothing, so reducing it puts back to its default whatever the
    // last package set.
    sequentialStateReduce(_emptyRenderPackageList, _emptyRenderPackageIndices, _lastEmptyRenderPackageAttrs, manager);
    _dlist->append(_lastEmptyRenderPackageAttrs);
    if (oxAttr* clear = manager->getDefaultAttr(oxClearAttr::getClassTypeSafe()))
        _dlist->append(clear);

    // Drawn first but reduced last: they start from the defaults the reset above left and
    // end at them again.
    fillIdentityOrder(_firstPackageIndices, _firstPackages->getCount());
    sequentialStateReduce(_firstPackages, _firstPackageIndices, _firstAttrs, manager);
    sequentialStateReduce(_emptyRenderPackageList, _emptyRenderPackageIndices, _firstEmptyRenderPackageAttrs, manager);
    _firstAttrs->append(_firstEmptyRenderPackageAttrs);
    return _dlist;
}

void oxSorter::reset()
{
    _isCompoundPackageOpen = false;
    // An unbalanced begin in the last frame must not keep this frame's compounds shut.
    _compoundPackageNestCount = 0;
    _compoundPackage = nullptr;
    _outputCreated = false;
    _firstPackages->setCount(0);
    _transpPackages->setCount(0);
    _opaquePackages->setCount(0);
    _opaqueKeys.clear();
    _transpKeys.clear();
    // Packages are emptied when they are handed out again, not here: a reset touches none
    // of them, and the records of the last frame expire with its stamp.
    _renderPackagePool->reset();
    _arena.rewind();
    takeNewFrameStamp();
    // Emptied, not freed: the lists keep their room from frame to frame.
    for (oxDisplayListAttr* list : {_firstAttrs.get(), _transpAttrs.get(), _opaqueAttrs.get(),
                                    _lastEmptyRenderPackageAttrs.get(), _firstEmptyRenderPackageAttrs.get(),
                                    _lightAttrs.get(), _dlist.get()})
        list->setCount(0);
    initDisplayList();
    _curList->removeAll();
    _prevList->removeAll();
    _cachedPackage = nullptr;
}

} // namespace Kel::Sg

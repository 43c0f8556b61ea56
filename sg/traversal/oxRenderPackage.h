#pragma once
#include <cstdint>
#include <vector>

#include "sg/core/oxObjectPool.h"
#include "sg/nodes/oxGeometry.h"
#include "sg/traversal/oxAttrStack.h"

namespace Kel::Sg {

class oxAttrStackManager;
class oxRenderPackageList;

// Storage for the records of one frame's render packages: chunks that keep their place
// while the frame is built and are rewound, not freed, when the next one starts, so that a
// steady frame allocates nothing and its records lie one after another in memory.
class oxFrameArena {
public:
    oxFrameArena() = default;
    oxFrameArena(const oxFrameArena&) = delete;
    oxFrameArena& operator=(const oxFrameArena&) = delete;
    ~oxFrameArena();

    // `bytes` 8-byte aligned, or null when memory is refused.
    void* allocate(size_t bytes);
    // Lengthens the last allocation in place, when it is `block` and its chunk has room.
    bool extend(void* block, size_t oldBytes, size_t newBytes);
    void rewind();

private:
    struct Chunk {
        char* data;
        size_t size;
    };
    static constexpr size_t kChunkBytes = size_t(1) << 18;
    std::vector<Chunk> _chunks;
    size_t _chunk = 0;
    size_t _used = 0;
};

// The full state of a package as the sorter records it while a frame is built: for every
// stack whose attribute differs from its default, the attribute and the stack's handle.
// State reduction compares handles and identities without loading the attributes.
struct oxStateRecord {
    // Set in a handle when an object pool owns the attribute (the output need not hold it).
    static constexpr int32_t kPoolOwned = 1 << 30;
    static constexpr int32_t kHandleMask = kPoolOwned - 1;

    int32_t count;
    // Cleared once the package's state list has taken the record over (someone asked for it).
    int32_t valid;
    // Entries there is room for: the handles follow that many attributes.
    int32_t capacity;
    int32_t pad;

    oxAttr** attrs() { return reinterpret_cast<oxAttr**>(this + 1); }
    int32_t* handles() { return reinterpret_cast<int32_t*>(attrs() + capacity); }
    static size_t bytesFor(int n) { return sizeof(oxStateRecord) + size_t(n) * (sizeof(oxAttr*) + sizeof(int32_t)); }
};

// What a package draws as the sorter recorded it: its geometry attributes and its state,
// its own (recorded just before) or the one of the package built before it.
struct oxPackageRecord {
    oxStateRecord* state;
    int32_t geometryCount;
    int32_t pad;

    oxAttr** geometry() { return reinterpret_cast<oxAttr**>(this + 1); }
    static size_t bytesFor(int n) { return sizeof(oxPackageRecord) + size_t(n) * sizeof(oxAttr*); }
};

// One piece of a sorted frame: the geometry attributes of a node together with the whole
// state (every attribute that differs from its default) under which they are drawn, so
// that packages can be drawn in any order. Packages built one after the other under the
// same state share one state list instead of copying it; a compound package holds
// sub-packages that are sorted as one unit and drawn in their own order.
//
// While a frame is built the sorter keeps a package's state and geometry as a record in
// its frame arena and leaves the lists alone: the package's first cache line is all a
// frame writes and reads of it. The lists take the record over as soon as anyone asks for
// them through the package, so they read as described at any time; a record lasts until
// the sorter's next reset, like the package's use.
class oxRenderPackage : public oxObject {
    OX_CLASS(oxRenderPackage, oxObject)
    OX_FIELDS(stateAttrs, cachedStateAttrs, geomAttrs, sortingCache, distance, theMass)
public:
    // Takes the texture key, the full state and the geometry attributes; clears the
    // manager's record that some stack changed.
    void build(oxGeometry* geometry, oxAttrStackManager* manager);
    // Applies the state, then the geometry, each attribute by its own apply.
    void draw(oxVisualContext* vc);
    // Vertices of the geometry attributes (geometry sets count their lists).
    int getVertexCount() const;

    void setDistance(float distance) { _distance = distance; }
    float getDistance() const { return _distance; }
    // The state list in use: the package's own, or the one it shares with an earlier
    // package. Setting null goes back to the own list.
    oxNonRefCountedAttrList* getStateAttrs() const;
    void setStateAttrs(oxNonRefCountedAttrList* list);
    oxNonRefCountedAttrList* getOwnStateAttrs() const;
    oxNonRefCountedAttrList* getGeometryAttrs() const;
    // Replaces the geometry attributes with those of `list`.
    void setGeometryAttrs(const oxNonRefCountedAttrList* list);
    // The texture key the sorter orders by: compared as an address, never dereferenced.
    oxAttr* getSortingCache() const { return _sortingCache; }
    void setSortingCache(oxAttr* key) { _sortingCache = key; }
    oxRenderPackageList* getSubPackages() const;
    bool isCompound() const;

    // What a geometry node draws: its geometry set when it uses a render list (the set is
    // given the node's attributes if it has no list yet), else its attributes in order.
    static void appendGeometryAttrs(oxGeometry* geometry, oxNonRefCountedAttrList* out);
    static void appendGeometryAttrs(oxGeometry* geometry, oxAttrList* out);
    // The same into `out` (room for `max`); the count, or -1 when they do not fit.
    static int collectGeometryAttrs(oxGeometry* geometry, oxAttr** out, int max);

    void userResetFields(bool forFileRead) override;
    void syncDeclaredFields() const override { takeOverRecord(); }
    void preWrite() override { takeOverRecord(); }

protected:
    oxRenderPackage() = default;
    static void arkRegisterInitialize(oxFields<oxRenderPackage>& f);

    friend class oxSorter;

    enum : uint8_t {
        kRecorded = 1, // the record, not the lists, holds the geometry (and the state, if its record is valid)
        kListsUsed = 2, // the lists hold something from an earlier use
    };
    // The record in force, when the package was recorded in the current frame of the sorter
    // that recorded it.
    oxPackageRecord* getRecord() const;
    // The lists take over what the record holds; afterwards the lists are the package.
    void takeOverRecord() const;
    // Handed out for the frame `stamp`: back to an empty package, touching the lists only if
    // they hold anything.
    void startFrame(uint32_t stamp);
    oxNonRefCountedAttrList* stateListInUse() const
    {
        return _cachedStateAttrs ? _cachedStateAttrs : _stateAttrs.get();
    }

    // The first cache line: what a frame writes and state reduction reads.
    oxNonRefCountedAttrList* _cachedStateAttrs = nullptr;
    mutable oxPackageRecord* _record = nullptr;
    oxAttr* _sortingCache = nullptr;
    oxSmartPointer<oxNonRefCountedAttrList> _stateAttrs;
    float _distance = 0.0f;
    // The sorter frame the package was handed out for; 0 for packages made elsewhere.
    mutable uint32_t _stamp = 0;
    mutable uint8_t _recordFlags = 0;

    oxSmartPointer<oxNonRefCountedAttrList> _geomAttrs;
    oxSmartPointer<oxRenderPackageList> _theMass;
};

OX_OBJECT_POOL(oxRenderPackagePool, oxRenderPackage)
OX_NON_REF_COUNTED_OBJECT_LIST(oxRenderPackageList, oxRenderPackage)

} // namespace Kel::Sg

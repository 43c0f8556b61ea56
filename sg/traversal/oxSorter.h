#pragma once
#include <cstdint>
#include <vector>

#include "platform/attrs/oxDisplayListAttr.h"
#include "platform/attrs/oxStateAttrs.h"
#include "sg/nodes/oxLightSet.h"
#include "sg/traversal/oxRenderPackage.h"

namespace Kel::Sg {

using Attrs::oxCullFaceAttr;
using Attrs::oxDepthWriteStateAttr;
using Attrs::oxDisplayListAttr;

// Turns what a draw traversal hands it during a frame (geometry with the state current at
// that moment, lights, loose attributes) into one display list that draws the frame.
// Without sorting bits in its mode it writes state changes and geometry straight into the
// output in traversal order. Otherwise it collects render packages, orders them (by
// texture, by distance, or by a derived class), keeps opaque and transparent work apart,
// and at the end emits each package with only the state changes it needs after the one
// drawn before it.
//
// The output, in order: lights, first packages (ending at the defaults), immediate state
// and geometry, opaque packages, transparent packages, a reset to the defaults, the
// default clear attribute. Packages and output stay valid until the next reset.
class oxSorter : public oxObject {
    OX_CLASS(oxSorter, oxObject)
    OX_FIELDS(dlist, mode, renderPackagePool, tmpAttrs, transpPackages, opaquePackages, firstPackages, lightAttrs,
              firstAttrs, transpAttrs, opaqueAttrs, firstPackageIndices, transpPackageIndices, opaquePackageIndices,
              depthWriteDisable, cullFaceFront, cullFaceBack, transparencyDrawMode, emptyRenderPackage,
              emptyRenderPackageList, emptyRenderPackageIndices, lastEmptyRenderPackageAttrs,
              firstEmptyRenderPackageAttrs, emptyGeometry, curList, prevList, isCompoundPackageOpen,
              isCompoundPackageTransparent, isCompoundPackageFirst, compoundPackage, compoundPackageNestCount,
              cachedPackage, outputCreated, useZSort, forceNoSeparate, printOutputState)
public:
    OX_ENUM(SORTER_MODE, START_BIT = 0, PACKAGE_TRANSPARENT = 1, PACKAGE_OPAQUE = 2, SORT_TRANSPARENT = 1,
            SORT_TRANSPARENT_DISTANCE = 4, SORT_TRANSPARENT_TEXTURE = 8, SORT_TRANSPARENT_CUSTOM = 16,
            SORT_OPAQUE_DISTANCE_FTB = 32, SORT_OPAQUE_TEXTURE = 64, SORT_OPAQUE_TEXTURE_DISTANCE_FTB = 128,
            SORT_OPAQUE = 224, REQUIRE_OPAQUE_RENDER_PACKAGE = 226, REQUIRE_TRANSPARENT_RENDER_PACKAGE = 29,
            REQUIRE_RENDER_PACKAGE = 255, REQUIRE_OPAQUE_DISTANCE = 160, REQUIRE_TRANSPARENT_DISTANCE = 4,
            REQUIRE_DISTANCE = 164, FORCE_TEXTURE_PAGING = 256, END_BIT = 256)
    OX_ENUM(TRANSPARENCY_DRAW_MODE, TRANSPARENCY_DRAW_DEFAULT = 0, TRANSPARENCY_DRAW_NO_DEPTH_WRITE = 1,
            TRANSPARENCY_DRAW_SEPARATE_FRONT_AND_BACK = 2)

    // Mode bits (SORTER_MODE).
    void setMode(int bits) { _mode |= bits; }
    void setMode(int bits, bool on) { _mode = on ? (_mode | bits) : (_mode & ~bits); }
    void clearMode(int bits) { _mode &= ~bits; }
    int getMode(int bits) const { return _mode & bits; }
    int getMode() const { return _mode; }
    // Any other value than TRANSPARENCY_DRAW_MODE's drops the transparent packages.
    void setTransparencyDrawMode(int mode) { _transparencyDrawMode = mode; }
    int getTransparencyDrawMode() const { return _transparencyDrawMode; }
    // Distance key z² instead of the squared distance from the eye.
    void setUseZSort(bool on) { _useZSort = on; }
    bool getUseZSort() const { return _useZSort; }
    // Every geometry takes the transparent path.
    void setForceNoSeparate(bool on) { _forceNoSeparate = on; }
    bool getForceNoSeparate() const { return _forceNoSeparate; }
    void setPrintOutputState(bool on) { _printOutputState = on; }
    bool getPrintOutputState() const { return _printOutputState; }
    // getOutput has run since the last reset.
    bool getOutputCreated() const { return _outputCreated; }
    oxRenderPackageList* getOpaqueRenderPackages() const { return _opaquePackages; }
    oxRenderPackageList* getTransparentRenderPackages() const { return _transpPackages; }

    // Feeding, from traversals and shaders. Nothing fed after getOutput reaches the output
    // of that frame. A null geometry closes the display list.
    void addGeometry(oxGeometry* geometry, oxAttrStackManager* manager);
    // The lights go first in the output, after the model-view they were found under.
    void addLightSet(oxLightSet* lightSet, oxAttrStackManager* manager);
    // Straight into the output at this point of the traversal.
    void appendAttr(oxAttr* attr);
    void appendAttrs(const oxNonRefCountedAttrList* list);
    void appendAttrs(const oxAttrList* list);
    void appendAttrs(oxAttr* const* attrs, int count);
    // The same without taking references, for attributes their owner keeps until the frame
    // has been drawn (a compiled graph's list, a traversal's pooled attributes).
    void appendHeldAttrs(const oxNonRefCountedAttrList* list);
    // One attribute drawn as the geometry of a package under the current state.
    void flushAttr(oxAttr* attr, oxAttrStackManager* manager);
    // A package of state only: the current state reaches the output at this point.
    void flushRenderPackage(oxAttrStackManager* manager);
    // Puts the class back to its default at this point of the output.
    void resetAttrForRenderPackage(oxAttrStackManager* manager, oxMetaObject* attrClass);
    // Packages built between begin and end stay together in traversal order and are sorted
    // as one unit. Pairs nest; only the outermost pair counts.
    void beginCompoundRenderPackage(bool transparent, bool first);
    void endCompoundRenderPackage();
    void appendOpaqueRenderPackage(oxRenderPackage* package);
    void appendTransparentPackages(oxRenderPackage* package);
    // The state changes still pending go to the output.
    void closeDisplayList(oxAttrStackManager* manager);

    // Sorts, reduces and assembles the frame's output once; later calls return it as it is.
    virtual oxDisplayListAttr* getOutput(oxAttrStackManager* manager);
    // Starts a new frame: packages and output of the last one may be reused.
    virtual void reset();
    // Hooks for derived sorters. Transparent packages whose mode asks for the custom sort
    // are ordered by the first (through getTransparentPackageIndices); the second supplies
    // the packages that the third configures after they were built.
    virtual void customSortTransparentPackages(oxAttrStackManager* manager);
    virtual oxRenderPackage* allocateCustomRenderPackage();
    virtual void configureCustomRenderPackage(oxRenderPackage* package, oxGeometry* geometry,
                                              oxAttrStackManager* manager);

    // Emits the packages in `order`, each with only the state that differs from what the
    // output has set so far, as recorded on the manager's stacks.
    void sequentialStateReduce(oxRenderPackageList* packages, oxIntList* order, oxDisplayListAttr* output,
                               oxAttrStackManager* manager);

    void userInstantiate(bool forFileRead) override;
    void userRelease() override;
    // A sorter read from a file starts a fresh frame with its settings.
    void postFileRead() override;

    // Whether `stamp` names the frame some sorter is building now: the records of packages
    // stamped with it are in force.
    static bool isCurrentFrame(uint32_t stamp);

    // What a sort orders one package by, taken when the package is filed so that sorting
    // reads one array instead of every package.
    struct SortKey {
        uintptr_t texture;
        float distance;
        int32_t index;
        const oxRenderPackage* package;
    };

protected:
    oxSorter() = default;
    static void arkRegisterInitialize(oxFields<oxSorter>& f);

    oxIntList* getTransparentPackageIndices() const { return _transpPackageIndices; }
    oxRenderPackagePool* getRenderPackagePool() const { return _renderPackagePool; }
    oxRenderPackage* allocateRenderPackage();
    void initDisplayList();
    void setUpSharedObjects();
    void appendPendingState(oxAttrStackManager* manager);
    void sortOpaquePackages(bool orderKept);
    void sortTransparentPackages(oxAttrStackManager* manager);
    void emitTransparentPackages(oxAttrStackManager* manager);
    void separateFrontAndBack(oxAttrStackManager* manager);
    void reducePackage(oxRenderPackage* package, oxPackageRecord* record, oxNonRefCountedAttrList*& lastState,
                       oxDisplayListAttr* output, oxAttrStackManager* manager);
    void reduceState(oxRenderPackage* package, oxStateRecord* record, oxNonRefCountedAttrList* list,
                     oxDisplayListAttr* output, oxAttrStackManager* manager);
    // The package's record when this sorter made it in this frame (or another sorter in its).
    oxPackageRecord* recordOf(const oxRenderPackage* package) const
    {
        if (!(package->_recordFlags & oxRenderPackage::kRecorded))
            return nullptr;
        return package->_stamp == _frameStamp ? package->_record : package->getRecord();
    }
    // Records the full state and the geometry in the frame arena; false when they do not
    // fit a record (the package then holds them in its lists).
    bool recordPackage(oxRenderPackage* package, oxGeometry* geometry, oxAttrStackManager* manager);
    // A new package under the state of `previous`, drawing `geometry`.
    void shareState(oxRenderPackage* package, oxRenderPackage* previous, oxGeometry* geometry);
    void appendGeometry(oxRenderPackage* package, oxGeometry* geometry);
    // Files a package in a sorted list with its sort key.
    void file(oxRenderPackageList* list, std::vector<SortKey>& keys, oxRenderPackage* package);
    void takeNewFrameStamp();

    oxSmartPointer<oxDisplayListAttr> _dlist;
    int32_t _mode = 0;
    oxSmartPointer<oxRenderPackagePool> _renderPackagePool;
    oxSmartPointer<oxNonRefCountedAttrList> _tmpAttrs;
    oxSmartPointer<oxRenderPackageList> _transpPackages;
    oxSmartPointer<oxRenderPackageList> _opaquePackages;
    oxSmartPointer<oxRenderPackageList> _firstPackages;
    oxSmartPointer<oxDisplayListAttr> _lightAttrs;
    oxSmartPointer<oxDisplayListAttr> _firstAttrs;
    oxSmartPointer<oxDisplayListAttr> _transpAttrs;
    oxSmartPointer<oxDisplayListAttr> _opaqueAttrs;
    oxSmartPointer<oxIntList> _firstPackageIndices;
    oxSmartPointer<oxIntList> _transpPackageIndices;
    oxSmartPointer<oxIntList> _opaquePackageIndices;
    oxSmartPointer<oxDepthWriteStateAttr> _depthWriteDisable;
    oxSmartPointer<oxCullFaceAttr> _cullFaceFront;
    oxSmartPointer<oxCullFaceAttr> _cullFaceBack;
    int32_t _transparencyDrawMode = TRANSPARENCY_DRAW_DEFAULT;
    oxSmartPointer<oxRenderPackage> _emptyRenderPackage;
    oxSmartPointer<oxRenderPackageList> _emptyRenderPackageList;
    oxSmartPointer<oxIntList> _emptyRenderPackageIndices;
    oxSmartPointer<oxDisplayListAttr> _lastEmptyRenderPackageAttrs;
    oxSmartPointer<oxDisplayListAttr> _firstEmptyRenderPackageAttrs;
    oxSmartPointer<oxGeometry> _emptyGeometry;
    oxSmartPointer<oxIntList> _curList;
    oxSmartPointer<oxIntList> _prevList;
    bool _isCompoundPackageOpen = false;
    bool _isCompoundPackageTransparent = false;
    bool _isCompoundPackageFirst = false;
    oxSmartPointer<oxRenderPackage> _compoundPackage;
    int32_t _compoundPackageNestCount = 0;
    oxRenderPackage* _cachedPackage = nullptr;
    bool _outputCreated = false;
    bool _useZSort = false;
    bool _forceNoSeparate = false;
    bool _printOutputState = false;
    // Run-time scratch, not fields: they keep their room from frame to frame. The arena holds
    // the records of the frame's packages; the keys are those of the opaque and transparent
    // lists, entry for entry.
    oxFrameArena _arena;
    uint32_t _frameStamp = 0;
    std::vector<SortKey> _opaqueKeys;
    std::vector<SortKey> _transpKeys;
    std::vector<SortKey> _sortKeys;
    std::vector<SortKey> _sortScratch;
};

} // namespace Kel::Sg

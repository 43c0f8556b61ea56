#pragma once
#include "platform/attrs/oxAttrDefaultManager.h"
#include "platform/attrs/oxCapabilityManager.h"
#include "platform/attrs/oxDisplayListAttr.h"
#include "platform/attrs/oxMatrixAttrs.h"
#include "platform/attrs/oxStateAttrs.h"
#include "platform/attrs/oxSurfaceAttrs.h"
#include "platform/attrs/oxViewAttrs.h"
#include "sg/core/oxObjectPool.h"
#include "sg/nodes/oxAppearance.h"
#include "sg/traversal/oxAttrPoolManager.h"
#include "sg/traversal/oxAttrStackManager.h"
#include "sg/traversal/oxSorter.h"
#include "sg/traversal/oxTraversal.h"

namespace Kel::Sg {

using Attrs::oxAttrDefaultManager;
using Attrs::oxCapabilityManager;
using Attrs::oxDisplayListAttr;
using Attrs::oxMatrixOptStateAttr;
using Attrs::oxModelViewMatrixAttr;
using Attrs::oxNormalizeNormalsStateAttr;
using Attrs::oxProjectionMatrixAttr;
using Attrs::oxTimeAttr;
using Attrs::oxViewportAttr;
using Gfx::oxVisualContext;

// A stack of plain pointers to matrix arrays (skinning palettes), run-time only.
OX_DATA_LIST(oxMatrixPaletteList, const oxMatrix44f*)
OX_NON_REF_COUNTED_OBJECT_LIST(oxNonRefCountedMatrixObjectList, oxMatrixObject)

// The draw traversal. Once per frame the application calls reset(), sets the view and
// projection, apply(root), and draws getOutput() on its visual context. On the way down
// the traversal keeps the render state on its attribute stacks and hands every visible
// geometry, with the state current there, to its sorter, whose display list is the frame.
//
// Per-frame objects (matrix, time and clip-plane attributes, skinning copies) come from
// pools rewound by reset(), so a steady frame allocates nothing.
class oxCommonTraversal : public oxTraversal {
    OX_TRAVERSAL_CLASS(oxCommonTraversal, oxTraversal)
    OX_FIELDS(modeMask, attrStack, vc, capabilityManager, defaultManager, flushedAttrs, sorter, attrPoolManager,
              matrixObjectPool, viewMat, viewMatInv, projMat, compositeMat, pixelToModelScale, matrixOptimization,
              normalizeNormalsEnable, timeStack, matrixObjectList, timeLongBuf, timeBuffered, boneMatrixPaletteList,
              blendMatrixPaletteList, blendMatrixPaletteLengths, segmentOverrideNames, segmentOverrideStacks,
              defaultTimeAttr, jointChainCount, jointMvmBase, jointMvmInverseBase, jointGraphRootTraversed)
public:
    OX_ENUM(COMMON_TRAVERSAL_FLAG, COMMON_TRAVERSAL_START_BIT = 0, COMMON_TRAVERSAL_END_BIT = 0)

    static void _registerClass(oxTraversalFunctionList* list, oxMetaObject* meta);

    // Mode bits, free for derived traversals.
    void setMode(int bits) { _modeMask |= bits; }
    void setMode(int bits, bool on) { _modeMask = on ? (_modeMask | bits) : (_modeMask & ~bits); }
    void clearMode(int bits) { _modeMask &= ~bits; }
    int getMode(int bits) const { return _modeMask & bits; }
    int getMode() const { return _modeMask; }

    // Set-up. A context brings its own default and capability managers (unless some were
    // set); without one, generic managers stand in.
    virtual void setVisualContext(oxVisualContext* vc);
    oxVisualContext* getVisualContext() const { return _vc; }
    void setup(oxAttrDefaultManager* defaults, oxCapabilityManager* capabilities);
    void setDefaultManager(oxAttrDefaultManager* m) { _defaultManager = m; }
    oxAttrDefaultManager* getDefaultManager() const { return _defaultManager; }
    void setCapabilityManager(oxCapabilityManager* m) { _capabilityManager = m; }
    oxCapabilityManager* getCapabilityManager() const { return _capabilityManager; }
    // The frame's display list refers to this traversal's pooled attributes without holding
    // them: a sorter that leaves the traversal (or outlives it) starts a new frame first.
    virtual void setSorter(oxSorter* sorter)
    {
        if (_sorter && _sorter != sorter)
            _sorter->reset();
        _sorter = sorter;
    }
    oxSorter* getSorter() const { return _sorter; }
    oxAttrStackManager* getAttrStackManager() const { return _attrStack; }
    oxAttrPoolManager* getAttrPoolManager() const { return _attrPoolManager; }
    oxObjectPool* getAttrPool(oxMetaObject* meta) const { return _attrPoolManager->getAttrPool(meta); }
    oxMatrixObjectPool* getMatrixObjectPool() const { return _matrixObjectPool; }
    oxNonRefCountedMatrixObjectList* getMatrixObjectList() const { return _matrixObjectList; }
    oxMatrixOptStateAttr* getMatrixOptAttr() const { return _matrixOptimization; }
    oxNormalizeNormalsStateAttr* getNormalizeNormalsEnable() const { return _normalizeNormalsEnable; }
    oxLongList* getTimeStack() const { return _timeStack; }

    // Per frame.
    virtual void reset();
    virtual oxDisplayListAttr* getOutput() { return _sorter->getOutput(_attrStack); }
    // What changed on the stacks since the last flush (the list is reused).
    oxNonRefCountedAttrList* flushUpdateAttrs();
    void begin(oxNode* root) override;
    void end(oxNode* root) override;

    // Matrices. The view matrix is the bottom of the model-view stack.
    void setViewMatrix(const oxMatrix44f& m);
    const oxMatrix44f& getViewMatrix() const { return _viewMat; }
    const oxMatrix44f& getInverseViewMatrix() const { return _viewMatInv; }
    void setProjectionMatrix(const oxMatrix44f& m) { _projMat = m; }
    const oxMatrix44f& getProjectionMatrix() const { return _projMat; }
    void setFrustum(float left, float right, float bottom, float top, float zNear, float zFar);
    // Angles in degrees. A negative horizontal angle is derived from the vertical one;
    // otherwise the vertical one is derived and the given value ignored.
    void setPerspective(float horizontalFov, float verticalFov, float aspect, float zNear, float zFar);
    oxModelViewMatrixAttr* pushMatrix(const oxMatrix44f& m);
    void popMatrix() { _attrStack->popAttr(oxModelViewMatrixAttr::getClassTypeSafe()); }
    void popMatrix(oxAttr* attr) { _attrStack->popAttr(attr); }
    oxProjectionMatrixAttr* pushProjectionMatrix(const oxMatrix44f& m);
    void popProjectionMatrix() { _attrStack->popAttr(oxProjectionMatrixAttr::getClassTypeSafe()); }
    // The current model-view (projection) matrix: top of its stack, or the class default.
    const oxMatrix44f& getTopMatrix() const;
    const oxMatrix44f& getTopProjection() const;
    // Model-view × projection; recomputed only when either current attribute changes.
    const oxMatrix44f& getCompositeMatrix();
    // (a, b, c, d) such that an object of model-space diameter D centred at p covers
    // D / (a·px + b·py + c·pz + d) pixels; cached like the composite matrix.
    const oxVec4f& getPixelToModelScale();
    float computePixelSpaceDiameter(const oxVec3f& centre, float diameter);
    float computeModelSpaceDiameter(const oxVec3f& centre, float pixelDiameter);

    // Time: sampled once per frame, or the innermost pushed time.
    int64_t getTimeAsLong() const override;
    void setTimeAsLong(int64_t t) override;
    virtual void pushTime(int64_t t) { _timeStack->append(t); }
    virtual void popTime() { _timeStack->remove(_timeStack->getCount() - 1); }
    // Exact: whole seconds by integer division, the remainder in double precision.
    static double toSeconds(int64_t t) { return double(t / 1000000000) + double(t % 1000000000) / 1e9; }

    // Skinning palettes, pushed by characters.
    void pushBoneMatrixPalette(const oxMatrix44f* matrices) { _boneMatrixPaletteList->append(matrices); }
    void popBoneMatrixPalette() { popLast(_boneMatrixPaletteList); }
    const oxMatrix44f* getCurrentBoneMatrixPalette() const { return last(_boneMatrixPaletteList); }
    oxMatrixPaletteList* getBoneMatrixPaletteList() const { return _boneMatrixPaletteList; }
    void pushBlendMatrixPalette(const oxMatrix44f* matrices, int length);
    void popBlendMatrixPalette();
    const oxMatrix44f* getCurrentBlendMatrixPalette() const { return last(_blendMatrixPaletteList); }
    int getCurrentBlendMatrixPaletteLength() const;
    oxMatrixPaletteList* getBlendMatrixPaletteList() const { return _blendMatrixPaletteList; }

    // Joint chains of inverse kinematics.
    void setJointChainCount(int n) { _jointChainCount = n; }
    int getJointChainCount() const { return _jointChainCount; }
    void incrementJointChainCount() { ++_jointChainCount; }
    void decrementJointChainCount() { --_jointChainCount; }
    void setJointMvmBase(const oxMatrix44f& m) { _jointMvmBase = m; }
    const oxMatrix44f& getJointMvmBase() const { return _jointMvmBase; }
    void setJointMvmInverseBase(const oxMatrix44f& m) { _jointMvmInverseBase = m; }
    const oxMatrix44f& getJointMvmInverseBase() const { return _jointMvmInverseBase; }
    void setJointGraphRootTraversed(bool on) { _jointGraphRootTraversed = on; }
    bool getJointGraphRootTraversed() const { return _jointGraphRootTraversed; }

    // Segment overrides: names compared lower-cased; an empty name matches nothing.
    void pushSegmentOverride(const char* name, oxNode* node);
    oxNode* popSegmentOverride(const char* name);
    oxNode* getSegmentOverride(const char* name) const;
    int getSegmentOverrideCount(const char* name) const;

    void userInstantiate(bool forFileRead) override;
    void userRelease() override;
    static void _registerDependencies();

protected:
    oxCommonTraversal() = default;
    static void arkRegisterInitialize(oxFields<oxCommonTraversal>& f);
    static const oxMatrix44f* last(const oxMatrixPaletteList* list)
    {
        return list->getCount() ? list->get(list->getCount() - 1) : nullptr;
    }
    static void popLast(oxMatrixPaletteList* list)
    {
        if (list->getCount())
            list->remove(list->getCount() - 1);
    }
    // Index of the lower-cased name among the override names; -1 - insertion point when absent.
    int findSegmentOverride(const char* name) const;

    int _modeMask = 0;
    oxSmartPointer<oxAttrStackManager> _attrStack;
    oxSmartPointer<oxVisualContext> _vc;
    oxSmartPointer<oxCapabilityManager> _capabilityManager;
    oxSmartPointer<oxAttrDefaultManager> _defaultManager;
    oxSmartPointer<oxNonRefCountedAttrList> _flushedAttrs;
    oxSmartPointer<oxSorter> _sorter;
    oxSmartPointer<oxAttrPoolManager> _attrPoolManager;
    oxSmartPointer<oxMatrixObjectPool> _matrixObjectPool;
    oxMatrix44f _viewMat;
    oxMatrix44f _viewMatInv;
    oxMatrix44f _projMat;
    oxMatrix44f _compositeMat;
    oxVec4f _pixelToModelScale;
    oxSmartPointer<oxMatrixOptStateAttr> _matrixOptimization;
    oxSmartPointer<oxNormalizeNormalsStateAttr> _normalizeNormalsEnable;
    oxSmartPointer<oxLongList> _timeStack;
    oxSmartPointer<oxNonRefCountedMatrixObjectList> _matrixObjectList;
    mutable int64_t _timeLongBuf = -1;
    mutable bool _timeBuffered = false;
    oxSmartPointer<oxMatrixPaletteList> _boneMatrixPaletteList;
    oxSmartPointer<oxMatrixPaletteList> _blendMatrixPaletteList;
    oxSmartPointer<oxIntList> _blendMatrixPaletteLengths;
    oxSmartPointer<oxStringObjList> _segmentOverrideNames;
    oxSmartPointer<oxNodeListList> _segmentOverrideStacks;
    oxSmartPointer<oxTimeAttr> _defaultTimeAttr;
    int _jointChainCount = 0;
    oxMatrix44f _jointMvmBase;
    oxMatrix44f _jointMvmInverseBase;
    bool _jointGraphRootTraversed = false;

    // What the two derived-matrix caches were made from (identity, not content).
    const oxAttr* _compositeFrom[2] = {};
    const oxAttr* _pixelScaleFrom[3] = {};
};

// The node functions, for derived traversals that reuse them.
OX_TRAVERSAL_RETURN oxCommonTraverseAttributeSet(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseOverrideAttributeSet(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseTransform(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseBillboard(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseSwitch(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseLod(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseTimeSwitch(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseTimeTransform(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseTransformRecorder(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseLightSet(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseLightStateSet(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseClipPlaneSet(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseGeometry(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseModelViewMatrixBoneSelect(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseActor(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseBlendMatrixSelect(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseSegment(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseDOFShader(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseMultiTextureShader(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseEnvironmentMapShader2(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseShader(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseShader2(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseCartoonShader(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseBumpMapShader(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseJoint(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseMultiResolutionMeshInstance(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseMorphInstance(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseMorphInstance2(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseInverseKinematicsJoint(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseInverseKinematicsHandle(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCommonTraverseInverseKinematicsSolver(oxTraversal* t, oxObject* node);

} // namespace Kel::Sg

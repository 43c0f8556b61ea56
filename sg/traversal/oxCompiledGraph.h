#pragma once
#include <vector>

#include "platform/attrs/oxStateAttrs.h"
#include "sg/animation/oxSkin.h"
#include "sg/traversal/oxCompiledTransform.h"
#include "sg/shaders/oxEnvironmentMapShader2.h"
#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

using Attrs::oxModelViewMatrixAttrList;

// A group whose children are compiled once into a flat list of attributes: the state
// changes and geometry a draw traversal would emit for them. Drawing it then walks nothing:
// each frame only the model-view matrices of the transforms inside (animated ones through
// their sources), the joints' skinning matrices and the blend-matrix palettes are
// recomputed and written into their places in the list, which goes to the sorter as it is.
//
// The frame's display list refers to the compiled list's attributes without holding them:
// the graph holds them, so a graph is released, reset or recompiled only once its frame has
// been drawn. The compiled data lives as long as the compile and is never stored: a graph read from a
// file, or copied, compiles again when it is first drawn. Slots of the list are kept as
// positions in it.
class oxCompiledGraph : public oxGroup {
    OX_CLASS(oxCompiledGraph, oxGroup)
    OX_FIELDS(compiledList, srcMvmAttrIdx, destMvmAttrPtr, instMvmAttrPtr, bRecList, priorStateUsage,
              destRestoreAttrPtr, restoreAttrs, dupDefaultAttrs, mvmList, xformInfoList, moCount, lastCompileResult,
              matOptStateAttr, environmentShader2List)
public:
    OX_ENUM(PriorStateUsage, kNotUsed = 0, kUsed = 1, kUsedAndRestored = 2)
    OX_ENUM(oxCompileError, kNone = 0, kNothingToCompile = 1, kVertexBlendMatrixListUnknownMatrixObject = 2,
            kShaderEncountered = 3, kNoOutputGenerated = 4, kSkinGraphEncountered = 5)

    // Compiles the children for `vc` (null: generic defaults). A previous compile is dropped
    // first. The result is kept until reset().
    oxCompileError compile(oxVisualContext* vc);
    bool compiled() const { return _compiledList->getCount() > 0; }
    oxCompileError getLastCompileResult() const { return _lastCompileResult; }
    // Drops every compiled thing; the next traverse compiles again.
    virtual void reset();
    // The frame's update, for the draw traversal `t`: compiles first when needed (a failed
    // compile is not retried until reset), then writes this frame's matrices into the list.
    // kNone when the list is ready to be appended to the frame.
    oxCompileError traverse(oxCommonTraversal* t);
    oxNonRefCountedAttrList* getCompiledList() const { return _compiledList; }
    void setPriorStateUsage(PriorStateUsage usage) { _priorStateUsage = usage; }
    PriorStateUsage getPriorStateUsage() const { return _priorStateUsage; }
    oxEnvironmentMapShader2List* getEnvironmentShader2List() const { return _environmentShader2List; }

    // Matrices of the compiled transforms, by record. The matrix of an animated record is
    // its source's: setTransform and getTransform refuse it.
    int getTransformCount() const { return _mvmList->getCount(); }
    bool setTransform(int k, const oxMatrix44f& m);
    bool getTransform(int k, oxMatrix44f& m) const;
    bool setTransformSource(int k, oxTransformSource* source);
    bool getTransformSource(int k, oxTransformSource*& source) const;
    oxCompiledTransformList* getXformInfoList() const { return _xformInfoList; }
    oxModelViewMatrixAttrList* getMvmList() const { return _mvmList; }

    void userConstruct() override;
    void userRelease() override;

    // Whether a compile gives a graph without a bound the bound of its geometry; read from
    // the registry when a graph is made.
    static bool getGenerateBounds() { return s_generateBounds; }

protected:
    oxCompiledGraph() = default;
    static void arkRegisterInitialize(oxFields<oxCompiledGraph>& f);

    oxCompileError finishCompile(oxCompileError result);
    // Flattens nested display lists into the compiled list and holds what it refers to.
    void flatten(const oxAttr* attr);
    void processDefaultAttrs(oxAttrStackManager* stacks);
    void processMvms();
    bool convertVbmlas(const oxNonRefCountedMatrixObjectList* moList);
    // The private copy that stands for a class default in a restore slot.
    oxAttr* restoreCopy(oxAttr* classDefault);

    oxSmartPointer<oxNonRefCountedAttrList> _compiledList;
    oxSmartPointer<oxIntList> _srcMvmAttrIdx;
    oxSmartPointer<oxIntList> _destMvmAttrPtr;
    oxSmartPointer<oxNonRefCountedAttrList> _instMvmAttrPtr;
    oxSmartPointer<oxBlendListRecordList> _bRecList;
    PriorStateUsage _priorStateUsage = kUsedAndRestored;
    oxSmartPointer<oxIntList> _destRestoreAttrPtr;
    oxSmartPointer<oxNonRefCountedAttrList> _restoreAttrs;
    oxSmartPointer<oxAttrList> _dupDefaultAttrs;
    oxSmartPointer<oxModelViewMatrixAttrList> _mvmList;
    oxSmartPointer<oxCompiledTransformList> _xformInfoList;
    int _moCount = 0;
    oxCompileError _lastCompileResult = kNone;
    oxSmartPointer<oxMatrixOptStateAttr> _matOptStateAttr;
    oxSmartPointer<oxEnvironmentMapShader2List> _environmentShader2List;

    // Every attribute the compiled list names, held: the compile's pooled attributes
    // would otherwise go with its traversal.
    oxSmartPointer<oxAttrList> _heldAttrs;

    // What the frame update reads of each record and its matrix, side by side in one array:
    // records and attributes lie apart in memory, and a large graph's frame is bound by
    // fetching them. Kept equal to them by every operation that changes one.
    struct FrameStep {
        oxMatrix44f local;
        oxTransformSource* source;
        const oxMatrix44f* invJoint;
        int parent;
        int moIdx;
    };
    std::vector<FrameStep> _steps;

    static inline bool s_generateBounds = true;
};

// The draw traversal's function for compiled graphs: the compiled list when there is one,
// nothing when there is nothing to draw, the children as a group when the compile failed.
OX_TRAVERSAL_RETURN oxCommonTraverseCompiledGraph(oxTraversal* t, oxObject* node);

} // namespace Kel::Sg

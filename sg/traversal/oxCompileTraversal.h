#pragma once
#include <unordered_map>

#include "platform/attrs/oxVertexBlendAttrs.h"
#include "platform/math/oxVolume.h"
#include "sg/nodes/oxTransform.h"
#include "sg/shaders/oxEnvironmentMapShader2.h"
#include "sg/traversal/oxCommonTraversal.h"
#include "sg/traversal/oxCompiledTransform.h"

namespace Kel::Sg {

using Attrs::oxBlendMatrixPaletteAttr;
using Attrs::oxBlendMatrixPaletteAttrList;
using Attrs::oxModelViewMatrixAttrList;
using Math::oxAABox;

// The draw traversal that a compiled graph runs once over its children. Its sorter writes
// state changes and geometry in traversal order; beside that output it records every
// model-view attribute it makes (not pooled: the compiled list keeps them) and where each
// matrix comes from, so that the compiled graph can recompute them each frame without
// walking the children. Shaders whose passes depend on the frame stop the walk.
//
// The joint-chain counter is the draw traversal's own (_jointChainCount, with its
// accessors): a compile walks no inverse-kinematics chains of its own.
class oxCompileTraversal : public oxCommonTraversal {
    OX_TRAVERSAL_CLASS(oxCompileTraversal, oxCommonTraversal)
    OX_FIELDS(mvmList, xformInfoList, moList, containsShader, bound, transformList, isSkin, environmentShader2List,
              bmpaList, jointBaseMvmIndex, currentBoneIndex)
public:
    static void _registerClass(oxTraversalFunctionList* list, oxMetaObject* meta);

    oxModelViewMatrixAttrList* getMvmList() const { return _mvmList; }
    oxCompiledTransformList* getXformInfoList() const { return _xformInfoList; }
    oxNonRefCountedMatrixObjectList* getMoList() const { return _moList; }
    oxNonRefCountedTransformList* getTransformList() const { return _transformList; }
    oxBlendMatrixPaletteAttrList* getBmpaList() const { return _bmpaList; }
    oxEnvironmentMapShader2List* getEnvironmentShader2List() const { return _environmentShader2List; }
    bool getContainsShader() const { return _containsShader; }
    void setContainsShader(bool on) { _containsShader = on; }
    bool getIsSkin() const { return _isSkin; }
    void setIsSkin(bool on) { _isSkin = on; }
    // Union of the bounds of the geometry met, untransformed; null before any geometry.
    oxAABox* getBound() const { return _bound; }

    void setJointBaseMvmIndex(int index) { _jointBaseMvmIndex = index; }
    int getJointBaseMvmIndex() const { return _jointBaseMvmIndex; }
    void setCurrentBoneIndex(int index) { _currentBoneIndex = index; }
    int getCurrentBoneIndex() const { return _currentBoneIndex; }
    void incrementCurrentBoneIndex() { ++_currentBoneIndex; }

    // Appends a model-view attribute and its record; the attribute's index.
    int appendMvm(oxModelViewMatrixAttr* attr, oxCompiledTransform* record);
    // Index in the model-view list of the attribute last pushed on the model-view stack;
    // -1 when nothing is pushed or it is not one of the list's.
    int findLastPushedMvm() const;
    // Extends the collected bound by what `attrs` draw.
    void extendBound(const oxAttrList* attrs);

    void begin(oxNode* root) override;
    void end(oxNode* root) override;
    void reset() override;

protected:
    oxCompileTraversal() = default;
    static void arkRegisterInitialize(oxFields<oxCompileTraversal>& f);

    oxSmartPointer<oxModelViewMatrixAttrList> _mvmList;
    oxSmartPointer<oxCompiledTransformList> _xformInfoList;
    oxSmartPointer<oxNonRefCountedMatrixObjectList> _moList;
    bool _containsShader = false;
    oxSmartPointer<oxAABox> _bound;
    oxSmartPointer<oxNonRefCountedTransformList> _transformList;
    bool _isSkin = false;
    // Environment-map shaders met, refreshed by the compiled graph every frame.
    oxSmartPointer<oxEnvironmentMapShader2List> _environmentShader2List;
    oxSmartPointer<oxBlendMatrixPaletteAttrList> _bmpaList;
    int _jointBaseMvmIndex = -1;
    int _currentBoneIndex = 0;

    // Where each attribute of _mvmList stands in it, for the parent lookups of a large graph.
    std::unordered_map<const oxAttr*, int> _mvmIndex;
};

// The compile traversal's node functions.
OX_TRAVERSAL_RETURN oxCompileTraverseShader(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCompileTraverseGeometry(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCompileTraverseJoint(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCompileTraverseTransform(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCompileTraverseCompiledGraph(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCompileTraverseModelViewMatrixBoneSelect(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCompileTraverseBlendMatrixSelect(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxCompileTraverseActor(oxTraversal* t, oxObject* node);

} // namespace Kel::Sg

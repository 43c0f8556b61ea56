#pragma once
#include "platform/attrs/oxAttr.h"
#include "platform/attrs/oxVertexBlendAttrs.h"
#include "sg/core/oxSgEnums.h"
#include "sg/nodes/oxNode.h"

namespace Kel::Sg {

class oxTraversal;

// The skinned geometry of a character: a subtree drawn with the actor's blend matrices,
// and the box it fills.
class oxSkin : public oxNamedObject {
    OX_CLASS(oxSkin, oxNamedObject)
    OX_FIELDS(skinnedGraph, bound)
public:
    // Dispatches the traversal to the skinned graph; continue without one.
    OX_TRAVERSAL_RETURN traverse(oxTraversal* traversal);

    oxNode* getSkinnedGraph() const { return _skinnedGraph; }
    void setSkinnedGraph(oxNode* graph) { _skinnedGraph = graph; }
    oxAABox* getBound() const { return _bound; }
    void setBound(oxAABox* bound) { _bound = bound; }

protected:
    oxSkin() = default;
    static void arkRegisterInitialize(oxFields<oxSkin>& f);

    oxSmartPointer<oxNode> _skinnedGraph;
    oxSmartPointer<oxAABox> _bound;
};

OX_OBJECT_LIST(oxSkinList, oxSkin)

// One skinned geometry of a compiled graph: its blend-matrix palette, and the position in
// the compiled list that receives the frame's blend matrices. A position, not an address:
// the list may move its storage while it is built.
class oxBlendListRecord : public oxObject {
    OX_CLASS(oxBlendListRecord, oxObject)
    OX_FIELDS(attr, fwdPtr)
public:
    Attrs::oxBlendMatrixPaletteAttr* getAttr() const { return _attr; }
    void setAttr(Attrs::oxBlendMatrixPaletteAttr* attr) { _attr = attr; }
    int getFwdPtr() const { return _fwdPtr; }
    void setFwdPtr(int slot) { _fwdPtr = slot; }

protected:
    oxBlendListRecord() = default;
    static void arkRegisterInitialize(oxFields<oxBlendListRecord>& f);

    oxSmartPointer<Attrs::oxBlendMatrixPaletteAttr> _attr;
    int _fwdPtr = -1;
};

OX_OBJECT_LIST(oxBlendListRecordList, oxBlendListRecord)

} // namespace Kel::Sg

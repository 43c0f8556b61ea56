#pragma once
#include "platform/core/oxDataListList.h"
#include "platform/gfx/oxGfxTypes.h"
#include "platform/gfx/oxIndexArray.h"
#include "platform/gfx/oxVertexArray.h"
#include "platform/math/oxMathListLists.h"
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

using Gfx::oxIndexArray;
using Gfx::oxPrimLengthArray;
using Gfx::oxVertexArray;

// The shared part of a morphing mesh: its base vertices and primitives and, per target
// ("coefficient"), the sparse set of vertices the target moves with one position (and,
// separately, normal) displacement each. Instances (oxMorphInstance) blend it with their own
// weights. Index lists are kept ascending and end with kIndexTerminator, which is no vertex,
// so that a blend runs through them without a separate count and visits the vertices in
// memory order.
class oxMorphBase : public oxObject {
    OX_CLASS(oxMorphBase, oxObject)
    OX_FIELDS(vertexArray, indexArray, vertCount, coefCount, posDispList, posIndexList, normDispList, normIndexList,
              primType, numPrims, offset, primLengths, stripLengths)
public:
    static constexpr int32_t kIndexTerminator = 0x40000000;

    // Also records the array's vertex count.
    void setVertexArray(oxVertexArray* vertices);
    oxVertexArray* getVertexArray() const { return _vertexArray; }
    void setIndexArray(oxIndexArray* indices) { _indexArray = indices; }
    oxIndexArray* getIndexArray() const { return _indexArray; }
    int getVertexCount() const { return _vertCount; }

    // The number of targets, once: later calls are refused with a warning, since instances
    // size their weights by it.
    void setMaxCoefficients(int n);
    int getCoefficientCount() const { return _coefCount; }

    // Target t's moved vertices and their displacements. Setting the indices appends the
    // terminator to the list given (which the base then shares); once both lists of a
    // target match, unsorted indices are sorted with their displacements in step. Null for
    // a target out of range.
    void setPositionDisplacementVec(int target, oxVec3fList* displacements);
    oxVec3fList* getPositionDisplacementVec(int target) const { return entry(_posDispList.get(), target); }
    void setPositionIndexArray(int target, oxIntList* indices);
    oxIntList* getPositionIndexArray(int target) const { return entry(_posIndexList.get(), target); }
    void setNormalDisplacementVec(int target, oxVec3fList* displacements);
    oxVec3fList* getNormalDisplacementVec(int target) const { return entry(_normDispList.get(), target); }
    void setNormalIndexArray(int target, oxIntList* indices);
    oxIntList* getNormalIndexArray(int target) const { return entry(_normIndexList.get(), target); }

    oxVec3fListList* getPositionDisplacementLists() const { return _posDispList; }
    oxIntListList* getPositionIndexLists() const { return _posIndexList; }
    oxVec3fListList* getNormalDisplacementLists() const { return _normDispList; }
    oxIntListList* getNormalIndexLists() const { return _normIndexList; }

    // What the instances draw: primitive type, count and first vertex (or index).
    virtual void configurePrimitive(Gfx::OX_GFX_DRAW type, unsigned int count, unsigned int offset);
    // Strip and fan lengths, grown as needed.
    virtual void setPrimitiveLength(unsigned int index, unsigned int length);
    virtual unsigned int getPrimitiveLength(unsigned int index) const;
    Gfx::OX_GFX_DRAW getPrimitiveType() const { return _primType; }
    unsigned int getPrimitiveCount() const { return _numPrims; }
    unsigned int getPrimitiveOffset() const { return _offset; }
    oxUnsignedIntList* getPrimitiveLengths() const { return _primLengths; }
    oxPrimLengthArray* getStripLengths() const { return _stripLengths; }
    void setStripLengths(oxPrimLengthArray* lengths) { _stripLengths = lengths; }

    // The number of entries before the terminator (all of them when it is missing).
    static int storedIndexCount(const oxIntList* indices);

protected:
    oxMorphBase() = default;
    static void arkRegisterInitialize(oxFields<oxMorphBase>& f);

    template <class L>
    static auto entry(const L* lists, int target) -> decltype(lists->get(0))
    {
        return lists && target >= 0 && target < lists->getCount() ? lists->get(target) : nullptr;
    }
    bool checkTarget(const char* what, int target) const;
    static void sortIfMatched(oxIntList* indices, oxVec3fList* displacements);

    oxSmartPointer<oxVertexArray> _vertexArray;
    oxSmartPointer<oxIndexArray> _indexArray;
    int32_t _vertCount = 0;
    int32_t _coefCount = 0;
    oxSmartPointer<oxVec3fListList> _posDispList;
    oxSmartPointer<oxIntListList> _posIndexList;
    oxSmartPointer<oxVec3fListList> _normDispList;
    oxSmartPointer<oxIntListList> _normIndexList;
    Gfx::OX_GFX_DRAW _primType = Gfx::OX_GFX_DRAW_POINTS;
    uint32_t _numPrims = 0;
    uint32_t _offset = 0;
    oxSmartPointer<oxUnsignedIntList> _primLengths;
    oxSmartPointer<oxPrimLengthArray> _stripLengths;
};

} // namespace Kel::Sg

#pragma once
#include "sg/core/oxBitMask.h"
#include "sg/deform/oxMorphBase.h"
#include "sg/deform/oxMorphSequence.h"
#include "sg/nodes/oxGeometry.h"

namespace Kel::Sg {

// A geometry node that draws a morph base deformed by its own weights: it keeps a vertex
// array of its own and, whenever a weight has changed since the last blend, rewrites the
// vertices the changed targets move (and those of the other active targets that share them)
// as base + the sum of weight × displacement. Vertices no active target moves keep their
// base values without being touched, so a blend costs what the active targets move, not
// the size of the mesh.
class oxMorphInstance : public oxGeometry {
    OX_CLASS(oxMorphInstance, oxGeometry)
    OX_FIELDS(base, coef, oldCoef, coefSource, dirty, morphVa, morphSeq, privateBase, dirtyNormal)
public:
    // Copies the base's vertices into a new array of the instance's own, zeroes the weights
    // and makes the node draw that array with the base's indices and primitives. Null (or a
    // base without vertices) leaves the node drawing nothing.
    void setBase(oxMorphBase* base);
    oxMorphBase* getBase() const { return _base; }
    void setMorphSequence(oxMorphSequence* sequence) { _morphSeq = sequence; }
    oxMorphSequence* getMorphSequence() const { return _morphSeq; }

    // Ignored (with a warning) before a base gave the instance its weights, or out of range.
    void setCoefficient(int target, float weight);
    float getCoefficient(int target) const;
    oxFloatList* getCoeffList() const { return _coef; }
    int getCoefficientCount() const { return _base ? _base->getCoefficientCount() : 0; }
    oxVertexArray* getMorphedVertexArray() const { return _morphVa; }

    // Blends if a weight changed since the last blend.
    void update();
    // The sequence's weights at `time` (when there is a sequence), then update().
    void update(int64_t time);

    // The base is copied with its vertices and displacements transformed, and the instance
    // starts over from the copy.
    void transform(const oxMatrix44f& m) override;
    void postFileRead() override;

protected:
    oxMorphInstance() = default;
    static void arkRegisterInitialize(oxFields<oxMorphInstance>& f);

    // Gives the weight lists one entry per target of the base; false when there is none.
    bool prepareWeights();
    void rebuildVA();

    oxSmartPointer<oxMorphBase> _base;
    oxSmartPointer<oxFloatList> _coef;
    oxSmartPointer<oxFloatList> _oldCoef;
    oxSmartPointer<oxUnsignedCharList> _coefSource;
    oxSmartPointer<oxBitMask> _dirty;
    oxSmartPointer<oxVertexArray> _morphVa;
    oxSmartPointer<oxMorphSequence> _morphSeq;
    oxSmartPointer<oxMorphBase> _privateBase;
    oxSmartPointer<oxBitMask> _dirtyNormal;
};

} // namespace Kel::Sg

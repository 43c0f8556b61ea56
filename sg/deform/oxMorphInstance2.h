#pragma once
#include "platform/attrs/oxGeometryAttr2.h"
#include "sg/deform/oxMorphSequence.h"
#include "sg/nodes/oxGeometry.h"

namespace Kel::Sg {

using Attrs::oxMorphedGeometryAttr;

// A geometry node whose morph blending is done by a morphed geometry attribute: the node
// only keeps the weights (from its sequence, or set by hand) and hands the attribute the
// active ones, those far enough from 0 to matter, as slots of (weight, target).
class oxMorphInstance2 : public oxGeometry {
    OX_CLASS(oxMorphInstance2, oxGeometry)
    OX_FIELDS(coefficient, nonNullCoefficientIndex, morphSequence, morphGeometry)
public:
    // Weights of at most this size count as 0.
    static constexpr float kInactiveWeight = 5e-7f;

    void setMorphSequence(oxMorphSequence* sequence) { _morphSequence = sequence; }
    oxMorphSequence* getMorphSequence() const { return _morphSequence; }
    // The attribute also becomes the node's geometry, in place of the previous one.
    void setMorphGeometry(oxMorphedGeometryAttr* geometry);
    oxMorphedGeometryAttr* getMorphGeometry() const { return _morphGeometry; }
    oxFloatList* getCoefficient() const { return _coefficient; }
    oxIntList* getNonNullCoefficientIndex() const { return _nonNullCoefficientIndex; }

    // The sequence's weights at `time` (when there is a sequence), then updateCoefficientList().
    void update(int64_t time);
    void updateCoefficientList();

    // Its targets' displacements are not moved with the vertices.
    bool isTransformable() const override { return false; }

protected:
    oxMorphInstance2() = default;
    static void arkRegisterInitialize(oxFields<oxMorphInstance2>& f);

    oxSmartPointer<oxFloatList> _coefficient;
    oxSmartPointer<oxIntList> _nonNullCoefficientIndex;
    oxSmartPointer<oxMorphSequence> _morphSequence;
    oxSmartPointer<oxMorphedGeometryAttr> _morphGeometry;
};

} // namespace Kel::Sg

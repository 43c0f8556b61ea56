#pragma once
#include <vector>

#include "sg/core/oxBitMask.h"
#include "sg/deform/oxMorphBase.h"
#include "sg/deform/oxMorphSequence.h"
#include "sg/nodes/oxGeometry.h"

namespace Kel::Sg {

// A geometry node that draws a morph base deformed by its own weights: it keeps a vertex
// array of its own and, whenever a weight has changed since the last blend, makes every
// vertex base + the sum, in target order, of weight × displacement over the targets with a
// weight. Nothing happens while the weights stay as they were; a blend costs one pass over
// the vertices plus one step per vertex each active target moves.
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

private:
    // One target's part in a blend of one component, gathered as the blend starts. The
    // lists of runs are kept between blends (they are no fields), so that a blend after the
    // first allocates nothing.
    struct BlendRun {
        const int32_t* index = nullptr;
        const oxVec3f* displacement = nullptr;
        int count = 0;
        int next = 0;
        float weight = 0.0f;
        int target = 0;
        bool terminated = false; // the terminator follows the last index
    };
    // The targets whose weight now or at the last blend is not 0; false when some index list
    // does not ascend.
    static bool gatherRuns(std::vector<BlendRun>& runs, const oxIntListList* indices,
                           const oxVec3fListList* displacements, const float* coef, const float* old, int n,
                           const char* what);
    static void blendRuns(std::vector<BlendRun>& runs, bool ascending, uint8_t* out, const uint8_t* base,
                          size_t stride, uint32_t* dirty, uint32_t vertexCount, const char* what, bool markTouched);

    std::vector<BlendRun> _positionRuns, _normalRuns;
};

} // namespace Kel::Sg

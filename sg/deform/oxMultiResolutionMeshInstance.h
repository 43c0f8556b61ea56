#pragma once
#include <vector>

#include "sg/core/oxBitMask.h"
#include "sg/deform/oxMultiResolutionMeshCore.h"
#include "sg/nodes/oxGeometry.h"

namespace Kel::Sg {

// A geometry node that draws a progressive mesh (oxMultiResolutionMeshCore) at a triangle
// count of its own. Its geometry attribute draws the core's vertices through the instance's
// index array, which a change of resolution rewrites in place: only the corners of the
// triangles that appear or disappear and those around the vertices that split or collapse are
// touched, so the cost of a change follows the triangles that change, not the mesh's size.
// The vertices to split are marked in _terminalArrayBits and listed in _terminalArray while
// a change runs.
class oxMultiResolutionMeshInstance : public oxGeometry {
    OX_CLASS(oxMultiResolutionMeshInstance, oxGeometry)
    OX_FIELDS(mrmCore, instanceArray, terminalArray, terminalArrayBits, lastPolygonCount, currentPolygonCount,
              lastVertexCount, currentVertexCount, evaluationPolicy, evaluationCenter, nearEvaluationDistance,
              farEvaluationDistance)
public:
    OX_ENUM(DETAIL_EVALUATION_POLICY, EVALUATION_LINEAR = 0, EVALUATION_SQUARED = 1, EVALUATION_SQUARE_ROOT = 2,
            EVALUATION_NONE = 3)

    // The instance starts over from the core's fewest triangles at the next resolution.
    void setMultiResolutionMeshCore(oxMultiResolutionMeshCore* core);
    oxMultiResolutionMeshCore* getMultiResolutionMeshCore() const { return _mrmCore; }
    // 0 draws the fewest triangles, 1 all of them (values outside are clamped). Nothing is
    // drawn, with a warning, while the core has not been generated.
    void setTargetResolution(float r);
    unsigned getCurrentPolygonCount() const { return _currentPolygonCount; }
    uint16_t getCurrentVertexCount() const { return _currentVertexCount; }
    oxIndexArray* getInstanceArray() const { return _instanceArray; }

    // The resolution for a distance d from the eye by the evaluation policy and distances;
    // false (keep the current triangles) for an unknown policy.
    bool evaluateResolution(float d, float& r) const;
    void setEvaluationPolicy(int policy) { _evaluationPolicy = DETAIL_EVALUATION_POLICY(policy); }
    int getEvaluationPolicy() const { return _evaluationPolicy; }
    void setEvaluationCenter(const oxVec3f& c) { _evaluationCenter = c; }
    const oxVec3f& getEvaluationCenter() const { return _evaluationCenter; }
    void setNearEvaluationDistance(float d) { _nearEvaluationDistance = d; }
    float getNearEvaluationDistance() const { return _nearEvaluationDistance; }
    void setFarEvaluationDistance(float d) { _farEvaluationDistance = d; }
    float getFarEvaluationDistance() const { return _farEvaluationDistance; }

    // The geometry attribute that draws the instance (made on first use).
    oxGeometryAttr* getDrawAttr();

protected:
    oxMultiResolutionMeshInstance() = default;
    static void arkRegisterInitialize(oxFields<oxMultiResolutionMeshInstance>& f);

    oxSmartPointer<oxMultiResolutionMeshCore> _mrmCore;
    oxSmartPointer<oxIndexArray> _instanceArray;
    oxSmartPointer<oxUnsignedShortList> _terminalArray;
    oxSmartPointer<oxBitMask> _terminalArrayBits;
    uint32_t _lastPolygonCount = 0;
    uint32_t _currentPolygonCount = 0;
    uint16_t _lastVertexCount = 0;
    uint16_t _currentVertexCount = 0;
    DETAIL_EVALUATION_POLICY _evaluationPolicy = EVALUATION_LINEAR;
    oxVec3f _evaluationCenter;
    float _nearEvaluationDistance = 0.1f;
    float _farEvaluationDistance = 1000.0f;

private:
    // For every vertex in use, the drawn corners that point at it, as doubly linked lists
    // through the corner numbers. It is derived state, rebuilt whenever it does not match the
    // arrays it was made for (a new core, a copy, a file read).
    struct Corners {
        const void* core = nullptr;
        const void* coreIndices = nullptr;
        const void* instanceIndices = nullptr;
        int instanceCount = -1;
        std::vector<int32_t> head, next, prev;
    };
    bool cornersMatch() const;
    void rebuild(oxMultiResolutionMeshCore* core);
    void link(int32_t corner, uint16_t vertex);
    void unlink(int32_t corner, uint16_t vertex);
    uint16_t mapDown(uint16_t vertex, uint16_t highest) const;
    void applyCounts(uint32_t n, uint16_t v);

    Corners _corners;
};

} // namespace Kel::Sg

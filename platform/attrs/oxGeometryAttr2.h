#pragma once
#include "platform/attrs/oxGeometryAttr.h"
#include "platform/core/oxDataList.h"
#include "platform/gfx/oxVertexArray2.h"

namespace Kel::Attrs {

// Geometry over an oxVertexArray2 (one array per component).
class oxGeometryAttr2 : public oxBaseGeometryAttr {
    OX_CLASS(oxGeometryAttr2, oxBaseGeometryAttr)
    OX_FIELDS(vertexArray)
public:
    Gfx::oxVertexArrayBase* getVertexSource() const override { return _vertexArray; }
    Gfx::oxVertexArray2* getVertexArray() const { return _vertexArray; }
    void setVertexArray(Gfx::oxVertexArray2* vertices)
    {
        _vertexArray = vertices;
        touch();
    }
    // A new vertex array of `vertexCount` vertices and no components yet.
    Gfx::oxVertexArray2* configureVertexArray(int vertexCount);

protected:
    oxGeometryAttr2() = default;
    static void arkRegisterInitialize(oxFields<oxGeometryAttr2>& f);

    oxSmartPointer<Gfx::oxVertexArray2> _vertexArray;
};

// The morph targets of one vertex component: per target, one displacement per vertex
// (float data), and the active slots: slot j adds weight(j) times target targetIndex(j).
class oxMorphEntry : public Core::oxObject {
    OX_CLASS(oxMorphEntry, Core::oxObject)
    OX_FIELDS(component, componentIndex, targets, activeCount, weights, targetIndices)
public:
    Gfx::OX_GFX_COMPONENT getComponent() const { return _component; }
    int getComponentIndex() const { return _componentIndex; }
    void setComponent(Gfx::OX_GFX_COMPONENT component, int index = 0)
    {
        _component = component;
        _componentIndex = index;
    }
    Gfx::oxVertexDataList* getTargets() const { return _targets; }
    // A new zeroed target of `vertexCount` displacements of `scalarCount` floats.
    Gfx::oxVertexData* addTarget(int vertexCount, int scalarCount = 3);

    int getActiveCount() const { return _activeCount; }
    // Grows the slot lists as needed; new slots weigh 0 and name target 0.
    void setActiveCount(int count);
    float getWeight(int slot) const
    {
        return slot >= 0 && slot < _activeCount && slot < _weights->getCount() ? _weights->get(slot) : 0.0f;
    }
    bool setWeight(int slot, float weight);
    int getTargetIndex(int slot) const
    {
        return slot >= 0 && slot < _activeCount && slot < _targetIndices->getCount() ? _targetIndices->get(slot) : -1;
    }
    bool setTargetIndex(int slot, int target);
    // The slots' weights and target indices, activeCount of each in use.
    const Core::oxFloatList* getWeightList() const { return _weights; }
    const Core::oxIntList* getTargetIndexList() const { return _targetIndices; }

protected:
    oxMorphEntry() = default;
    static void arkRegisterInitialize(oxFields<oxMorphEntry>& f);

    Gfx::OX_GFX_COMPONENT _component = Gfx::OX_GFX_COMPONENT_POSITION;
    int32_t _componentIndex = 0;
    oxSmartPointer<Gfx::oxVertexDataList> _targets;
    int32_t _activeCount = 0;
    oxSmartPointer<Core::oxFloatList> _weights;
    oxSmartPointer<Core::oxIntList> _targetIndices;
};

OX_OBJECT_LIST(oxMorphEntryList, oxMorphEntry)

// Geometry whose vertices are its base vertices plus weighted morph targets. A device that
// blends morphs keeps the targets and takes only the weights each draw; otherwise they are
// blended on the host into a private copy (the base stays as it is). Only float components
// blend; a target shorter than the vertex count is skipped.
class oxMorphedGeometryAttr : public oxGeometryAttr2 {
    OX_CLASS(oxMorphedGeometryAttr, oxGeometryAttr2)
    OX_FIELDS(morphList, morphed)
public:
    oxMorphEntryList* getMorphList() const { return _morphList; }
    oxMorphEntry* appendMorphEntry(Gfx::OX_GFX_COMPONENT component, int index = 0);
    // Blends into the private copy now; the copy is what the host path draws.
    Gfx::oxVertexArray2* update();
    Gfx::oxVertexArray2* getMorphedVertexArray() const { return _morphed; }

    // The base vertices and every target's displacements (as directions). Targets written
    // otherwise must be touched, so that a device's copies follow.
    bool transform(const oxMatrix44f& m) override;

protected:
    oxMorphedGeometryAttr() = default;
    static void arkRegisterInitialize(oxFields<oxMorphedGeometryAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    oxSmartPointer<oxMorphEntryList> _morphList;
    oxSmartPointer<Gfx::oxVertexArray2> _morphed;
};

} // namespace Kel::Attrs

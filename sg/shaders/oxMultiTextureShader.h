#pragma once
#include "platform/attrs/oxFragmentAttrs.h"
#include "platform/attrs/oxStateAttrs.h"
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

using Attrs::oxAttrList;
using Attrs::oxAttrListList;

// A group drawn with several texture layers, each an attribute list written for unit 0
// (a texture, how it combines, where its coordinates come from). The layers are packed into
// as few passes as the device's texture units allow: a pass takes as many layers as there
// are units, each on the next unit, and every pass after the first multiplies what is
// already in the frame buffer by its own layers, drawn unlit over the same depths. On a
// device with four units four layers cost one pass; on a one-unit device, four.
//
// Packing happens once, on the first draw; changing the layers packs them again.
class oxMultiTextureShader : public oxGroup {
    OX_CLASS(oxMultiTextureShader, oxGroup)
    OX_FIELDS(layers, numTextureStages, isOptimized, platformAttrLists)
public:
    int getLayerCount() const { return _layers ? _layers->getCount() : 0; }
    // Appends a layer; its attributes are written for unit 0. Null is refused.
    bool appendLayer(oxAttrList* layer);
    oxAttrList* getLayer(int index) const;
    void removeAllLayers();

    int getNumTextureStages() const { return _numTextureStages; }
    void setNumTextureStages(int stages);
    bool isOptimized() const { return _isOptimized; }
    // One attribute list per pass, to push around the children.
    oxAttrListList* getPlatformAttrLists() const { return _platformAttrLists; }
    // Packs the layers into passes for `_numTextureStages` units (at least one).
    void optimizePasses();

protected:
    oxMultiTextureShader() = default;
    static void arkRegisterInitialize(oxFields<oxMultiTextureShader>& f);

    oxSmartPointer<oxAttrListList> _layers;
    int _numTextureStages = 0;
    bool _isOptimized = false;
    oxSmartPointer<oxAttrListList> _platformAttrLists;
};

} // namespace Kel::Sg

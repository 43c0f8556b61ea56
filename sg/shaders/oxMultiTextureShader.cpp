#include "sg/shaders/oxMultiTextureShader.h"

#include <algorithm>

namespace Kel::Sg {

using namespace Attrs;

namespace {

// The state every pass after the first adds: multiply the frame buffer by the pass's
// colour, on the depths the first pass left, without lighting the layers twice.
oxSmartPointer<oxAttrList> laterPassState()
{
    oxSmartPointer<oxAttrList> state = oxAttrList::_instantiateRef();
    oxSmartPointer<oxBlendStateAttr> blend = oxBlendStateAttr::_instantiateRef();
    blend->setEnabled(true);
    oxSmartPointer<oxBlendFunctionAttr> multiply = oxBlendFunctionAttr::_instantiateRef();
    multiply->setFactors(Gfx::OX_GFX_BLEND_DST_COLOR, Gfx::OX_GFX_BLEND_ZERO);
    oxSmartPointer<oxDepthFunctionAttr> sameDepth = oxDepthFunctionAttr::_instantiateRef();
    sameDepth->setFunction(Gfx::OX_GFX_COMPARE_LESS_EQUAL);
    oxSmartPointer<oxLightingStateAttr> unlit = oxLightingStateAttr::_instantiateRef();
    unlit->setEnabled(false);
    state->append(blend);
    state->append(multiply);
    state->append(sameDepth);
    state->append(unlit);
    return state;
}

} // namespace

void oxMultiTextureShader::arkRegisterInitialize(oxFields<oxMultiTextureShader>& f)
{
    f.add(OX_FIELD(layers)).constructWithOwner();
    f.add(OX_FIELD(numTextureStages)).setDefault(0).notPersistent();
    f.add(OX_FIELD(isOptimized)).setDefault(false).notPersistent();
    f.add(OX_FIELD(platformAttrLists)).constructWithOwner().notPersistent();
}

bool oxMultiTextureShader::appendLayer(oxAttrList* layer)
{
    if (!layer) {
        oxReportWarning("oxMultiTextureShader::appendLayer: no layer");
        return false;
    }
    _layers->append(layer);
    _isOptimized = false;
    return true;
}

oxAttrList* oxMultiTextureShader::getLayer(int index) const
{
    return index >= 0 && index < getLayerCount() ? _layers->get(index) : nullptr;
}

void oxMultiTextureShader::removeAllLayers()
{
    _layers->removeAll();
    _isOptimized = false;
}

void oxMultiTextureShader::setNumTextureStages(int stages)
{
    if (stages != _numTextureStages)
        _isOptimized = false;
    _numTextureStages = stages;
}

void oxMultiTextureShader::optimizePasses()
{
    _platformAttrLists->removeAll();
    const int stages = std::max(1, _numTextureStages);
    oxSmartPointer<oxAttrList> later;
    for (int first = 0; first < getLayerCount(); first += stages) {
        oxSmartPointer<oxAttrList> pass = oxAttrList::_instantiateRef();
        if (first > 0) {
            if (!later)
                later = laterPassState();
            for (int i = 0; i < later->getCount(); ++i)
                pass->append(later->get(i));
        }
        for (int unit = 0; unit < stages && first + unit < getLayerCount(); ++unit) {
            const oxAttrList* layer = _layers->get(first + unit);
            for (int i = 0; layer && i < layer->getCount(); ++i) {
                oxAttr* attr = layer->get(i);
                if (!attr)
                    continue;
                // A layer's own attributes serve unit 0; other units get copies, so that
                // the layer reads the same after packing.
                if (unit == 0 || attr->getUnitCapability() < 0) {
                    pass->append(attr);
                    continue;
                }
                oxSmartPointer<oxObject> copy = attr->createCopyRef();
                auto* moved = static_cast<oxAttr*>(copy.get());
                moved->setUnit(unit);
                pass->append(moved);
            }
        }
        _platformAttrLists->append(pass);
    }
    _isOptimized = true;
}

} // namespace Kel::Sg

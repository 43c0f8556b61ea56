#pragma once
#include "platform/attrs/oxCapabilityManager.h"
#include "sg/core/oxSgDefs.h"
#include "sg/traversal/oxTraversal.h"

namespace Kel::Sg {

using Attrs::oxCapabilityManager;
class oxSimpleShader;
class oxCommonTraversal;

// What a simple shader does, exchangeable: set-up against the device, the per-frame update
// of the passes' state, and the draw. The base processor draws the shader's passes as they
// are; derived processors animate the state the passes push (texture matrices, blend
// factors, model-view matrices).
class oxShaderProcessor : public oxObject {
    OX_CLASS(oxShaderProcessor, oxObject)
public:
    virtual bool configureRequired(oxSimpleShader*) { return false; }
    // True when the shader has at least one pass to draw.
    virtual bool configure(oxSimpleShader* shader, oxCapabilityManager* capabilities);
    virtual void update(oxSimpleShader*, oxCommonTraversal*) {}
    // Each pass: its push list pushed as overrides, its nodes drawn when its bit is on, its
    // pop list popped last to first. A child that stops the walk ends the passes after its
    // own (whose pop list still runs) and the shader answers STOP.
    virtual OX_TRAVERSAL_RETURN shade(oxSimpleShader* shader, oxCommonTraversal* traversal);

protected:
    oxShaderProcessor() = default;
};

} // namespace Kel::Sg

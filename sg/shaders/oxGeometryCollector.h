#pragma once
#include "sg/traversal/oxTraversal.h"

namespace Kel::Sg {

// Walks `group`'s children as a group while every geometry class (oxGeometry and all classes
// derived from it) answers through `collector` instead of its own function in the
// traversal's table: per-vertex shaders gather the geometry below them, with the state in
// force there, before they draw it. The table is put back as it was before returning, so
// the collection leaves no trace in later walks.
OX_TRAVERSAL_RETURN oxTraverseCollectingGeometries(oxTraversal* traversal, oxGroup* group,
                                                   oxTraversalFunction collector);

} // namespace Kel::Sg

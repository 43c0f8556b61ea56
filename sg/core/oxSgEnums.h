#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

// What a traversal function tells the walk: go on into the children, skip them, or end
// the whole walk.
OX_NAMESPACE_ENUM(OX_TRAVERSAL_RETURN, OX_TRAVERSAL_CONTINUE = 0, OX_TRAVERSAL_PRUNE = 1, OX_TRAVERSAL_STOP = 2)

// What a node-selection callback decides for a node: visit it, skip it with its subtree,
// or skip only its own function and visit its children.
OX_NAMESPACE_ENUM(OX_TRAVERSAL_SELECT_NODE_RETURN, OX_SELECT_NODE_TRAVERSE = 0, OX_SELECT_NODE_IGNORE = 1,
                  OX_SELECT_NODE_PASS_THROUGH = 2)

OX_NAMESPACE_ENUM(CameraType, CameraPoint = 0, CameraTarget = 1)

OX_NAMESPACE_ENUM(FIELD_MODE, PUSH = 0, PULL = 1)

} // namespace Kel::Sg

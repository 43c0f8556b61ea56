#pragma once
#include "sg/nodes/oxNode.h"

namespace Kel::Sg {

// Prints the graph below `root` to the core's standard output, one node a line indented
// by its depth (`depth` is the root's), the attributes of attribute sets beneath their
// node. A node reached again is printed once more as an instance, without its subtree.
void oxSgPrint(oxNode* root, int depth = 0);

} // namespace Kel::Sg

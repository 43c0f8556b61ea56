#include "sg/shaders/oxGeometryCollector.h"

#include <utility>
#include <vector>

#include "sg/nodes/oxGeometry.h"

namespace Kel::Sg {

namespace {

void geometryClasses(oxMetaObject* meta, std::vector<oxMetaObject*>& out)
{
    // Classes that never became node classes have no entry in any table.
    if (meta->getNodeHandle() >= 0)
        out.push_back(meta);
    for (oxMetaObject* derived : meta->getDerivedTypes())
        geometryClasses(derived, out);
}

} // namespace

OX_TRAVERSAL_RETURN oxTraverseCollectingGeometries(oxTraversal* traversal, oxGroup* group,
                                                   oxTraversalFunction collector)
{
    if (!traversal || !group || !collector || !traversal->getTraversalFunctions())
        return OX_TRAVERSAL_CONTINUE;
    std::vector<oxMetaObject*> classes;
    geometryClasses(oxGeometry::getClassTypeSafe(), classes);
    oxTraversalFunctionList* table = traversal->getTraversalFunctions();
    std::vector<std::pair<oxMetaObject*, oxTraversalFunction>> saved;
    saved.reserve(classes.size());
    for (oxMetaObject* meta : classes) {
        if (meta->getNodeHandle() >= table->getCount())
            continue;
        saved.emplace_back(meta, traversal->getFunction(meta));
        traversal->setFunction(meta, collector);
    }
    const OX_TRAVERSAL_RETURN r = oxTraverseGroup(traversal, group);
    for (const auto& [meta, fn] : saved)
        traversal->setFunction(meta, fn);
    return r;
}

} // namespace Kel::Sg

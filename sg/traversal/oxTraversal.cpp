#include "sg/traversal/oxTraversal.h"

namespace Kel::Sg {

int oxTraversalFunctionList::setAll(oxTraversalFunction fn)
{
    for (oxTraversalFunction& entry : *this)
        entry = fn;
    return getCount();
}

namespace {

// The children of a wide group lie apart in memory. While one child is walked, the ones
// coming next are fetched down their first-child chain, each level from a pointer that an
// earlier iteration fetched: a node's first cache lines (its class for the dispatch, its
// fields and the first entries of its lists), then its first child's, then that one's.
// The first line, which the dispatch reads, is fetched furthest ahead: a walk that does
// little per node reaches it soon.
constexpr int kPrefetchHeader = 16;
constexpr int kPrefetchNode = 6;
constexpr int kPrefetchChild = 4;
constexpr int kPrefetchGrandchild = 2;

inline void prefetchNode(const oxObject* node)
{
    if (!node)
        return;
    __builtin_prefetch(node);
    __builtin_prefetch(reinterpret_cast<const char*>(node) + 64);
    __builtin_prefetch(reinterpret_cast<const char*>(node) + 128);
}

// The first child of a group with children, else null.
inline const oxObject* firstChild(const oxObject* node)
{
    static const oxMetaObject* group = oxGroup::getClassTypeSafe();
    if (!node || !node->getMetaObjectFast()->isDerivedFrom(group))
        return nullptr;
    const oxNodeList* children = static_cast<const oxGroup*>(node)->getChildList();
    return children && children->getCount() ? children->get(0) : nullptr;
}

// The bound of a node whose line is already on its way.
inline void prefetchBound(const oxObject* node)
{
    if (node)
        if (const oxVolume* bound = static_cast<const oxNode*>(node)->getBound())
            __builtin_prefetch(bound);
}

} // namespace

OX_TRAVERSAL_RETURN oxTraverseNode(oxTraversal*, oxObject*)
{
    return OX_TRAVERSAL_CONTINUE;
}

OX_TRAVERSAL_RETURN oxTraverseGroup(oxTraversal* traversal, oxObject* object)
{
    const oxNodeList* children = static_cast<oxGroup*>(object)->getChildList();
    if (!children)
        return OX_TRAVERSAL_CONTINUE;
    const int count = children->getCount();
    const bool bounds = traversal->getPrefetchBounds();
    for (int i = 0; i < count; ++i) {
        if (i + kPrefetchHeader < count)
            __builtin_prefetch(children->get(i + kPrefetchHeader));
        if (i + kPrefetchNode < count)
            prefetchNode(children->get(i + kPrefetchNode));
        if (i + kPrefetchChild < count)
            prefetchNode(firstChild(children->get(i + kPrefetchChild)));
        if (i + kPrefetchGrandchild < count)
            prefetchNode(firstChild(firstChild(children->get(i + kPrefetchGrandchild))));
        // Bounds live apart from their nodes: a walk that tests them asks for them once the
        // node lines that name them have arrived.
        if (bounds) {
            if (i + kPrefetchChild < count)
                prefetchBound(children->get(i + kPrefetchChild));
            if (i + kPrefetchGrandchild < count)
                prefetchBound(firstChild(children->get(i + kPrefetchGrandchild)));
            if (i + 1 < count)
                prefetchBound(firstChild(firstChild(children->get(i + 1))));
        }
        const OX_TRAVERSAL_RETURN r = traversal->dispatch(children->get(i));
        if (r == OX_TRAVERSAL_PRUNE)
            break;
        if (r == OX_TRAVERSAL_STOP)
            return OX_TRAVERSAL_STOP;
    }
    return OX_TRAVERSAL_CONTINUE;
}

void oxTraversal::arkRegisterInitialize(oxFields<oxTraversal>& f)
{
    f.add(OX_FIELD(nodeSelectProcEnabled));
    f.add(OX_FIELD(nodeSelectProc));
    f.add(OX_FIELD(timeLong)).setDefault(int64_t(-1));
    f.add(OX_FIELD(userTimeState));
    f.add(OX_FIELD(travProcs));
}

void oxTraversal::userInstantiate(bool forFileRead)
{
    oxObject::userInstantiate(forFileRead);
    if (!forFileRead)
        _travProcs = getClassTraversalFunctions();
}

void oxTraversal::apply(oxNode* root)
{
    begin(root);
    dispatch(root);
    end(root);
}

int64_t oxTraversal::getTimeAsLong() const
{
    return _userTimeState ? _timeLong : oxTimer::getGlobalTimeAsLong();
}

OX_TRAVERSAL_RETURN oxTraversal::dispatchSelected(oxObject* object)
{
    auto* node = static_cast<oxNode*>(object);
    switch (_nodeSelectProc(this, node)) {
    case OX_SELECT_NODE_TRAVERSE: break;
    case OX_SELECT_NODE_PASS_THROUGH:
        if (node->getMetaObjectFast()->isDerivedFrom(oxGroup::getClassTypeSafe()))
            return oxTraverseGroup(this, node) == OX_TRAVERSAL_STOP ? OX_TRAVERSAL_STOP : OX_TRAVERSAL_CONTINUE;
        break;
    default: return OX_TRAVERSAL_CONTINUE;
    }
    return _dispatch(_travProcs, this, node);
}

void oxTraversal::_setFunction(oxTraversalFunctionList* list, oxMetaObject* meta, oxTraversalFunction fn)
{
    if (!list || !meta->isDerivedFrom(oxNode::getClassTypeSafe()))
        return;
    int h = meta->getNodeHandle();
    if (h < 0) {
        h = list->getCount();
        meta->setNodeHandle(h);
    }
    if (h >= list->getCount())
        list->setCount(h + 1);
    list->set(h, fn);
}

oxTraversalFunction oxTraversal::_findNearestFunction(std::span<const oxTraversalFunctionRow> rows,
                                                      const oxMetaObject* meta)
{
    for (const oxMetaObject* cls = meta; cls; cls = cls->getParent()) {
        const oxTraversalFunctionRow* found = nullptr;
        for (const oxTraversalFunctionRow& row : rows) {
            if (row.cls() != cls)
                continue;
            if (!found)
                found = &row;
            else if (row.fn != found->fn)
                oxReportWarning("traversal table: %s has two rows with different functions; the first is used",
                                cls->getName());
        }
        if (found)
            return found->fn;
    }
    return nullptr;
}

void oxTraversal::_registerClass(oxTraversalFunctionList* list, oxMetaObject* meta)
{
    if (!meta->isDerivedFrom(oxNode::getClassTypeSafe()))
        return;
    const bool group = meta->isDerivedFrom(oxGroup::getClassTypeSafe());
    _setFunction(list, meta, group ? &oxTraverseGroup : &oxTraverseNode);
}

} // namespace Kel::Sg

#include "sg/traversal/oxTraversal.h"

namespace Kel::Sg {

int oxTraversalFunctionList::setAll(oxTraversalFunction fn)
{
    for (oxTraversalFunction& entry : *this)
        entry = fn;
    return getCount();
}

namespace {

constexpr int kPrefetchAhead = 2;

// The first two cache lines of a node: its class (for the dispatch) and the fields a node
// function reads first, such as a group's child list.
inline void prefetchNode(const oxObject* node)
{
    __builtin_prefetch(node);
    __builtin_prefetch(reinterpret_cast<const char*>(node) + 64);
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
    for (int i = 0; i < count; ++i) {
        // The children of a wide group lie apart in memory: the ones coming next are fetched
        // while this one is walked, so that their turn does not start with a cache miss.
        if (i + kPrefetchAhead < count)
            prefetchNode(children->get(i + kPrefetchAhead));
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

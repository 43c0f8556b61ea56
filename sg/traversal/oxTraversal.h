#pragma once
#include <span>

#include "sg/core/oxSgEnums.h"
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

class oxTraversal;

using oxTraversalFunction = OX_TRAVERSAL_RETURN (*)(oxTraversal*, oxObject*);
using oxNodeSelectFunction = OX_TRAVERSAL_SELECT_NODE_RETURN (*)(oxTraversal*, oxNode*);

// Entry h is the function for the node class whose node handle is h.
class oxTraversalFunctionList : public oxTDataList<oxTraversalFunction> {
    OX_CLASS(oxTraversalFunctionList, oxDataList)
public:
    // Sets every entry to fn; returns the count.
    int setAll(oxTraversalFunction fn);

protected:
    oxTraversalFunctionList() = default;
};

// One row of a traversal class's choices: a node class and the function for it and for the
// classes derived from it that have no row of their own.
struct oxTraversalFunctionRow {
    oxMetaObject* (*cls)();
    oxTraversalFunction fn;
};

// Does nothing.
OX_TRAVERSAL_RETURN oxTraverseNode(oxTraversal* traversal, oxObject* node);
// Dispatches each child in order. A child's PRUNE ends the loop (the group itself then
// continues), a STOP ends the whole walk. Children must not be added or removed meanwhile.
OX_TRAVERSAL_RETURN oxTraverseGroup(oxTraversal* traversal, oxObject* group);

// The per-class part of every traversal class: the class-wide function table, filled for
// each node class as it registers (and for those registered before), and the static
// operations over it. A traversal class writes
//
//   class oxCullTraversal : public oxCommonTraversal {
//       OX_TRAVERSAL_CLASS(oxCullTraversal, oxCommonTraversal)
//   public:
//       static void _registerClass(oxTraversalFunctionList* list, oxMetaObject* meta);
//       static void _registerDependencies();   // optional, see oxTraversal
//       ...
//
// where _registerClass picks the most derived function for `meta` and falls back on its
// parent's choice.
#define OX_TRAVERSAL_CLASS(Class, Parent)                                                   \
    OX_CLASS(Class, Parent)                                                                 \
    OX_TRAVERSAL_TABLE_()                                                                   \
    ::Kel::Sg::oxTraversalFunctionList* getClassTraversalFunctions() const override { return travProcs; } \
                                                                                            \
private:

// The class-wide table and its static operations; each traversal class has its own.
#define OX_TRAVERSAL_TABLE_()                                                               \
public:                                                                                     \
    static inline ::Kel::Sg::oxTraversalFunctionList* travProcs = nullptr;                  \
    /* Creates the class-wide table. */                                                     \
    static void userRegister()                                                              \
    {                                                                                       \
        if (!travProcs) {                                                                   \
            travProcs = ::Kel::Sg::oxTraversalFunctionList::_instantiate();                 \
            travProcs->ref();                                                               \
        }                                                                                   \
    }                                                                                       \
    static void userUnregister()                                                            \
    {                                                                                       \
        if (travProcs)                                                                      \
            travProcs->release();                                                           \
        travProcs = nullptr;                                                                \
    }                                                                                       \
    static void _classDestructor() { userUnregister(); }                                    \
    /* The table, then an entry for every node class registered so far and later. */       \
    static void arkRegisterUser()                                                           \
    {                                                                                       \
        _registerDependencies();                                                            \
        userRegister();                                                                     \
        ::Kel::Core::oxMetaObject::registerClassDestructor(&_classDestructor);              \
        ::Kel::Core::oxMetaObject::registerClassRegistrationCallback(&registerClass);       \
    }                                                                                       \
    static void registerClass(::Kel::Core::oxMetaObject* meta)                              \
    {                                                                                       \
        if (travProcs)                                                                      \
            _registerClass(travProcs, meta);                                                \
    }                                                                                       \
    static ::Kel::Sg::oxTraversalFunctionList* _getTraversalFunctions() { return travProcs; } \
    static void _setTraversalFunctions(::Kel::Sg::oxTraversalFunctionList* list) { travProcs = list; }

// A walk over a graph. The traversal knows no node classes: for each node it calls the
// function that its table holds for the node's class. Functions decide themselves whether
// to descend (groups through oxTraverseGroup), and steer the walk with their result.
class oxTraversal : public oxObject {
    OX_CLASS(oxTraversal, oxObject)
    OX_FIELDS(nodeSelectProcEnabled, nodeSelectProc, timeLong, userTimeState, travProcs)
    OX_TRAVERSAL_TABLE_()
    // Hook: registers the classes a traversal class makes while it walks (attributes it pools,
    // say) before its table is built. A derived traversal class hides it with its own, which
    // calls its parent's first.
    static void _registerDependencies() {}

    // begin, the walk from root, end.
    virtual void apply(oxNode* root);
    virtual void begin(oxNode*) {}
    virtual void end(oxNode*) {}

    // Visits one node: one table load and one indirect call, unless a selection
    // callback is enabled.
    OX_TRAVERSAL_RETURN dispatch(oxObject* node)
    {
        if (_nodeSelectProcEnabled)
            return dispatchSelected(node);
        return (*_travProcs)[node->getMetaObjectFast()->getNodeHandle()](this, node);
    }

    // Without a handle check: the class must be a registered node class.
    oxTraversalFunction getFunction(oxMetaObject* meta) const { return _getFunction(_travProcs, meta); }
    // Changes the table this instance uses, which is normally shared by its whole class.
    void setFunction(oxMetaObject* meta, oxTraversalFunction fn) { _setFunction(_travProcs, meta, fn); }
    oxTraversalFunctionList* getTraversalFunctions() const { return _travProcs; }
    void setTraversalFunctions(oxTraversalFunctionList* list) { _travProcs = list; }
    // Back to the class-wide table.
    void cacheTravProcs() { _travProcs = getClassTraversalFunctions(); }

    void setNodeSelectFunction(oxNodeSelectFunction fn) { _nodeSelectProc = fn; }
    oxNodeSelectFunction getNodeSelectFunction() const { return _nodeSelectProc; }
    void setNodeSelectFunctionState(bool on) { _nodeSelectProcEnabled = on; }
    bool getNodeSelectFunctionState() const { return _nodeSelectProcEnabled; }

    // Whether group walks fetch the bounds of the nodes ahead, for traversals that test them.
    void setPrefetchBounds(bool on) { _prefetchBounds = on; }
    bool getPrefetchBounds() const { return _prefetchBounds; }

    // With user time on, the traversal runs at its own time instead of the global clock.
    void setUserTimeState(bool on) { _userTimeState = on; }
    bool getUserTimeState() const { return _userTimeState; }
    virtual int64_t getTimeAsLong() const;
    // Stores the traversal's own time; it is used once user time is on.
    virtual void setTimeAsLong(int64_t t) { _timeLong = t; }
    int64_t getTime() const { return getTimeAsLong(); }
    void setTime(int64_t t) { setTimeAsLong(t); }

    void userInstantiate(bool forFileRead) override;

    // The class-wide table of this traversal's class.
    virtual oxTraversalFunctionList* getClassTraversalFunctions() const { return travProcs; }

    // Node handles: one small integer per node class, shared by every table.
    static int getNodeHandle(const oxMetaObject* meta) { return meta->getNodeHandle(); }
    static int getNodeHandle(const oxNode* node) { return node->getMetaObjectFast()->getNodeHandle(); }
    static void setNodeHandle(oxMetaObject* meta, int handle) { meta->setNodeHandle(handle); }
    static void setNodeHandle(oxNode* node, int handle) { node->getMetaObjectFast()->setNodeHandle(handle); }

    // Table access by handle. _setFunction ignores classes that are not node classes and
    // gives a class its handle (the table's next index) on first use.
    static void _setFunction(oxTraversalFunctionList* list, oxMetaObject* meta, oxTraversalFunction fn);
    static oxTraversalFunction _getFunction(const oxTraversalFunctionList* list, const oxMetaObject* meta)
    {
        return (*list)[meta->getNodeHandle()];
    }
    static OX_TRAVERSAL_RETURN _dispatch(const oxTraversalFunctionList* list, oxTraversal* traversal, oxObject* node)
    {
        return (*list)[node->getMetaObjectFast()->getNodeHandle()](traversal, node);
    }
    // The choice for a newly registered class: groups walk their children, other nodes
    // do nothing.
    static void _registerClass(oxTraversalFunctionList* list, oxMetaObject* meta);
    // The function of the row whose class is the nearest to `meta` up its line of parents
    // (itself first); null when no row's class is among them. The rows may come in any
    // order; a class listed twice with different functions is reported.
    static oxTraversalFunction _findNearestFunction(std::span<const oxTraversalFunctionRow> rows,
                                                    const oxMetaObject* meta);

protected:
    oxTraversal() = default;
    static void arkRegisterInitialize(oxFields<oxTraversal>& f);
    OX_TRAVERSAL_RETURN dispatchSelected(oxObject* node);

    bool _nodeSelectProcEnabled = false;
    oxNodeSelectFunction _nodeSelectProc = nullptr;
    int64_t _timeLong = -1;
    bool _userTimeState = false;
    oxSmartPointer<oxTraversalFunctionList> _travProcs;
    bool _prefetchBounds = false;
};

} // namespace Kel::Sg

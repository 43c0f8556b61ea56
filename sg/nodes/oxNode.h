#pragma once
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

class oxGroup;
class oxNonRefCountedNodeList;

// Base of everything that stands in a scene graph. A graph is a DAG: a node may have
// several parents (instancing) and lists them without holding them, while each parent
// holds its children. Two flags, light and transform presence, propagate from children to
// all their ancestors. The bound is stored, never computed here.
class oxNode : public oxNamedObject {
    OX_CLASS(oxNode, oxNamedObject)
    OX_FIELDS(bound, parentList, flags)
public:
    OX_ENUM(NODE_FLAGS, START_BIT = 1, HAS_LIGHT = 1, HAS_TRANSFORM = 2, USE_RENDER_LIST = 4,
            USE_RENDER_LIST_DELETE_ORIGINAL = 8, IS_COLLIDABLE = 16, IS_INVISIBLE = 32, IS_DYNAMIC = 64, ENDBIT = 64)

    oxVolume* getBound() const { return _bound; }
    void setBound(oxVolume* bound) { _bound = bound; }
    int getFlags() const { return _flags; }

    virtual int getParentCount() const;
    // The caller keeps index within the parent count.
    virtual oxNode* getParent(int index) const;
    virtual bool hasChildren() { return false; }
    // Whether transform() may bake a matrix into this node: not when it is shared.
    virtual bool isTransformable() const { return getParentCount() < 2; }
    virtual void transform(const oxMatrix44f&) {}
    // Neither form propagates anything.
    virtual void setFlags(int flags) { _flags = flags; }
    virtual void setFlags(int mask, bool on) { _flags = on ? (_flags | mask) : (_flags & ~mask); }
    // Flags every node of the class carries.
    virtual int getInherantFlags() { return 0; }
    virtual void reset() {}
    // Puts `group` in this node's place under every parent and makes the node its last child.
    virtual void insertGroupAbove(oxGroup* group);
    // Duplicates allowed: a parent appears once per child-list entry naming this node.
    virtual bool addParent(oxNode* parent);
    virtual bool removeParent(oxNode* parent);

    // Sets the propagated bits of `flags` here and on every ancestor that lacks them.
    void propagateFlagsUp(unsigned flags);
    static void setPropagationMask(unsigned mask) { flagMask = mask; }
    static unsigned getPropagationMask() { return flagMask; }

    // Depth-first pre-order search for a node of `type` named exactly `name`.
    static oxNode* findNamedNodeOfType(oxNode* root, const char* name, oxMetaObject* type);

    void userInstantiate(bool forFileRead) override;

protected:
    oxNode() = default;
    ~oxNode() override;
    static void arkRegisterInitialize(oxFields<oxNode>& f);
    // Where `node` keeps its parents, for asking for many nodes' lists before they are read.
    static const oxNonRefCountedNodeList* parentListOf(const oxNode* node) { return node->_parentList.get(); }

    oxSmartPointer<oxVolume> _bound;
    oxSmartPointer<oxNonRefCountedNodeList> _parentList;
    int _flags = 0;

    // Only bits in the mask are propagated up or cleared up.
    static inline unsigned flagMask = 3;
};

OX_OBJECT_LIST(oxNodeList, oxNode)
OX_OBJECT_LIST(oxNodeListList, oxNodeList)
OX_NON_REF_COUNTED_OBJECT_LIST(oxNonRefCountedNodeList, oxNode)

} // namespace Kel::Sg

#pragma once
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

// A path of nodes from a root (element 0) down to one node (the top), each a child of the
// one before; with the matrix the transforms along it accumulate, it places the top in the
// root's space.
class oxGraphPath : public oxObject {
    OX_CLASS(oxGraphPath, oxObject)
    OX_FIELDS(path, center, length)
public:
    // Appends a node.
    void configure(oxNode* node);
    // The path becomes the list's nodes, or another path's.
    void configure(const oxNodeList* nodes);
    void configure(const oxGraphPath* other);

    oxNodeList* getPath() const { return _path; }
    int getDepth() const { return _path ? _path->getCount() : 0; }
    // The caller keeps index within the depth.
    oxNode* getNode(int index) const { return _path->get(index); }
    // Null for an empty path.
    oxNode* getTop() const { return getDepth() > 0 ? getNode(getDepth() - 1) : nullptr; }
    // True when the path holds only its root.
    bool isTop() const { return getDepth() == 1; }
    // The node before the top; null when there is none or it is not a group.
    oxGroup* getParent() const;

    // Appends child `index` of the top; false, changing nothing, when the top is not a
    // group or has no such child.
    bool pushNode(int index);
    // Takes the top off and returns it as a plain pointer, valid only while something else
    // holds the node; null, changing nothing, when the path holds only its root (or
    // nothing).
    oxNode* popNode();
    // The top's index in its parent's child list; -1 without a parent or when it is not
    // listed there.
    int getTopIndex() const;

    const oxVec3f& getCenter() const { return _center; }
    void setCenter(const oxVec3f& center) { _center = center; }
    float getLength() const { return _length; }
    void setLength(float length) { _length = length; }

    // The model-view transforms along the whole path evaluated at time t, accumulated as the
    // draw walk does (a child's matrix applies before its parent's): the top's space to the
    // root's.
    void getTransformMatrixInclusive(oxMatrix44f* out, int64_t t) const;
    // The same without the top: the space the top stands in, in the root's.
    void getTransformMatrixExclusive(oxMatrix44f* out, int64_t t) const;

protected:
    oxGraphPath() = default;
    static void arkRegisterInitialize(oxFields<oxGraphPath>& f);
    void getTransformMatrix(int count, oxMatrix44f* out, int64_t t) const;

    oxSmartPointer<oxNodeList> _path;
    oxVec3f _center;
    float _length = 1.0f;
};

OX_OBJECT_LIST(oxGraphPathList, oxGraphPath)

} // namespace Kel::Sg

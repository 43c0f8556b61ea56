#pragma once
#include "sg/nodes/oxTransformSource.h"

namespace Kel::Sg {

// Where one model-view matrix of a compiled graph comes from: its parent matrix, an
// animated source, and for joints the inverse bind matrix and the blending matrix object
// that skinning reads. A negative parent other than -1 marks a matrix that no node made
// (-2: the identity under which a skinned geometry is drawn).
class oxCompiledTransform : public oxObject {
    OX_CLASS(oxCompiledTransform, oxObject)
    OX_FIELDS(parentIdx, source, moIdx, invJoint, name, isNode, isJointChainStart, boneIndex)
public:
    int getParentIdx() const { return _parentIdx; }
    void setParentIdx(int index) { _parentIdx = index; }
    oxTransformSource* getSource() const { return _source; }
    void setSource(oxTransformSource* source) { _source = source; }
    int getMoIdx() const { return _moIdx; }
    void setMoIdx(int index) { _moIdx = index; }
    // Points into the joint, which the compiled graph's children keep alive.
    const oxMatrix44f* getInvJoint() const { return _invJoint; }
    void setInvJoint(const oxMatrix44f* m) { _invJoint = m; }
    const char* getName() const { return _name->get(); }
    void setName(const char* name) { _name->set(name ? name : ""); }
    bool getIsNode() const { return _isNode; }
    void setIsNode(bool on) { _isNode = on; }
    bool getIsJointChainStart() const { return _isJointChainStart; }
    void setIsJointChainStart(bool on) { _isJointChainStart = on; }
    int getBoneIndex() const { return _boneIndex; }
    void setBoneIndex(int index) { _boneIndex = index; }

protected:
    oxCompiledTransform() = default;
    static void arkRegisterInitialize(oxFields<oxCompiledTransform>& f);

    int _parentIdx = 0;
    oxSmartPointer<oxTransformSource> _source;
    int _moIdx = -1;
    const oxMatrix44f* _invJoint = nullptr;
    oxSmartPointer<oxStringObj> _name;
    bool _isNode = true;
    bool _isJointChainStart = false;
    int _boneIndex = 0;
};

OX_OBJECT_LIST(oxCompiledTransformList, oxCompiledTransform)

} // namespace Kel::Sg

#pragma once
#include "sg/animation/oxAnimationToken.h"
#include "sg/nodes/oxNode.h"

namespace Kel::Sg {

// Which source drives which named transform, as a table that a scene graph can be patched
// from. Tokens are kept in byte-wise order of their names, one per name, and found by
// binary search.
class oxAnimationInfo : public oxInfo {
    OX_CLASS(oxAnimationInfo, oxInfo)
    OX_FIELDS(data)
public:
    // The new token's index; -1 when a token already has the name, or for a null name.
    int addToken(const char* name, oxTransformSource* source);
    int addToken(oxAnimationToken* token);
    int getTokenCount() const { return _data ? _data->getCount() : 0; }
    // Null for an index out of range.
    oxAnimationToken* getToken(int index) const;
    oxAnimationTokenList* getTokenList() const { return _data; }
    // Index of the token named exactly `name`, or -1.
    int findToken(const char* name) const;
    // The source for the transform named exactly `name`, or null.
    oxTransformSource* getSource(const char* name) const;
    oxObject* resolve(const char* name) override { return getSource(name); }

    // Gives every transform of the subtree the source of its name's token, and takes the
    // source away from every transform whose name has none. kFailure for a null node.
    oxResult patchAnimation(oxNode* node) const;

    // Tokens read from a file are put back in order, without empty entries.
    void postFileRead() override;

protected:
    oxAnimationInfo() = default;
    static void arkRegisterInitialize(oxFields<oxAnimationInfo>& f);
    // Where a token named `name` is or would go: the first token whose name is not below it.
    int lowerBound(const char* name) const;

    oxSmartPointer<oxAnimationTokenList> _data;
};

} // namespace Kel::Sg

#pragma once
#include "platform/attrs/oxAttr.h"
#include "platform/utils/oxDataPumpInfo.h"
#include "sg/nodes/oxNode.h"

namespace Kel::Sg {

using Attrs::oxAttrList;
using Attrs::oxAttrListList;

// The passes of a simple shader: per pass the attributes pushed before it and popped after
// it, and the nodes it draws (null: all children of the shader); beside them the animated
// values copied into the passes' objects each frame. Pass indices outside the pass count
// are refused with a warning.
class oxShaderData : public oxObject {
    OX_CLASS(oxShaderData, oxObject)
    OX_FIELDS(attrPushLists, attrPopLists, dataPumps, childLists)
public:
    int getPassCount() const { return _attrPushLists ? _attrPushLists->getCount() : 0; }
    // New passes draw all children; their push and pop lists are to be set before a draw.
    virtual void setPassCount(int n);
    virtual void appendPass(oxAttrList* push, oxAttrList* pop, oxNodeList* children);
    // Every pass and the data pumps.
    virtual void removeAll();

    oxAttrList* getPushList(int pass) const;
    bool setPushList(int pass, oxAttrList* list);
    oxAttrList* getPopList(int pass) const;
    bool setPopList(int pass, oxAttrList* list);
    oxNodeList* getChildList(int pass) const;
    bool setChildList(int pass, oxNodeList* list);
    oxDataPumpInfo* getDataPumps() const { return _dataPumps; }
    void setDataPumps(oxDataPumpInfo* info) { _dataPumps = info; }

    // A file whose child lists do not match its passes draws all children in every pass.
    void postFileRead() override;

protected:
    oxShaderData() = default;
    static void arkRegisterInitialize(oxFields<oxShaderData>& f);
    bool checkPass(int pass, const char* operation) const;

    oxSmartPointer<oxAttrListList> _attrPushLists;
    oxSmartPointer<oxAttrListList> _attrPopLists;
    oxSmartPointer<oxDataPumpInfo> _dataPumps;
    oxSmartPointer<oxNodeListList> _childLists;
};

} // namespace Kel::Sg

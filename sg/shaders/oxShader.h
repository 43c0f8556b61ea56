#pragma once
#include "platform/attrs/oxAttr.h"
#include "platform/attrs/oxMatrixAttrs.h"
#include "sg/core/oxBitMask.h"
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

using Attrs::oxAttr;
using Attrs::oxAttrList;
using Attrs::oxAttrListList;
using Attrs::oxModelViewMatrixAttr;
using Attrs::oxModelViewMatrixAttrList;

// A group drawn in passes. Each pass has its own attributes, an optional model-view matrix
// (applied in front of the current one) and an on/off bit; the child mode decides whether
// a pass draws all children or only the child at the pass's position, so that passes and
// children can be paired up.
//
// Pass indices are checked: an index outside the pass count is refused with a warning.
class oxShader : public oxGroup {
    OX_CLASS(oxShader, oxGroup)
    OX_FIELDS(attrLists, defaultPass, passInherit, transformList, mvmList, passMask, childMode)
public:
    OX_ENUM(CHILD_MODE, ONE_PER_PASS = 0, ALL_PER_PASS = 1)

    // Keeps the attribute lists of the passes that remain; every matrix is cleared to zero,
    // every model-view attribute dropped and every pass switched on.
    void setPassCount(int n);
    int getPassCount() const { return _attrLists ? _attrLists->getCount() : 0; }
    // Drops the attribute lists and matrices; the model-view attributes and the mask stay.
    void removeAllPasses();

    bool appendAttr(int pass, oxAttr* attr);
    oxAttr* getAttr(int pass, int index) const;
    oxAttrList* getPassAttrs(int pass);
    const oxAttrList* getPassAttrs(int pass) const;

    // The pass's model-view attribute is created on the first call.
    bool setMatrix(int pass, const oxMatrix44f* m);
    const oxMatrix44f* getMatrix(int pass) const;
    oxModelViewMatrixAttr* getModelViewMatrix(int pass) const;

    bool setPassState(int pass, bool on);
    bool getPassState(int pass) const;
    void setPassInheritState(bool on) { _passInherit = on; }
    bool getPassInherit() const { return _passInherit; }
    void setChildMode(int mode) { _childMode = CHILD_MODE(mode); }
    int getChildMode() const { return _childMode; }
    void setDefaultPass(int pass) { _defaultPass = pass; }
    int getDefaultPass() const { return _defaultPass; }

    oxAttrListList* getAttrLists() const { return _attrLists; }
    oxMatrix44fList* getTransformList() const { return _transformList; }
    oxModelViewMatrixAttrList* getModelViewMatrixList() const { return _mvmList; }
    oxBitMask* getPassMask() const { return _passMask; }

    void userInstantiate(bool forFileRead) override;
    // Resets every attribute of every pass.
    void reset() override;
    // With one child per pass, the children's positions carry meaning.
    bool isChildrenOrdered() const override { return true; }

protected:
    oxShader() = default;
    static void arkRegisterInitialize(oxFields<oxShader>& f);
    bool checkPass(int pass, const char* operation) const;

    oxSmartPointer<oxAttrListList> _attrLists;
    int _defaultPass = -1;
    bool _passInherit = false;
    oxSmartPointer<oxMatrix44fList> _transformList;
    oxSmartPointer<oxModelViewMatrixAttrList> _mvmList;
    oxSmartPointer<oxBitMask> _passMask;
    CHILD_MODE _childMode = ONE_PER_PASS;
};

} // namespace Kel::Sg

#include "sg/nodes/oxClipPlane.h"

namespace Kel::Sg {

void oxClipPlane::arkRegisterInitialize(oxFields<oxClipPlane>& f)
{
    f.add(OX_FIELD(unitID)).setDefault(int16_t(0));
    f.add(OX_FIELD(plane));
}

void oxClipPlaneSet::arkRegisterInitialize(oxFields<oxClipPlaneSet>& f)
{
    f.add(OX_FIELD(clipPlaneList)).constructWithOwner();
    f.add(OX_FIELD(clipPlaneAttrList)).constructWithOwner().notPersistent();
}

void oxClipPlaneSet::addClipPlane(oxClipPlane* plane)
{
    if (_clipPlaneList)
        _clipPlaneList->append(plane);
}

void oxClipPlaneSet::addClipPlane(int unit, const oxVec4f& plane)
{
    if (!_clipPlaneList)
        return;
    oxClipPlane* clipPlane = oxClipPlane::_instantiateFromPool(nullptr);
    clipPlane->setUnitID(short(unit));
    clipPlane->setPlane(plane);
    _clipPlaneList->append(clipPlane);
}

bool oxClipPlaneSet::removeClipPlane(int index)
{
    return _clipPlaneList && _clipPlaneList->remove(index);
}

void oxClipPlaneSet::removeAllClipPlanes()
{
    if (_clipPlaneList)
        _clipPlaneList->removeAll();
}

} // namespace Kel::Sg

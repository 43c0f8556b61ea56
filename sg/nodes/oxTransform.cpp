#include "sg/nodes/oxTransform.h"

namespace Kel::Sg {

void oxTransform::arkRegisterInitialize(oxFields<oxTransform>& f)
{
    f.add(OX_FIELD(m));
    f.add(OX_FIELD(target)).enumeration(&getTARGETMetaEnum);
    f.add(OX_FIELD(mvm)).notPersistent();
    f.add(OX_FIELD(transformInput));
}

void oxTransform::userInstantiate(bool forFileRead)
{
    oxGroup::userInstantiate(forFileRead);
    if (!forFileRead)
        setFlags(HAS_TRANSFORM, true);
}

void oxTransform::update(int64_t t)
{
    if (_transformInput)
        _transformInput->getMatrix(_m, t);
}

void oxTransform::reset()
{
    if (!_transformInput)
        return;
    _transformInput->reset();
    _m = oxMatrix44f();
}

bool oxTransform::isTransformable() const
{
    if (getParentCount() > 1 || _target != MODEL_VIEW_MATRIX)
        return false;
    return _transformInput ? _transformInput->isTransformable() : true;
}

void oxTransform::transform(const oxMatrix44f& m)
{
    if (_transformInput)
        _transformInput->transform(m);
    else
        _m.multiply(oxMatrix44f(_m), m);
}

} // namespace Kel::Sg

#include "sg/animation/oxTimeTransform.h"

#include "sg/animation/oxTimeTransform1_5.h"
#include "sg/animation/oxKeyTime.h"

namespace Kel::Sg {

void oxTimeTransform::arkRegisterInitialize(oxFields<oxTimeTransform>& f)
{
    f.add(OX_FIELD(scale)).setDefault(1.0);
    f.add(OX_FIELD(bias)).setDefault(0.0);
}

void oxTimeTransform1_5::arkRegisterInitialize(oxFields<oxTimeTransform1_5>& f)
{
    f.add(OX_FIELD(scaleFloat)).setDefault(1.0f);
    f.add(OX_FIELD(biasLong)).setDefault(int64_t(0));
}

void oxTimeTransform1_5::arkRegisterUser()
{
    oxTimeTransform::getClassTypeSafe()->setRedirect(getClassTypeSafe());
}

int64_t oxTimeTransform1_5::getTransformedTime(int64_t t)
{
    return int64_t(oxCoarseTime(t) * _scaleFloat) * 262144 + _biasLong;
}

// Only objects stored under the older class are handed over (it is the one class that
// leads here).
oxResult oxTimeTransform1_5::makeConcrete(const oxObject* older)
{
    const oxResult result = oxTimeTransform::makeConcrete(older);
    if (result != kSuccess)
        return result;
    _scaleFloat = float(_scale);
    _biasLong = int64_t(_bias * 1e9);
    return kSuccess;
}

} // namespace Kel::Sg

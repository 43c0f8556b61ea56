#include "sg/animation/oxAnimationToken.h"

namespace Kel::Sg {

void oxAnimationToken::arkRegisterInitialize(oxFields<oxAnimationToken>& f)
{
    f.add(OX_FIELD(transformName));
    f.add(OX_FIELD(source));
}

} // namespace Kel::Sg

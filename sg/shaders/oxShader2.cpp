#include "sg/shaders/oxShader2.h"

namespace Kel::Sg {

void oxShader2::arkRegisterInitialize(oxFields<oxShader2>& f)
{
    f.add(OX_FIELD(isTransparent)).setDefault(false);
    // What the device allowed is not the file's to keep.
    f.add(OX_FIELD(configured)).setDefault(false).notPersistent();
    f.add(OX_FIELD(useRenderPackage)).setDefault(false).notPersistent();
}

void oxShader2::userInstantiate(bool forFileRead)
{
    oxGroup::userInstantiate(forFileRead);
    reset();
}

} // namespace Kel::Sg

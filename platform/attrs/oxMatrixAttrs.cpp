#include "platform/attrs/oxMatrixAttrs.h"

namespace Kel::Attrs {

namespace {
oxModelViewMatrixAttr* g_identity = nullptr;
} // namespace

void oxMatrixAttr::arkRegisterInitialize(oxFields<oxMatrixAttr>& f)
{
    f.add(OX_FIELD(matrix)).setDefault(oxMatrix44f());
}

void oxMatrixAttr::applyTo(oxVisualContext& vc)
{
    vc.setMatrix(getMatrixMode(), _unit, _matrix);
}

oxModelViewMatrixAttr* oxModelViewMatrixAttr::getIdentityAttr()
{
    if (!g_identity) {
        g_identity = _instantiateFromPool(nullptr);
        g_identity->ref();
        Core::oxMetaObject::registerClassDestructor([] {
            if (g_identity)
                g_identity->release();
            g_identity = nullptr;
        });
    }
    return g_identity;
}

void oxProjectionMatrixAttr::refreshFromVisualContext(const oxVisualContext* vc)
{
    if (vc)
        _matrix = vc->getProjectionMatrix();
}

} // namespace Kel::Attrs

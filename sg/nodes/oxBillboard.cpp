#include "sg/nodes/oxBillboard.h"

#include <cmath>

namespace Kel::Sg {

namespace {
constexpr float kParallel = 1e-6f;

bool isParallel(const oxVec3f& a, const oxVec3f& b)
{
    return std::fabs(std::fabs(a.dot(b)) - 1.0f) < kParallel;
}
} // namespace

void oxBillboard::arkRegisterInitialize(oxFields<oxBillboard>& f)
{
    f.add(OX_FIELD(mode)).setDefault(int(ABOUT_UP));
    f.add(OX_FIELD(axis)).setDefault(oxVec3f(0, 0, 1));
    f.add(OX_FIELD(origin));
    f.add(OX_FIELD(mvm)).notPersistent();
}

void oxComputeBillboardTransform(oxMatrix44f* out, const oxMatrix44f* model, const oxMatrix44f* eye, int mode,
                                 const oxVec3f& axis, const oxVec3f& origin)
{
    const oxVec3f worldUp(0, 1, 0);
    const oxVec3f pos = model->getTranslation() + model->transformVector(origin);
    const oxVec3f toEye = eye->getTranslation() - pos;

    oxVec3f up;
    switch (mode) {
    case oxBillboard::ABOUT_AXIS: up = model->transformVector(axis); break;
    case oxBillboard::ABOUT_POINT_WORLD_UP: up = toEye.cross(worldUp.cross(toEye)); break;
    case oxBillboard::ABOUT_POINT_EYE_UP: {
        const oxVec3f e = eye->transformVector(worldUp);
        oxVec3f s = e.cross(toEye);
        s.normalize();
        up = toEye.cross(s);
        up.normalize();
        break;
    }
    default: up = worldUp; break;
    }
    // An up direction that vanished (the eye straight above a point billboard, or a zero
    // axis) carries no orientation; the world's up still does.
    if (up.lengthSquared() == 0.0f)
        up = worldUp;

    oxVec3f u = up.normalized();
    const oxVec3f d = toEye.normalized();
    oxVec3f x, z;
    // With the eye on the billboard's origin there is no view direction to face; the
    // parallel case gives an orientation that is at least a rotation.
    if (d.lengthSquared() == 0.0f || isParallel(u, d)) {
        x = oxVec3f(1, 0, 0);
        if (isParallel(u, x)) {
            z = oxVec3f(0, 0, 1);
            x = u.cross(z).normalized();
            z = x.cross(u).normalized();
        } else {
            z = x.cross(u).normalized();
            x = u.cross(z).normalized();
        }
    } else {
        x = u.cross(d).normalized();
        z = x.cross(up).normalized();
    }
    out->setRow(0, oxVec4f(x, 0));
    out->setRow(1, oxVec4f(u, 0));
    out->setRow(2, oxVec4f(z, 0));
    out->setRow(3, oxVec4f(0, 0, 0, 1));
    out->setTranslation(pos);
}

void oxBillboard::computeTransform(oxMatrix44f* out, const oxMatrix44f* model, const oxMatrix44f* eye) const
{
    oxComputeBillboardTransform(out, model, eye, _mode, _axis, _origin);
}

} // namespace Kel::Sg

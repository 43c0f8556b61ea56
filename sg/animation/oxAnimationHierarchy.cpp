#include "sg/animation/oxAnimationHierarchy.h"

namespace Kel::Sg {

void oxAnimationHierarchy::arkRegisterInitialize(oxFields<oxAnimationHierarchy>& f)
{
    f.add(OX_FIELD(boneTranslationArray));
}

const oxVec3f* oxAnimationHierarchy::getBoneTranslation(int bone) const
{
    if (bone < 0 || bone >= getBoneTranslationCount())
        return nullptr;
    return translations() + bone;
}

bool oxAnimationHierarchy::setBoneTranslation(int bone, const oxVec3f& v)
{
    if (bone < 0 || bone >= getBoneTranslationCount())
        return false;
    translations()[bone] = v;
    return true;
}

bool oxAnimationHierarchy::setBoneTranslationArray(const oxVec3f* v, int count)
{
    if (count < 0 || (count > 0 && !v)) {
        oxReportWarning("oxAnimationHierarchy::setBoneTranslationArray: no translations for %d bones", count);
        return false;
    }
    if (count == 0)
        _boneTranslationArray.clear();
    else
        _boneTranslationArray.assign(v, size_t(count) * sizeof(oxVec3f));
    return true;
}

} // namespace Kel::Sg

#include "sg/animation/oxAnimationDatabase.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace Kel::Sg {

namespace {

bool named(const oxNamedObject* object, const char* name)
{
    return object && name && !object->getName().isNull() && std::strcmp(object->getName().c_str(), name) == 0;
}

template <class List>
auto* findNamed(const List* list, const char* name)
{
    using T = typename List::oxElementClass;
    for (int i = 0; list && i < list->getCount(); ++i)
        if (T* object = list->get(i); named(object, name))
            return object;
    return static_cast<T*>(nullptr);
}

template <class List>
auto* atIndex(const List* list, int index)
{
    using T = typename List::oxElementClass;
    return list && index >= 0 && index < list->getCount() ? list->get(index) : static_cast<T*>(nullptr);
}

const char kSourcePrefix[] = "__TS__";

} // namespace

void oxAnimationDatabase::arkRegisterInitialize(oxFields<oxAnimationDatabase>& f)
{
    f.add(OX_FIELD(skeletonList)).constructWithOwner();
    f.add(OX_FIELD(animationList)).constructWithOwner();
    f.add(OX_FIELD(skinList)).constructWithOwner();
    f.add(OX_FIELD(appearanceList)).constructWithOwner();
    f.add(OX_FIELD(combinerList)).constructWithOwner();
}

oxSkeleton* oxAnimationDatabase::getSkeleton(const char* name) const { return findNamed(_skeletonList.get(), name); }
oxAnimation* oxAnimationDatabase::getAnimation(const char* name) const { return findNamed(_animationList.get(), name); }
oxSkin* oxAnimationDatabase::getSkin(const char* name) const { return findNamed(_skinList.get(), name); }
oxAppearance* oxAnimationDatabase::getAppearance(const char* name) const
{
    return findNamed(_appearanceList.get(), name);
}
oxAnimationCombiner* oxAnimationDatabase::getCombiner(const char* name) const
{
    return findNamed(_combinerList.get(), name);
}
oxSkeleton* oxAnimationDatabase::getSkeleton(int index) const { return atIndex(_skeletonList.get(), index); }
oxAnimation* oxAnimationDatabase::getAnimation(int index) const { return atIndex(_animationList.get(), index); }
oxSkin* oxAnimationDatabase::getSkin(int index) const { return atIndex(_skinList.get(), index); }

oxObject* oxAnimationDatabase::resolve(const char* name)
{
    if (!name)
        return nullptr;
    if (named(this, name))
        return this;
    if (std::strncmp(name, kSourcePrefix, sizeof(kSourcePrefix) - 1) == 0) {
        // "<animation> <track>": the animation's name runs up to the last space.
        const char* rest = name + sizeof(kSourcePrefix) - 1;
        while (*rest == ' ')
            ++rest;
        const char* space = std::strrchr(rest, ' ');
        int track = -1;
        if (!space || std::sscanf(space + 1, "%d", &track) != 1)
            return nullptr;
        const std::string animationName(rest, size_t(space - rest));
        const oxAnimation* animation = getAnimation(animationName.c_str());
        const oxAnimationTrack* t = animation ? animation->getAnimationTrack(track) : nullptr;
        return t ? t->getSource() : nullptr;
    }
    if (oxObject* found = getSkeleton(name))
        return found;
    if (oxObject* found = getAnimation(name))
        return found;
    if (oxObject* found = getSkin(name))
        return found;
    if (oxObject* found = getAppearance(name))
        return found;
    return getCombiner(name);
}

} // namespace Kel::Sg

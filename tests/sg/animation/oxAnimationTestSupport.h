#pragma once
// Helpers shared by the animation tests: skeletons made from a list of bone names and
// parents, animations made from a list of track names.
#include <initializer_list>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"

namespace animtest {
using namespace Kel::Sg;
using oxbtest::BoneTable;

class Registered : public ::testing::Test {
protected:
    static void SetUpTestSuite() { oxbtest::registerAll(); }
};

// Bones in index order, each with its parent's index (-1 for a root).
inline oxSmartPointer<BoneTable> bones(std::initializer_list<std::pair<const char*, int>> list)
{
    oxSmartPointer<BoneTable> h = BoneTable::_instantiateRef();
    for (const auto& [name, parent] : list)
        h->addBone(name, parent);
    return h;
}

// Bones that are all roots.
inline oxSmartPointer<BoneTable> flatBones(std::initializer_list<const char*> names)
{
    oxSmartPointer<BoneTable> h = BoneTable::_instantiateRef();
    for (const char* name : names)
        h->addBone(name, -1);
    return h;
}

inline oxSmartPointer<oxAnimationTrack> track(const char* name)
{
    oxSmartPointer<oxAnimationTrack> t = oxAnimationTrack::_instantiateRef();
    t->setName(name);
    return t;
}

// One track per name, none taking its translation from a source.
inline oxSmartPointer<oxAnimation> animation(std::initializer_list<const char*> trackNames)
{
    oxSmartPointer<oxAnimation> a = oxAnimation::_instantiateRef();
    for (const char* name : trackNames)
        a->addTrack(track(name), false);
    return a;
}

inline std::vector<int> trackIndices(const oxAnimationBinding* b)
{
    std::vector<int> out;
    for (int i = 0; i < b->getBoneTrackIndexCount(); ++i)
        out.push_back(b->getBoneTrackIndex(i));
    return out;
}

inline std::vector<int> reflectionTypes(const oxAnimationBinding* b)
{
    std::vector<int> out;
    for (int i = 0; i < b->getBoneTrackIndexCount(); ++i)
        out.push_back(b->getBoneReflectionType(i));
    return out;
}

inline std::vector<int> swapList(const oxAnimationBinding* b)
{
    std::vector<int> out;
    if (const oxIntList* l = b->getChainSwapList())
        for (int i = 0; i < l->getCount(); ++i)
            out.push_back(l->get(i));
    return out;
}

} // namespace animtest

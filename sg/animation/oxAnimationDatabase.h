#pragma once
#include "sg/animation/oxAnimation.h"
#include "sg/animation/oxAnimationCombiner.h"
#include "sg/animation/oxSkeleton.h"
#include "sg/animation/oxSkin.h"
#include "sg/nodes/oxAppearance.h"

namespace Kel::Sg {

// The skeletons, animations, skins, appearances and combiners of one character file,
// found by their exact names.
class oxAnimationDatabase : public oxInfo {
    OX_CLASS(oxAnimationDatabase, oxInfo)
    OX_FIELDS(skeletonList, animationList, skinList, appearanceList, combinerList)
public:
    // The first object of that exact name (case counts), or null.
    oxSkeleton* getSkeleton(const char* name) const;
    oxAnimation* getAnimation(const char* name) const;
    oxSkin* getSkin(const char* name) const;
    oxAppearance* getAppearance(const char* name) const;
    oxAnimationCombiner* getCombiner(const char* name) const;
    // By index; null out of range.
    oxSkeleton* getSkeleton(int index) const;
    oxAnimation* getAnimation(int index) const;
    oxSkin* getSkin(int index) const;

    // The database itself by its own name, then the objects of the five lists; a name of the
    // form "__TS__<animation> <track>" is the transform source of that track.
    oxObject* resolve(const char* name) override;

    oxSkeletonList* getSkeletonList() const { return _skeletonList; }
    void setSkeletonList(oxSkeletonList* list) { _skeletonList = list; }
    oxAnimationList* getAnimationList() const { return _animationList; }
    void setAnimationList(oxAnimationList* list) { _animationList = list; }
    oxSkinList* getSkinList() const { return _skinList; }
    void setSkinList(oxSkinList* list) { _skinList = list; }
    oxAppearanceList* getAppearanceList() const { return _appearanceList; }
    void setAppearanceList(oxAppearanceList* list) { _appearanceList = list; }
    oxAnimationCombinerList* getCombinerList() const { return _combinerList; }
    void setCombinerList(oxAnimationCombinerList* list) { _combinerList = list; }

protected:
    oxAnimationDatabase() = default;
    static void arkRegisterInitialize(oxFields<oxAnimationDatabase>& f);

    oxSmartPointer<oxSkeletonList> _skeletonList;
    oxSmartPointer<oxAnimationList> _animationList;
    oxSmartPointer<oxSkinList> _skinList;
    oxSmartPointer<oxAppearanceList> _appearanceList;
    oxSmartPointer<oxAnimationCombinerList> _combinerList;
};

OX_OBJECT_LIST(oxAnimationDatabaseList, oxAnimationDatabase)

} // namespace Kel::Sg

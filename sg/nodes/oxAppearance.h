#pragma once
#include "sg/nodes/oxGroup.h"
#include "sg/core/oxSgEnums.h"
#include "sg/nodes/oxModelViewMatrixBoneSelect.h"
#include "sg/animation/oxSkin.h"

namespace Kel::Sg {

class oxCommonTraversal;

// A named part of a character's graph that an appearance may replace with a graph of its
// own while it is drawn (the draw traversal looks the segment's name up among the
// overrides in force). Its place in the graph is not its to give up, so it cannot absorb a
// transform.
class oxSegment : public oxGroup {
    OX_CLASS(oxSegment, oxGroup)
public:
    bool isTransformable() const override { return false; }

protected:
    oxSegment() = default;
};

// What an actor draws: its skins, graphs hung on bones and replacements for named segments
// of its graph. Names are kept lower case and sorted so that lookups are by binary search; entry
// i of the name list and of the graph list form one override.
class oxAppearance : public oxNamedObject {
    OX_CLASS(oxAppearance, oxNamedObject)
    OX_FIELDS(skin, attachedSkins, attachedGraphs, segmentOverrideNameList, segmentOverrideGraphList)
public:
    oxSkin* getSkin() const { return _skin; }
    void setSkin(oxSkin* skin) { _skin = skin; }
    void configure(oxSkin* skin) { _skin = skin; }
    oxSkinList* getAttachedSkins() const { return _attachedSkins; }
    void attachSkin(oxSkin* skin) { _attachedSkins->append(skin); }
    // Removes every entry that is `skin`; false when there was none.
    bool removeAttachedSkin(oxSkin* skin);

    oxModelViewMatrixBoneSelectList* getAttachedGraphs() const { return _attachedGraphs; }
    void attachGraph(oxModelViewMatrixBoneSelect* graph) { _attachedGraphs->append(graph); }
    // Removes every entry that is `graph`; false when there was none.
    bool removeAttachedGraph(oxModelViewMatrixBoneSelect* graph);

    // Equal names may be added more than once; a null name is the empty one.
    void addSegmentOverride(const char* name, oxNode* graph);
    // Removes one override of that name (in any case); false when there is none.
    bool removeSegmentOverride(const char* name);
    int getSegmentOverrideCount() const { return _segmentOverrideNameList ? _segmentOverrideNameList->getCount() : 0; }
    oxStringObjList* getSegmentOverrideNameList() const { return _segmentOverrideNameList; }
    oxNodeList* getSegmentOverrideGraphList() const { return _segmentOverrideGraphList; }

    // A file whose two override lists differ in length or whose names are out of order is
    // put right (with a warning): short lists are padded, the pairs sorted.
    void postFileRead() override;

    // Draws the skin, the attached skins and the attached graphs with the segment
    // overrides in force for the duration; the answer is the main skin's.
    OX_TRAVERSAL_RETURN traverse(oxCommonTraversal* t);

protected:
    oxAppearance() = default;
    static void arkRegisterInitialize(oxFields<oxAppearance>& f);
    // Index of the first name not before `name` (lower case).
    int lowerBound(std::string_view name) const;

    oxSmartPointer<oxSkin> _skin;
    oxSmartPointer<oxSkinList> _attachedSkins;
    oxSmartPointer<oxModelViewMatrixBoneSelectList> _attachedGraphs;
    oxSmartPointer<oxStringObjList> _segmentOverrideNameList;
    oxSmartPointer<oxNodeList> _segmentOverrideGraphList;
};

OX_OBJECT_LIST(oxAppearanceList, oxAppearance)

} // namespace Kel::Sg

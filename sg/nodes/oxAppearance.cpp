#include "sg/nodes/oxAppearance.h"

#include "sg/traversal/oxCommonTraversal.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace Kel::Sg {

namespace {

std::string lowerCase(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A missing name counts as the empty one.
std::string_view textOf(const oxStringObj* name)
{
    return name ? std::string_view(name->get(), name->length()) : std::string_view();
}

} // namespace

void oxAppearance::arkRegisterInitialize(oxFields<oxAppearance>& f)
{
    f.add(OX_FIELD(skin));
    f.add(OX_FIELD(attachedSkins)).constructWithOwner();
    f.add(OX_FIELD(attachedGraphs)).constructWithOwner();
    f.add(OX_FIELD(segmentOverrideNameList)).constructWithOwner();
    f.add(OX_FIELD(segmentOverrideGraphList)).constructWithOwner();
}

bool oxAppearance::removeAttachedGraph(oxModelViewMatrixBoneSelect* graph)
{
    bool removed = false;
    while (_attachedGraphs && _attachedGraphs->removeObject(graph) >= 0)
        removed = true;
    return removed;
}

bool oxAppearance::removeAttachedSkin(oxSkin* skin)
{
    bool removed = false;
    while (_attachedSkins && _attachedSkins->removeObject(skin) >= 0)
        removed = true;
    return removed;
}

int oxAppearance::lowerBound(std::string_view name) const
{
    int low = 0, high = getSegmentOverrideCount();
    while (low < high) {
        int mid = low + (high - low) / 2;
        if (textOf(_segmentOverrideNameList->get(mid)) < name)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

void oxAppearance::addSegmentOverride(const char* name, oxNode* graph)
{
    if (!_segmentOverrideNameList || !_segmentOverrideGraphList)
        return;
    oxSmartPointer<oxStringObj> text = oxStringObj::_instantiateFromPool(getMemoryPool());
    text->set(lowerCase(name ? name : ""));
    // After the equal names already there, so that equal names keep the order they came in.
    int index = lowerBound(textOf(text));
    while (index < getSegmentOverrideCount() && textOf(_segmentOverrideNameList->get(index)) == textOf(text))
        ++index;
    _segmentOverrideNameList->insert(index, text);
    _segmentOverrideGraphList->insert(index, graph);
}

bool oxAppearance::removeSegmentOverride(const char* name)
{
    std::string key = lowerCase(name ? name : "");
    int index = lowerBound(key);
    if (index >= getSegmentOverrideCount() || textOf(_segmentOverrideNameList->get(index)) != key)
        return false;
    _segmentOverrideNameList->remove(index);
    _segmentOverrideGraphList->remove(index);
    return true;
}

void oxAppearance::postFileRead()
{
    oxNamedObject::postFileRead();
    if (!_attachedSkins)
        _attachedSkins = oxSkinList::_instantiateFromPool(getMemoryPool());
    if (!_attachedGraphs)
        _attachedGraphs = oxModelViewMatrixBoneSelectList::_instantiateFromPool(getMemoryPool());
    if (!_segmentOverrideNameList)
        _segmentOverrideNameList = oxStringObjList::_instantiateFromPool(getMemoryPool());
    if (!_segmentOverrideGraphList)
        _segmentOverrideGraphList = oxNodeList::_instantiateFromPool(getMemoryPool());

    oxStringObjList& names = *_segmentOverrideNameList;
    oxNodeList& graphs = *_segmentOverrideGraphList;
    bool ordered = names.getCount() == graphs.getCount();
    for (int i = 0; ordered && i < names.getCount(); ++i)
        ordered = textOf(names.get(i)) == lowerCase(textOf(names.get(i))) &&
                  (i == 0 || textOf(names.get(i - 1)) <= textOf(names.get(i)));
    if (ordered)
        return;
    oxReportWarning("appearance %s: its segment overrides were stored out of order or unpaired (%d names, %d "
                    "graphs); they are sorted again, missing names are empty and missing graphs null",
                    _name.isNull() ? "(unnamed)" : _name.c_str(), names.getCount(), graphs.getCount());

    struct Pair {
        std::string name;
        oxSmartPointer<oxNode> graph;
    };
    std::vector<Pair> pairs(size_t(std::max(names.getCount(), graphs.getCount())));
    for (int i = 0; i < int(pairs.size()); ++i) {
        pairs[i].name = lowerCase(i < names.getCount() ? textOf(names.get(i)) : std::string_view());
        pairs[i].graph = i < graphs.getCount() ? graphs.get(i) : nullptr;
    }
    std::stable_sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) { return a.name < b.name; });
    names.removeAll();
    graphs.removeAll();
    for (const Pair& p : pairs) {
        oxSmartPointer<oxStringObj> text = oxStringObj::_instantiateFromPool(getMemoryPool());
        text->set(p.name);
        names.append(text);
        graphs.append(p.graph);
    }
}

OX_TRAVERSAL_RETURN oxAppearance::traverse(oxCommonTraversal* t)
{
    const int n = getSegmentOverrideCount();
    for (int i = 0; i < n; ++i) {
        const oxStringObj* name = _segmentOverrideNameList->get(i);
        t->pushSegmentOverride(name ? name->get() : "", _segmentOverrideGraphList->get(i));
    }
    const OX_TRAVERSAL_RETURN r = _skin ? _skin->traverse(t) : OX_TRAVERSAL_CONTINUE;
    for (int i = 0; _attachedSkins && i < _attachedSkins->getCount(); ++i)
        if (oxSkin* skin = _attachedSkins->get(i))
            skin->traverse(t);
    for (int i = 0; _attachedGraphs && i < _attachedGraphs->getCount(); ++i)
        if (oxModelViewMatrixBoneSelect* graph = _attachedGraphs->get(i))
            t->dispatch(graph);
    for (int i = 0; i < n; ++i) {
        const oxStringObj* name = _segmentOverrideNameList->get(i);
        t->popSegmentOverride(name ? name->get() : "");
    }
    return r;
}

} // namespace Kel::Sg

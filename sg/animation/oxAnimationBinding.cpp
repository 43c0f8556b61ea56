#include "sg/animation/oxAnimationBinding.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace Kel::Sg {

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool beginsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equalIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// Position of the first occurrence of `part` in `text` ignoring case, or npos.
size_t findIgnoringCase(std::string_view text, std::string_view part)
{
    if (part.size() > text.size())
        return std::string_view::npos;
    for (size_t p = 0; p + part.size() <= text.size(); ++p)
        if (equalIgnoringCase(text.substr(p, part.size()), part))
            return p;
    return std::string_view::npos;
}

// One step of mirroring by identifiers: bones first and second exchange their tracks, or a
// bone (first == second) is reflected in place.
struct MirrorStep {
    int first;
    int second;
};

// The steps mirroring by identifiers takes, in bone order, and the number of pairs among
// them. Names only decide the steps, so they can be worked out before any is taken.
int planMirroring(const oxAnimationHierarchy* hierarchy, int boneCount, std::string_view left,
                  std::string_view right, bool prefixOnly, std::vector<MirrorStep>* steps)
{
    std::vector<std::string_view> names(static_cast<size_t>(boneCount));
    for (int b = 0; b < boneCount; ++b) {
        const char* name = hierarchy->getBoneName(b);
        names[size_t(b)] = name ? std::string_view(name) : std::string_view();
    }
    int pairs = 0;
    for (int i = 0; i < boneCount; ++i) {
        const std::string_view name = names[size_t(i)];
        const size_t p = prefixOnly ? (beginsWithIgnoringCase(name, left) ? 0 : std::string_view::npos)
                                    : findIgnoringCase(name, left);
        if (p == std::string_view::npos) {
            if (!beginsWithIgnoringCase(name, right) && steps)
                steps->push_back({i, i});
            continue;
        }
        const std::string_view before = name.substr(0, p);
        const std::string_view after = name.substr(p + left.size());
        for (int j = 0; j < boneCount; ++j) {
            const std::string_view other = names[size_t(j)];
            if (other.size() < p + right.size() || !equalIgnoringCase(other.substr(p, right.size()), right) ||
                !equalIgnoringCase(other.substr(0, p), before) ||
                !equalIgnoringCase(other.substr(p + right.size()), after))
                continue;
            ++pairs;
            if (steps)
                steps->push_back({i, j});
            break;
        }
    }
    return pairs;
}

// A mask read from a file may claim more bits than it holds words for: the bits it cannot
// hold read as clear (and setBitCount gives it its words before it is written).
bool readBit(const oxBitMask* mask, unsigned i)
{
    return mask && i < mask->getBitCount() && int(i / 32) < mask->getCount() && mask->getBit(i);
}

bool validType(int type)
{
    return type >= -1 && type <= oxAnimationBinding::PlaneXY;
}

} // namespace

void oxAnimationBinding::arkRegisterInitialize(oxFields<oxAnimationBinding>& f)
{
    f.add(OX_FIELD(hierarchy));
    f.add(OX_FIELD(boneTrackIdxArray));
    f.add(OX_FIELD(bindCount));
    f.add(OX_FIELD(chainSwapList));
    f.add(OX_FIELD(reflectTrack));
}

bool oxAnimationBinding::configure(oxAnimationHierarchy* hierarchy)
{
    if (!hierarchy || _hierarchy)
        return false;
    const int bones = hierarchy->getBoneCount();
    if (bones <= 0)
        return false;
    _hierarchy = hierarchy;
    _boneTrackIdxArray.resize(size_t(bones) * sizeof(int32_t));
    for (int b = 0; b < bones; ++b)
        indices()[b] = -1;
    return true;
}

bool oxAnimationBinding::configure(oxAnimationHierarchy* hierarchy, const int* trackIndices)
{
    if (!trackIndices || !configure(hierarchy))
        return false;
    std::memcpy(indices(), trackIndices, _boneTrackIdxArray.size());
    return true;
}

int oxAnimationBinding::getBoneTrackIndex(int bone) const
{
    return validBone(bone) ? indices()[bone] : -1;
}

bool oxAnimationBinding::setBoneTrackIndex(int bone, int track)
{
    if (!validBone(bone))
        return false;
    indices()[bone] = track;
    return true;
}

int oxAnimationBinding::getBoneIndexOfTrack(int track) const
{
    const int n = getBoneTrackIndexCount();
    for (int b = 0; b < n; ++b)
        if (indices()[b] == track)
            return b;
    return -1;
}

int oxAnimationBinding::getBoneReflectionType(int bone) const
{
    if (!_reflectTrack || bone < 0 || unsigned(2 * bone + 1) >= _reflectTrack->getBitCount())
        return -1;
    const unsigned low = readBit(_reflectTrack, unsigned(2 * bone)) ? 1 : 0;
    const unsigned high = readBit(_reflectTrack, unsigned(2 * bone + 1)) ? 1 : 0;
    return int(low + 2 * high) - 1;
}

bool oxAnimationBinding::setBoneReflectionType(int bone, int type)
{
    if (!validBone(bone) || !validType(type))
        return false;
    const unsigned bits = unsigned(2 * getBoneTrackIndexCount());
    if (!_reflectTrack)
        _reflectTrack = oxBitMask::_instantiateRefFromPool(getMemoryPool());
    _reflectTrack->setBitCount(std::max(bits, _reflectTrack->getBitCount()));
    const unsigned stored = unsigned(type + 1);
    _reflectTrack->setBit(unsigned(2 * bone), (stored & 1) != 0);
    _reflectTrack->setBit(unsigned(2 * bone + 1), (stored & 2) != 0);
    return true;
}

void oxAnimationBinding::addSwap(int first, int second, int type)
{
    if (!_chainSwapList)
        _chainSwapList = oxIntList::_instantiateRefFromPool(getMemoryPool());
    _chainSwapList->append(first);
    _chainSwapList->append(second);
    _chainSwapList->append(type);
}

void oxAnimationBinding::removeSwaps()
{
    if (_chainSwapList)
        _chainSwapList->removeAll();
}

void oxAnimationBinding::removeReflections()
{
    if (_reflectTrack)
        _reflectTrack->clearAll();
}

void oxAnimationBinding::removeSwapsAndReflections()
{
    _chainSwapList = nullptr;
    _reflectTrack = nullptr;
}

bool oxAnimationBinding::exchange(int i, int j, int type)
{
    if (!validBone(i) || !validBone(j) || !validType(type))
        return false;
    std::swap(indices()[i], indices()[j]);
    setBoneReflectionType(i, type);
    setBoneReflectionType(j, type);
    return true;
}

bool oxAnimationBinding::exchangeChains(int i, int j, int type)
{
    if (!_hierarchy || !exchange(i, j, type))
        return false;
    const int bones = getBoneTrackIndexCount();
    // A hierarchy whose chains loop would walk for ever: no chain is longer than the bones.
    for (int step = 0; step < bones; ++step) {
        i = _hierarchy->getSpecifiedChild(i, 0);
        j = _hierarchy->getSpecifiedChild(j, 0);
        if (i < 0 || j < 0 || !exchange(i, j, type))
            break;
    }
    return true;
}

bool oxAnimationBinding::swapAndReflectBones(int i, int j, int type)
{
    if (!exchange(i, j, type))
        return false;
    addSwap(-i, -j, type);
    return true;
}

bool oxAnimationBinding::swapAndReflectBones(const char* first, const char* second, int type)
{
    if (!_hierarchy || !first || !second)
        return false;
    return swapAndReflectBones(_hierarchy->findBoneIndex(first), _hierarchy->findBoneIndex(second), type);
}

bool oxAnimationBinding::swapAndReflectChains(int i, int j, int type)
{
    if (i == 0 && j == 0) {
        // (0, 0) also records bone 0 reflected on its own, so the chain below it is
        // recorded bone by bone, which replays the same.
        if (!_hierarchy || !validBone(0) || !validType(type))
            return false;
        const int bones = getBoneTrackIndexCount();
        for (int b = 0, step = 0; b >= 0 && step < bones; b = _hierarchy->getSpecifiedChild(b, 0), ++step)
            if (!swapAndReflectBones(b, b, type))
                break;
        return true;
    }
    if (!exchangeChains(i, j, type))
        return false;
    addSwap(i, j, type);
    return true;
}

bool oxAnimationBinding::swapAndReflectChains(const char* first, const char* second, int type)
{
    if (!_hierarchy || !first || !second)
        return false;
    return swapAndReflectChains(_hierarchy->findBoneIndex(first), _hierarchy->findBoneIndex(second), type);
}

void oxAnimationBinding::applySwapListToBinding()
{
    removeReflections();
    if (!_chainSwapList)
        return;
    const int n = _chainSwapList->getCount() / 3;
    for (int k = 0; k < n; ++k) {
        const int first = _chainSwapList->get(3 * k);
        const int second = _chainSwapList->get(3 * k + 1);
        const int type = _chainSwapList->get(3 * k + 2);
        // The lowest int has no negation: no bone is recorded as it.
        const bool negatable = first != INT32_MIN && second != INT32_MIN;
        const bool applied = (first <= 0 && second <= 0) ? negatable && exchange(-first, -second, type)
                                                         : exchangeChains(first, second, type);
        if (!applied)
            oxReportWarning("oxAnimationBinding: recorded swap (%d, %d, %d) does not fit the hierarchy; skipped",
                            first, second, type);
    }
}

int oxAnimationBinding::testIdentifiers(const char* left, const char* right, bool prefixOnly) const
{
    if (!_hierarchy || !left || !right)
        return 0;
    return planMirroring(_hierarchy, getBoneTrackIndexCount(), left, right, prefixOnly, nullptr);
}

int oxAnimationBinding::reflect(const char* left, const char* right, bool prefixOnly, int type)
{
    if (!_hierarchy || !left || !right || !validType(type))
        return 0;
    std::vector<MirrorStep> steps;
    const int pairs = planMirroring(_hierarchy, getBoneTrackIndexCount(), left, right, prefixOnly, &steps);
    for (const MirrorStep& s : steps)
        swapAndReflectBones(s.first, s.second, type);
    return pairs;
}

int oxAnimationBinding::reflect(int type)
{
    if (isReflected())
        return 0;
    static const char* const kIdentifiers[3][2] = {{"l_", "r_"}, {"left", "right"}, {"_l", "_r"}};
    int counts[3];
    for (int k = 0; k < 3; ++k)
        counts[k] = testIdentifiers(kIdentifiers[k][0], kIdentifiers[k][1], false);
    for (int k = 0; k < 3; ++k)
        if (counts[k] >= 1 && counts[k] > counts[(k + 1) % 3] && counts[k] > counts[(k + 2) % 3])
            return reflect(kIdentifiers[k][0], kIdentifiers[k][1], false, type);
    return 0;
}

} // namespace Kel::Sg

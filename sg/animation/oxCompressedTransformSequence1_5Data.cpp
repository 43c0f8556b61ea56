#include "sg/animation/oxCompressedTransformSequence1_5Data.h"

#include <algorithm>
#include <vector>

#include "platform/utils/oxCompression.h"
#include "sg/animation/oxQuantisedList.h"
#include "sg/animation/oxTransformSequence1_5.h"

namespace Kel::Sg {

using namespace Utils::oxCompression;

void oxCompressedTransformSequence1_5Data::arkRegisterInitialize(oxFields<oxCompressedTransformSequence1_5Data>& f)
{
    f.add(OX_FIELD(compressedTranslationList));
    f.add(OX_FIELD(compressedQuatList));
    f.add(OX_FIELD(compressedScaleList));
    f.add(OX_FIELD(compressedTimeList));
    f.add(OX_FIELD(translationBase));
    f.add(OX_FIELD(translationRange));
    f.add(OX_FIELD(quatBase));
    f.add(OX_FIELD(quatRange));
    f.add(OX_FIELD(scaleBase));
    f.add(OX_FIELD(scaleRange));
}

namespace {

void empty(oxDataList* list)
{
    if (!list)
        return;
    list->setCount(0);
    list->setCapacity(0);
}

void compressVec3(const oxVec3fList* keys, int n, oxSmartPointer<oxUnsignedShortList>& out, float& base,
                  float& range)
{
    n = std::min(n, keys ? keys->getCount() : 0);
    oxSizeExactly(out, 3 * n);
    oxCompressVec3fList(keys ? keys->data() : nullptr, n, out->data(), base, range);
}

} // namespace

void oxCompressedTransformSequence1_5Data::compress(oxTransformSequence1_5* sequence, bool release)
{
    if (!sequence)
        return;
    const int n = sequence->getKeyFrameCount();
    const unsigned char channels = sequence->getComponentChannels();
    if (channels & oxTransformSequence::TRANSLATION)
        compressVec3(sequence->getTranslationList(), n, _compressedTranslationList, _translationBase,
                     _translationRange);
    if (channels & oxTransformSequence::QUATERNION_ROTATION) {
        const oxQuaternionfList* q = sequence->getQuaternionList();
        const int count = std::min(n, q ? q->getCount() : 0);
        std::vector<oxVec4f> values(size_t(std::max(count, 0)));
        for (int i = 0; i < count; ++i)
            values[size_t(i)] = oxVec4f(q->get(i).x, q->get(i).y, q->get(i).z, q->get(i).w);
        oxSizeExactly(_compressedQuatList, 4 * count);
        oxCompressVec4fList(values.data(), count, _compressedQuatList->data(), _quatBase, _quatRange);
    }
    if (channels & oxTransformSequence::SCALE)
        compressVec3(sequence->getScaleList(), n, _compressedScaleList, _scaleBase, _scaleRange);
    if (release)
        sequence->releaseUncompressedData();
}

bool oxCompressedTransformSequence1_5Data::uncompress(oxTransformSequence1_5* sequence, bool release)
{
    if (!sequence)
        return false;
    const int n = sequence->getKeyFrameCount();
    const unsigned char channels = sequence->getComponentChannels();
    const auto holds = [n](const oxUnsignedShortList* list, int per) { return list && list->getCount() >= per * n; };
    if (((channels & oxTransformSequence::TRANSLATION) && (!holds(_compressedTranslationList, 3) ||
                                                           !sequence->getTranslationList())) ||
        ((channels & oxTransformSequence::QUATERNION_ROTATION) &&
         (!holds(_compressedQuatList, 4) || !sequence->getQuaternionList())) ||
        ((channels & oxTransformSequence::SCALE) && (!holds(_compressedScaleList, 3) || !sequence->getScaleList()))) {
        oxReportWarning("compressed key data holds fewer keys than its sequence (%d)", n);
        return false;
    }
    if (channels & oxTransformSequence::TRANSLATION) {
        oxVec3fList* list = sequence->getTranslationList();
        list->setCount(n);
        oxUncompressVec3fArray(_compressedTranslationList->data(), _translationBase, _translationRange, list->data(), n);
    }
    if (channels & oxTransformSequence::QUATERNION_ROTATION) {
        std::vector<oxVec4f> values(static_cast<size_t>(n));
        oxUncompressVec4fArray(_compressedQuatList->data(), _quatBase, _quatRange, values.data(), n);
        oxQuaternionfList* list = sequence->getQuaternionList();
        list->setCount(n);
        for (int i = 0; i < n; ++i) {
            const oxVec4f& v = values[size_t(i)];
            list->set(i, oxQuaternionf(v.x, v.y, v.z, v.w));
        }
    }
    if (channels & oxTransformSequence::SCALE) {
        oxVec3fList* list = sequence->getScaleList();
        list->setCount(n);
        oxUncompressVec3fArray(_compressedScaleList->data(), _scaleBase, _scaleRange, list->data(), n);
    }
    if (release)
        releaseCompressedData();
    return true;
}

void oxCompressedTransformSequence1_5Data::releaseCompressedData()
{
    empty(_compressedTranslationList);
    empty(_compressedQuatList);
    empty(_compressedScaleList);
    empty(_compressedTimeList);
}

} // namespace Kel::Sg

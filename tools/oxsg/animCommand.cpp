// oxsg anim: the animations and keyframed sequences of a scene file, and with --error what
// compressing each sequence would cost in accuracy and save in bytes.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/core/oxCoreLibrary.h"
#include "sg/OXSg.h"
#include "tools/oxsg/oxsgCommand.h"
#include "tools/oxsg/sceneInput.h"

namespace {

using namespace Kel::Core;
using namespace Kel::Sg;
using Seq = oxTransformSequence1_5;

constexpr double kSecond = 1e9;
// The error is measured, as the animation-compression literature does, on points this far
// from each bone (file units taken as metres).
constexpr float kProbeDistance = 0.03f;
// Samples per second of a sequence's span, besides its key times.
constexpr int kSampleRate = 60;

size_t listBytes(const oxDataList* list)
{
    return list ? size_t(list->getCount()) * list->getElementSize() : 0;
}

// The memory a sequence's keys take: times, the driven channels, control points, and the
// 16-bit copy where it has one.
size_t sequenceBytes(Seq* s)
{
    size_t bytes = listBytes(s->getTimeList());
    for (const oxDataList* list :
         {static_cast<const oxDataList*>(s->getTranslationList()), static_cast<const oxDataList*>(s->getQuaternionList()),
          static_cast<const oxDataList*>(s->getScaleList()),
          static_cast<const oxDataList*>(s->getInterpolationDataTranslation()),
          static_cast<const oxDataList*>(s->getInterpolationDataRotation()),
          static_cast<const oxDataList*>(s->getInterpolationDataScale())})
        bytes += listBytes(list);
    if (const oxCompressedTransformSequence1_5Data* data = s->getCompressedDataObject())
        for (const oxDataList* list : {data->getCompressedTranslationList(), data->getCompressedQuatList(),
                                       data->getCompressedScaleList(), data->getCompressedTimeList()})
            bytes += listBytes(list);
    return bytes;
}

size_t compressedBytes(const oxCompressedAnimationSequenceQS* c)
{
    size_t bytes = 0;
    for (const oxDataList* list :
         {c->getCompressedTimeList(), c->getCompressedTranslationList(), c->getCompressedQuaternionList()})
        bytes += listBytes(list);
    if (const auto* b = oxCompressedBezierAnimationSequenceQS::dynamicCast(c))
        bytes += listBytes(b->getCompressedBezierTranslationData());
    return bytes;
}

std::string channels(unsigned char bits)
{
    std::string out;
    out += (bits & TRANSLATION) ? 'T' : '-';
    out += (bits & QUATERNION_ROTATION) ? 'Q' : (bits & EULER_ROTATION) ? 'E' : '-';
    out += (bits & SCALE) ? 'S' : '-';
    return out;
}

struct Errors {
    double largest = 0;
    double p99 = 0;
};

Errors summarise(std::vector<double>& errors)
{
    Errors out;
    if (errors.empty())
        return out;
    std::sort(errors.begin(), errors.end());
    out.largest = errors.back();
    out.p99 = errors[std::min(errors.size() - 1, size_t(std::ceil(0.99 * double(errors.size()))) - 1)];
    return out;
}

// The distance between where two matrices put points kProbeDistance from the origin along
// each axis, both ways, at every sample; the largest and the 99th percentile.
template <class Evaluate>
Errors measure(Seq* reference, Evaluate&& evaluate, std::vector<double>& pool)
{
    std::vector<int64_t> times;
    const int keys = reference->getKeyFrameCount();
    const int64_t offset = reference->getKeyFrameTimeOffset();
    for (int i = 0; i < keys; ++i)
        times.push_back(offset + reference->getTimeAsLong(i));
    const int64_t first = times.front();
    const int64_t last = times.back();
    const int64_t step = int64_t(kSecond / kSampleRate);
    for (int64_t t = first; t < last; t += step)
        times.push_back(t);
    std::vector<double> errors;
    errors.reserve(times.size());
    const oxVec3f probes[6] = {oxVec3f(kProbeDistance, 0, 0), oxVec3f(0, kProbeDistance, 0),
                               oxVec3f(0, 0, kProbeDistance), oxVec3f(-kProbeDistance, 0, 0),
                               oxVec3f(0, -kProbeDistance, 0), oxVec3f(0, 0, -kProbeDistance)};
    for (int64_t t : times) {
        oxMatrix44f a, b;
        reference->getMatrix(a, t);
        evaluate(b, t);
        double worst = 0;
        for (const oxVec3f& p : probes)
            worst = std::max(worst, double((a.transformPoint(p) - b.transformPoint(p)).length()));
        errors.push_back(worst);
    }
    pool.insert(pool.end(), errors.begin(), errors.end());
    return summarise(errors);
}

struct Named {
    std::string name;
    Seq* sequence;
};

void printSequences(const std::vector<Named>& sequences)
{
    std::printf("sequences: %zu\n", sequences.size());
    if (sequences.empty())
        return;
    std::printf("  %-24s %6s %8s %11s %10s\n", "name", "keys", "channels", "duration", "bytes");
    for (const Named& n : sequences) {
        Seq* s = n.sequence;
        char duration[32] = "          -";
        if (s->getDuration() >= 0)
            std::snprintf(duration, sizeof duration, "%9.3f s", double(s->getDuration()) / kSecond);
        std::printf("  %-24s %6d %8s %11s %10zu%s\n", n.name.c_str(), s->getKeyFrameCount(),
                    channels(s->getComponentChannels()).c_str(), duration, sequenceBytes(s),
                    s->compressed() ? "  (with a 16-bit copy)" : "");
    }
}

// Keys and bytes of any per-bone source: keyframed, compressed, or neither (0).
void sourceSize(oxTransformSource* source, int& keys, size_t& bytes)
{
    if (Seq* s = Seq::dynamicCast(source)) {
        keys += s->getKeyFrameCount();
        bytes += sequenceBytes(s);
    } else if (auto* c = oxCompressedAnimationSequenceQS::dynamicCast(source)) {
        keys += c->getKeyFrameCount();
        bytes += compressedBytes(c);
    }
}

void printAnimations(const std::vector<oxAnimation*>& animations)
{
    std::printf("animations: %zu\n", animations.size());
    if (animations.empty())
        return;
    std::printf("  %-24s %6s %6s %11s %10s\n", "name", "tracks", "keys", "duration", "bytes");
    for (oxAnimation* a : animations) {
        int keys = 0;
        size_t bytes = 0;
        for (int i = 0; i < a->getTrackCount(); ++i)
            if (oxAnimationTrack* track = a->getAnimationTrack(i))
                sourceSize(track->getSource(), keys, bytes);
        const std::string name(a->getName().view());
        std::printf("  %-24s %6d %6d %9.3f s %10zu\n", name.empty() ? "(unnamed)" : name.c_str(), a->getTrackCount(),
                    keys, double(a->getDuration()) / kSecond, bytes);
    }
}

void printErrors(const std::vector<Named>& sequences)
{
    std::printf("compression error at %.0f cm from each bone (mm; file units taken as metres):\n",
                double(kProbeDistance) * 100);
    std::printf("  %-24s %10s | %10s %8s %8s | %10s %8s %8s\n", "name", "bytes", "16-bit", "largest", "99%",
                "QS", "largest", "99%");
    // Every sample of every measured sequence, and the bytes before and after, for the whole.
    std::vector<double> copyPool, qsPool;
    size_t rawBytes = 0, copyBytes = 0, qsBytes = 0;
    for (const Named& n : sequences) {
        Seq* s = n.sequence;
        if (s->getKeyFrameCount() < 1 || s->getUniformTimeState()) {
            std::printf("  %-24s (no keys or uniform spacing: not measured)\n", n.name.c_str());
            continue;
        }
        // The sequence's own 16-bit copy of its key lists, made on a copy of it and restored.
        oxSmartPointer<Seq> lossy = Seq::dynamicCast(s->createCopy(oxObject::kDeepCopy));
        std::string copyColumns = "         -        -        -";
        if (lossy) {
            lossy->releaseCompressedData();
            lossy->compress(false);
            const size_t bytes = sequenceBytes(lossy) - listBytes(lossy->getTranslationList()) -
                                 listBytes(lossy->getQuaternionList()) - listBytes(lossy->getScaleList());
            lossy->uncompress(true);
            lossy->reset();
            const Errors e = measure(s, [&](oxMatrix44f& m, int64_t t) { lossy->getMatrix(m, t); }, copyPool);
            copyBytes += bytes;
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%10zu %8.3f %8.3f", bytes, e.largest * 1000, e.p99 * 1000);
            copyColumns = buffer;
        }
        // The compressed per-bone sequence keeps rotations as quaternions and no scale.
        std::string qsColumns = "         -        -        -";
        if (s->getComponentChannels() & QUATERNION_ROTATION) {
            oxSmartPointer<oxCompressedAnimationSequenceQS> qs =
                s->getInterpolationMethod(TRANSLATION) == BEZIER
                    ? oxSmartPointer<oxCompressedAnimationSequenceQS>(
                          oxCompressedBezierAnimationSequenceQS::_instantiateRef())
                    : oxCompressedAnimationSequenceQS::_instantiateRef();
            qs->configure(s);
            const int64_t offset = s->getKeyFrameTimeOffset();
            const Errors e = measure(s, [&](oxMatrix44f& m, int64_t t) { qs->getMatrix(m, t - offset); }, qsPool);
            qsBytes += compressedBytes(qs);
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%10zu %8.3f %8.3f", compressedBytes(qs), e.largest * 1000,
                          e.p99 * 1000);
            qsColumns = buffer;
        }
        std::printf("  %-24s %10zu | %s | %s\n", n.name.c_str(), sequenceBytes(s), copyColumns.c_str(),
                    qsColumns.c_str());
        rawBytes += sequenceBytes(s);
    }
    const Errors copy = summarise(copyPool), qs = summarise(qsPool);
    std::printf("  %-24s %10zu | %10zu %8.3f %8.3f | %10zu %8.3f %8.3f\n", "(all)", rawBytes, copyBytes,
                copy.largest * 1000, copy.p99 * 1000, qsBytes, qs.largest * 1000, qs.p99 * 1000);
    std::printf("  ratio: 16-bit %.1f:1, QS %.1f:1\n", copyBytes ? double(rawBytes) / double(copyBytes) : 0.0,
                qsBytes ? double(rawBytes) / double(qsBytes) : 0.0);
}

// The objects of a graph an animation listing looks at, each once, in graph order.
void collect(oxNode* node, std::vector<oxObject*>& out, int depth = 0)
{
    if (!node || depth > 256 || std::find(out.begin(), out.end(), node) != out.end())
        return;
    auto add = [&](oxObject* o) {
        if (o && std::find(out.begin(), out.end(), o) == out.end())
            out.push_back(o);
    };
    add(node);
    if (oxTransform* t = oxTransform::dynamicCast(node))
        add(t->getTransformSource());
    if (oxActor* actor = oxActor::dynamicCast(node))
        if (oxAnimationDatabase* database = actor->getAnimationDatabase())
            for (int i = 0; i < database->getAnimationList()->getCount(); ++i)
                if (oxAnimation* a = database->getAnimationList()->get(i)) {
                    add(a);
                    for (int k = 0; k < a->getTrackCount(); ++k)
                        if (oxAnimationTrack* track = a->getTrackList()->get(k))
                            add(track->getSource());
                }
    if (oxGroup* group = oxGroup::dynamicCast(node))
        for (int i = 0; i < group->getChildCount(); ++i)
            collect(group->getChild(i), out, depth + 1);
}

int runAnim(int argc, char** argv)
{
    const char* path = nullptr;
    bool errors = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--error") == 0)
            errors = true;
        else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "oxsg anim: unknown option '%s'\n", argv[i]);
            return 2;
        } else if (!path)
            path = argv[i];
        else {
            std::fprintf(stderr, "oxsg anim: one file at a time ('%s' is one too many)\n", argv[i]);
            return 2;
        }
    }
    if (!path) {
        std::fprintf(stderr, "usage: oxsg anim FILE [--error]\n");
        return 2;
    }
    Kel::libOXCore_arkRegister();
    oxArkRegisterForOXBFiles();
    // The objects to look at: every object of a scene file, or what an imported model's
    // graph holds (its transforms' sources, its actors' animations and their tracks').
    std::vector<oxObject*> objects;
    oxSmartPointer<oxNode> model;
    oxsg::WarningScope warnings;
    oxOXBReader reader;
    if (oxsg::isImportable(path)) {
        std::string error;
        model = oxsg::readScene("anim", path, error);
        if (!model) {
            std::fprintf(stderr, "oxsg anim: %s\n", error.c_str());
            return 1;
        }
        collect(model, objects);
    } else {
        if (reader.readFile(path) != kSuccess) {
            std::fprintf(stderr, "oxsg anim: %s\n", reader.getError().c_str());
            return 1;
        }
        for (uint32_t n = 1; n <= reader.getObjectCount(); ++n)
            objects.push_back(reader.getObject(n));
    }
    // Sequences are named after the transforms they drive, or the animation and bone they
    // move, or by their number in the file.
    std::map<const oxObject*, std::string> names;
    for (oxObject* object : objects) {
        if (const oxTransform* t = oxTransform::dynamicCast(object))
            if (t->getTransformSource() && !t->getName().view().empty())
                names.emplace(t->getTransformSource(), std::string(t->getName().view()));
        if (const oxAnimation* a = oxAnimation::dynamicCast(object))
            for (int i = 0; i < a->getTrackCount(); ++i)
                if (const oxAnimationTrack* track = a->getTrackList()->get(i); track && track->getSource())
                    names.emplace(track->getSource(),
                                  std::string(a->getName().view()) + " " + std::string(track->getName().view()));
    }
    std::vector<Named> sequences;
    for (size_t n = 0; n < objects.size(); ++n)
        if (Seq* s = Seq::dynamicCast(objects[n])) {
            auto found = names.find(s);
            sequences.push_back({found != names.end() ? found->second : "#" + std::to_string(n + 1), s});
        }
    std::vector<oxAnimation*> animations;
    for (oxObject* object : objects)
        if (oxAnimation* a = oxAnimation::dynamicCast(object))
            animations.push_back(a);
    printAnimations(animations);
    printSequences(sequences);
    if (errors)
        printErrors(sequences);
    return 0;
}

} // namespace

OXSG_COMMAND(anim, "anim FILE [--error]", "list a scene file's animations and sequences; --error: compression error",
             runAnim)

#include "tools/oxsg/demoCharacter.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/attrs/OXAttrs.h"

namespace oxsg {

using namespace Kel::Sg;
using namespace Kel::Attrs;
using namespace Kel::Gfx;

namespace {

constexpr float kPi = 3.14159265f;
constexpr int64_t kSecond = 1000000000;

enum Part { kShirt, kTrousers, kSkin, kPartCount };

// One bone of the figure: its parent, its bind translation from the parent, where its
// segment ends when no child bone gives the end, the segment's half thickness and cloth.
struct Bone {
    const char* name;
    int parent;
    oxVec3f offset;
    oxVec3f tip;
    float halfWidth, halfDepth;
    Part part;
};

// y up, facing +z: the figure's left is +x. Bone 0 is the root the actor places.
const Bone kBones[] = {
    {"root", -1, {0, 0, 0}, {}, 0, 0, kShirt},
    {"hips", 0, {0, 0.95f, 0}, {}, 0.17f, 0.11f, kTrousers},
    {"spine", 1, {0, 0.12f, 0}, {}, 0.16f, 0.1f, kShirt},
    {"chest", 2, {0, 0.3f, 0}, {}, 0.2f, 0.12f, kShirt},
    {"head", 3, {0, 0.3f, 0}, {0, 0.28f, 0.02f}, 0.1f, 0.11f, kSkin},
    {"left shoulder", 3, {0.25f, 0.2f, 0}, {}, 0.06f, 0.06f, kShirt},
    {"left elbow", 5, {0, -0.3f, 0}, {}, 0.05f, 0.05f, kSkin},
    {"left hand", 6, {0, -0.27f, 0}, {0, -0.14f, 0}, 0.045f, 0.025f, kSkin},
    {"right shoulder", 3, {-0.25f, 0.2f, 0}, {}, 0.06f, 0.06f, kShirt},
    {"right elbow", 8, {0, -0.3f, 0}, {}, 0.05f, 0.05f, kSkin},
    {"right hand", 9, {0, -0.27f, 0}, {0, -0.14f, 0}, 0.045f, 0.025f, kSkin},
    {"left thigh", 1, {0.1f, -0.02f, 0}, {}, 0.08f, 0.08f, kTrousers},
    {"left knee", 11, {0, -0.44f, 0}, {}, 0.065f, 0.065f, kTrousers},
    {"left foot", 12, {0, -0.44f, 0}, {0, -0.05f, 0.2f}, 0.05f, 0.04f, kSkin},
    {"right thigh", 1, {-0.1f, -0.02f, 0}, {}, 0.08f, 0.08f, kTrousers},
    {"right knee", 14, {0, -0.44f, 0}, {}, 0.065f, 0.065f, kTrousers},
    {"right foot", 15, {0, -0.44f, 0}, {0, -0.05f, 0.2f}, 0.05f, 0.04f, kSkin},
};
constexpr int kBoneCount = int(sizeof kBones / sizeof kBones[0]);

int firstChild(int bone)
{
    for (int b = bone + 1; b < kBoneCount; ++b)
        if (kBones[b].parent == bone)
            return b;
    return -1;
}

oxVec3f bindPosition(int bone)
{
    oxVec3f p;
    for (int b = bone; b >= 0; b = kBones[b].parent)
        p += kBones[b].offset;
    return p;
}

// Every bone but the root drives skin; joint j is bone j + 1.
int jointOf(int bone)
{
    return bone - 1;
}

// Skinned boxes, one per bone, gathered per cloth: vertices at a segment's start follow
// its bone alone, those at its end lean towards the child bone, so joints bend smoothly.
struct SkinMesh {
    std::vector<oxVec3f> positions, normals;
    std::vector<int> joints[2];
    std::vector<float> weights[2];
    std::vector<uint16_t> indices;

    void segment(int bone)
    {
        const int child = firstChild(bone);
        const oxVec3f start = bindPosition(bone);
        const oxVec3f end = child >= 0 ? bindPosition(child) : start + kBones[bone].tip;
        const oxVec3f axis = (end - start).normalized();
        oxVec3f side = std::fabs(axis.x) > 0.9f ? oxVec3f(0, 0, 1) : oxVec3f(1, 0, 0);
        side = (side - axis * side.dot(axis)).normalized();
        const oxVec3f front = side.cross(axis);
        const float length = (end - start).length();
        // The box in (along, side, front) coordinates, faces as quads wound outwards.
        const auto corner = [&](float a, float s, float f) {
            return start + axis * (a * length) + side * (s * kBones[bone].halfWidth) +
                   front * (f * kBones[bone].halfDepth);
        };
        const oxVec3f dirs[3] = {axis, side, front};
        for (int d = 0; d < 3; ++d)
            for (float sign : {1.0f, -1.0f}) {
                const uint16_t base = uint16_t(positions.size());
                for (int k = 0; k < 4; ++k) {
                    float c[3];
                    c[d] = sign;
                    const float u = k & 1 ? 1.0f : -1.0f, v = k & 2 ? 1.0f : -1.0f;
                    c[(d + 1) % 3] = u * sign;
                    c[(d + 2) % 3] = v;
                    const float along = c[0] * 0.5f + 0.5f;
                    positions.push_back(corner(along, c[1], c[2]));
                    normals.push_back(dirs[d] * sign);
                    const float lean = child >= 0 && along > 0.5f ? 0.35f : 0.0f;
                    joints[0].push_back(jointOf(bone));
                    weights[0].push_back(1.0f - lean);
                    joints[1].push_back(child >= 0 ? jointOf(child) : jointOf(bone));
                    weights[1].push_back(lean);
                }
                indices.insert(indices.end(), {base, uint16_t(base + 1), uint16_t(base + 3), base,
                                               uint16_t(base + 3), uint16_t(base + 2)});
            }
    }

    oxSmartPointer<oxGeometryAttr> build() const
    {
        oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
        g->configureVertexArray(oxVertexFormat::kPositions | oxVertexFormat::kNormals |
                                    oxVertexFormat::blendWeights(2) | oxVertexFormat::blendIndices(2),
                                int(positions.size()));
        oxVertexArray* v = g->getVertexArray();
        for (size_t i = 0; i < positions.size(); ++i) {
            v->setPosition(int(i), positions[i]);
            v->setNormal(int(i), normals[i]);
            for (int k = 0; k < 2; ++k) {
                v->setBlendWeight(int(i), k, weights[k][i]);
                v->setBlendIndex(int(i), k, joints[k][i]);
            }
        }
        oxIndexArray* out = g->configureIndexArray(int(indices.size()));
        for (size_t i = 0; i < indices.size(); ++i)
            out->set(int(i), indices[i]);
        g->configurePrimitive(OX_GFX_DRAW_TRIANGLES, int(indices.size() / 3));
        return g;
    }
};

oxSmartPointer<oxNode> skinnedFigure()
{
    SkinMesh meshes[kPartCount];
    for (int b = 1; b < kBoneCount; ++b)
        meshes[kBones[b].part].segment(b);
    const oxVec4f colours[kPartCount] = {oxVec4f(0.2f, 0.45f, 0.75f, 1), oxVec4f(0.25f, 0.22f, 0.2f, 1),
                                         oxVec4f(0.93f, 0.72f, 0.58f, 1)};
    const char* names[kPartCount] = {"shirt", "trousers", "skin"};

    // The skin's blend slots are the skeleton's joints, in order.
    oxSmartPointer<oxBlendMatrixSelect> select = oxBlendMatrixSelect::_instantiateRef();
    select->setName("figure joints");
    select->setBlendMatrixIndexCount(kBoneCount - 1);
    for (int j = 0; j < kBoneCount - 1; ++j)
        select->setBlendMatrixIndex(j, j);
    oxSmartPointer<oxVertexBlendStateAttr> blending = oxVertexBlendStateAttr::_instantiateRef();
    blending->setEnabled(true);
    select->appendAttr(blending);
    for (int p = 0; p < kPartCount; ++p) {
        oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
        g->setName(names[p]);
        oxSmartPointer<oxMaterialAttr> cloth = oxMaterialAttr::_instantiateRef();
        cloth->setAmbient(colours[p]);
        cloth->setDiffuse(colours[p]);
        cloth->setSpecular(oxVec4f(0.1f, 0.1f, 0.1f, 1));
        cloth->setShininess(10);
        g->appendAttr(cloth);
        oxSmartPointer<oxTextureStateAttr> plain = oxTextureStateAttr::_instantiateRef();
        plain->setEnabled(false);
        g->appendAttr(plain);
        g->addGeometryAttr(meshes[p].build());
        select->appendChild(g);
    }
    return select;
}

oxSmartPointer<oxSkeleton> skeleton()
{
    oxSmartPointer<oxSkeleton> s = oxSkeleton::_instantiateRef();
    s->setName("figure");
    for (const Bone& b : kBones)
        s->insertBone(b.name, b.parent, b.offset);
    s->allocateInverseJointArray(kBoneCount - 1);
    for (int b = 1; b < kBoneCount; ++b) {
        s->getBoneInfo(b)->setBmIdx(jointOf(b));
        oxMatrix44f unbind;
        unbind.makeTranslation(-bindPosition(b));
        s->setInverseJointMatrix(jointOf(b), unbind);
    }
    return s;
}

// A looping rotation of one bone over `period`: `angle(f)` radians about `axis` at the
// fraction f of the cycle, keyed `keys` times.
template <class F>
oxSmartPointer<oxAnimationTrack> swing(const char* bone, const oxVec3f& axis, int64_t period, int keys, F&& angle)
{
    oxSmartPointer<oxTransformSequence1_5> motion = oxTransformSequence1_5::_instantiateRef();
    motion->setComponentChannels(QUATERNION_ROTATION);
    motion->setKeyFrameCount(keys + 1);
    for (int i = 0; i <= keys; ++i) {
        const float f = float(i) / float(keys);
        const oxMatrix44f m = oxQuaternionf::fromAxisAngle(axis, angle(f)).toMatrix();
        motion->setTimeAsLong(i, period * i / keys);
        motion->setMatrix(i, &m);
    }
    motion->validateKeyframes();
    motion->setDuration(period);
    motion->setPlayMode(REPEAT);
    oxSmartPointer<oxAnimationTrack> track = oxAnimationTrack::_instantiateRef();
    track->setName(bone);
    track->setSource(motion);
    return track;
}

oxSmartPointer<oxAnimation> clip(const char* name, int64_t duration)
{
    oxSmartPointer<oxAnimation> a = oxAnimation::_instantiateRef();
    a->setName(name);
    a->setDuration(duration);
    return a;
}

// Four strides of a second each: legs and arms swing against each other, the knees bend
// on the way forward, the chest turns a little.
oxSmartPointer<oxAnimation> walk()
{
    const int64_t cycle = 4 * kSecond, stride = kSecond;
    oxSmartPointer<oxAnimation> a = clip("walk", cycle);
    const oxVec3f across(1, 0, 0);
    for (float side : {1.0f, -1.0f}) {
        const bool left = side > 0;
        a->addTrack(swing(left ? "left thigh" : "right thigh", across, stride, 16,
                          [=](float f) { return -0.45f * side * std::sin(2 * kPi * f); }),
                    false);
        a->addTrack(swing(left ? "left knee" : "right knee", across, stride, 16,
                          [=](float f) { return 0.35f + 0.35f * side * std::cos(2 * kPi * f); }),
                    false);
        a->addTrack(swing(left ? "left shoulder" : "right shoulder", across, stride, 16,
                          [=](float f) { return 0.35f * side * std::sin(2 * kPi * f); }),
                    false);
        a->addTrack(swing(left ? "left elbow" : "right elbow", across, stride, 8,
                          [](float) { return -0.3f; }),
                    false);
    }
    a->addTrack(swing("chest", oxVec3f(0, 1, 0), stride, 16, [](float f) { return 0.12f * std::sin(2 * kPi * f); }),
                false);
    return a;
}

// The left arm raised sideways, the forearm waving over the head.
oxSmartPointer<oxAnimation> wave()
{
    const int64_t cycle = kSecond;
    oxSmartPointer<oxAnimation> a = clip("wave", cycle);
    a->addTrack(swing("left shoulder", oxVec3f(0, 0, 1), cycle, 8, [](float) { return 2.4f; }), false);
    a->addTrack(swing("left elbow", oxVec3f(0, 0, 1), cycle, 16,
                      [](float f) { return 0.5f + 0.45f * std::sin(2 * kPi * f); }),
                false);
    return a;
}

} // namespace

oxSmartPointer<oxNode> buildDemoCharacter(oxTransform* goal)
{
    oxSmartPointer<oxAnimationDatabase> database = oxAnimationDatabase::_instantiateRef();
    database->setName("figure");
    database->getSkeletonList()->append(skeleton());
    oxSmartPointer<oxAnimation> walking = walk(), waving = wave();
    database->getAnimationList()->append(walking);
    database->getAnimationList()->append(waving);
    oxSmartPointer<oxSkin> skin = oxSkin::_instantiateRef();
    skin->setName("figure skin");
    skin->setSkinnedGraph(skinnedFigure());
    database->getSkinList()->append(skin);
    oxSmartPointer<oxAppearance> look = oxAppearance::_instantiateRef();
    look->setName("figure look");
    look->setSkin(skin);
    database->getAppearanceList()->append(look);

    oxSmartPointer<oxActor> actor = oxActor::_instantiateRef();
    actor->setName("figure");
    actor->configure("figure", database);
    actor->setAppearanceByName("figure look");
    oxAnimationCombiner* combiner = actor->getCombiner();
    combiner->add(walking, oxAnimationState::kOverride, oxAnimationState::kNone, oxAnimationState::kPlaying, 0);

    // The wave waits for the walk's third stride and eases in over 0.8 s, then has the
    // left arm to itself.
    oxSmartPointer<oxAnimationTransitionDefinition> fromWalk = oxAnimationTransitionDefinition::_instantiateRef();
    fromWalk->configure(walking);
    oxSmartPointer<oxAnimationTransitionPoint> third = oxAnimationTransitionPoint::_instantiateRef();
    third->configure(2 * kSecond, 0.0f, 1.0f, kSecond * 8 / 10, 0);
    fromWalk->addTransitionPoint(third);
    waving->addTransitionDefinition(fromWalk);
    combiner->add(waving, oxAnimationState::kBlend, oxAnimationState::kEaseIn, oxAnimationState::kPlaying, 1);

    // The right arm reaches for the goal, whatever the walk does with it.
    oxSmartPointer<oxInverseKinematicsAnimation> reach = oxInverseKinematicsAnimation::_instantiateRef();
    reach->setName("reach");
    reach->configure(actor, "right shoulder");
    reach->setSolverPoleVector(oxVec3f(0, -1, -0.5f));
    if (goal)
        reach->assignGoalTransform(goal);
    database->getAnimationList()->append(reach);
    combiner->add(reach, oxAnimationState::kOverride, oxAnimationState::kNone, oxAnimationState::kPlaying, 2);
    return actor;
}

} // namespace oxsg

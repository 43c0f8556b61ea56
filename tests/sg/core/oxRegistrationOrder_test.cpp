// The libraries' registration tables list their classes in no particular order; what keeps
// that safe is that a class always registers its parent before itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "sg/OXSg.h"

using namespace Kel::Sg;

namespace {

TEST(RegistrationOrder, EveryClassOfTheLibrariesComesAfterItsParent)
{
    Kel::libOXAttrs_arkRegister();
    Kel::libOXSg_arkRegister();
    const int n = oxMetaObject::getRegisteredCount();
    std::unordered_map<const oxMetaObject*, int> position;
    for (int i = 0; i < n; ++i)
        position[oxMetaObject::getRegistered(i)] = i;
    for (const char* name : {"oxStateAttr", "oxBlendStateAttr", "oxDisplayListAttr", "oxGeometry", "oxDOFCamera",
                             "oxCommonTraversal", "oxRecordingVisualContext"})
        EXPECT_TRUE(oxMetaObject::findType(name)) << name << " is registered by its library";
    for (int i = 0; i < n; ++i) {
        const oxMetaObject* cls = oxMetaObject::getRegistered(i);
        if (const oxMetaObject* parent = cls->getParent()) {
            ASSERT_TRUE(position.count(parent)) << cls->getName() << "'s parent is not registered";
            EXPECT_LT(position[parent], i) << cls->getName() << " registered before " << parent->getName();
        }
    }
}


// The library's classes in its fixed order; each can be found by its name and, unless the
// class is abstract, made from it.
TEST(RegistrationOrder, TheLibraryRegistersItsClassesInItsFixedOrder)
{
    const std::vector<std::string> expected = {
    "oxVertexArrayHelper", "oxUserInfo", "oxTraversal", "oxTransientShaderData", "oxTransformSourceParameters",
    "oxTransformSource", "oxTransformSequence1_5", "oxTransformSequence", "oxTransformRecorder", "oxTransform",
    "oxTransformStack", "oxTransformList", "oxTransformListList", "oxNonRefCountedTransformList",
    "oxTimeTransform1_5", "oxTimeTransform", "oxSpecialDoubleList", "oxTimeSwitch",
    "oxTextureTransformMovieProcessor", "oxObjectPool", "oxSwitch", "oxStringValue", "oxStringKey",
    "oxRenderPackage", "oxRenderPackagePool", "oxRenderPackageList", "oxSorter", "oxSkin", "oxSkinList",
    "oxSkeletonBoneInfo", "oxSkeletonBoneInfoList", "oxSkeleton", "oxSkeletonList", "oxSimpleUserInfo",
    "oxSimpleShader", "oxShaderProcessor", "oxShaderInfo", "oxShaderFunction", "oxShaderFactory",
    "oxShaderFactoryList", "oxShaderData", "oxShader2", "oxShader", "oxTraversalFunctionList",
    "oxAttrStackManagerPopFunctionList", "oxLightStateAttrPool", "oxMatrixObjectPool", "oxSelfShadowShader",
    "oxSegment", "oxSceneInfo", "oxPropertyValue", "oxPropertyKey", "oxProperty", "oxPropertyList",
    "oxProjectiveTextureProcessor", "oxProjectiveShadowShader", "oxPlanarShadowShader",
    "oxPlanarShadowProcessor", "oxOverrideAttrSet", "oxNode", "oxNodeList", "oxNodeListList",
    "oxNonRefCountedNodeList", "oxIntersectPathList", "oxMultiTextureShader", "_vertex", "_vertexList", "_face",
    "_faceList", "_edge", "_edgeList", "oxMultiResolutionMeshCore", "oxMultiResolutionMeshInstance",
    "oxMorphSequenceData", "oxMorphSequenceDataList", "oxMorphSequence", "oxMorphInstance2", "oxMorphInstance",
    "oxMorphBase", "oxModelViewMatrixBoneSelect", "oxModelViewMatrixBoneSelectList", "oxLod", "oxLightStateSet",
    "oxLightSet", "oxJoint", "oxInverseKinematicsSource", "oxInverseKinematicsSolver",
    "oxInverseKinematicsJointList", "oxInverseKinematicsJoint", "oxInverseKinematicsHandleList",
    "oxInverseKinematicsHandle", "oxInverseKinematicsAnimation", "oxProbe", "oxIntersectTraversal",
    "oxInterpretedShaderProcessor", "oxInterpretedShaderData", "oxInterpretedShader", "oxIniShaderManager",
    "oxIniShaderFactory", "oxHeapable", "oxHeapableList", "oxHeap", "oxHashedUserInfo", "oxGroup",
    "oxGraphPath", "oxGraphPathList", "oxGeometry", "oxGeometryList", "oxFrustCullTraversal",
    "oxEnvironmentMapShader2", "oxEnvironmentMapShader2List", "oxDOFShader",
    "oxCompressedTransformSequence1_5Data", "oxCompressedBezierAnimationSequenceQS",
    "oxCompressedAnimationSequenceQS", "oxBlendListRecord", "oxBlendListRecordList", "oxCompiledGraph",
    "oxCompiledTransform", "oxCompiledTransformList", "oxCompileTraversal", "oxCommonTraversal", "oxClipPlane",
    "oxClipPlaneList", "oxClipPlaneSet", "oxCartoonShaderProcessor", "oxCartoonShader", "oxCamera",
    "oxDOFCamera", "oxBumpMapShader", "oxBoundingBoxesMaker", "oxBlendMatrixSelect", "oxBitMask",
    "oxBillboardProcessor", "oxBillboard", "oxAttrStack", "oxAttrStackList", "oxAttrStackManager",
    "oxNonRefCountedAttrStackManagerList", "oxAttrSet", "oxNonRefCountedAttrSetList", "oxAttrPoolList",
    "oxAttrPoolManager", "oxAppearance", "oxAppearanceList", "oxAnimationSystem", "oxAnimationState",
    "oxAnimationStateList", "oxAnimationStatePool", "oxAnimationSequence", "oxAnimationToken",
    "oxAnimationTokenList", "oxAnimationInfo", "oxAnimationModifier", "oxAnimationModifierList",
    "oxAnimationHierarchy", "oxAnimationDatabase", "oxAnimationDatabaseList", "oxAnimationCombinerBoneInfo",
    "oxAnimationCombinerBoneInfoList", "oxAnimationCombinerBoneInfoListList", "oxAnimationCombinerBoneInfoPool",
    "oxAnimationCombiner", "oxAnimationCombinerList", "oxAnimationBinding", "oxAnimationBindingList",
    "oxAnimationTrack", "oxAnimationTrackList", "oxAnimationTransitionParams", "oxAnimationTransitionPoint",
    "oxAnimationTransitionPointList", "oxAnimationTransitionDefinition", "oxAnimationTransitionDefinitionList",
    "oxAnimation", "oxAnimationList", "oxActorInfo", "oxActorInfoList", "oxActor", "oxActorList",
    "oxOglEnvironmentMapShader",
    };
    ASSERT_EQ(expected.size(), 180u);
    ASSERT_GE(Kel::libOXSg_getClassCount(), 180);
    EXPECT_EQ(Kel::libOXSg_getClass(-1), nullptr);
    EXPECT_EQ(Kel::libOXSg_getClass(Kel::libOXSg_getClassCount()), nullptr);
    const std::vector<std::string> abstract = {
        "oxAnimationHierarchy", "oxAnimationSequence", "oxAnimationSystem", "oxEnvironmentMapShader2",
        "oxPropertyKey", "oxPropertyValue", "oxShader2", "oxShaderFunction", "oxTimeTransform",
        "oxTransformSequence", "oxTransformSource", "oxTransformSourceParameters", "oxUserInfo"};
    for (size_t i = 0; i < expected.size(); ++i) {
        oxMetaObject* meta = Kel::libOXSg_getClass(int(i));
        ASSERT_NE(meta, nullptr) << i;
        EXPECT_EQ(meta->getName(), expected[i]) << "at " << i;
        EXPECT_EQ(oxMetaObject::findType(expected[i].c_str()), meta) << expected[i];
        const bool isAbstract = std::find(abstract.begin(), abstract.end(), expected[i]) != abstract.end();
        if (!isAbstract && meta->canInstantiate()) {
            oxSmartPointer<oxObject> made = meta->createInstanceRef();
            EXPECT_TRUE(made && made->getMetaObject() == meta) << expected[i] << " made by name";
        }
        EXPECT_EQ(meta->isAbstract(), isAbstract) << expected[i];
    }
}

} // namespace

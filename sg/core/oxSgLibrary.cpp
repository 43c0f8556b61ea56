#include "sg/core/oxSgLibrary.h"

#include "platform/attrs/OXAttrs.h"
#include "platform/core/oxCoreLibrary.h"
#include "platform/gfx/OXGfx.h"
#include "sg/OXSg.h"
#include "sg/shaders/oxPlanarShadowProcessor.h"
#include "sg/shaders/oxPlanarShadowShader.h"
#include "sg/shaders/oxProjectiveShadowShader.h"

namespace Kel {

namespace {
bool g_initialized = false;

// Every class of the library, in any order: a class registers its parent before itself
// (the registration-order test checks that for every class) and the classes its fields
// refer to along with it. The order only decides the handles of the classes that were not
// registered yet, which no frame depends on: reversing this table changes no test's result.
using RegisterFunction = void (*)();
const RegisterFunction kRegistrationOrder[] = {
    &Sg::oxVertexArrayHelper::arkRegister,
    &Sg::oxUserInfo::arkRegister,
    &Sg::oxTraversal::arkRegister,
    &Sg::oxTransientShaderData::arkRegister,
    &Sg::oxTransformSourceParameters::arkRegister,
    &Sg::oxTransformSource::arkRegister,
    &Sg::oxTransformSequence1_5::arkRegister,
    &Sg::oxTransformSequence::arkRegister,
    &Sg::oxTransformRecorder::arkRegister,
    &Sg::oxTransform::arkRegister,
    &Sg::oxTransformStack::arkRegister,
    &Sg::oxTransformList::arkRegister,
    &Sg::oxTransformListList::arkRegister,
    &Sg::oxNonRefCountedTransformList::arkRegister,
    &Sg::oxTimeTransform1_5::arkRegister,
    &Sg::oxTimeTransform::arkRegister,
    &Sg::oxSpecialDoubleList::arkRegister,
    &Sg::oxTimeSwitch::arkRegister,
    &Sg::oxTextureTransformMovieProcessor::arkRegister,
    &Sg::oxObjectPool::arkRegister,
    &Sg::oxSwitch::arkRegister,
    &Sg::oxStringValue::arkRegister,
    &Sg::oxStringKey::arkRegister,
    &Sg::oxRenderPackage::arkRegister,
    &Sg::oxRenderPackagePool::arkRegister,
    &Sg::oxRenderPackageList::arkRegister,
    &Sg::oxSorter::arkRegister,
    &Sg::oxSimpleUserInfo::arkRegister,
    &Sg::oxSimpleShader::arkRegister,
    &Sg::oxShaderProcessor::arkRegister,
    &Sg::oxShaderInfo::arkRegister,
    &Sg::oxShaderFunction::arkRegister,
    &Sg::oxShaderFactory::arkRegister,
    &Sg::oxShaderFactoryList::arkRegister,
    &Sg::oxShaderData::arkRegister,
    &Sg::oxShader2::arkRegister,
    &Sg::oxShader::arkRegister,
    &Sg::oxTraversalFunctionList::arkRegister,
    &Sg::oxAttrStackManagerPopFunctionList::arkRegister,
    &Sg::oxLightStateAttrPool::arkRegister,
    &Sg::oxMatrixObjectPool::arkRegister,
    &Sg::oxSegment::arkRegister,
    &Sg::oxSceneInfo::arkRegister,
    &Sg::oxPropertyValue::arkRegister,
    &Sg::oxPropertyKey::arkRegister,
    &Sg::oxProperty::arkRegister,
    &Sg::oxPropertyList::arkRegister,
    &Sg::oxProjectiveTextureProcessor::arkRegister,
    &Sg::oxProjectiveShadowShader::arkRegister,
    &Sg::oxPlanarShadowShader::arkRegister,
    &Sg::oxPlanarShadowProcessor::arkRegister,
    &Sg::oxOverrideAttrSet::arkRegister,
    &Sg::oxNode::arkRegister,
    &Sg::oxNodeList::arkRegister,
    &Sg::oxNodeListList::arkRegister,
    &Sg::oxNonRefCountedNodeList::arkRegister,
    &Sg::oxIntersectPathList::arkRegister,
    &Sg::oxMrmVertex::arkRegister,
    &Sg::oxMrmVertexList::arkRegister,
    &Sg::oxMrmFace::arkRegister,
    &Sg::oxMrmFaceList::arkRegister,
    &Sg::oxMrmEdge::arkRegister,
    &Sg::oxMrmEdgeList::arkRegister,
    &Sg::oxMultiResolutionMeshCore::arkRegister,
    &Sg::oxMultiResolutionMeshInstance::arkRegister,
    &Sg::oxMorphSequenceData::arkRegister,
    &Sg::oxMorphSequenceDataList::arkRegister,
    &Sg::oxMorphSequence::arkRegister,
    &Sg::oxMorphInstance2::arkRegister,
    &Sg::oxMorphInstance::arkRegister,
    &Sg::oxMorphBase::arkRegister,
    &Sg::oxModelViewMatrixBoneSelect::arkRegister,
    &Sg::oxModelViewMatrixBoneSelectList::arkRegister,
    &Sg::oxLod::arkRegister,
    &Sg::oxLightStateSet::arkRegister,
    &Sg::oxLightSet::arkRegister,
    &Sg::oxProbe::arkRegister,
    &Sg::oxIntersectTraversal::arkRegister,
    &Sg::oxInterpretedShaderProcessor::arkRegister,
    &Sg::oxInterpretedShaderData::arkRegister,
    &Sg::oxInterpretedShader::arkRegister,
    &Sg::oxIniShaderManager::arkRegister,
    &Sg::oxIniShaderFactory::arkRegister,
    &Sg::oxHeapable::arkRegister,
    &Sg::oxHeapableList::arkRegister,
    &Sg::oxHeap::arkRegister,
    &Sg::oxHashedUserInfo::arkRegister,
    &Sg::oxGroup::arkRegister,
    &Sg::oxGraphPath::arkRegister,
    &Sg::oxGraphPathList::arkRegister,
    &Sg::oxGeometry::arkRegister,
    &Sg::oxGeometryList::arkRegister,
    &Sg::oxFrustCullTraversal::arkRegister,
    &Sg::oxDOFShader::arkRegister,
    &Sg::oxCompressedTransformSequence1_5Data::arkRegister,
    &Sg::oxCompressedBezierAnimationSequenceQS::arkRegister,
    &Sg::oxCompressedAnimationSequenceQS::arkRegister,
    &Sg::oxCompiledGraph::arkRegister,
    &Sg::oxCompiledTransform::arkRegister,
    &Sg::oxCompiledTransformList::arkRegister,
    &Sg::oxCompileTraversal::arkRegister,
    &Sg::oxCommonTraversal::arkRegister,
    &Sg::oxClipPlane::arkRegister,
    &Sg::oxClipPlaneList::arkRegister,
    &Sg::oxClipPlaneSet::arkRegister,
    &Sg::oxCartoonShaderProcessor::arkRegister,
    &Sg::oxMetaObjectList::arkRegister,
    &Sg::oxCartoonShader::arkRegister,
    &Sg::oxBumpMapShader::arkRegister,
    &Sg::oxCamera::arkRegister,
    &Sg::oxDOFCamera::arkRegister,
    &Sg::oxBoundingBoxesMaker::arkRegister,
    &Sg::oxBlendMatrixSelect::arkRegister,
    &Sg::oxBitMask::arkRegister,
    &Sg::oxBillboardProcessor::arkRegister,
    &Sg::oxBillboard::arkRegister,
    &Sg::oxAttrStack::arkRegister,
    &Sg::oxAttrStackList::arkRegister,
    &Sg::oxAttrStackManager::arkRegister,
    &Sg::oxNonRefCountedAttrStackManagerList::arkRegister,
    &Sg::oxAttrSet::arkRegister,
    &Sg::oxNonRefCountedAttrSetList::arkRegister,
    &Sg::oxAttrPoolList::arkRegister,
    &Sg::oxAttrPoolManager::arkRegister,
    &Sg::oxAppearance::arkRegister,
    &Sg::oxAppearanceList::arkRegister,
    &Sg::oxAnimationSequence::arkRegister,
    &Sg::oxAnimationToken::arkRegister,
    &Sg::oxAnimationTokenList::arkRegister,
    &Sg::oxAnimationInfo::arkRegister,
    &Sg::oxAnimationHierarchy::arkRegister,
    &Sg::oxAnimationBinding::arkRegister,
    &Sg::oxAnimationBindingList::arkRegister,
    &Sg::oxAnimationTrack::arkRegister,
    &Sg::oxAnimationTrackList::arkRegister,
    &Sg::oxAnimationTransitionParams::arkRegister,
    &Sg::oxAnimationTransitionPoint::arkRegister,
    &Sg::oxAnimationTransitionPointList::arkRegister,
    &Sg::oxAnimationTransitionDefinition::arkRegister,
    &Sg::oxAnimationTransitionDefinitionList::arkRegister,
    &Sg::oxAnimation::arkRegister,
    &Sg::oxAnimationList::arkRegister,
    &Sg::oxSkin::arkRegister,
    &Sg::oxSkinList::arkRegister,
    &Sg::oxSkeletonBoneInfo::arkRegister,
    &Sg::oxSkeletonBoneInfoList::arkRegister,
    &Sg::oxSkeleton::arkRegister,
    &Sg::oxSkeletonList::arkRegister,
    &Sg::oxBlendListRecord::arkRegister,
    &Sg::oxBlendListRecordList::arkRegister,
    &Sg::oxAnimationSystem::arkRegister,
    &Sg::oxAnimationState::arkRegister,
    &Sg::oxAnimationStateList::arkRegister,
    &Sg::oxAnimationStatePool::arkRegister,
    &Sg::oxAnimationModifier::arkRegister,
    &Sg::oxAnimationModifierList::arkRegister,
    &Sg::oxAnimationDatabase::arkRegister,
    &Sg::oxAnimationDatabaseList::arkRegister,
    &Sg::oxAnimationCombinerBoneInfo::arkRegister,
    &Sg::oxAnimationCombinerBoneInfoList::arkRegister,
    &Sg::oxAnimationCombinerBoneInfoListList::arkRegister,
    &Sg::oxAnimationCombinerBoneInfoPool::arkRegister,
    &Sg::oxAnimationCombiner::arkRegister,
    &Sg::oxAnimationCombinerList::arkRegister,
    &Sg::oxActorInfo::arkRegister,
    &Sg::oxActorInfoList::arkRegister,
    &Sg::oxActor::arkRegister,
    &Sg::oxActorList::arkRegister,
    &Sg::oxJoint::arkRegister,
    &Sg::oxInverseKinematicsJoint::arkRegister,
    &Sg::oxInverseKinematicsJointList::arkRegister,
    &Sg::oxInverseKinematicsHandle::arkRegister,
    &Sg::oxInverseKinematicsHandleList::arkRegister,
    &Sg::oxInverseKinematicsSolver::arkRegister,
    &Sg::oxInverseKinematicsAnimation::arkRegister,
    &Sg::oxInverseKinematicsSource::arkRegister,
    &Sg::oxMultiTextureShader::arkRegister,
    &Sg::oxEnvironmentMapShader2::arkRegister,
    &Sg::oxEnvironmentMapShader2List::arkRegister,
    &Sg::oxOglEnvironmentMapShader::arkRegister,
    &Sg::oxSelfShadowShader::arkRegister,
};
} // namespace

void _libOXSg_Init()
{
    g_initialized = true;
}

bool _libOXSg_IsInitialized()
{
    return g_initialized;
}

void libOXSg_arkRegister()
{
    _libOXSg_Init();
    for (RegisterFunction fn : kRegistrationOrder)
        fn();
}

void Sg::oxArkRegisterForOXBFiles()
{
    libOXCore_arkRegister();
    Gfx::oxArkRegisterForOXBFiles();
    libOXAttrs_arkRegister();
    libOXSg_arkRegister();
    libOXUtils_arkRegister();
}

} // namespace Kel

void createLibraryObject(Kel::Core::oxSmartPointer<Kel::Core::oxLibrary>& out)
{
    Kel::Core::oxSmartPointer<Kel::Core::oxLibrary> library = Kel::Core::oxLibrary::_instantiateFromPool(nullptr);
    library->_registerFunction = &Kel::libOXSg_arkRegister;
    out = library;
}

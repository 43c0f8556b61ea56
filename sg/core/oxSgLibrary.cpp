#include "sg/core/oxSgLibrary.h"

#include <iterator>

#include "platform/attrs/OXAttrs.h"
#include "platform/core/oxCoreLibrary.h"
#include "platform/gfx/OXGfx.h"
#include "sg/OXSg.h"

namespace Kel {

namespace {
bool g_initialized = false;

// Every class of the library in the library's fixed order. A class registers its parent
// before itself and the classes its fields refer to along with it, so the order is not one
// of dependencies: it only decides the handles of classes not registered yet. The classes
// after the last of that order are the library's own helpers.
using ClassGetter = Core::oxMetaObject* (*)();
const ClassGetter kRegistrationOrder[] = {
    &Sg::oxVertexArrayHelper::getClassTypeSafe,
    &Sg::oxUserInfo::getClassTypeSafe,
    &Sg::oxTraversal::getClassTypeSafe,
    &Sg::oxTransientShaderData::getClassTypeSafe,
    &Sg::oxTransformSourceParameters::getClassTypeSafe,
    &Sg::oxTransformSource::getClassTypeSafe,
    &Sg::oxTransformSequence1_5::getClassTypeSafe,
    &Sg::oxTransformSequence::getClassTypeSafe,
    &Sg::oxTransformRecorder::getClassTypeSafe,
    &Sg::oxTransform::getClassTypeSafe,
    &Sg::oxTransformStack::getClassTypeSafe,
    &Sg::oxTransformList::getClassTypeSafe,
    &Sg::oxTransformListList::getClassTypeSafe,
    &Sg::oxNonRefCountedTransformList::getClassTypeSafe,
    &Sg::oxTimeTransform1_5::getClassTypeSafe,
    &Sg::oxTimeTransform::getClassTypeSafe,
    &Sg::oxSpecialDoubleList::getClassTypeSafe,
    &Sg::oxTimeSwitch::getClassTypeSafe,
    &Sg::oxTextureTransformMovieProcessor::getClassTypeSafe,
    &Sg::oxObjectPool::getClassTypeSafe,
    &Sg::oxSwitch::getClassTypeSafe,
    &Sg::oxStringValue::getClassTypeSafe,
    &Sg::oxStringKey::getClassTypeSafe,
    &Sg::oxRenderPackage::getClassTypeSafe,
    &Sg::oxRenderPackagePool::getClassTypeSafe,
    &Sg::oxRenderPackageList::getClassTypeSafe,
    &Sg::oxSorter::getClassTypeSafe,
    &Sg::oxSkin::getClassTypeSafe,
    &Sg::oxSkinList::getClassTypeSafe,
    &Sg::oxSkeletonBoneInfo::getClassTypeSafe,
    &Sg::oxSkeletonBoneInfoList::getClassTypeSafe,
    &Sg::oxSkeleton::getClassTypeSafe,
    &Sg::oxSkeletonList::getClassTypeSafe,
    &Sg::oxSimpleUserInfo::getClassTypeSafe,
    &Sg::oxSimpleShader::getClassTypeSafe,
    &Sg::oxShaderProcessor::getClassTypeSafe,
    &Sg::oxShaderInfo::getClassTypeSafe,
    &Sg::oxShaderFunction::getClassTypeSafe,
    &Sg::oxShaderFactory::getClassTypeSafe,
    &Sg::oxShaderFactoryList::getClassTypeSafe,
    &Sg::oxShaderData::getClassTypeSafe,
    &Sg::oxShader2::getClassTypeSafe,
    &Sg::oxShader::getClassTypeSafe,
    &Sg::oxTraversalFunctionList::getClassTypeSafe,
    &Sg::oxAttrStackManagerPopFunctionList::getClassTypeSafe,
    &Sg::oxLightStateAttrPool::getClassTypeSafe,
    &Sg::oxMatrixObjectPool::getClassTypeSafe,
    &Sg::oxSelfShadowShader::getClassTypeSafe,
    &Sg::oxSegment::getClassTypeSafe,
    &Sg::oxSceneInfo::getClassTypeSafe,
    &Sg::oxPropertyValue::getClassTypeSafe,
    &Sg::oxPropertyKey::getClassTypeSafe,
    &Sg::oxProperty::getClassTypeSafe,
    &Sg::oxPropertyList::getClassTypeSafe,
    &Sg::oxProjectiveTextureProcessor::getClassTypeSafe,
    &Sg::oxProjectiveShadowShader::getClassTypeSafe,
    &Sg::oxPlanarShadowShader::getClassTypeSafe,
    &Sg::oxPlanarShadowProcessor::getClassTypeSafe,
    &Sg::oxOverrideAttrSet::getClassTypeSafe,
    &Sg::oxNode::getClassTypeSafe,
    &Sg::oxNodeList::getClassTypeSafe,
    &Sg::oxNodeListList::getClassTypeSafe,
    &Sg::oxNonRefCountedNodeList::getClassTypeSafe,
    &Sg::oxIntersectPathList::getClassTypeSafe,
    &Sg::oxMultiTextureShader::getClassTypeSafe,
    &Sg::oxMrmVertex::getClassTypeSafe,
    &Sg::oxMrmVertexList::getClassTypeSafe,
    &Sg::oxMrmFace::getClassTypeSafe,
    &Sg::oxMrmFaceList::getClassTypeSafe,
    &Sg::oxMrmEdge::getClassTypeSafe,
    &Sg::oxMrmEdgeList::getClassTypeSafe,
    &Sg::oxMultiResolutionMeshCore::getClassTypeSafe,
    &Sg::oxMultiResolutionMeshInstance::getClassTypeSafe,
    &Sg::oxMorphSequenceData::getClassTypeSafe,
    &Sg::oxMorphSequenceDataList::getClassTypeSafe,
    &Sg::oxMorphSequence::getClassTypeSafe,
    &Sg::oxMorphInstance2::getClassTypeSafe,
    &Sg::oxMorphInstance::getClassTypeSafe,
    &Sg::oxMorphBase::getClassTypeSafe,
    &Sg::oxModelViewMatrixBoneSelect::getClassTypeSafe,
    &Sg::oxModelViewMatrixBoneSelectList::getClassTypeSafe,
    &Sg::oxLod::getClassTypeSafe,
    &Sg::oxLightStateSet::getClassTypeSafe,
    &Sg::oxLightSet::getClassTypeSafe,
    &Sg::oxJoint::getClassTypeSafe,
    &Sg::oxInverseKinematicsSource::getClassTypeSafe,
    &Sg::oxInverseKinematicsSolver::getClassTypeSafe,
    &Sg::oxInverseKinematicsJointList::getClassTypeSafe,
    &Sg::oxInverseKinematicsJoint::getClassTypeSafe,
    &Sg::oxInverseKinematicsHandleList::getClassTypeSafe,
    &Sg::oxInverseKinematicsHandle::getClassTypeSafe,
    &Sg::oxInverseKinematicsAnimation::getClassTypeSafe,
    &Sg::oxProbe::getClassTypeSafe,
    &Sg::oxIntersectTraversal::getClassTypeSafe,
    &Sg::oxInterpretedShaderProcessor::getClassTypeSafe,
    &Sg::oxInterpretedShaderData::getClassTypeSafe,
    &Sg::oxInterpretedShader::getClassTypeSafe,
    &Sg::oxIniShaderManager::getClassTypeSafe,
    &Sg::oxIniShaderFactory::getClassTypeSafe,
    &Sg::oxHeapable::getClassTypeSafe,
    &Sg::oxHeapableList::getClassTypeSafe,
    &Sg::oxHeap::getClassTypeSafe,
    &Sg::oxHashedUserInfo::getClassTypeSafe,
    &Sg::oxGroup::getClassTypeSafe,
    &Sg::oxGraphPath::getClassTypeSafe,
    &Sg::oxGraphPathList::getClassTypeSafe,
    &Sg::oxGeometry::getClassTypeSafe,
    &Sg::oxGeometryList::getClassTypeSafe,
    &Sg::oxFrustCullTraversal::getClassTypeSafe,
    &Sg::oxEnvironmentMapShader2::getClassTypeSafe,
    &Sg::oxEnvironmentMapShader2List::getClassTypeSafe,
    &Sg::oxDOFShader::getClassTypeSafe,
    &Sg::oxCompressedTransformSequence1_5Data::getClassTypeSafe,
    &Sg::oxCompressedBezierAnimationSequenceQS::getClassTypeSafe,
    &Sg::oxCompressedAnimationSequenceQS::getClassTypeSafe,
    &Sg::oxBlendListRecord::getClassTypeSafe,
    &Sg::oxBlendListRecordList::getClassTypeSafe,
    &Sg::oxCompiledGraph::getClassTypeSafe,
    &Sg::oxCompiledTransform::getClassTypeSafe,
    &Sg::oxCompiledTransformList::getClassTypeSafe,
    &Sg::oxCompileTraversal::getClassTypeSafe,
    &Sg::oxCommonTraversal::getClassTypeSafe,
    &Sg::oxClipPlane::getClassTypeSafe,
    &Sg::oxClipPlaneList::getClassTypeSafe,
    &Sg::oxClipPlaneSet::getClassTypeSafe,
    &Sg::oxCartoonShaderProcessor::getClassTypeSafe,
    &Sg::oxCartoonShader::getClassTypeSafe,
    &Sg::oxCamera::getClassTypeSafe,
    &Sg::oxDOFCamera::getClassTypeSafe,
    &Sg::oxBumpMapShader::getClassTypeSafe,
    &Sg::oxBoundingBoxesMaker::getClassTypeSafe,
    &Sg::oxBlendMatrixSelect::getClassTypeSafe,
    &Sg::oxBitMask::getClassTypeSafe,
    &Sg::oxBillboardProcessor::getClassTypeSafe,
    &Sg::oxBillboard::getClassTypeSafe,
    &Sg::oxAttrStack::getClassTypeSafe,
    &Sg::oxAttrStackList::getClassTypeSafe,
    &Sg::oxAttrStackManager::getClassTypeSafe,
    &Sg::oxNonRefCountedAttrStackManagerList::getClassTypeSafe,
    &Sg::oxAttrSet::getClassTypeSafe,
    &Sg::oxNonRefCountedAttrSetList::getClassTypeSafe,
    &Sg::oxAttrPoolList::getClassTypeSafe,
    &Sg::oxAttrPoolManager::getClassTypeSafe,
    &Sg::oxAppearance::getClassTypeSafe,
    &Sg::oxAppearanceList::getClassTypeSafe,
    &Sg::oxAnimationSystem::getClassTypeSafe,
    &Sg::oxAnimationState::getClassTypeSafe,
    &Sg::oxAnimationStateList::getClassTypeSafe,
    &Sg::oxAnimationStatePool::getClassTypeSafe,
    &Sg::oxAnimationSequence::getClassTypeSafe,
    &Sg::oxAnimationToken::getClassTypeSafe,
    &Sg::oxAnimationTokenList::getClassTypeSafe,
    &Sg::oxAnimationInfo::getClassTypeSafe,
    &Sg::oxAnimationModifier::getClassTypeSafe,
    &Sg::oxAnimationModifierList::getClassTypeSafe,
    &Sg::oxAnimationHierarchy::getClassTypeSafe,
    &Sg::oxAnimationDatabase::getClassTypeSafe,
    &Sg::oxAnimationDatabaseList::getClassTypeSafe,
    &Sg::oxAnimationCombinerBoneInfo::getClassTypeSafe,
    &Sg::oxAnimationCombinerBoneInfoList::getClassTypeSafe,
    &Sg::oxAnimationCombinerBoneInfoListList::getClassTypeSafe,
    &Sg::oxAnimationCombinerBoneInfoPool::getClassTypeSafe,
    &Sg::oxAnimationCombiner::getClassTypeSafe,
    &Sg::oxAnimationCombinerList::getClassTypeSafe,
    &Sg::oxAnimationBinding::getClassTypeSafe,
    &Sg::oxAnimationBindingList::getClassTypeSafe,
    &Sg::oxAnimationTrack::getClassTypeSafe,
    &Sg::oxAnimationTrackList::getClassTypeSafe,
    &Sg::oxAnimationTransitionParams::getClassTypeSafe,
    &Sg::oxAnimationTransitionPoint::getClassTypeSafe,
    &Sg::oxAnimationTransitionPointList::getClassTypeSafe,
    &Sg::oxAnimationTransitionDefinition::getClassTypeSafe,
    &Sg::oxAnimationTransitionDefinitionList::getClassTypeSafe,
    &Sg::oxAnimation::getClassTypeSafe,
    &Sg::oxAnimationList::getClassTypeSafe,
    &Sg::oxActorInfo::getClassTypeSafe,
    &Sg::oxActorInfoList::getClassTypeSafe,
    &Sg::oxActor::getClassTypeSafe,
    &Sg::oxActorList::getClassTypeSafe,
    &Sg::oxOglEnvironmentMapShader::getClassTypeSafe,
    &Sg::oxMetaObjectList::getClassTypeSafe,
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
    for (ClassGetter registerClass : kRegistrationOrder)
        registerClass();
}

int libOXSg_getClassCount()
{
    return int(std::size(kRegistrationOrder));
}

Core::oxMetaObject* libOXSg_getClass(int index)
{
    if (index < 0 || index >= libOXSg_getClassCount())
        return nullptr;
    return kRegistrationOrder[index]();
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

#include "platform/attrs/OXAttrs.h"

namespace Kel {

namespace {
using namespace Attrs;
using RegisterFunction = void (*)();
// Every class of the library, in any order: a class registers its parent before itself
// (the registration-order test checks that for every class) and the classes its fields
// refer to along with it. The order only decides the handles of the classes that were not
// registered yet, which no frame depends on: reversing this table changes no test's result.
const RegisterFunction kRegistrationOrder[] = {
    &oxAttr::arkRegister,
    &oxAttrList::arkRegister,
    &oxNonRefCountedAttrList::arkRegister,
    &oxAttrListList::arkRegister,
    &oxStateAttr::arkRegister,
    &oxAlphaStateAttr::arkRegister,
    &oxBlendStateAttr::arkRegister,
    &oxDepthStateAttr::arkRegister,
    &oxDepthWriteStateAttr::arkRegister,
    &oxStencilStateAttr::arkRegister,
    &oxLightingStateAttr::arkRegister,
    &oxNormalizeNormalsStateAttr::arkRegister,
    &oxClippingStateAttr::arkRegister,
    &oxMatrixOptStateAttr::arkRegister,
    &oxVertexBlendStateAttr::arkRegister,
    &oxTextureStateAttr::arkRegister,
    &oxTextureMatrixStateAttr::arkRegister,
    &oxCullFaceAttr::arkRegister,
    &oxAlphaFunctionAttr::arkRegister,
    &oxBlendFunctionAttr::arkRegister,
    &oxDepthFunctionAttr::arkRegister,
    &oxStencilFunctionAttr::arkRegister,
    &oxColorMaskAttr::arkRegister,
    &oxMatrixAttr::arkRegister,
    &oxModelViewMatrixAttr::arkRegister,
    &oxModelViewMatrixAttrList::arkRegister,
    &oxProjectionMatrixAttr::arkRegister,
    &oxTextureMatrixAttr::arkRegister,
    &oxTexGenMatrixAttr::arkRegister,
    &oxVertexBlendMatrixAttr::arkRegister,
    &oxLightAttr::arkRegister,
    &oxLightList::arkRegister,
    &oxLightStateAttr::arkRegister,
    &oxLightStateAttrList::arkRegister,
    &oxColorAttr::arkRegister,
    &oxMaterialAttr::arkRegister,
    &oxGeometryMaskAttr::arkRegister,
    &oxTimeAttr::arkRegister,
    &oxTextureAttr::arkRegister,
    &oxTextureCubeAttr::arkRegister,
    &oxTextureList::arkRegister,
    &oxTextureBindAttr::arkRegister,
    &oxTextureFunctionAttr::arkRegister,
    &oxTextureCoordSourceAttr::arkRegister,
    &oxMipMapAttr::arkRegister,
    &oxVectorConstantAttr::arkRegister,
    &oxTextureUnloadAttr::arkRegister,
    &oxViewportAttr::arkRegister,
    &oxClearAttr::arkRegister,
    &oxClipPlaneAttr::arkRegister,
    &oxRenderDestinationAttr::arkRegister,
    &oxSetRenderDestinationAttr::arkRegister,
    &oxCopyRenderDestinationAttr::arkRegister,
    &oxVertexBlendMatrixListAttr::arkRegister,
    &oxBlendMatricesAttr::arkRegister,
    &oxBlendMatrixPaletteAttr::arkRegister,
    &oxBlendMatrixPaletteAttrList::arkRegister,
    &oxDisplayListAttr::arkRegister,
    &oxRenderListAttr::arkRegister,
    &oxBaseGeometryAttr::arkRegister,
    &oxGeometryAttr::arkRegister,
    &oxGeometryAttrList::arkRegister,
    &oxGeometryAttr2::arkRegister,
    &oxMorphEntry::arkRegister,
    &oxMorphEntryList::arkRegister,
    &oxMorphedGeometryAttr::arkRegister,
    &oxGeometrySetAttr::arkRegister,
    &oxAttrDefaultManager::arkRegister,
    &oxGenericAttrDefaultManager::arkRegister,
    &oxVisualContextAttrDefaultManager::arkRegister,
    &oxCapabilityManager::arkRegister,
    &oxGenericCapabilityManager::arkRegister,
    &oxVisualContextCapabilityManager::arkRegister,
};
} // namespace

void libOXAttrs_arkRegister()
{
    libOXGfx_arkRegister();
    for (RegisterFunction fn : kRegistrationOrder)
        fn();
}

} // namespace Kel

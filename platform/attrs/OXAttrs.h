#pragma once
// Render-state attributes, their default and capability managers.
#include "platform/attrs/oxAttr.h"
#include "platform/attrs/oxAttrDefaultManager.h"
#include "platform/attrs/oxCapabilityManager.h"
#include "platform/attrs/oxDisplayListAttr.h"
#include "platform/attrs/oxFragmentAttrs.h"
#include "platform/attrs/oxGeometryAttr.h"
#include "platform/attrs/oxGeometryAttr2.h"
#include "platform/attrs/oxGeometrySetAttr.h"
#include "platform/attrs/oxLightAttr.h"
#include "platform/attrs/oxMatrixAttrs.h"
#include "platform/attrs/oxRenderDestinationAttrs.h"
#include "platform/attrs/oxStateAttrs.h"
#include "platform/attrs/oxSurfaceAttrs.h"
#include "platform/attrs/oxTextureAttr.h"
#include "platform/attrs/oxTextureUnitAttrs.h"
#include "platform/attrs/oxVertexBlendAttrs.h"
#include "platform/attrs/oxViewAttrs.h"
#include "platform/gfx/OXGfx.h"

namespace Kel {
// Registers every attribute class and manager (and the libraries below).
void libOXAttrs_arkRegister();
} // namespace Kel

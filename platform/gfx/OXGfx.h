#pragma once
// The device layer: the visual context, the recording device, vertex and index arrays,
// images. The OpenGL device is a library of its own (platform/gfxgl/OXGfxGL.h), so that
// nothing here needs the GL libraries.
#include "platform/gfx/oxComponentEditInfo.h"
#include "platform/gfx/oxGfxTypes.h"
#include "platform/gfx/oxImage.h"
#include "platform/gfx/oxIndexArray.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "platform/gfx/oxVertexArray.h"
#include "platform/gfx/oxVertexArray2.h"
#include "platform/gfx/oxVertexFormat.h"
#include "platform/gfx/oxVisualContext.h"

namespace Kel {
// Registers every class of the device layer (and the libraries below it).
void libOXGfx_arkRegister();
} // namespace Kel

namespace Kel::Gfx {
// Registers the classes that scene files hold: vertex and index arrays, images.
void oxArkRegisterForOXBFiles();
} // namespace Kel::Gfx

#pragma once
// The OpenGL device, drawing through EGL. Only programs that draw link this library
// (OXSg::OXGfxGL); reading, editing and writing scene files needs nothing of it.
#include "platform/gfx/OXGfx.h"
#include "platform/gfxgl/oxGLVisualContext.h"

namespace Kel {
// Registers the OpenGL device's classes (and the device layer below it).
void libOXGfxGL_arkRegister();
} // namespace Kel

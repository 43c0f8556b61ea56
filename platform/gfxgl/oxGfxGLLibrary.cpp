#include "platform/gfxgl/OXGfxGL.h"

void Kel::libOXGfxGL_arkRegister()
{
    libOXGfx_arkRegister();
    Gfx::oxGLVisualContext::arkRegister();
}

#include "platform/gfx/OXGfx.h"

#include "platform/utils/OXUtils.h"

void Kel::Gfx::oxArkRegisterForOXBFiles()
{
    libOXUtils_arkRegister();
    oxVertexArrayBase::arkRegister();
    oxVertexArray::arkRegister();
    oxVertexData::arkRegister();
    oxVertexDataList::arkRegister();
    oxVertexArray2::arkRegister();
    oxIndexArray::arkRegister();
    oxPrimLengthArray::arkRegister();
    oxImage::arkRegister();
    oxImageList::arkRegister();
}

void Kel::libOXGfx_arkRegister()
{
    Gfx::oxArkRegisterForOXBFiles();
    Gfx::oxComponentEditInfo::arkRegister();
    Gfx::oxVisualContext::arkRegister();
    Gfx::oxRecordingVisualContext::arkRegister();
}

#pragma once
#include "platform/core/oxSmartPointer.h"
#include "platform/gfx/oxVertexArray.h"

namespace Kel::Gfx {

// One open edit of one vertex component: code that computes per-vertex values (lighting
// written into colours, generated texture coordinates, morphing) opens the component,
// works through the pointer and stride, and closes the edit saying whether it changed
// anything, which is when the array's version moves on and a device refreshes its copy.
//
//   oxSmartPointer<oxComponentEditInfo> e = oxComponentEditInfo::_instantiateRef();
//   if (e->begin(array, OX_GFX_COMPONENT_COLOR, 0, oxComponentEditInfo::kWrite)) {
//       ... e->getElement(i) ...
//       e->end(true);
//   }
//
// The fields say what the edit is about; the pointer is valid only while the edit is open.
class oxComponentEditInfo : public Core::oxObject {
    OX_CLASS(oxComponentEditInfo, Core::oxObject)
    OX_FIELDS(component, componentIndex, mode)
public:
    OX_ENUM(MODE, kRead = 0, kWrite = 1, kReadWrite = 2)

    // Opens the component; false (with a warning) when this edit is already open, the array
    // is null or lacks the component.
    bool begin(oxVertexArrayBase* array, OX_GFX_COMPONENT component, int index, MODE mode);
    // Closes the edit; `changed` marks the array as modified (refused for a read edit).
    void end(bool changed);
    bool isOpen() const { return _array != nullptr; }

    OX_GFX_COMPONENT getComponent() const { return _component; }
    int getComponentIndex() const { return _componentIndex; }
    MODE getMode() const { return _mode; }
    oxVertexArrayBase* getArray() const { return _array; }
    int getCount() const { return _count; }
    int getStride() const { return _stream.stride; }
    int getScalarCount() const { return _stream.scalarCount; }
    OX_GFX_SCALAR getScalarType() const { return _stream.scalarType; }
    uint8_t* getData() const { return _stream.data; }
    // Vertex i's element; null when closed or out of range.
    uint8_t* getElement(int i) const { return isOpen() && i >= 0 && i < _count ? _stream.at(i) : nullptr; }

    void userRelease() override;

protected:
    oxComponentEditInfo() = default;
    static void arkRegisterInitialize(oxFields<oxComponentEditInfo>& f);

    OX_GFX_COMPONENT _component = OX_GFX_COMPONENT_POSITION;
    int32_t _componentIndex = 0;
    MODE _mode = kRead;

private:
    // Held while open, so the bytes cannot go away under the edit.
    Core::oxSmartPointer<oxVertexArrayBase> _array;
    oxVertexStream _stream;
    int _count = 0;
};

} // namespace Kel::Gfx

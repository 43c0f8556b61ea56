#include "platform/attrs/oxAttrDefaultManager.h"

#include "platform/core/oxOutput.h"

namespace Kel::Attrs {

oxAttr* oxAttrDefaultManager::getDefaultAttr(Core::oxMetaObject* attrClass, int unit)
{
    auto key = std::make_pair(static_cast<const Core::oxMetaObject*>(attrClass), unit);
    auto it = _defaults.find(key);
    if (it != _defaults.end())
        return it->second;
    if (!attrClass || !attrClass->isDerivedFrom(oxAttr::getClassTypeSafe()) || !attrClass->canInstantiate()) {
        Core::oxReportWarning("oxAttrDefaultManager: %s is not a concrete attribute class",
                              attrClass ? attrClass->getName() : "(null)");
        return nullptr;
    }
    oxSmartPointer<oxAttr> attr = static_cast<oxAttr*>(attrClass->createInstance(getMemoryPool()));
    if (!attr || !attr->setUnit(unit))
        return nullptr;
    prepareDefault(attr);
    _defaults[key] = attr;
    return attr;
}

void oxVisualContextAttrDefaultManager::setVisualContext(oxVisualContext* vc)
{
    _vc = vc;
    forEachDefault([&](oxAttr* attr) { prepareDefault(attr); });
}

void oxVisualContextAttrDefaultManager::prepareDefault(oxAttr* attr)
{
    if (_vc)
        attr->refreshFromVisualContext(_vc);
}

} // namespace Kel::Attrs

#pragma once
#include <map>
#include <utility>

#include "platform/attrs/oxAttr.h"

namespace Kel::Attrs {

// The default attribute of each attribute class and unit: what stands for the class when
// nothing of it is pushed. One object per class and unit, made on first request and kept, so
// that comparing with the default is comparing addresses.
class oxAttrDefaultManager : public Core::oxObject {
    OX_CLASS(oxAttrDefaultManager, Core::oxObject)
public:
    // Null (with a warning) for a class that is not a concrete attribute class or a unit the
    // class does not have.
    oxAttr* getDefaultAttr(Core::oxMetaObject* attrClass, int unit = 0);
    template <class T>
    T* getDefaultAttr(int unit = 0)
    {
        return static_cast<T*>(getDefaultAttr(T::getClassTypeSafe(), unit));
    }
    int getDefaultCount() const { return int(_defaults.size()); }
    // Forgets every default; later requests make new ones.
    void removeAll() { _defaults.clear(); }

protected:
    oxAttrDefaultManager() = default;
    // Finishes a new default (its unit is already set).
    virtual void prepareDefault(oxAttr* attr) = 0;
    template <class F>
    void forEachDefault(F&& f) const
    {
        for (auto& entry : _defaults)
            f(entry.second.get());
    }

private:
    std::map<std::pair<const Core::oxMetaObject*, int>, oxSmartPointer<oxAttr>> _defaults;
};

// Defaults as the classes declare them.
class oxGenericAttrDefaultManager : public oxAttrDefaultManager {
    OX_CLASS(oxGenericAttrDefaultManager, oxAttrDefaultManager)
protected:
    oxGenericAttrDefaultManager() = default;
    void prepareDefault(oxAttr*) override {}
};

// Defaults that take the device's own settings where a class has them (viewport,
// projection, clear values), refreshed whenever the context is set.
class oxVisualContextAttrDefaultManager : public oxAttrDefaultManager {
    OX_CLASS(oxVisualContextAttrDefaultManager, oxAttrDefaultManager)
public:
    void setVisualContext(oxVisualContext* vc);
    oxVisualContext* getVisualContext() const { return _vc; }

protected:
    oxVisualContextAttrDefaultManager() = default;
    void prepareDefault(oxAttr* attr) override;

private:
    oxSmartPointer<oxVisualContext> _vc;
};

} // namespace Kel::Attrs

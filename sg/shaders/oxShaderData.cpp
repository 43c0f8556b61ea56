#include "sg/shaders/oxShaderData.h"

#include "sg/shaders/oxInterpretedShaderData.h"

namespace Kel::Sg {

void oxShaderData::arkRegisterInitialize(oxFields<oxShaderData>& f)
{
    f.add(OX_FIELD(attrPushLists)).constructWithOwner();
    f.add(OX_FIELD(attrPopLists)).constructWithOwner();
    f.add(OX_FIELD(dataPumps));
    f.add(OX_FIELD(childLists)).constructWithOwner();
}

bool oxShaderData::checkPass(int pass, const char* operation) const
{
    if (pass >= 0 && pass < getPassCount())
        return true;
    oxReportWarning("oxShaderData::%s: pass %d outside the %d passes", operation, pass, getPassCount());
    return false;
}

void oxShaderData::setPassCount(int n)
{
    if (n < 0 || !_attrPushLists || !_attrPopLists || !_childLists) {
        oxReportWarning("oxShaderData::setPassCount: %d passes refused", n);
        return;
    }
    const int old = _childLists->getCount();
    _attrPushLists->setCount(n);
    _attrPopLists->setCount(n);
    _childLists->setCount(n);
    for (int p = old; p < n; ++p)
        _childLists->set(p, nullptr);
}

void oxShaderData::appendPass(oxAttrList* push, oxAttrList* pop, oxNodeList* children)
{
    if (!_attrPushLists || !_attrPopLists || !_childLists)
        return;
    _attrPushLists->append(push);
    _attrPopLists->append(pop);
    _childLists->append(children);
}

void oxShaderData::removeAll()
{
    if (_attrPushLists)
        _attrPushLists->removeAll();
    if (_attrPopLists)
        _attrPopLists->removeAll();
    if (_childLists)
        _childLists->removeAll();
    _dataPumps = nullptr;
}

oxAttrList* oxShaderData::getPushList(int pass) const
{
    return checkPass(pass, "getPushList") ? _attrPushLists->get(pass) : nullptr;
}

bool oxShaderData::setPushList(int pass, oxAttrList* list)
{
    return checkPass(pass, "setPushList") && _attrPushLists->set(pass, list);
}

oxAttrList* oxShaderData::getPopList(int pass) const
{
    return checkPass(pass, "getPopList") && pass < _attrPopLists->getCount() ? _attrPopLists->get(pass) : nullptr;
}

bool oxShaderData::setPopList(int pass, oxAttrList* list)
{
    return checkPass(pass, "setPopList") && _attrPopLists->set(pass, list);
}

oxNodeList* oxShaderData::getChildList(int pass) const
{
    return checkPass(pass, "getChildList") && pass < _childLists->getCount() ? _childLists->get(pass) : nullptr;
}

bool oxShaderData::setChildList(int pass, oxNodeList* list)
{
    return checkPass(pass, "setChildList") && _childLists->set(pass, list);
}

void oxShaderData::postFileRead()
{
    oxObject::postFileRead();
    if (!_attrPushLists || !_childLists || _childLists->getCount() == _attrPushLists->getCount())
        return;
    _childLists->setCount(_attrPushLists->getCount());
    for (int p = 0; p < _childLists->getCount(); ++p)
        _childLists->set(p, nullptr);
}

void oxTransientShaderData::arkRegisterInitialize(oxFields<oxTransientShaderData>& f)
{
    f.redeclare<oxSmartPointer<oxAttrListList>>(&k_attrPushLists, "_attrPushLists").notPersistent();
    f.redeclare<oxSmartPointer<oxAttrListList>>(&k_attrPopLists, "_attrPopLists").notPersistent();
    f.redeclare<oxSmartPointer<oxDataPumpInfo>>(&k_dataPumps, "_dataPumps").notPersistent();
    f.redeclare<oxSmartPointer<oxNodeListList>>(&k_childLists, "_childLists").notPersistent();
}

void oxInterpretedShaderData::arkRegisterInitialize(oxFields<oxInterpretedShaderData>& f)
{
    f.add(OX_FIELD(factory));
    f.add(OX_FIELD(objectMappings)).constructWithOwner();
}

void oxInterpretedShaderData::setFactory(oxShaderFactory* factory)
{
    _factory = factory;
}

} // namespace Kel::Sg

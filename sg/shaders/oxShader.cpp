#include "sg/shaders/oxShader.h"

#include <cstring>

namespace Kel::Sg {

void oxShader::arkRegisterInitialize(oxFields<oxShader>& f)
{
    f.add(OX_FIELD(attrLists)).constructWithOwner();
    f.add(OX_FIELD(defaultPass)).setDefault(-1);
    f.add(OX_FIELD(passInherit)).setDefault(false);
    f.add(OX_FIELD(transformList)).constructWithOwner();
    f.add(OX_FIELD(mvmList)).constructWithOwner();
    f.add(OX_FIELD(passMask)).constructWithOwner();
    f.add(OX_FIELD(childMode)).setDefault(ONE_PER_PASS);
}

void oxShader::userInstantiate(bool forFileRead)
{
    oxGroup::userInstantiate(forFileRead);
    if (!forFileRead && _passMask)
        _passMask->setAll();
}

bool oxShader::checkPass(int pass, const char* operation) const
{
    if (pass >= 0 && pass < getPassCount())
        return true;
    oxReportWarning("oxShader::%s: pass %d outside the %d passes of \"%s\"", operation, pass, getPassCount(),
                    getName().c_str());
    return false;
}

void oxShader::setPassCount(int n)
{
    if (n < 0 || !_attrLists || !_transformList || !_mvmList || !_passMask) {
        oxReportWarning("oxShader::setPassCount: %d passes refused", n);
        return;
    }
    const int old = _attrLists->getCount();
    _attrLists->setCount(n);
    for (int p = old; p < n; ++p)
        _attrLists->set(p, oxAttrList::_instantiateFromPool(getMemoryPool()));
    _transformList->setCount(n);
    _mvmList->setCount(n);
    _passMask->setBitCount(unsigned(n));
    for (int p = 0; p < n; ++p) {
        oxMatrix44f zero;
        std::memset(zero.m, 0, sizeof zero.m);
        _transformList->set(p, zero);
        _mvmList->set(p, nullptr);
    }
    _passMask->setAll();
}

void oxShader::removeAllPasses()
{
    if (_attrLists)
        _attrLists->removeAll();
    if (_transformList)
        _transformList->setCount(0);
}

bool oxShader::appendAttr(int pass, oxAttr* attr)
{
    if (!checkPass(pass, "appendAttr"))
        return false;
    oxAttrList* list = _attrLists->get(pass);
    if (!list) {
        list = oxAttrList::_instantiateFromPool(getMemoryPool());
        _attrLists->set(pass, list);
    }
    return list->append(attr) >= 0;
}

oxAttr* oxShader::getAttr(int pass, int index) const
{
    const oxAttrList* list = getPassAttrs(pass);
    return list && index >= 0 && index < list->getCount() ? list->get(index) : nullptr;
}

oxAttrList* oxShader::getPassAttrs(int pass)
{
    return checkPass(pass, "getPassAttrs") ? _attrLists->get(pass) : nullptr;
}

const oxAttrList* oxShader::getPassAttrs(int pass) const
{
    return checkPass(pass, "getPassAttrs") ? _attrLists->get(pass) : nullptr;
}

bool oxShader::setMatrix(int pass, const oxMatrix44f* m)
{
    if (!m || !checkPass(pass, "setMatrix") || pass >= _transformList->getCount() || pass >= _mvmList->getCount())
        return false;
    _transformList->set(pass, *m);
    if (!_mvmList->get(pass))
        _mvmList->set(pass, oxModelViewMatrixAttr::_instantiateFromPool(getMemoryPool()));
    return true;
}

const oxMatrix44f* oxShader::getMatrix(int pass) const
{
    if (!checkPass(pass, "getMatrix") || pass >= _transformList->getCount())
        return nullptr;
    return &_transformList->get(pass);
}

oxModelViewMatrixAttr* oxShader::getModelViewMatrix(int pass) const
{
    return pass >= 0 && _mvmList && pass < _mvmList->getCount() ? _mvmList->get(pass) : nullptr;
}

bool oxShader::setPassState(int pass, bool on)
{
    if (!checkPass(pass, "setPassState") || unsigned(pass) >= _passMask->getBitCount())
        return false;
    _passMask->setBit(unsigned(pass), on);
    return true;
}

bool oxShader::getPassState(int pass) const
{
    return pass >= 0 && _passMask && unsigned(pass) < _passMask->getBitCount() && _passMask->getBit(unsigned(pass));
}

void oxShader::reset()
{
    for (int p = 0; p < getPassCount(); ++p)
        if (oxAttrList* list = _attrLists->get(p))
            for (int i = 0; i < list->getCount(); ++i)
                if (oxAttr* attr = list->get(i))
                    attr->reset();
}

} // namespace Kel::Sg

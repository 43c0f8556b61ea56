#include "sg/shaders/oxShaderFactory.h"

#include "sg/shaders/oxInterpretedShaderData.h"
#include "sg/shaders/oxSimpleShader.h"

namespace Kel::Sg {

void oxShaderFactory::arkRegisterInitialize(oxFields<oxShaderFactory>& f)
{
    f.add(OX_FIELD(attrNames)).constructWithOwner();
    f.add(OX_FIELD(attrTypes)).constructWithOwner();
    f.add(OX_FIELD(fileCachingMode)).enumeration(&getFILE_CACHING_MODEMetaEnum).setDefault(NO_CACHING);
}

bool oxShaderFactory::configureShader(oxSimpleShader* shader, oxInterpretedShaderData*, oxCapabilityManager*)
{
    oxShaderData* data = shader ? shader->getShaderData() : nullptr;
    if (!data) {
        oxReportWarning("oxShaderFactory \"%s\": no shader data to build passes in", getName().c_str());
        return false;
    }
    data->removeAll();
    // One list as both push and pop list: the pass pushes nothing and pops nothing.
    oxSmartPointer<oxAttrList> empty = oxAttrList::_instantiateFromPool(getMemoryPool());
    data->appendPass(empty, empty, nullptr);
    // An interpreted shader gets a fresh interpreted processor here, which would ask this
    // factory again if configured as it is; the processor that called this stops that.
    shader->reset();
    return true;
}

oxSmartPointer<oxStringObj> oxShaderFactory::getInterfaceParameterString(const char*)
{
    return nullptr;
}

void oxShaderFactory::setFileCachingMode(FILE_CACHING_MODE mode)
{
    if (mode == _fileCachingMode)
        return;
    _fileCachingMode = mode;
    if (mode == NO_CACHING)
        resetFileCache();
}

void oxShaderFactory::appendAttr(const char* name, const char* type)
{
    if (!name || !type || !_attrNames || !_attrTypes) {
        oxReportWarning("oxShaderFactory::appendAttr: an interface attribute needs a name and a type");
        return;
    }
    for (int i = 0; i < _attrNames->getCount(); ++i) {
        oxNamedObject* entry = _attrNames->get(i);
        if (entry && entry->getName() == name) {
            entry->setName(name);
            if (i < _attrTypes->getCount() && _attrTypes->get(i))
                _attrTypes->get(i)->setName(type);
            return;
        }
    }
    oxSmartPointer<oxNamedObject> n = oxNamedObject::_instantiateFromPool(getMemoryPool());
    n->setName(name);
    oxSmartPointer<oxNamedObject> t = oxNamedObject::_instantiateFromPool(getMemoryPool());
    t->setName(type);
    _attrNames->append(n);
    _attrTypes->append(t);
}

} // namespace Kel::Sg

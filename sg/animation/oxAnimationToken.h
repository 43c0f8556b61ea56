#pragma once
#include "sg/nodes/oxTransformSource.h"

namespace Kel::Sg {

// A transform's name and the source that should drive it.
class oxAnimationToken : public oxObject {
    OX_CLASS(oxAnimationToken, oxObject)
    OX_FIELDS(transformName, source)
public:
    void configure(const char* transformName, oxTransformSource* source)
    {
        _transformName = oxStringRef(transformName);
        _source = source;
    }
    const oxStringRef& getTransformName() const { return _transformName; }
    void setTransformName(const char* name) { _transformName = oxStringRef(name); }
    oxTransformSource* getSource() const { return _source; }
    void setSource(oxTransformSource* source) { _source = source; }

protected:
    oxAnimationToken() = default;
    static void arkRegisterInitialize(oxFields<oxAnimationToken>& f);

    oxStringRef _transformName;
    oxSmartPointer<oxTransformSource> _source;
};

OX_OBJECT_LIST(oxAnimationTokenList, oxAnimationToken)

} // namespace Kel::Sg

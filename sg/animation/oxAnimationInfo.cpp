#include "sg/animation/oxAnimationInfo.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "sg/nodes/oxTransform.h"

namespace Kel::Sg {

namespace {

// An empty entry (a list edited by hand) sorts as the empty name.
int compareNames(const oxAnimationToken* token, const char* name)
{
    return std::strcmp(token ? token->getTransformName().c_str() : "", name);
}

void patch(const oxAnimationInfo& info, oxNode* node)
{
    if (auto* transform = oxTransform::dynamicCast(node)) {
        const oxStringRef& name = transform->getName();
        const int token = name.isNull() ? -1 : info.findToken(name.c_str());
        oxAnimationToken* found = info.getToken(token);
        if (found)
            transform->setTransformSource(found->getSource());
        else if (transform->getTransformSource())
            transform->setTransformSource(nullptr);
    }
    if (auto* group = oxGroup::dynamicCast(node)) {
        const int n = group->getChildCount();
        for (int i = 0; i < n; ++i)
            patch(info, group->getChild(i));
    }
}

} // namespace

void oxAnimationInfo::arkRegisterInitialize(oxFields<oxAnimationInfo>& f)
{
    f.add(OX_FIELD(data)).constructWithOwner();
}

int oxAnimationInfo::lowerBound(const char* name) const
{
    int lo = 0, hi = getTokenCount();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (compareNames(_data->get(mid), name) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int oxAnimationInfo::addToken(const char* name, oxTransformSource* source)
{
    if (!name)
        return -1;
    oxSmartPointer<oxAnimationToken> token = oxAnimationToken::_instantiateRefFromPool(getMemoryPool());
    token->configure(name, source);
    return addToken(token);
}

int oxAnimationInfo::addToken(oxAnimationToken* token)
{
    if (!token || token->getTransformName().isNull() || !_data)
        return -1;
    const char* name = token->getTransformName().c_str();
    const int at = lowerBound(name);
    if (at < getTokenCount() && compareNames(_data->get(at), name) == 0)
        return -1;
    return _data->insert(at, token) ? at : -1;
}

oxAnimationToken* oxAnimationInfo::getToken(int index) const
{
    if (index < 0 || index >= getTokenCount())
        return nullptr;
    return _data->get(index);
}

int oxAnimationInfo::findToken(const char* name) const
{
    if (!name)
        return -1;
    const int at = lowerBound(name);
    return at < getTokenCount() && compareNames(_data->get(at), name) == 0 ? at : -1;
}

oxTransformSource* oxAnimationInfo::getSource(const char* name) const
{
    const int at = findToken(name);
    const oxAnimationToken* token = getToken(at);
    return token ? token->getSource() : nullptr;
}

oxResult oxAnimationInfo::patchAnimation(oxNode* node) const
{
    if (!node)
        return kFailure;
    patch(*this, node);
    return kSuccess;
}

void oxAnimationInfo::postFileRead()
{
    oxInfo::postFileRead();
    if (!_data)
        return;
    std::vector<oxSmartPointer<oxAnimationToken>> tokens;
    tokens.reserve(size_t(_data->getCount()));
    for (int i = 0; i < _data->getCount(); ++i)
        if (oxAnimationToken* t = _data->get(i))
            tokens.push_back(t);
    std::stable_sort(tokens.begin(), tokens.end(), [](const auto& a, const auto& b) {
        return std::strcmp(a->getTransformName().c_str(), b->getTransformName().c_str()) < 0;
    });
    _data->removeAll();
    for (const auto& t : tokens)
        _data->append(t);
}

} // namespace Kel::Sg

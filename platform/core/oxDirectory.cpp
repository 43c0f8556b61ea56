#include "platform/core/oxDirectory.h"

#include <cstring>
#include <unordered_set>

#include "platform/core/oxContentStream.h"
#include "platform/core/oxOutput.h"

namespace Kel::Core {

void oxDirectory::arkRegisterInitialize(oxFields<oxDirectory>& f)
{
    f.add(OX_FIELD(infoList)).constructWithOwner();
    f.add(OX_FIELD(sharedList)).constructWithOwner();
}

void oxDirectory::index() const
{
    if (_indexedList == _sharedList.get() && _indexedCount == getSharedCount())
        return;
    _sharedIndex.clear();
    for (int i = 0; i < getSharedCount(); ++i)
        _sharedIndex.emplace(_sharedList->getObject(i), i);
    _indexedList = _sharedList.get();
    _indexedCount = getSharedCount();
}

int oxDirectory::findShared(const oxObject* object) const
{
    index();
    auto it = _sharedIndex.find(object);
    return it == _sharedIndex.end() ? -1 : it->second;
}

oxObject* oxDirectory::getShared(int index) const
{
    return index >= 0 && index < getSharedCount() ? _sharedList->getObject(index) : nullptr;
}

int oxDirectory::addObject(oxObject* object)
{
    if (!object || object->getMetaObject() == oxMetaObject::getClassTypeSafe())
        return -1;
    if (object == this || !_sharedList) {
        oxReportWarning("a directory cannot list %s", object == this ? "itself" : "objects without its shared list");
        return -1;
    }
    index();
    // Walked in full each time: objects listed earlier may refer to new ones since.
    std::unordered_set<const oxObject*> seen{object};
    std::vector<oxObject*> queue{object};
    for (size_t i = 0; i < queue.size(); ++i) {
        if (!_sharedIndex.count(queue[i])) {
            _sharedIndex.emplace(queue[i], _sharedList->appendObject(queue[i]));
            ++_indexedCount;
        }
        oxForEachReference(queue[i], [&](oxObject* target, bool) {
            if (target != this && target->getMetaObject() != oxMetaObject::getClassTypeSafe() &&
                seen.insert(target).second)
                queue.push_back(target);
        });
    }
    return _sharedIndex[object];
}

int oxDirectory::appendInfo(oxInfo* info)
{
    if (!info || !_infoList || addObject(info) < 0)
        return -1;
    int i = _infoList->find(info);
    return i >= 0 ? i : _infoList->append(info);
}

oxResult oxDirectory::removeInfo(oxInfo* info)
{
    int i = _infoList && info ? _infoList->find(info) : -1;
    return i >= 0 && _infoList->remove(i) ? kSuccess : kFailure;
}

oxInfo* oxDirectory::getInfo(int index) const
{
    return index >= 0 && index < getInfoCount() ? _infoList->get(index) : nullptr;
}

oxInfo* oxDirectory::getInfoByType(const oxMetaObject* type, const char* name, int index) const
{
    for (int i = 0; i < getInfoCount() && index >= 0; ++i) {
        oxInfo* info = _infoList->get(i);
        if (!info || (type && !info->isOfType(type)))
            continue;
        if (name && (info->getName().isNull() || std::strcmp(info->getName().c_str(), name) != 0))
            continue;
        if (index-- == 0)
            return info;
    }
    return nullptr;
}

void oxDirectory::userResetFields(bool forFileRead)
{
    oxObject::userResetFields(forFileRead);
    _indexedList = nullptr;
}

void oxDirectory::userCopyShallow(const oxObject* source)
{
    oxObject::userCopyShallow(source);
    _indexedList = nullptr;
}

void oxDirectory::userCopyDeep(const oxObject* source)
{
    oxObject::userCopyDeep(source);
    _indexedList = nullptr;
}

} // namespace Kel::Core

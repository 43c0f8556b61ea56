#pragma once
#include <unordered_map>

#include "platform/core/oxNamedObject.h"
#include "platform/core/oxObjectList.h"

namespace Kel::Core {

OX_OBJECT_LIST(oxInfoList, oxInfo)

// What a scene file holds as a whole: its infos (scene information, animation databases,
// shader information), which a program looks up by class and name, and every object they
// use, listed once (the shared objects), so that objects referred to only by plain
// pointers live as long as the directory. A directory is stored like any other root
// (oxOXBWriter); oxOXBReader::readDirectory and oxResource read one.
class oxDirectory : public oxObject {
    OX_CLASS(oxDirectory, oxObject)
    OX_FIELDS(infoList, sharedList)
public:
    // Lists `object` and every object it refers to, each once, in the order found; returns
    // the object's index among the shared objects. Class descriptions are not listed, nor
    // the directory itself (-1 with a warning).
    int addObject(oxObject* object);
    // Lists the info (addObject) and appends it to the infos unless it is there already;
    // its index among the infos, or -1 for null.
    int appendInfo(oxInfo* info);
    // Takes the info out of the infos; it stays shared, since other objects may use it.
    oxResult removeInfo(oxInfo* info);

    const oxObjectList* getShared() const { return _sharedList; }
    oxObject* getShared(int index) const;
    int getSharedCount() const { return _sharedList ? _sharedList->getCount() : 0; }
    // Index among the shared objects, or -1.
    int findShared(const oxObject* object) const;

    const oxInfoList* getInfoList() const { return _infoList; }
    int getInfoCount() const { return _infoList ? _infoList->getCount() : 0; }
    oxInfo* getInfo(int index) const;
    // The index-th info (from 0) of class `type` or a class derived from it (null: any class)
    // named exactly `name` (null: any name); null when there are fewer.
    oxInfo* getInfoByType(const oxMetaObject* type, const char* name = nullptr, int index = 0) const;

    void userResetFields(bool forFileRead) override;
    void userCopyShallow(const oxObject* source) override;
    void userCopyDeep(const oxObject* source) override;

protected:
    oxDirectory() = default;
    static void arkRegisterInitialize(oxFields<oxDirectory>& f);
    // Brings the index of the shared objects up to date with the list.
    void index() const;

    oxSmartPointer<oxInfoList> _infoList;
    oxSmartPointer<oxObjectList> _sharedList;

private:
    // Shared object to index, valid while the list is the one indexed and keeps its count
    // (the list changes only through the directory, the metadata or a copy, which resets it).
    mutable std::unordered_map<const oxObject*, int> _sharedIndex;
    mutable const oxObjectList* _indexedList = nullptr;
    mutable int _indexedCount = -1;
};

} // namespace Kel::Core

#pragma once
// Small scenes made of the library's classes, for the fuzzer's seed files and the mutation
// tests: a graph with sharing, instancing, names, bounds and user properties, and a
// directory that also holds the core containers.
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "platform/core/oxCoreLibrary.h"
#include "platform/gfx/OXGfx.h"
#include "sg/OXSg.h"

namespace oxbsamples {
using namespace Kel::Core;
using namespace Kel::Sg;

// Every class of the libraries, so that any of them may appear in a file.
inline void registerLibraries()
{
    Kel::libOXCore_arkRegister();
    Kel::libOXMath_arkRegister();
    Kel::libOXUtils_arkRegister();
    Kel::libOXGfx_arkRegister();
    Kel::libOXAttrs_arkRegister();
    Kel::Sg::oxArkRegisterForOXBFiles();
    Kel::libOXSg_arkRegister();
}

inline oxSmartPointer<oxGroup> sceneGraph()
{
    oxSmartPointer<oxGroup> root = oxGroup::_instantiate();
    root->setName("root");
    oxSmartPointer<oxSphere> sphere = oxSphere::_instantiate();
    sphere->set(oxVec3f(0, 1, 0), 2.5f);
    root->setBound(sphere);

    oxSmartPointer<oxAABox> box = oxAABox::_instantiate();
    box->set(oxVec3f(-1, -1, -1), oxVec3f(1, 1, 1));
    oxSmartPointer<oxNode> leaf = oxNode::_instantiate();
    leaf->setName("leaf");
    leaf->setFlags(oxNode::IS_COLLIDABLE);
    for (const char* name : {"left", "right"}) {
        oxSmartPointer<oxGroup> g = oxGroup::_instantiate();
        g->setName(name);
        g->setBound(box);
        g->appendChild(leaf);
        root->appendChild(g);
    }
    root->appendChild(leaf);
    root->appendChild(leaf);

    oxSmartPointer<oxSimpleUserInfo> info = oxSimpleUserInfo::_instantiate();
    oxSmartPointer<oxProperty> property = oxProperty::_instantiate();
    oxSmartPointer<oxStringKey> key = oxStringKey::_instantiate();
    oxSmartPointer<oxStringValue> value = oxStringValue::_instantiate();
    key->setValue("author");
    value->setValue("oxsg");
    property->setKey(key);
    property->setValue(value);
    info->insertProperty(property);
    root->appendChild(info);
    return root;
}

inline oxSmartPointer<oxDirectory> directoryScene()
{
    oxSmartPointer<oxDirectory> dir = oxDirectory::_instantiate();
    oxSmartPointer<oxInfo> info = oxInfo::_instantiate();
    info->setName("scene");
    dir->appendInfo(info);
    dir->addObject(sceneGraph());

    oxSmartPointer<oxObjectStringMap> map = oxObjectStringMap::_instantiate();
    oxSmartPointer<oxStringRefList> names = oxStringRefList::_instantiate();
    names->append("first");
    names->append(oxStringRef());
    map->insert("names", names);
    oxSmartPointer<oxStringObj> text = oxStringObj::_instantiate();
    text->set("free text");
    map->insert("text", text);
    dir->addObject(map);

    oxSmartPointer<oxVec3fList> points = oxVec3fList::_instantiate();
    points->append(oxVec3f(1, 2, 3));
    points->append(oxVec3f(4, 5, 6));
    dir->addObject(points);
    oxSmartPointer<oxBitMask> mask = oxBitMask::_instantiate();
    mask->setBitCount(40);
    mask->setBit(3);
    mask->setBit(39);
    dir->addObject(mask);

    oxSmartPointer<oxObjectPool> pool = oxObjectPool::_instantiate();
    pool->setObjectMeta(oxNode::getClassTypeSafe());
    pool->setCapabilityIncrease(2);
    pool->allocate();
    dir->addObject(pool);
    oxSmartPointer<oxMatrixObject> matrix = oxMatrixObject::_instantiate();
    matrix->getMatrix().setTranslation(oxVec3f(7, 8, 9));
    dir->addObject(matrix);
    return dir;
}

inline std::vector<oxSmartPointer<oxObject>> all()
{
    return {sceneGraph().get(), directoryScene().get(), oxNode::_instantiate()};
}

} // namespace oxbsamples

// The libraries' registration tables list their classes in no particular order; what keeps
// that safe is that a class always registers its parent before itself.
#include <gtest/gtest.h>

#include <unordered_map>

#include "platform/attrs/OXAttrs.h"
#include "sg/OXSg.h"

using namespace Kel::Sg;

namespace {

TEST(RegistrationOrder, EveryClassOfTheLibrariesComesAfterItsParent)
{
    Kel::libOXAttrs_arkRegister();
    Kel::libOXSg_arkRegister();
    const int n = oxMetaObject::getRegisteredCount();
    std::unordered_map<const oxMetaObject*, int> position;
    for (int i = 0; i < n; ++i)
        position[oxMetaObject::getRegistered(i)] = i;
    for (const char* name : {"oxStateAttr", "oxBlendStateAttr", "oxDisplayListAttr", "oxGeometry", "oxDOFCamera",
                             "oxCommonTraversal", "oxRecordingVisualContext"})
        EXPECT_TRUE(oxMetaObject::findType(name)) << name << " is registered by its library";
    for (int i = 0; i < n; ++i) {
        const oxMetaObject* cls = oxMetaObject::getRegistered(i);
        if (const oxMetaObject* parent = cls->getParent()) {
            ASSERT_TRUE(position.count(parent)) << cls->getName() << "'s parent is not registered";
            EXPECT_LT(position[parent], i) << cls->getName() << " registered before " << parent->getName();
        }
    }
}

} // namespace

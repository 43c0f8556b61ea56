#include <gtest/gtest.h>

#include <string>

#include "platform/attrs/OXAttrs.h"
#include "platform/core/OXCore.h"
#include "platform/gfx/oxRecordingVisualContext.h"

using namespace Kel;
using namespace Kel::Core;
using namespace Kel::Attrs;

namespace {
std::string property(const oxDriverDatabase& db, const char* name, int kind)
{
    int i = db.findProperty(name);
    if (i < 0)
        return "(unset)";
    if (db.getPropertyKind(i) != kind)
        return "(kind " + std::to_string(db.getPropertyKind(i)) + ")";
    return db.getPropertyValue(i);
}
} // namespace

TEST(CapabilityManager, EntersTheDeviceIntoADriverDatabase)
{
    oxSmartPointer<oxGenericCapabilityManager> generic = oxGenericCapabilityManager::_instantiateRef();
    generic->setCapability(Gfx::OX_GFX_CAP_TEXTURE_UNITS, 2);
    generic->setCapability(Gfx::OX_GFX_CAP_RENDER_TO_TEXTURE, 0);
    generic->setCapability(Gfx::OX_GFX_CAP_CUBE_MAPS, 1);

    oxSmartPointer<oxDriverDatabase> db = oxDriverDatabase::_instantiateRef();
    db->setIntProperty("quality", 3);
    db->setIntProperty("textureUnits", 99);
    generic->enterProperties(db.get());

    EXPECT_EQ(property(*db, "textureUnits", oxDriverDatabase::kInt), "2");
    EXPECT_EQ(property(*db, "maxLights", oxDriverDatabase::kInt),
              std::to_string(generic->getCapability(Gfx::OX_GFX_CAP_MAX_LIGHTS)));
    EXPECT_EQ(property(*db, "renderToTexture", oxDriverDatabase::kBool), "false");
    EXPECT_EQ(property(*db, "cubeMaps", oxDriverDatabase::kBool), "true");
    EXPECT_EQ(property(*db, "renderer", oxDriverDatabase::kString), "generic");
    EXPECT_EQ(property(*db, "quality", oxDriverDatabase::kInt), "3");
    // Every capability, the renderer and the caller's own property.
    EXPECT_EQ(db->getPropertyCount(), Gfx::kCapabilityCount + 2);
    for (int i = 0; i < Gfx::kCapabilityCount; ++i)
        EXPECT_GE(db->findProperty(oxCapabilityManager::getPropertyName(i)), 0) << i;
    EXPECT_EQ(oxCapabilityManager::getPropertyName(Gfx::kCapabilityCount), nullptr);

    // Rules see them.
    ASSERT_TRUE(db->loadFromMemory("when textureUnits >= 2 and not renderToTexture and renderer == \"Generic\"\n"
                                   " technique = twoUnits\nend\n",
                                   "rules"));
    ASSERT_EQ(db->evaluate().size(), 1u);
    EXPECT_EQ(db->evaluate()[0].second, "twoUnits");
    generic->setCapability(Gfx::OX_GFX_CAP_TEXTURE_UNITS, 1);
    generic->enterProperties(db.get());
    EXPECT_TRUE(db->evaluate().empty());

    generic->enterProperties(nullptr);
}

TEST(CapabilityManager, AVisualContextManagerNamesItsDevice)
{
    oxSmartPointer<oxVisualContextCapabilityManager> m = oxVisualContextCapabilityManager::_instantiateRef();
    oxSmartPointer<oxDriverDatabase> db = oxDriverDatabase::_instantiateRef();
    m->enterProperties(db.get());
    EXPECT_EQ(property(*db, "renderer", oxDriverDatabase::kString), "generic");
    EXPECT_EQ(property(*db, "textureUnits", oxDriverDatabase::kInt), "0");

    oxSmartPointer<Gfx::oxRecordingVisualContext> vc = Gfx::oxRecordingVisualContext::_instantiateRef();
    vc->setCapability(Gfx::OX_GFX_CAP_TEXTURE_UNITS, 6);
    m->setVisualContext(vc.get());
    m->enterProperties(db.get());
    EXPECT_EQ(property(*db, "renderer", oxDriverDatabase::kString), "oxRecordingVisualContext");
    EXPECT_EQ(property(*db, "textureUnits", oxDriverDatabase::kInt), "6");
}

// oxsg shaders: the shader description files found, the factory each makes and its interface.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/oxCoreLibrary.h"
#include "sg/OXSg.h"
#include "tools/oxsg/oxsgCommand.h"
#include "tools/oxsg/sceneInput.h"

namespace {

using namespace Kel::Core;
using namespace Kel::Sg;

bool endsWith(const std::string& text, const char* end)
{
    const size_t n = std::strlen(end);
    return text.size() >= n && text.compare(text.size() - n, n, end) == 0;
}

void printFactory(oxShaderFactory* factory)
{
    auto* ini = oxIniShaderFactory::dynamicCast(factory);
    std::printf("%s", factory->getName().c_str());
    if (ini && ini->getImplementationName())
        std::printf("  (%s)", ini->getImplementationName());
    std::printf("\n");
    for (int i = 0; i < factory->getAttrNames()->getCount(); ++i)
        std::printf("  attr %s: %s\n", factory->getAttrNames()->get(i)->getName().c_str(),
                    factory->getAttrTypes()->get(i)->getName().c_str());
    if (!ini || !ini->getInterface())
        return;
    // The interface's other keys are its free parameters.
    const oxRegistry* face = ini->getInterface();
    const int section = ini->getInterfaceSection();
    for (int k = 0; k < face->getKeyCount(section); ++k) {
        const std::string key = face->getKey(section, k);
        std::string value;
        if (key == "attrs" || endsWith(key, ".type") || !face->getValue(section, key, value))
            continue;
        std::printf("  %s = %s\n", key.c_str(), value.c_str());
    }
}

int runShaders(int argc, char** argv)
{
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fprintf(stderr, "oxsg shaders: usage: oxsg shaders [FOLDER]\n");
        return 2;
    }
    oxsg::WarningScope warnings;
    Kel::libOXCore_arkRegister();
    Kel::Sg::oxArkRegisterForOXBFiles();
    if (argc == 2) {
        oxRegistry::getGlobal().setValue(oxRegistry::kSectionShaders, "shaderFilePath", argv[1]);
        oxIniShaderManager::resolveShaderFolder();
    }
    oxFolder* folder = oxIniShaderManager::getShaderFolder();
    if (!folder) {
        std::fprintf(stderr, "oxsg shaders: no shader folder (give one, or set \"shaderFilePath\" in the "
                             "\"Shaders\" section of the registry)\n");
        return 1;
    }
    std::printf("shader folder: %s\n", folder->getFolderName());
    oxIniShaderManager::fullyPopulateFactoryList();
    oxShaderInfo* info = oxShaderInfo::getSystemShaderInfo();
    oxShaderFactoryList* factories = info ? info->getFactoryList() : nullptr;
    for (int i = 0; factories && i < factories->getCount(); ++i)
        printFactory(factories->get(i));
    for (const std::string& w : oxsg::WarningScope::get())
        std::fprintf(stderr, "oxsg shaders: %s\n", w.c_str());
    return 0;
}

} // namespace

OXSG_COMMAND(shaders, "shaders [FOLDER]", "list the shader description files found and their interfaces", runShaders)

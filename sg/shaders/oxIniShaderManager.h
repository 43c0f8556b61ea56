#pragma once
#include <string>

#include "platform/core/oxFolder.h"
#include "platform/core/oxStrings.h"
#include "sg/shaders/oxShaderInfo.h"

namespace Kel::Sg {

using Core::oxFolder;

// Finds the shader folder and lists a factory for every description file in it.
class oxIniShaderManager : public oxObject {
    OX_CLASS(oxIniShaderManager, oxObject)
public:
    static void arkRegisterUser();

    static oxFolder* getShaderFolder();
    // From the registry's "Shaders" "shaderFilePath", else the first folder named "shaders"
    // in the working directory, the installation folder or the application's folder.
    static void resolveShaderFolder();
    // The entry of `folder` named "shaders" in any letter case, as a path; empty when none.
    static std::string findShaderPath(const char* folder);
    // The path of a readable file of the shader folder; empty when there is none.
    static std::string getShaderFilePath(const char* name);
    // A factory for each file of the registry's "implementations", or else for each ".qsd"
    // file of the shader folder.
    static void fullyPopulateFactoryList();
    // A file listed later replaces a listed factory of the same name.
    static void registerImplementations(oxShaderInfo* info, oxStringRefList* list);

protected:
    oxIniShaderManager() = default;
};

} // namespace Kel::Sg

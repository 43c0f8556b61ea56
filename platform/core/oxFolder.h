#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/oxObject.h"
#include "platform/core/oxStringRef.h"

namespace Kel::Core {

// A folder on disk by name, that forms the paths of the files in it and lists what it
// holds. Nothing is read until asked; a folder that does not exist lists nothing.
class oxFolder : public oxObject {
    OX_CLASS(oxFolder, oxObject)
    OX_FIELDS(folderName)
public:
    // Trailing separators are dropped ("/" stays "/"); null or "" means no folder.
    void setFolderName(const char* name);
    // Null when no folder is set.
    const char* getFolderName() const { return _folderName.get(); }

    // The path of `name` inside the folder: "folder/name", or `name` itself when it is
    // absolute or no folder is set. Empty for a null or empty name.
    std::string appendRelativePath(const char* name) const;

    // The names of the folder's entries (files and folders, without "." and ".."), sorted.
    // With an extension (".qsd"), only the names that end in it, compared without regard to
    // case. Empty when the folder cannot be read.
    std::vector<std::string> listEntries(const char* extension = nullptr) const;
    // The entry named `name` without regard to case, in its own spelling; empty when none.
    // An entry of exactly that spelling wins over others that differ only in case.
    std::string findEntryNoCase(std::string_view name) const;
    bool exists() const;

protected:
    oxFolder() = default;
    static void arkRegisterInitialize(oxFields<oxFolder>& f);
    oxStringRef _folderName;
};

// Where the program and the library's installation lie.
class oxArkCore {
public:
    static constexpr const char* kHomeVariable = "OXSG_HOME";
    // The folder that holds the running executable; "." when it cannot be found.
    static std::string getApplicationPath();
    // The installation folder: the environment variable OXSG_HOME when it is set and not
    // empty, otherwise the folder above the application's (an executable in PREFIX/bin
    // finds PREFIX).
    static std::string getVelmarPath();
};

} // namespace Kel::Core

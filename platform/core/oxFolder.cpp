#include "platform/core/oxFolder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <strings.h>

#include "platform/core/oxMetaObject.h"

namespace Kel::Core {

namespace {
bool endsWithNoCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() &&
           strncasecmp(text.data() + text.size() - suffix.size(), suffix.data(), suffix.size()) == 0;
}

// The folder part of a path: "a/b" for "a/b/c", "/" for "/c", "." for "c".
std::string parentOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
} // namespace

void oxFolder::arkRegisterInitialize(oxFields<oxFolder>& f)
{
    f.add(OX_FIELD(folderName));
}

void oxFolder::setFolderName(const char* name)
{
    std::string_view n = name ? name : "";
    while (n.size() > 1 && n.back() == '/')
        n.remove_suffix(1);
    _folderName = n.empty() ? oxStringRef() : oxStringRef(n);
}

std::string oxFolder::appendRelativePath(const char* name) const
{
    if (!name || !*name)
        return {};
    if (name[0] == '/' || _folderName.isNull())
        return name;
    std::string path(_folderName.view());
    if (path.back() != '/')
        path += '/';
    return path + name;
}

std::vector<std::string> oxFolder::listEntries(const char* extension) const
{
    std::vector<std::string> names;
    if (_folderName.isNull())
        return names;
    DIR* dir = ::opendir(_folderName.c_str());
    if (!dir)
        return names;
    while (dirent* e = ::readdir(dir)) {
        std::string_view n = e->d_name;
        if (n == "." || n == "..")
            continue;
        if (extension && !endsWithNoCase(n, extension))
            continue;
        names.emplace_back(n);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string oxFolder::findEntryNoCase(std::string_view name) const
{
    std::string found;
    if (name.empty())
        return found;
    for (const std::string& entry : listEntries())
        if (entry.size() == name.size() && strncasecmp(entry.data(), name.data(), name.size()) == 0) {
            if (entry == name)
                return entry;
            if (found.empty())
                found = entry;
        }
    return found;
}

bool oxFolder::exists() const
{
    struct stat st;
    return !_folderName.isNull() && ::stat(_folderName.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string oxArkCore::getApplicationPath()
{
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0 || size_t(n) >= sizeof buffer - 1)
        return ".";
    return parentOf(std::string(buffer, size_t(n)));
}

std::string oxArkCore::getVelmarPath()
{
    if (const char* home = std::getenv(kHomeVariable); home && *home)
        return home;
    return parentOf(getApplicationPath());
}

} // namespace Kel::Core

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/core/OXCore.h"

using namespace Kel::Core;

namespace {
using Strings = std::vector<std::string>;

void touch(const std::string& path)
{
    if (FILE* f = std::fopen(path.c_str(), "w"))
        std::fclose(f);
}
} // namespace

TEST(Folder, FormsPathsFromItsName)
{
    oxSmartPointer<oxFolder> folder = oxFolder::_instantiateRef();
    EXPECT_EQ(folder->getFolderName(), nullptr);
    EXPECT_EQ(folder->appendRelativePath("a.qsd"), "a.qsd");

    folder->setFolderName("/data/shaders//");
    EXPECT_STREQ(folder->getFolderName(), "/data/shaders");
    EXPECT_EQ(folder->appendRelativePath("bump.qsd"), "/data/shaders/bump.qsd");
    EXPECT_EQ(folder->appendRelativePath("sub/x.txt"), "/data/shaders/sub/x.txt");
    EXPECT_EQ(folder->appendRelativePath("/abs/y.txt"), "/abs/y.txt");
    EXPECT_EQ(folder->appendRelativePath(""), "");
    EXPECT_EQ(folder->appendRelativePath(nullptr), "");

    folder->setFolderName("/");
    EXPECT_EQ(folder->appendRelativePath("etc"), "/etc");
    folder->setFolderName("");
    EXPECT_EQ(folder->getFolderName(), nullptr);
    folder->setFolderName(nullptr);
    EXPECT_FALSE(folder->exists());
    EXPECT_TRUE(folder->listEntries().empty());

    // The name is a declared field, so copies and files carry it.
    folder->setFolderName("rel/dir");
    oxSmartPointer<oxObject> copy = folder->createCopyRef();
    ASSERT_NE(oxFolder::dynamicCast(copy.get()), nullptr);
    EXPECT_STREQ(oxFolder::dynamicCast(copy.get())->getFolderName(), "rel/dir");
    EXPECT_EQ(oxFolder::dynamicCast(copy.get())->appendRelativePath("f"), "rel/dir/f");
}

TEST(Folder, ListsEntriesAndFindsThemWithoutRegardToCase)
{
    std::string base = ::testing::TempDir() + "oxsg_folder_test_" + std::to_string(::getpid());
    ASSERT_EQ(::mkdir(base.c_str(), 0700), 0);
    ::mkdir((base + "/Shaders").c_str(), 0700);
    touch(base + "/b.QSD");
    touch(base + "/a.qsd");
    touch(base + "/notes.txt");
    touch(base + "/qsd");

    oxSmartPointer<oxFolder> folder = oxFolder::_instantiateRef();
    folder->setFolderName(base.c_str());
    EXPECT_TRUE(folder->exists());
    EXPECT_EQ(folder->listEntries(), (Strings{"Shaders", "a.qsd", "b.QSD", "notes.txt", "qsd"}));
    EXPECT_EQ(folder->listEntries(".qsd"), (Strings{"a.qsd", "b.QSD"}));
    EXPECT_EQ(folder->findEntryNoCase("shaders"), "Shaders");
    EXPECT_EQ(folder->findEntryNoCase("SHADERS"), "Shaders");
    EXPECT_EQ(folder->findEntryNoCase("shader"), "");
    EXPECT_EQ(folder->findEntryNoCase(""), "");

    // An entry of the exact spelling wins over one that differs in case only.
    touch(base + "/shaders");
    EXPECT_EQ(folder->findEntryNoCase("shaders"), "shaders");
    EXPECT_EQ(folder->findEntryNoCase("SHADERS"), "Shaders");

    for (const char* name : {"/b.QSD", "/a.qsd", "/notes.txt", "/qsd", "/shaders"})
        std::remove((base + name).c_str());
    ::rmdir((base + "/Shaders").c_str());
    ::rmdir(base.c_str());
    EXPECT_FALSE(folder->exists());
    EXPECT_TRUE(folder->listEntries().empty());
}

TEST(Folder, InstallationPaths)
{
    // The test program lies in the build folder's tests folder.
    std::string app = oxArkCore::getApplicationPath();
    char exe[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    EXPECT_EQ(app + "/", std::string(exe).substr(0, app.size() + 1));
    EXPECT_EQ(std::string(exe).find('/', app.size() + 1), std::string::npos);

    const char* old = std::getenv(oxArkCore::kHomeVariable);
    std::string saved = old ? old : "";
    ::unsetenv(oxArkCore::kHomeVariable);
    EXPECT_EQ(oxArkCore::getVelmarPath(), app.substr(0, app.rfind('/')));
    ::setenv(oxArkCore::kHomeVariable, "/opt/oxsg", 1);
    EXPECT_EQ(oxArkCore::getVelmarPath(), "/opt/oxsg");
    ::setenv(oxArkCore::kHomeVariable, "", 1);
    EXPECT_EQ(oxArkCore::getVelmarPath(), app.substr(0, app.rfind('/')));
    if (old)
        ::setenv(oxArkCore::kHomeVariable, saved.c_str(), 1);
    else
        ::unsetenv(oxArkCore::kHomeVariable);
}

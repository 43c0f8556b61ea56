// Scene files on disk: the writer replaces a file only through a new file renamed over it,
// and both sides refuse what is not a regular file before touching it.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/core/OXCore.h"
#include "platform/core/oxCoreLibrary.h"
#include "platform/core/oxFiles.h"

using namespace Kel::Core;

namespace {

std::vector<std::string>& warnings()
{
    static std::vector<std::string> list;
    return list;
}

void keep(const char* message)
{
    warnings().push_back(message);
}

class SceneFilesOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        Kel::libOXCore_arkRegister();
        char pattern[] = "/tmp/oxfiles-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        _dir = pattern;
        warnings().clear();
        _old = oxSetWarningHandler(&keep);
    }
    void TearDown() override
    {
        oxSetWarningHandler(_old);
        std::string command = "rm -rf '" + _dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    std::string path(const char* name) const { return _dir + "/" + name; }

    // Everything in the folder but . and ..
    std::set<std::string> listing() const
    {
        std::set<std::string> names;
        if (DIR* d = opendir(_dir.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.insert(e->d_name);
            closedir(d);
        }
        return names;
    }

    static std::string contents(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static oxSmartPointer<oxStringObj> text(const std::string& value)
    {
        oxSmartPointer<oxStringObj> s = oxStringObj::_instantiateRef();
        s->set(value);
        return s;
    }

    static std::string lastWarning() { return warnings().empty() ? std::string() : warnings().back(); }

    std::string _dir;
    oxWarningHandler _old = nullptr;
};

TEST_F(SceneFilesOnDisk, WriterReplacesThroughANewFileOfItsOwn)
{
    std::string scene = path("scene.oxb");
    std::ofstream(path("scene.oxb.tmp")) << "someone else's";
    ASSERT_EQ(oxOXBWriter::writeFile(scene.c_str(), text("first")), kSuccess) << lastWarning();
    EXPECT_EQ(listing(), (std::set<std::string>{"scene.oxb", "scene.oxb.tmp"})) << "nothing left beside it";
    EXPECT_EQ(contents(path("scene.oxb.tmp")), "someone else's") << "a file named like a fixed temporary survives";

    std::vector<uint8_t> expected;
    ASSERT_EQ(oxOXBWriter::writeMemory(text("first"), expected), kSuccess);
    EXPECT_EQ(contents(scene), std::string(expected.begin(), expected.end())) << "the same bytes as in memory";

    // Rewriting keeps the file's permissions; writing through a link replaces the file it
    // leads to and keeps the link.
    ASSERT_EQ(chmod(scene.c_str(), 0640), 0);
    ASSERT_EQ(symlink("scene.oxb", path("link.oxb").c_str()), 0);
    ASSERT_EQ(oxOXBWriter::writeFile(path("link.oxb").c_str(), text("second")), kSuccess) << lastWarning();
    struct stat st;
    ASSERT_EQ(lstat(path("link.oxb").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(scene.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    oxSmartPointer<oxStringObj> read = oxStringObj::dynamicCast(oxOXBReader::readObject(scene.c_str()).get());
    ASSERT_TRUE(read);
    EXPECT_STREQ(read->get(), "second");
    EXPECT_EQ(listing(), (std::set<std::string>{"scene.oxb", "scene.oxb.tmp", "link.oxb"}));
    EXPECT_TRUE(warnings().empty());
}

TEST_F(SceneFilesOnDisk, FailedWriteLeavesTheOldFileAndNoOther)
{
    std::string scene = path("scene.oxb");
    ASSERT_EQ(oxOXBWriter::writeFile(scene.c_str(), text("small")), kSuccess);
    std::string before = contents(scene);

    // A file size limit below the new file makes the write itself fail part way.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldSignal)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit low = old;
    low.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
    oxResult result = oxOXBWriter::writeFile(scene.c_str(), text(std::string(100000, 'x')));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);

    EXPECT_EQ(result, kFailure);
    ASSERT_EQ(warnings().size(), 1u);
    EXPECT_NE(lastWarning().find(scene + ": cannot write the file"), std::string::npos) << lastWarning();
    EXPECT_EQ(contents(scene), before);
    EXPECT_EQ(listing(), std::set<std::string>{"scene.oxb"}) << "the new file is removed";
}

TEST_F(SceneFilesOnDisk, WriterRefusesWhatIsNotARegularFile)
{
    ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0644), 0);
    ASSERT_EQ(symlink("nowhere", path("dangling").c_str()), 0);
    struct Case {
        const char* name;
        const char* reason;
    } cases[] = {{"folder", "it is a directory, not a regular file"},
                 {"pipe", "it is a FIFO, not a regular file"},
                 {"dangling", "its link leads nowhere"}};
    for (const Case& c : cases) {
        warnings().clear();
        EXPECT_EQ(oxOXBWriter::writeFile(path(c.name).c_str(), text("x")), kFailure) << c.name;
        ASSERT_EQ(warnings().size(), 1u) << c.name;
        EXPECT_NE(lastWarning().find(c.reason), std::string::npos) << lastWarning();
    }
    struct stat st;
    ASSERT_EQ(stat(path("folder").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    ASSERT_EQ(stat(path("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(listing(), (std::set<std::string>{"folder", "pipe", "dangling"})) << "nothing written beside them";
}

TEST_F(SceneFilesOnDisk, ReaderRefusesWhatIsNotARegularFileOrTooLarge)
{
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0644), 0);
    // Sparse: the size is there without the disk space.
    int fd = open(path("huge.oxb").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t(oxOXBReader::kMaxFileSize + 1)), 0);
    close(fd);

    struct Case {
        std::string file;
        const char* reason;
    } cases[] = {{_dir, "it is a directory, not a regular file"},
                 {path("pipe"), "it is a FIFO, not a regular file"},
                 {"/dev/zero", "it is a character device, not a regular file"},
                 {path("huge.oxb"), "its 2147483649 bytes are more than the 2147483648 this reader accepts"},
                 {path("missing.oxb"), "cannot open the file: No such file or directory"}};
    for (const Case& c : cases) {
        warnings().clear();
        oxOXBReader reader;
        EXPECT_EQ(reader.readFile(c.file.c_str()), kFailure) << c.file;
        EXPECT_EQ(reader.getError(), c.file + ": " + (c.reason[0] == 'c' ? "" : "cannot read the file: ") + c.reason);
        EXPECT_EQ(warnings(), std::vector<std::string>{reader.getError()});

        std::vector<uint8_t> bytes{1, 2, 3};
        std::string error;
        EXPECT_EQ(oxOXBReader::loadFile(c.file.c_str(), bytes, &error), kFailure);
        EXPECT_TRUE(bytes.empty());
        EXPECT_EQ(error, reader.getError());
    }
    // A link to a good file is read like the file.
    ASSERT_EQ(oxOXBWriter::writeFile(path("good.oxb").c_str(), text("fine")), kSuccess);
    ASSERT_EQ(symlink("good.oxb", path("link.oxb").c_str()), 0);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(oxOXBReader::loadFile(path("link.oxb").c_str(), bytes), kSuccess);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), contents(path("good.oxb")));
}

} // namespace

TEST(File, ReadableRegularFilesAndTheirText)
{
    std::string dir = ::testing::TempDir() + "oxsg_file_test_" + std::to_string(::getpid());
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    std::string path = dir + "/a.txt";
    {
        std::ofstream out(path, std::ios::binary);
        out << "line one\nline" << std::string("\0x", 2);
    }
    EXPECT_TRUE(oxFile::isReadable(path.c_str()));
    EXPECT_FALSE(oxFile::isReadable(dir.c_str()));
    EXPECT_FALSE(oxFile::isReadable((dir + "/missing").c_str()));
    EXPECT_FALSE(oxFile::isReadable(nullptr));
    EXPECT_FALSE(oxFile::isReadable(""));

    std::string text, error;
    ASSERT_TRUE(oxFile::readText(path.c_str(), text, error));
    EXPECT_EQ(text, std::string("line one\nline\0x", 15));
    EXPECT_FALSE(oxFile::readText(path.c_str(), text, error, 4));
    EXPECT_TRUE(text.empty());
    EXPECT_NE(error.find("a.txt"), std::string::npos);
    EXPECT_FALSE(oxFile::readText(dir.c_str(), text, error));
    EXPECT_NE(error.find("directory"), std::string::npos);

    std::remove(path.c_str());
    ::rmdir(dir.c_str());
}

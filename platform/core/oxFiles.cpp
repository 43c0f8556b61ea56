#include "platform/core/oxFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace Kel::Core {

namespace {

const char* kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

bool failWith(std::string& error, const char* path, const std::string& reason)
{
    error = std::string(path) + ": " + reason;
    return false;
}

bool failWithErrno(std::string& error, const char* path, const char* what, int code)
{
    return failWith(error, path, std::string(what) + ": " + std::strerror(code));
}

// Closes on every path out, keeping the first error that close reports.
class Descriptor {
public:
    explicit Descriptor(int fd) : _fd(fd) {}
    ~Descriptor()
    {
        if (_fd >= 0)
            ::close(_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return _fd; }
    // 0, or the errno of a failed close.
    int close()
    {
        int fd = _fd;
        _fd = -1;
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

private:
    int _fd;
};

bool writeAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size < size_t(SSIZE_MAX) ? size : size_t(SSIZE_MAX));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

// A name in `folder` that no file has yet, created empty: readers of the folder never see
// a fixed name that two writers, or an earlier crash, could have left behind.
int createUnique(const std::string& folder, const std::string& base, std::string& name)
{
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".%ld.%u.tmp", long(::getpid()), ++counter);
        name = folder + "." + base + suffix;
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

bool oxReadWholeFile(const char* path, uint64_t maxSize, std::vector<uint8_t>& bytes, std::string& error)
{
    bytes.clear();
    if (!path || !*path)
        return failWith(error, "(no file name)", "cannot open the file");
    // Without O_NONBLOCK, opening a FIFO would wait for a writer before fstat could refuse it.
    Descriptor fd(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return failWithErrno(error, path, "cannot open the file", errno);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return failWithErrno(error, path, "cannot read the file", errno);
    if (!S_ISREG(st.st_mode))
        return failWith(error, path, std::string("cannot read the file: it is ") + kindOf(st.st_mode) + ", not a regular file");
    uint64_t size = uint64_t(st.st_size);
    if (size > maxSize)
        return failWith(error, path,
                        "cannot read the file: its " + std::to_string(size) + " bytes are more than the " +
                            std::to_string(maxSize) + " this reader accepts");
    try {
        bytes.resize(size_t(size));
    } catch (const std::bad_alloc&) {
        return failWith(error, path, "cannot read the file: no memory for its " + std::to_string(size) + " bytes");
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int code = errno;
            bytes.clear();
            return failWithErrno(error, path, "cannot read the file", code);
        }
        if (n == 0)
            break; // shorter than fstat said: it shrank meanwhile, and what is there is read
        done += size_t(n);
    }
    bytes.resize(done);
    return true;
}

bool oxReplaceFile(const char* path, std::span<const std::span<const uint8_t>> parts, std::string& error)
{
    if (!path || !*path)
        return failWith(error, "(no file name)", "cannot write the file: no file name given");

    // The file to replace: the path itself, or the file its link leads to, so that the link
    // survives and its file is the one that changes.
    std::string target = path;
    struct stat existing;
    bool exists = ::lstat(path, &existing) == 0;
    if (!exists && errno != ENOENT)
        return failWithErrno(error, path, "cannot write the file", errno);
    if (exists && S_ISLNK(existing.st_mode)) {
        if (::stat(path, &existing) != 0)
            return failWithErrno(error, path, "cannot write the file: its link leads nowhere", errno);
        char* resolved = ::realpath(path, nullptr);
        if (!resolved)
            return failWithErrno(error, path, "cannot write the file", errno);
        target = resolved;
        std::free(resolved);
    }
    if (exists && !S_ISREG(existing.st_mode))
        return failWith(error, path,
                        std::string("cannot write the file: it is ") + kindOf(existing.st_mode) +
                            ", not a regular file");

    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary;
    Descriptor fd(createUnique(folder, base, temporary));
    if (fd.get() < 0)
        return failWithErrno(error, path, "cannot create a new file beside it", errno);

    int code = 0;
    if (exists && ::fchmod(fd.get(), existing.st_mode & 07777) != 0)
        code = errno;
    for (std::span<const uint8_t> part : parts)
        if (!code && !writeAll(fd.get(), part.data(), part.size()))
            code = errno;
    if (!code && ::fsync(fd.get()) != 0)
        code = errno;
    if (int closed = fd.close(); !code)
        code = closed;
    if (!code && ::rename(temporary.c_str(), target.c_str()) != 0)
        code = errno;
    if (code) {
        ::unlink(temporary.c_str());
        return failWithErrno(error, path, "cannot write the file", code);
    }
    return true;
}

bool oxFile::isReadable(const char* path)
{
    if (!path || !*path)
        return false;
    Descriptor fd(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    return fd.get() >= 0 && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode);
}

bool oxFile::readText(const char* path, std::string& text, std::string& error, uint64_t maxSize)
{
    std::vector<uint8_t> bytes;
    text.clear();
    if (!oxReadWholeFile(path, maxSize, bytes, error))
        return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

} // namespace Kel::Core

#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace Kel::Core {

// Whole files read and written for paths that users give. Both return false with the
// reason in `error` ("PATH: ...", one line) and report nothing themselves.

// The bytes of a regular file (or of the regular file a link leads to) of at most `maxSize`
// bytes. A directory, a device, a FIFO or a socket is refused before a byte is read, and so
// is a larger file; opening never waits for a FIFO's writer.
bool oxReadWholeFile(const char* path, uint64_t maxSize, std::vector<uint8_t>& bytes, std::string& error);

// Replaces the file at `path` by the concatenation of `parts`: they are written into a new
// file with a unique name in the same folder, flushed to the disk and renamed over `path`,
// so that readers see the old file or the whole new one, and a failure at any step leaves
// the old file as it was and removes the new one. `path` may name nothing yet, a regular
// file (whose permission bits the new file takes over) or a link that leads to one (the
// file is replaced, the link kept); anything else is refused before anything is written.
bool oxReplaceFile(const char* path, std::span<const std::span<const uint8_t>> parts, std::string& error);

// Files that configuration names (description files, the texts they refer to).
class oxFile {
public:
    // Whether `path` is a regular file (or a link to one) that opens for reading.
    static bool isReadable(const char* path);
    // The whole file as text, as oxReadWholeFile reads it: false with the reason in `error`.
    static bool readText(const char* path, std::string& text, std::string& error, uint64_t maxSize = 64u << 20);
};

} // namespace Kel::Core

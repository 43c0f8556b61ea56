#pragma once
// What the commands that read a scene share: the scene file's graphs, numbers and sizes from
// the command line, and the library's warnings kept for a one-line error.
#include <string>
#include <vector>

#include "sg/OXSg.h"

namespace oxsg {

// The largest side of a picture, in pixels: the OpenGL device's limit.
extern const int kMaxSide;

// A finite number, the whole text.
bool parseNumber(const char* text, double& out);
// WIDTHxHEIGHT, each 1 to kMaxSide.
bool parseSize(const char* text, int& width, int& height);

// Keeps the library's warnings while it lives, so that a failure is told in one line with
// its reason.
class WarningScope {
public:
    WarningScope();
    ~WarningScope();
    WarningScope(const WarningScope&) = delete;
    WarningScope& operator=(const WarningScope&) = delete;

    static const std::vector<std::string>& get();
    static std::string last();

private:
    Kel::Core::oxWarningHandler _previous;
};

// Whether `path` names a model the importer reads rather than a scene file (false when
// the importer is not built).
bool isImportable(const char* path);

// The graphs of a scene file under one group, or an imported model; null with `error` set when it holds none.
// Warnings of the read are notes on standard error, under the command's name.
Kel::Core::oxSmartPointer<Kel::Sg::oxNode> readScene(const char* command, const char* path, std::string& error);

} // namespace oxsg

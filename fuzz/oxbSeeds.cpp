// Writes the fuzzer's seed files: small valid scene files made of the library's classes.
#include <cstdio>
#include <string>

#include "fuzz/oxbSampleScenes.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: oxb_seeds FOLDER\n");
        return 2;
    }
    oxbsamples::registerLibraries();
    int n = 0;
    for (const auto& root : oxbsamples::all()) {
        std::string path = std::string(argv[1]) + "/seed" + std::to_string(n++) + ".oxb";
        if (Kel::Core::oxOXBWriter::writeFile(path.c_str(), root) != Kel::kSuccess)
            return 1;
    }
    return 0;
}

#pragma once
// Models in the formats Assimp reads (glTF 2.0, OBJ, FBX, Collada, 3DS, PLY, STL, BVH ...)
// as scene graphs. A library of its own beside OXSg, so that the scene graph needs nothing
// of Assimp.
#include <string>

#include "sg/OXSg.h"

namespace Kel::Sg {

// One import: the file's node hierarchy as named transforms (keyframed by the file's first
// animation), its meshes as geometry with their materials and textures, cameras and lights,
// under a group named after the file, with bounds made.
class oxImporter {
public:
    // Whether Assimp reads files named so (by the extension).
    static bool canImport(const char* path);

    // The graph, or null with getError() naming the file and the reason. Missing textures
    // and what the graph cannot hold are warnings (oxReportWarning); the rest still draws.
    Core::oxSmartPointer<oxNode> importFile(const char* path);
    const std::string& getError() const { return _error; }

    // What the last import made.
    int getMeshCount() const { return _meshes; }
    int getTextureCount() const { return _textures; }
    int getSequenceCount() const { return _sequences; }
    // Where the last import's time went: Assimp reading the file, and our making the graph
    // (bounds included), in seconds.
    double getReadSeconds() const { return _readSeconds; }
    double getConvertSeconds() const { return _convertSeconds; }

private:
    std::string _error;
    double _readSeconds = 0;
    double _convertSeconds = 0;
    int _meshes = 0;
    int _textures = 0;
    int _sequences = 0;
};

} // namespace Kel::Sg

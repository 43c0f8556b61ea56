#pragma once
#include "platform/attrs/oxTextureAttr.h"
#include "sg/nodes/oxGraphPath.h"

namespace Kel::Sg {

using Attrs::oxTextureList;

// What a scene file says about the scene as a whole: its root (and further roots), the
// textures it uses, a path to each of its cameras, the time span of its animation and its
// up direction. Programs find it in the file's directory by class and name.
class oxSceneInfo : public oxInfo {
    OX_CLASS(oxSceneInfo, oxInfo)
    OX_FIELDS(sceneGraph, textures, cameras, animationBegin, animationEnd, upVector, sceneGraphList)
public:
    oxNode* getSceneGraph() const { return _sceneGraph; }
    void setSceneGraph(oxNode* root) { _sceneGraph = root; }
    oxTextureList* getTextures() const { return _textures; }
    void setTextures(oxTextureList* textures) { _textures = textures; }
    oxGraphPathList* getCameras() const { return _cameras; }
    int64_t getAnimationBegin() const { return _animationBegin; }
    void setAnimationBegin(int64_t t) { _animationBegin = t; }
    int64_t getAnimationEnd() const { return _animationEnd; }
    void setAnimationEnd(int64_t t) { _animationEnd = t; }
    const oxVec3f& getUpVector() const { return _upVector; }
    void setUpVector(const oxVec3f& up) { _upVector = up; }
    oxNodeList* getSceneGraphList() const { return _sceneGraphList; }

    // The scene graph for the info's own name (compared byte for byte), otherwise whatever
    // the info's base finds.
    oxObject* resolve(const char* name) override;

    // The span covered by the transform sources the scene graph uses, never starting after
    // 0 nor ending before 0.
    void updateAnimationTime();
    // The same over the objects a directory lists.
    void updateAnimationTime(oxDirectory* dir);
    // A new list with one path per way each camera can be reached from the root, in
    // depth-first order.
    void updateCameraList();
    // A new list of the textures the scene graph uses, in the order they are found.
    void updateTextureList();

protected:
    oxSceneInfo() = default;
    static void arkRegisterInitialize(oxFields<oxSceneInfo>& f);
    void collectCameras(oxGraphPath* working, oxNode* node);

    oxSmartPointer<oxNode> _sceneGraph;
    oxSmartPointer<oxTextureList> _textures;
    oxSmartPointer<oxGraphPathList> _cameras;
    int64_t _animationBegin = 0;
    int64_t _animationEnd = 0;
    oxVec3f _upVector{0, 1, 0};
    oxSmartPointer<oxNodeList> _sceneGraphList;
};

} // namespace Kel::Sg

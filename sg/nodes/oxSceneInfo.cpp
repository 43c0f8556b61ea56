#include "sg/nodes/oxSceneInfo.h"

#include <algorithm>
#include <cstring>

#include "sg/animation/oxTransformSequence1_5.h"
#include "sg/nodes/oxCamera.h"
#include "sg/nodes/oxTransformSource.h"

namespace Kel::Sg {

namespace {
// A directory listing the graph and everything it uses, each once.
oxSmartPointer<oxDirectory> listObjects(oxNode* root)
{
    oxSmartPointer<oxDirectory> dir = oxDirectory::_instantiateRef();
    if (root)
        dir->addObject(root);
    return dir;
}
} // namespace

void oxSceneInfo::arkRegisterInitialize(oxFields<oxSceneInfo>& f)
{
    f.add(OX_FIELD(sceneGraph));
    f.add(OX_FIELD(textures)).constructWithOwner();
    f.add(OX_FIELD(cameras)).constructWithOwner();
    f.add(OX_FIELD(animationBegin)).setDefault(int64_t(0));
    f.add(OX_FIELD(animationEnd)).setDefault(int64_t(0));
    f.add(OX_FIELD(upVector)).setDefault(oxVec3f(0, 1, 0));
    f.add(OX_FIELD(sceneGraphList)).constructWithOwner();
}

oxObject* oxSceneInfo::resolve(const char* name)
{
    if (name && !_name.isNull() && std::strcmp(_name.c_str(), name) == 0)
        return _sceneGraph;
    return oxInfo::resolve(name);
}

void oxSceneInfo::updateAnimationTime()
{
    updateAnimationTime(listObjects(_sceneGraph));
}

void oxSceneInfo::updateAnimationTime(oxDirectory* dir)
{
    _animationBegin = 0;
    _animationEnd = 0;
    for (int i = 0; dir && i < dir->getSharedCount(); ++i) {
        auto* source = oxTransformSource::dynamicCast(dir->getShared(i));
        if (!source)
            continue;
        const int64_t first = source->getFirstFrameTime();
        int64_t last = source->getLastFrameTime();
        // A sequence's cycle may run past its last key.
        if (auto* sequence = oxTransformSequence1_5::dynamicCast(source))
            last = std::max(last, first + sequence->getDuration());
        if (first < _animationBegin)
            _animationBegin = first;
        if (last > _animationEnd)
            _animationEnd = last;
    }
}

void oxSceneInfo::collectCameras(oxGraphPath* working, oxNode* node)
{
    if (!node)
        return;
    if (auto* group = oxGroup::dynamicCast(node)) {
        const int count = group->getChildCount();
        for (int i = 0; i < count; ++i) {
            oxNode* child = group->getChild(i);
            // A node already on the way down would mean a cycle, which a graph must not
            // have; following it would never end.
            if (working->getPath()->find(child) >= 0)
                continue;
            working->pushNode(i);
            collectCameras(working, child);
            working->popNode();
        }
    }
    if (oxCamera::dynamicCast(node)) {
        oxGraphPath* path = oxGraphPath::_instantiateFromPool(getMemoryPool());
        path->configure(working);
        _cameras->append(path);
    }
}

void oxSceneInfo::updateCameraList()
{
    _cameras = oxGraphPathList::_instantiateFromPool(getMemoryPool());
    if (!_sceneGraph)
        return;
    oxSmartPointer<oxGraphPath> working = oxGraphPath::_instantiateFromPool(getMemoryPool());
    working->configure(_sceneGraph.get());
    collectCameras(working, _sceneGraph);
}

void oxSceneInfo::updateTextureList()
{
    _textures = oxTextureList::_instantiateFromPool(getMemoryPool());
    oxSmartPointer<oxDirectory> dir = listObjects(_sceneGraph);
    for (int i = 0; i < dir->getSharedCount(); ++i)
        if (auto* texture = Attrs::oxTextureAttr::dynamicCast(dir->getShared(i)))
            _textures->append(texture);
}

} // namespace Kel::Sg

#pragma once
// The generated scene of the draw-traversal benchmarks, shared by the OXSg-only program and
// the side-by-side comparison so that both measure the same graph: n leaves in blocks of
// 100 under the root, each a transform over an attribute set (one of eight textures, one
// of four materials, every fourth leaf transparent through an enabled blend state) over a
// one-triangle geometry with a unit bounding sphere.
#include "platform/attrs/OXAttrs.h"
#include "sg/OXSg.h"

namespace benchscene {

constexpr int kLeavesPerBlock = 100;
constexpr int kTextures = 8;
constexpr int kMaterials = 4;

// Where leaf i stands, in front of the eye (negative z), and what it uses.
inline Kel::Sg::oxVec3f leafPosition(int i)
{
    return Kel::Sg::oxVec3f(float(i % 97), float(i % 13), -float(i % 89) - 1);
}
inline int leafTexture(int i)
{
    return (i * 7) % kTextures;
}
inline int leafMaterial(int i)
{
    return i % kMaterials;
}
inline bool leafTransparent(int i)
{
    return i % 4 == 3;
}

// Leaves of a block lie side by side on a plane y = 0, blocks in rows of 32 tiles of 10 by
// 10 leaves one unit apart: a ground of objects for culling to choose from.
inline Kel::Sg::oxVec3f planePosition(int i)
{
    const int tile = i / kLeavesPerBlock, j = i % kLeavesPerBlock;
    return Kel::Sg::oxVec3f(float((tile % 32) * 10 + j % 10), 0, float((tile / 32) * 10 + j / 10));
}

using PositionFunction = Kel::Sg::oxVec3f (*)(int);

inline Kel::Sg::oxSmartPointer<Kel::Sg::oxGroup> buildScene(int leaves, PositionFunction position = leafPosition)
{
    using namespace Kel::Sg;
    using namespace Kel::Attrs;
    Kel::Sg::oxArkRegisterForOXBFiles();
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    oxSmartPointer<oxTextureBindAttr> textures[kTextures];
    for (auto& t : textures)
        t = oxTextureBindAttr::_instantiateRef();
    oxSmartPointer<oxMaterialAttr> materials[kMaterials];
    for (auto& m : materials)
        m = oxMaterialAttr::_instantiateRef();
    oxSmartPointer<oxBlendStateAttr> blend = oxBlendStateAttr::_instantiateRef();
    blend->setEnabled(true);
    oxSmartPointer<oxGeometryAttr> shape = oxGeometryAttr::_instantiateRef();
    shape->configureVertexArray(Kel::Gfx::oxVertexFormat::kPositions, 3);
    shape->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_TRIANGLES, 1);

    oxGroup* block = nullptr;
    for (int i = 0; i < leaves; ++i) {
        if (i % kLeavesPerBlock == 0) {
            block = oxGroup::_instantiate();
            root->appendChild(block);
        }
        oxTransform* t = oxTransform::_instantiate();
        oxMatrix44f m;
        m.makeTranslation(position(i));
        t->setMatrix(&m);
        oxAttrSet* set = oxAttrSet::_instantiate();
        set->appendAttr(textures[leafTexture(i)]);
        set->appendAttr(materials[leafMaterial(i)]);
        if (leafTransparent(i))
            set->appendAttr(blend);
        oxGeometry* g = oxGeometry::_instantiate();
        g->addGeometryAttr(shape);
        oxSphere* bound = oxSphere::_instantiate();
        bound->set(oxVec3f(0, 0, 0), 1);
        g->setBound(bound);
        set->appendChild(g);
        t->appendChild(set);
        block->appendChild(t);
    }
    return root;
}

} // namespace benchscene

#include "sg/shaders/oxOglEnvironmentMapShader.h"

#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

void oxOglEnvironmentMapShader::arkRegisterInitialize(oxFields<oxOglEnvironmentMapShader>& f)
{
    f.add(OX_FIELD(mapping)).setDefault(SPHERE_MAP);
    f.add(OX_FIELD(function)).setDefault(Gfx::OX_GFX_TEXFUNC_MODULATE);
    f.add(OX_FIELD(textureState)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(coordSource)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(textureFunction)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(textureMatrix)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(textureMatrixState)).constructWithOwner().notPersistent();
}

void oxOglEnvironmentMapShader::update(oxTraversal* traversal)
{
    oxMatrix44f m;
    m.makeIdentity();
    if (_mapping == REFLECTION_MAP) {
        // Reflection vectors come in eye space; the inverse view's rotation carries them
        // back to the world the cube map was taken in.
        m = static_cast<oxCommonTraversal*>(traversal)->getInverseViewMatrix();
        m.setTranslation(oxVec3f(0, 0, 0));
    }
    _textureMatrix->setMatrix(m);
}

void oxOglEnvironmentMapShader::shade(oxCommonTraversal* traversal)
{
    if (!_envTexture) {
        oxTraverseGroup(traversal, this);
        return;
    }
    update(traversal);
    _textureState->setEnabled(true);
    _coordSource->setSource(_mapping == REFLECTION_MAP ? Gfx::OX_GFX_TEXCOORD_REFLECTION_MAP
                                                       : Gfx::OX_GFX_TEXCOORD_SPHERE_MAP);
    _textureFunction->setFunction(_function);
    _textureMatrixState->setEnabled(true);
    oxAttr* const pushed[] = {_textureState, _envTexture, _coordSource, _textureFunction, _textureMatrix,
                              _textureMatrixState};
    for (oxAttr* a : pushed)
        a->setUnit(_unit);

    oxAttrStackManager* m = traversal->getAttrStackManager();
    for (oxAttr* a : pushed)
        m->fastPushOverride(a);
    oxTraverseGroup(traversal, this);
    for (int i = int(std::size(pushed)) - 1; i >= 0; --i)
        m->fastPopOverride(pushed[i]);
}

} // namespace Kel::Sg

#include "sg/shaders/oxCartoonShader.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/attrs/oxFragmentAttrs.h"
#include "platform/attrs/oxStateAttrs.h"
#include "platform/gfx/oxComponentEditInfo.h"
#include "sg/shaders/oxGeometryCollector.h"
#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

using namespace Attrs;
using namespace Gfx;

namespace {

// The state every cartoon node pushes, shared by all of them: made with the first node and
// given back with the last. The second unit's switch waits for a device that has one.
struct CartoonAttrs {
    oxSmartPointer<oxBlendFunctionAttr> bf0;
    oxSmartPointer<oxTextureStateAttr> te, td, te1;
    oxSmartPointer<oxBlendStateAttr> be;
    oxSmartPointer<oxTextureFunctionAttr> tf1, tf2;
    oxSmartPointer<oxLightingStateAttr> ld;
    oxSmartPointer<oxAlphaStateAttr> asa;
};

CartoonAttrs g_attrs;
int g_instances = 0;

void createClassAttrs()
{
    CartoonAttrs& s = g_attrs;
    s.bf0 = oxBlendFunctionAttr::_instantiateRef();
    s.bf0->setFactors(OX_GFX_BLEND_ZERO, OX_GFX_BLEND_SRC_COLOR);
    s.te = oxTextureStateAttr::_instantiateRef();
    s.te->setEnabled(true);
    s.td = oxTextureStateAttr::_instantiateRef();
    s.td->setEnabled(false);
    s.be = oxBlendStateAttr::_instantiateRef();
    s.be->setEnabled(true);
    s.tf1 = oxTextureFunctionAttr::_instantiateRef();
    s.tf1->setFunction(OX_GFX_TEXFUNC_REPLACE);
    s.tf2 = oxTextureFunctionAttr::_instantiateRef();
    s.tf2->setFunction(OX_GFX_TEXFUNC_MODULATE);
    s.tf2->setUnit(1);
    s.ld = oxLightingStateAttr::_instantiateRef();
    s.ld->setEnabled(false);
    s.asa = oxAlphaStateAttr::_instantiateRef();
    s.asa->setEnabled(false);
}

oxCartoonShader* g_collecting = nullptr;

OX_TRAVERSAL_RETURN collectGeometry(oxTraversal* t, oxObject* node)
{
    oxAttrStackManager* m = static_cast<oxCommonTraversal*>(t)->getAttrStackManager();
    g_collecting->appendGeometry(static_cast<oxGeometry*>(node),
                                 oxModelViewMatrixAttr::dynamicCast(m->getTop(oxModelViewMatrixAttr::getClassTypeSafe())));
    return OX_TRAVERSAL_CONTINUE;
}

// Both lookups are of a cosine in -1..1: the ends of the ramps must not wrap into each
// other, so both textures clamp. The shading ramp keeps its bands hard when magnified, and
// the outline texture its edge when minified. A setting already in place is left alone, as
// every change makes the device load the texture again.
void prepareTexture(oxTextureBindAttr* bind, bool shading)
{
    oxTextureAttr* t = bind->getTexture();
    if (!t)
        return;
    if (t->getWrapS() != OX_GFX_WRAP_CLAMP || t->getWrapT() != OX_GFX_WRAP_CLAMP)
        t->setWrap(OX_GFX_WRAP_CLAMP, OX_GFX_WRAP_CLAMP);
    if (shading && t->getMagFilter() != OX_GFX_FILTER_NEAREST)
        t->setFilters(t->getMinFilter(), OX_GFX_FILTER_NEAREST);
    if (!shading && t->getMinFilter() != OX_GFX_FILTER_NEAREST)
        t->setFilters(OX_GFX_FILTER_NEAREST, t->getMagFilter());
}

oxVec3f readVec3(const oxComponentEditInfo& e, int i)
{
    float v[3] = {};
    std::memcpy(v, e.getElement(i), sizeof(float) * size_t(std::min(3, e.getScalarCount())));
    return {v[0], v[1], v[2]};
}

void writeCoordinate(const oxComponentEditInfo& e, int i, float s)
{
    const float v[2] = {s, 0.0f};
    std::memcpy(e.getElement(i), v, sizeof(float) * size_t(std::min(2, e.getScalarCount())));
}

} // namespace

void oxCartoonShader::arkRegisterInitialize(oxFields<oxCartoonShader>& f)
{
    f.add(OX_FIELD(oTex));
    f.add(OX_FIELD(sTex));
    f.add(OX_FIELD(mats)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(geoms)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(oTexCoordIndex)).setDefault(0);
    f.add(OX_FIELD(sTexCoordIndex)).setDefault(0);
    f.add(OX_FIELD(lightPosition)).setDefault(oxVec4f(0, 0, 0, 1));
    f.add(OX_FIELD(m));
    f.add(OX_FIELD(ts));
    f.add(OX_FIELD(light));
    // Function addresses mean nothing to another process: the table is not written.
    f.add(OX_FIELD(savedTraversalFunctions)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(geometryMetaObjects)).constructWithOwner();
    f.add(OX_FIELD(tcs0)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(tcs1)).constructWithOwner().notPersistent();
}

void oxCartoonShader::userInstantiate(bool forFileRead)
{
    oxGroup::userInstantiate(forFileRead);
    if (g_instances++ == 0)
        createClassAttrs();
}

void oxCartoonShader::userRelease()
{
    if (--g_instances == 0)
        g_attrs = CartoonAttrs();
    oxGroup::userRelease();
}

void oxCartoonShader::appendGeometry(oxGeometry* geometry, oxModelViewMatrixAttr* matrix)
{
    geometry->updateUsageFlags(4, true);
    _geoms->append(geometry);
    _mats->append(matrix);
}

void oxCartoonShader::updateLight()
{
    if (!_light)
        return;
    if (_light->getType() == OX_GFX_LIGHT_POSITIONAL)
        _lightPosition = oxVec4f(_light->getPosition(), 1);
    else
        _lightPosition = oxVec4f(_light->getDirection(), 0);
}

void oxCartoonShader::computeShading(oxCommonTraversal* traversal)
{
    const oxMatrix44f& viewInverse = traversal->getInverseViewMatrix();
    const oxVec3f eye = viewInverse.getTranslation();
    oxAttrStackManager* m = traversal->getAttrStackManager();
    for (int g = 0; g < _geoms->getCount(); ++g) {
        oxGeometry* geometry = _geoms->get(g);
        if (!geometry)
            continue;
        const oxModelViewMatrixAttr* mv = _mats->get(g);
        const oxMatrix44f toWorld = (mv ? mv->getMatrix() : oxMatrix44f()) * viewInverse;
        oxMatrix44f normals = toWorld;
        if (!normals.invert())
            normals = oxMatrix44f();
        normals.transpose();
        for (int a = 0; a < geometry->getGeometryAttrCount(); ++a) {
            auto* attr = oxGeometryAttr::dynamicCast(geometry->getGeometryAttr(a));
            oxVertexArray* array = attr ? attr->getVertexArray() : nullptr;
            if (!array)
                continue;
            const oxVertexFormat format = array->getFormat();
            const int sets = format.getTexCoordSetCount();
            // Geometry that cannot take the coordinates is drawn as it is.
            if (!format.hasPositions() || !format.hasNormals() || _oTexCoordIndex < 0 || _oTexCoordIndex >= sets ||
                _sTexCoordIndex < 0 || _sTexCoordIndex >= sets)
                continue;
            oxSmartPointer<oxComponentEditInfo> outline = oxComponentEditInfo::_instantiateRef();
            oxSmartPointer<oxComponentEditInfo> shading = oxComponentEditInfo::_instantiateRef();
            oxSmartPointer<oxComponentEditInfo> positions = oxComponentEditInfo::_instantiateRef();
            oxSmartPointer<oxComponentEditInfo> normalEdit = oxComponentEditInfo::_instantiateRef();
            // With one set for both, the shading cosine is the one that stays.
            const bool shared = _oTexCoordIndex == _sTexCoordIndex;
            const bool open = outline->begin(array, OX_GFX_COMPONENT_TEXCOORD, _oTexCoordIndex, oxComponentEditInfo::kWrite) &&
                              (shared || shading->begin(array, OX_GFX_COMPONENT_TEXCOORD, _sTexCoordIndex,
                                                        oxComponentEditInfo::kWrite)) &&
                              positions->begin(array, OX_GFX_COMPONENT_POSITION, 0, oxComponentEditInfo::kRead) &&
                              normalEdit->begin(array, OX_GFX_COMPONENT_NORMAL, 0, oxComponentEditInfo::kRead);
            const bool floats = open && positions->getScalarType() == OX_GFX_SCALAR_FLOAT &&
                                normalEdit->getScalarType() == OX_GFX_SCALAR_FLOAT &&
                                outline->getScalarType() == OX_GFX_SCALAR_FLOAT &&
                                (shared || shading->getScalarType() == OX_GFX_SCALAR_FLOAT);
            if (floats) {
                if (_light && m->getLightState(_light))
                    updateLight();
                const oxVec3f light(_lightPosition.x, _lightPosition.y, _lightPosition.z);
                const bool directional = _lightPosition.w == 0;
                const oxVec3f towardsLight = (light * -1.0f).normalized();
                const oxComponentEditInfo& shadingOut = shared ? *outline : *shading;
                for (int v = 0; v < positions->getCount(); ++v) {
                    const oxVec3f p = toWorld.transformPoint(readVec3(*positions, v));
                    const oxVec3f n = normals.transformVector(readVec3(*normalEdit, v)).normalized();
                    const oxVec3f l = directional ? towardsLight : (light - p).normalized();
                    const oxVec3f view = (eye - p).normalized();
                    writeCoordinate(*outline, v, view.dot(n));
                    writeCoordinate(shadingOut, v, l.dot(n));
                }
            }
            for (oxComponentEditInfo* e : {outline.get(), shading.get()})
                if (e->isOpen())
                    e->end(floats);
            for (oxComponentEditInfo* e : {positions.get(), normalEdit.get()})
                if (e->isOpen())
                    e->end(false);
        }
    }
}

OX_TRAVERSAL_RETURN oxCartoonShader::shade(oxCommonTraversal* traversal)
{
    if (!traversal || !_oTex || !_sTex)
        return OX_TRAVERSAL_CONTINUE;
    // The coordinate source of the outline follows its texture's unit: the one-unit passes
    // put both on the first unit, whatever an earlier two-unit draw left.
    _oTex->setUnit(0);
    _tcs1->setUnit(0);
    prepareTexture(_oTex, false);
    prepareTexture(_sTex, true);
    _tcs0->setTextureCoordSet(_sTexCoordIndex);
    _tcs1->setTextureCoordSet(_oTexCoordIndex);

    _mats->removeAll();
    _geoms->removeAll();
    oxCartoonShader* outer = g_collecting;
    g_collecting = this;
    oxTraverseCollectingGeometries(traversal, this, &collectGeometry);
    g_collecting = outer;

    oxSorter* sorter = traversal->getSorter();
    sorter->beginCompoundRenderPackage(false, false);
    computeShading(traversal);
    CartoonAttrs& s = g_attrs;
    oxAttrStackManager* m = traversal->getAttrStackManager();
    const oxCapabilityManager* caps = traversal->getCapabilityManager();
    oxAttr* const sTex = _sTex;
    oxAttr* const oTex = _oTex;
    oxAttr* const tcs0 = _tcs0;
    oxAttr* const tcs1 = _tcs1;
    if (!caps || caps->getCapability(OX_GFX_CAP_TEXTURE_UNITS) < 2) {
        oxAttr* const shading[] = {s.asa, s.ld, s.te, s.tf1, sTex, tcs0};
        for (oxAttr* a : shading)
            m->fastPushOverride(a);
        oxTraverseGroup(traversal, this);
        m->fastPopOverride(tcs0);
        m->fastPopOverride(sTex);
        oxAttr* const outline[] = {oTex, tcs1, s.be, s.bf0};
        for (oxAttr* a : outline)
            m->fastPushOverride(a);
        oxTraverseGroup(traversal, this);
        for (int i = int(std::size(outline)) - 1; i >= 0; --i)
            m->fastPopOverride(outline[i]);
        for (int i = 3; i >= 0; --i)
            m->fastPopOverride(shading[i]);
    } else {
        if (!s.te1) {
            s.te1 = oxTextureStateAttr::_instantiateRef();
            s.te1->setEnabled(true);
            s.te1->setUnit(1);
        }
        _oTex->setUnit(1);
        _tcs1->setUnit(1);
        oxAttr* const pushed[] = {s.asa, s.ld, s.te, sTex, s.tf1, tcs0, s.te1, oTex, s.tf2, tcs1};
        for (oxAttr* a : pushed)
            m->fastPushOverride(a);
        oxTraverseGroup(traversal, this);
        for (int i = int(std::size(pushed)) - 1; i >= 0; --i)
            m->fastPopOverride(pushed[i]);
    }
    sorter->endCompoundRenderPackage();
    return OX_TRAVERSAL_CONTINUE;
}

} // namespace Kel::Sg

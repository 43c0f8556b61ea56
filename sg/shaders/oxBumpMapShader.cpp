#include "sg/shaders/oxBumpMapShader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gfx/oxComponentEditInfo.h"
#include "sg/shaders/oxGeometryCollector.h"
#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

using namespace Attrs;
using namespace Gfx;

namespace {

// The state every bump-mapped node pushes, shared by all of them: made with the first node
// and given back with the last.
struct BumpAttrs {
    oxSmartPointer<oxLightingStateAttr> lightingOff;
    oxSmartPointer<oxAlphaStateAttr> alphaOff;
    oxSmartPointer<oxTextureStateAttr> textureEnable0, textureDisable0, textureEnable1, textureEnable2, textureEnable3;
    oxSmartPointer<oxBlendStateAttr> blendEnable0, blendDisable0;
    oxSmartPointer<oxBlendFunctionAttr> blendOneOneSubtract0, blendColorColor0, blendZeroColor0, blendOneOne0,
        blendDestinationAlphaOne0, blendSourceAlphaOne0, blendDestinationAlphaOneSubtract0, blendZeroOne0,
        blendZeroZero0;
    oxSmartPointer<oxTextureFunctionAttr> textureFunctionAdd0, textureFunctionReplace0, textureFunctionModulate0,
        textureFunctionModulate2, textureFunctionDotProduct0, textureFunctionSubtract1;
    oxSmartPointer<oxTextureCoordSourceAttr> shiftedTextureCoordSource1, shiftedTextureCoordSource2;
};

BumpAttrs g_attrs;
int g_instances = 0;

template <class A>
oxSmartPointer<A> made(int unit = 0)
{
    oxSmartPointer<A> a = A::_instantiateRef();
    a->setUnit(unit);
    return a;
}

template <class A>
oxSmartPointer<A> state(bool on, int unit = 0)
{
    oxSmartPointer<A> a = made<A>(unit);
    a->setEnabled(on);
    return a;
}

oxSmartPointer<oxBlendFunctionAttr> blend(OX_GFX_BLEND_FACTOR source, OX_GFX_BLEND_FACTOR destination,
                                          OX_GFX_BLEND_EQUATION equation = OX_GFX_BLEND_ADD)
{
    oxSmartPointer<oxBlendFunctionAttr> a = made<oxBlendFunctionAttr>();
    a->setFactors(source, destination);
    a->setEquation(equation);
    return a;
}

oxSmartPointer<oxTextureFunctionAttr> texFunction(OX_GFX_TEXFUNC function, int unit = 0)
{
    oxSmartPointer<oxTextureFunctionAttr> a = made<oxTextureFunctionAttr>(unit);
    a->setFunction(function);
    return a;
}

void createClassAttrs()
{
    BumpAttrs& s = g_attrs;
    s.lightingOff = state<oxLightingStateAttr>(false);
    s.alphaOff = state<oxAlphaStateAttr>(false);
    s.textureEnable0 = state<oxTextureStateAttr>(true);
    s.textureDisable0 = state<oxTextureStateAttr>(false);
    s.textureEnable1 = state<oxTextureStateAttr>(true, 1);
    s.textureEnable2 = state<oxTextureStateAttr>(true, 2);
    s.textureEnable3 = state<oxTextureStateAttr>(true, 3);
    s.blendEnable0 = state<oxBlendStateAttr>(true);
    s.blendDisable0 = state<oxBlendStateAttr>(false);
    s.blendOneOneSubtract0 = blend(OX_GFX_BLEND_ONE, OX_GFX_BLEND_ONE, OX_GFX_BLEND_SUBTRACT);
    s.blendColorColor0 = blend(OX_GFX_BLEND_DST_COLOR, OX_GFX_BLEND_SRC_COLOR);
    s.blendZeroColor0 = blend(OX_GFX_BLEND_ZERO, OX_GFX_BLEND_SRC_COLOR);
    s.blendOneOne0 = blend(OX_GFX_BLEND_ONE, OX_GFX_BLEND_ONE);
    s.blendDestinationAlphaOne0 = blend(OX_GFX_BLEND_DST_ALPHA, OX_GFX_BLEND_ONE);
    s.blendSourceAlphaOne0 = blend(OX_GFX_BLEND_SRC_ALPHA, OX_GFX_BLEND_ONE);
    s.blendDestinationAlphaOneSubtract0 = blend(OX_GFX_BLEND_DST_ALPHA, OX_GFX_BLEND_ONE, OX_GFX_BLEND_SUBTRACT);
    s.blendZeroOne0 = blend(OX_GFX_BLEND_ZERO, OX_GFX_BLEND_ONE);
    s.blendZeroZero0 = blend(OX_GFX_BLEND_ZERO, OX_GFX_BLEND_ZERO);
    s.textureFunctionAdd0 = texFunction(OX_GFX_TEXFUNC_ADD);
    s.textureFunctionReplace0 = texFunction(OX_GFX_TEXFUNC_REPLACE);
    s.textureFunctionModulate0 = texFunction(OX_GFX_TEXFUNC_MODULATE);
    s.textureFunctionModulate2 = texFunction(OX_GFX_TEXFUNC_MODULATE, 2);
    s.textureFunctionDotProduct0 = texFunction(OX_GFX_TEXFUNC_DOT3_RGB);
    // The second unit's combiner keeps the function a new attribute has; only its sources
    // are turned to (this unit's texture, the first unit's result).
    s.textureFunctionSubtract1 = made<oxTextureFunctionAttr>(1);
    s.textureFunctionSubtract1->setArgument(0, OX_GFX_TEXARG_TEXTURE);
    s.textureFunctionSubtract1->setArgument(1, OX_GFX_TEXARG_PREVIOUS);
    s.shiftedTextureCoordSource1 = made<oxTextureCoordSourceAttr>(1);
    s.shiftedTextureCoordSource2 = made<oxTextureCoordSourceAttr>(2);
}

// Every pass of a technique forces its state over the subtree's; this undoes the pushes in
// the reverse order.
class Overrides {
public:
    explicit Overrides(oxAttrStackManager* m) : _m(m) {}
    Overrides& push(oxAttr* a)
    {
        _m->fastPushOverride(a);
        _pushed[_count++] = a;
        return *this;
    }
    void popAll()
    {
        while (_count > 0)
            _m->fastPopOverride(_pushed[--_count]);
    }

private:
    oxAttrStackManager* _m;
    oxAttr* _pushed[12] = {};
    int _count = 0;
};

// (x + 1) × 127.5 cut to a byte: a unit vector's component as a colour channel.
uint8_t signedToByte(float x)
{
    const float v = std::floor((x + 1.0f) * 127.5f);
    return uint8_t(std::clamp(v, 0.0f, 255.0f));
}

oxVec3f readVec3(const oxComponentEditInfo& e, int i)
{
    float v[3] = {};
    std::memcpy(v, e.getElement(i), sizeof(float) * size_t(std::min(3, e.getScalarCount())));
    return {v[0], v[1], v[2]};
}

// The per-vertex streams of one geometry attribute, open for one computation; closing
// reports as changed only the streams written.
struct VertexEdits {
    static constexpr int kMax = 7;
    oxSmartPointer<oxComponentEditInfo> edits[kMax];
    bool written[kMax] = {};
    int open = 0;

    // Opens the next stream; false when the array lacks it or it is not of floats (colours
    // excepted, which are packed bytes).
    bool begin(oxVertexArrayBase* array, OX_GFX_COMPONENT component, int index, bool write)
    {
        oxSmartPointer<oxComponentEditInfo>& e = edits[open];
        e = oxComponentEditInfo::_instantiateRef();
        if (!e->begin(array, component, index, write ? oxComponentEditInfo::kWrite : oxComponentEditInfo::kRead))
            return false;
        written[open++] = write;
        if (component != OX_GFX_COMPONENT_COLOR && e->getScalarType() != OX_GFX_SCALAR_FLOAT)
            return false;
        return true;
    }
    oxComponentEditInfo& operator[](int i) { return *edits[i]; }
    void end(bool keep)
    {
        for (int i = 0; i < open; ++i)
            edits[i]->end(keep && written[i]);
        open = 0;
    }
};

bool hasTangentFrame(const oxVertexArrayBase* array)
{
    return array && array->getFormat().hasBinormals() && array->getFormat().hasTangents();
}

// The geometry's matrix into world space, and its inverse transposed for directions.
void worldMatrices(oxCommonTraversal* t, oxModelViewMatrixAttr* mv, oxMatrix44f& toWorld, oxMatrix44f& normals)
{
    toWorld = (mv ? mv->getMatrix() : oxMatrix44f()) * t->getInverseViewMatrix();
    normals = toWorld;
    if (!normals.invert())
        normals = oxMatrix44f();
    normals.transpose();
}

oxBumpMapShader* g_collecting = nullptr;

OX_TRAVERSAL_RETURN collectGeometry(oxTraversal* t, oxObject* node)
{
    auto* ct = static_cast<oxCommonTraversal*>(t);
    auto* geometry = static_cast<oxGeometry*>(node);
    oxAttrStackManager* m = ct->getAttrStackManager();
    g_collecting->appendGeometry(geometry,
                                 oxModelViewMatrixAttr::dynamicCast(m->getTop(oxModelViewMatrixAttr::getClassTypeSafe())));
    const oxAttrStack* textures = m->getStack(oxTextureBindAttr::getClassTypeSafe());
    g_collecting->getTextureFlags()->addBit(textures && !textures->isEmpty());
    geometry->updateUsageFlags(4, true);
    return OX_TRAVERSAL_CONTINUE;
}

} // namespace

// A light as the per-vertex computations use it: a point or a direction towards the light.
struct oxBumpMapShader::Light {
    int index = 0;
    bool point = true;
    oxVec3f vector;
    float intensity = 0;
};

void oxBumpMapShader::arkRegisterInitialize(oxFields<oxBumpMapShader>& f)
{
    f.add(OX_FIELD(bumpTex));
    f.add(OX_FIELD(invBumpTex));
    f.add(OX_FIELD(mats)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(geoms)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(bumpTexCoordIndex)).setDefault(-1);
    f.add(OX_FIELD(reservedTexCoordIndex)).setDefault(-1);
    f.add(OX_FIELD(lightPositions)).constructWithOwner();
    f.add(OX_FIELD(lightIntensities)).constructWithOwner();
    f.add(OX_FIELD(lightMask)).setDefault(uint8_t(255));
    f.add(OX_FIELD(strength)).setDefault(1.0f);
    f.add(OX_FIELD(ambient)).setDefault(uint8_t(16));
    f.add(OX_FIELD(diffuse)).setDefault(0.2f);
    f.add(OX_FIELD(m));
    f.add(OX_FIELD(ts));
    f.add(OX_FIELD(lights)).constructWithOwner();
    f.add(OX_FIELD(diffuseMaterial)).setDefault(oxVec3f(1, 1, 1));
    f.add(OX_FIELD(bumpTexImage));
    f.add(OX_FIELD(bumpTex1)).notPersistent();
    f.add(OX_FIELD(unused)).notPersistent();
    f.add(OX_FIELD(materialTex)).notPersistent();
    f.add(OX_FIELD(bumpTextureCoordSource)).constructWithOwner();
    f.add(OX_FIELD(shiftedTextureCoordSource)).constructWithOwner();
    f.add(OX_FIELD(geomHasTexture)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(bumpTex2));
    f.add(OX_FIELD(normalTexture));
}

void oxBumpMapShader::userInstantiate(bool forFileRead)
{
    oxGroup::userInstantiate(forFileRead);
    if (!forFileRead)
        _m = oxMatrix44f();
    if (g_instances++ == 0)
        createClassAttrs();
}

void oxBumpMapShader::userRelease()
{
    if (--g_instances == 0)
        g_attrs = BumpAttrs();
    oxGroup::userRelease();
}

// ---- lights, material, textures ----------------------------------------------------------

void oxBumpMapShader::setLightCount(int n)
{
    if (n < 0 || n > kMaxLights) {
        oxReportWarning("oxBumpMapShader::setLightCount: %d lights refused (0 to %d)", n, kMaxLights);
        return;
    }
    _lightPositions->setCount(n);
    _lightIntensities->setCount(n);
}

void oxBumpMapShader::setLightPosition(int i, const oxVec3f& position)
{
    if (i >= 0 && i < _lightPositions->getCount())
        _lightPositions->set(i, position);
    else
        oxReportWarning("oxBumpMapShader::setLightPosition: light %d of %d", i, _lightPositions->getCount());
}

oxVec3f oxBumpMapShader::getLightPosition(int i) const
{
    return i >= 0 && i < _lightPositions->getCount() ? _lightPositions->get(i) : oxVec3f();
}

void oxBumpMapShader::setLightIntensity(int i, float value)
{
    if (i >= 0 && i < _lightIntensities->getCount())
        _lightIntensities->set(i, value);
    else
        oxReportWarning("oxBumpMapShader::setLightIntensity: light %d of %d", i, _lightIntensities->getCount());
}

float oxBumpMapShader::getLightIntensities(int i) const
{
    return i >= 0 && i < _lightIntensities->getCount() ? _lightIntensities->get(i) : 0.0f;
}

void oxBumpMapShader::appendLightAttr(oxLightAttr* light)
{
    _lights->append(light);
    _lightIntensities->setCount(_lights->getCount());
}

void oxBumpMapShader::setLightState(int i, bool on)
{
    if (i < 0 || i >= kMaxLights)
        return;
    _lightMask = on ? uint8_t(_lightMask | 1u << i) : uint8_t(_lightMask & ~(1u << i));
}

void oxBumpMapShader::setAmbient(float a)
{
    _ambient = uint8_t(std::clamp(a, 0.0f, 1.0f) * 255.0f);
}

void oxBumpMapShader::setDiffuseMaterial(const oxVec3f& colour)
{
    _diffuseMaterial = colour;
    _materialTex = nullptr;
}

void oxBumpMapShader::setBumpTexture(oxTextureBindAttr* texture)
{
    _bumpTex = texture;
    if (texture)
        _bumpTexImage = texture->getTexture() ? texture->getTexture()->getImage(0) : nullptr;
}

bool oxBumpMapShader::isValid()
{
    if (!_bumpTex || _lightMask == 0 || _lightPositions->getCount() == 0)
        return false;
    if (!_bumpTexImage)
        _bumpTexImage = _bumpTex->getTexture() ? _bumpTex->getTexture()->getImage(0) : nullptr;
    return _bumpTexImage && _bumpTexImage->getFormat() == OX_GFX_PIXEL_L8;
}

// ---- collection ----------------------------------------------------------------------------

void oxBumpMapShader::appendGeometry(oxGeometry* geometry, oxModelViewMatrixAttr* matrix)
{
    _geoms->append(geometry);
    _mats->append(matrix);
}

void oxBumpMapShader::reset()
{
    _mats->removeAll();
    _geoms->removeAll();
}

void oxBumpMapShader::collectGeometries(oxCommonTraversal* traversal)
{
    reset();
    _geomHasTexture->setBitCount(0);
    // A bump-mapped node inside another one collects for itself while the outer one draws.
    oxBumpMapShader* outer = g_collecting;
    g_collecting = this;
    oxTraverseCollectingGeometries(traversal, this, &collectGeometry);
    g_collecting = outer;
}

void oxBumpMapShader::updateLight(oxCommonTraversal* traversal)
{
    oxAttrStackManager* m = traversal->getAttrStackManager();
    const int n = std::min(_lights->getCount(), kMaxLights);
    for (int i = 0; i < n; ++i)
        setLightState(i, m->getLightState(_lights->get(i)));
}

// ---- per-vertex work -----------------------------------------------------------------------

int oxBumpMapShader::gatherLights(oxCommonTraversal* traversal, bool transformListedPositions, Light* out) const
{
    oxMatrix44f lightMatrix = _m;
    if (_ts && !_ts->getMatrix(lightMatrix, traversal->getTimeAsLong()))
        lightMatrix = _m;
    const bool listed = _lights->getCount() == 0;
    const int n = std::min(listed ? _lightPositions->getCount() : _lights->getCount(), kMaxLights);
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (!getLightState(i))
            continue;
        Light& l = out[count++];
        l.index = i;
        l.intensity = getLightIntensities(i);
        if (listed) {
            l.point = true;
            l.vector = transformListedPositions ? lightMatrix.transformPoint(_lightPositions->get(i))
                                                : _lightPositions->get(i);
            continue;
        }
        const oxLightAttr* light = _lights->get(i);
        l.point = light && light->getType() == OX_GFX_LIGHT_POSITIONAL;
        if (!light)
            l.vector = oxVec3f();
        else if (l.point)
            l.vector = lightMatrix.transformPoint(light->getPosition());
        else
            l.vector = (light->getDirection() * -1.0f).normalized();
    }
    return count;
}

void oxBumpMapShader::computeReservedTextureCoord(oxCommonTraversal* traversal)
{
    if (!_bumpTexImage || _bumpTexImage->getWidth() <= 0)
        return;
    Light lights[kMaxLights];
    const int lightCount = gatherLights(traversal, true, lights);
    const float k = _strength / float(_bumpTexImage->getWidth());
    const float ambient = float(_ambient) / 255.0f;
    for (int g = 0; g < _geoms->getCount(); ++g) {
        oxGeometry* geometry = _geoms->get(g);
        if (!geometry)
            continue;
        const bool textured = unsigned(g) < _geomHasTexture->getBitCount() && _geomHasTexture->getBit(unsigned(g));
        const oxVec4f colour = textured ? oxVec4f(1, 1, 1, 1) : oxVec4f(_diffuseMaterial, 1);
        oxMatrix44f toWorld, normals;
        worldMatrices(traversal, _mats->get(g), toWorld, normals);
        for (int a = 0; a < geometry->getGeometryAttrCount(); ++a) {
            auto* attr = oxGeometryAttr::dynamicCast(geometry->getGeometryAttr(a));
            oxVertexArray* array = attr ? attr->getVertexArray() : nullptr;
            if (!array)
                continue;
            // Without the tangent frame there is nothing to shift along: the rest of the
            // geometry keeps what the last complete draw wrote.
            if (!hasTangentFrame(array))
                return;
            VertexEdits e;
            enum { kPos, kNormal, kT7, kT8, kHeight, kColour, kShifted };
            if (!e.begin(array, OX_GFX_COMPONENT_POSITION, 0, false) ||
                !e.begin(array, OX_GFX_COMPONENT_NORMAL, 0, false) ||
                !e.begin(array, OX_GFX_COMPONENT_BINORMAL, 0, false) ||
                !e.begin(array, OX_GFX_COMPONENT_TANGENT, 0, false) ||
                !e.begin(array, OX_GFX_COMPONENT_TEXCOORD, _bumpTexCoordIndex, false) ||
                !e.begin(array, OX_GFX_COMPONENT_COLOR, 0, true) ||
                !e.begin(array, OX_GFX_COMPONENT_TEXCOORD, _reservedTexCoordIndex, true)) {
                e.end(false);
                return;
            }
            const int count = e[kPos].getCount();
            const size_t uvBytes = sizeof(float) * size_t(std::min(e[kHeight].getScalarCount(), e[kShifted].getScalarCount()));
            const uint32_t ambientColour = oxVertexArray::packColor(oxVec4f(ambient, ambient, ambient, 1));
            for (int v = 0; v < count; ++v) {
                std::memcpy(e[kShifted].getElement(v), e[kHeight].getElement(v), uvBytes);
                std::memcpy(e[kColour].getElement(v), &ambientColour, sizeof ambientColour);
            }
            // Each vertex takes the lights in order; its frame is the same for all of them.
            for (int v = 0; v < count && lightCount > 0; ++v) {
                const oxVec3f p = toWorld.transformPoint(readVec3(e[kPos], v));
                const oxVec3f n = normals.transformVector(readVec3(e[kNormal], v)).normalized();
                const oxVec3f t8 = normals.transformVector(readVec3(e[kT8], v)).normalized();
                const oxVec3f t7 = normals.transformVector(readVec3(e[kT7], v)).normalized();
                float uv[2];
                std::memcpy(uv, e[kShifted].getElement(v), sizeof uv);
                uint32_t packed;
                std::memcpy(&packed, e[kColour].getElement(v), sizeof packed);
                for (int li = 0; li < lightCount; ++li) {
                    const Light& light = lights[li];
                    const oxVec3f l = light.point ? (light.vector - p).normalized() : light.vector;
                    const float d = l.dot(n);
                    if (d < 0)
                        continue;
                    const oxVec3f along = l - n * d;
                    const float f = d >= 0.5f ? 1.0f : 2.0f * d;
                    uv[0] += along.dot(t8) * k * f;
                    uv[1] += along.dot(t7) * k * f;
                    oxVec4f c = oxVertexArray::unpackColor(packed) + colour * (d * light.intensity);
                    c = oxVec4f(std::min(c.x, 1.0f), std::min(c.y, 1.0f), std::min(c.z, 1.0f), std::min(c.w, 1.0f));
                    packed = oxVertexArray::packColor(c);
                }
                std::memcpy(e[kShifted].getElement(v), uv, sizeof uv);
                std::memcpy(e[kColour].getElement(v), &packed, sizeof packed);
            }
            e.end(true);
        }
    }
}

void oxBumpMapShader::computeColorForDot3(oxCommonTraversal* traversal)
{
    Light lights[kMaxLights];
    const int lightCount = gatherLights(traversal, false, lights);
    const bool listed = _lights->getCount() == 0;
    const int n = std::min(listed ? _lightPositions->getCount() : _lights->getCount(), kMaxLights);
    float sum = 0;
    for (int li = 0; li < lightCount; ++li)
        sum += lights[li].intensity;
    for (int g = 0; g < _geoms->getCount(); ++g) {
        oxGeometry* geometry = _geoms->get(g);
        if (!geometry)
            continue;
        oxMatrix44f toWorld, normals;
        worldMatrices(traversal, _mats->get(g), toWorld, normals);
        for (int a = 0; a < geometry->getGeometryAttrCount(); ++a) {
            auto* attr = oxGeometryAttr::dynamicCast(geometry->getGeometryAttr(a));
            oxVertexArray* array = attr ? attr->getVertexArray() : nullptr;
            if (!array)
                continue;
            if (!hasTangentFrame(array))
                return;
            VertexEdits e;
            enum { kPos, kNormal, kT7, kT8, kColour };
            if (!e.begin(array, OX_GFX_COMPONENT_POSITION, 0, false) ||
                !e.begin(array, OX_GFX_COMPONENT_NORMAL, 0, false) ||
                !e.begin(array, OX_GFX_COMPONENT_BINORMAL, 0, false) ||
                !e.begin(array, OX_GFX_COMPONENT_TANGENT, 0, false) ||
                !e.begin(array, OX_GFX_COMPONENT_COLOR, 0, true)) {
                e.end(false);
                return;
            }
            const int count = e[kPos].getCount();
            for (int v = 0; v < count; ++v) {
                const oxVec3f p = toWorld.transformPoint(readVec3(e[kPos], v));
                const oxVec3f nv = normals.transformVector(readVec3(e[kNormal], v)).normalized();
                const oxVec3f t8 = normals.transformVector(readVec3(e[kT8], v)).normalized();
                const oxVec3f t7 = normals.transformVector(readVec3(e[kT7], v)).normalized();
                oxVec3f l;
                if (n < 2) {
                    if (lightCount > 0)
                        l = lights[0].point ? (lights[0].vector - p).normalized() : lights[0].vector;
                } else {
                    for (int li = 0; li < lightCount; ++li) {
                        const oxVec3f li3 = lights[li].point ? (lights[li].vector - p).normalized() : lights[li].vector;
                        const float d = li3.dot(nv);
                        const float w = d < 0 ? 0.0f : d < 0.5f ? 2.0f * d : 1.0f;
                        l = l + li3 * (lights[li].intensity * w);
                    }
                }
                if (sum > 1)
                    l = l * (1.0f / sum);
                const uint32_t packed = uint32_t(signedToByte(l.dot(t8))) | uint32_t(signedToByte(l.dot(t7))) << 8 |
                                        uint32_t(signedToByte(l.dot(nv))) << 16 | 0xFFu << 24;
                std::memcpy(e[kColour].getElement(v), &packed, sizeof packed);
            }
            e.end(true);
        }
    }
}

// ---- derived textures ----------------------------------------------------------------------

oxSmartPointer<oxImage> oxBumpMapShader::createNormalImage(oxImage* heights, float strength)
{
    if (!heights || !heights->hasImageMemory() || heights->getFormat() != OX_GFX_PIXEL_L8) {
        if (heights)
            oxReportWarning("oxBumpMapShader::createNormalImage: \"%s\" is not an 8-bit grey picture",
                            heights->getName().c_str());
        return nullptr;
    }
    const int w = heights->getWidth(), h = heights->getHeight();
    oxSmartPointer<oxImage> out = oxImage::_instantiateRef();
    out->setSize(w, h);
    out->setFormat(OX_GFX_PIXEL_RGB8);
    if (!out->allocateImageMemory())
        return nullptr;
    uint8_t* dst = out->getPixels();
    const uint8_t* src = heights->getPixels();
    auto at = [&](int x, int y) { return dst + (size_t(y) * size_t(w) + size_t(x)) * 3; };
    // Too small for a difference across a pixel: the picture is flat.
    if (w < 3 || h < 3) {
        for (size_t i = 0; i < size_t(w) * size_t(h); ++i) {
            dst[3 * i] = dst[3 * i + 1] = signedToByte(0);
            dst[3 * i + 2] = signedToByte(1);
        }
        out->touch();
        return out;
    }
    // A strength of 0 has no reciprocal: it counts as a zero scale, as an infinite one does.
    oxVec3f s(1, 1, strength != 0 ? 1.0f / strength : 0.0f);
    if (s.x == 0 || s.y == 0 || s.z == 0)
        s = w >= h ? oxVec3f(float(w) / float(h), 1, 1) : oxVec3f(1, float(h) / float(w), 1);
    auto height = [&](int x, int y) { return float(src[size_t(y) * size_t(w) + size_t(x)]); };
    for (int y = 1; y <= h - 2; ++y)
        for (int x = 1; x <= w - 2; ++x) {
            const float dx = (height(x + 1, y) - height(x - 1, y)) / 255.0f;
            const float dy = (height(x, y + 1) - height(x, y - 1)) / 255.0f;
            oxVec3f n(-2 * dx * s.x, -2 * dy * s.y, 4 * s.z);
            n.normalize();
            uint8_t* p = at(x, y);
            p[0] = signedToByte(n.x);
            p[1] = signedToByte(n.y);
            p[2] = signedToByte(n.z);
        }
    for (int x = 1; x <= w - 2; ++x) {
        std::memcpy(at(x, 0), at(x, 1), 3);
        std::memcpy(at(x, h - 1), at(x, h - 2), 3);
    }
    for (int y = 0; y < h; ++y) {
        std::memcpy(at(0, y), at(1, y), 3);
        std::memcpy(at(w - 1, y), at(w - 2, y), 3);
    }
    out->touch();
    return out;
}

namespace {

// The sampling of the height texture (wrapping, filters and anisotropy) carried over to a
// texture made from it.
oxSmartPointer<oxTextureBindAttr> derivedTexture(oxImage* image, const oxTextureAttr* like)
{
    oxSmartPointer<oxTextureAttr> texture = oxTextureAttr::_instantiateRef();
    texture->setImage(image, 0);
    if (like) {
        texture->setWrap(like->getWrapS(), like->getWrapT());
        texture->setFilters(like->getMinFilter(), like->getMagFilter());
        texture->setMaxAnisotropy(like->getMaxAnisotropy());
    }
    oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
    bind->setTexture(texture);
    return bind;
}

} // namespace

void oxBumpMapShader::createNormalTexture()
{
    if (_normalTexture)
        return;
    oxSmartPointer<oxImage> image = createNormalImage(_bumpTexImage, _strength);
    if (!image)
        return;
    _normalTexture = derivedTexture(image, _bumpTex ? _bumpTex->getTexture() : nullptr);
}

void oxBumpMapShader::createMaterialTexture()
{
    if (_materialTex)
        return;
    const uint8_t pixel[3] = {uint8_t(std::clamp(_diffuseMaterial.x, 0.0f, 1.0f) * 255),
                              uint8_t(std::clamp(_diffuseMaterial.y, 0.0f, 1.0f) * 255),
                              uint8_t(std::clamp(_diffuseMaterial.z, 0.0f, 1.0f) * 255)};
    oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
    image->setSize(1, 1);
    image->setFormat(OX_GFX_PIXEL_RGB8);
    if (!image->allocateImageMemory())
        return;
    std::memcpy(image->getPixels(), pixel, 3);
    image->touch();
    // One texel: clamped and unfiltered, whatever the height texture does.
    _materialTex = derivedTexture(image, nullptr);
    oxTextureAttr* texture = _materialTex->getTexture();
    texture->setWrap(OX_GFX_WRAP_CLAMP, OX_GFX_WRAP_CLAMP);
    texture->setFilters(OX_GFX_FILTER_NEAREST, OX_GFX_FILTER_NEAREST);
}

void oxBumpMapShader::createInverseTexture()
{
    if (_invBumpTex || !_bumpTexImage || !_bumpTexImage->hasImageMemory())
        return;
    oxSmartPointer<oxImage> inverse = oxImage::_instantiateRef();
    if (!inverse->loadBuffer(_bumpTexImage->getPixels(), _bumpTexImage->getFormat(), _bumpTexImage->getWidth(),
                             _bumpTexImage->getHeight()))
        return;
    // Heights above the middle have no inverse within the half range: they give 0.
    uint8_t* bytes = inverse->getPixels();
    for (size_t i = 0; i < inverse->getPixelBytes(); ++i)
        bytes[i] = bytes[i] <= 128 ? uint8_t((128 - bytes[i]) / 2) : 0;
    _invBumpTex = derivedTexture(inverse, _bumpTex ? _bumpTex->getTexture() : nullptr);
    inverse->setFormat(OX_GFX_PIXEL_NONE);
    uint8_t* heights = _bumpTexImage->getPixels();
    for (size_t i = 0; i < _bumpTexImage->getPixelBytes(); ++i)
        heights[i] = uint8_t(heights[i] >> 1);
    _bumpTexImage->touch();
}

// ---- drawing -------------------------------------------------------------------------------

void oxBumpMapShader::drawChildren(oxCommonTraversal* traversal)
{
    oxTraverseGroup(traversal, this);
}

OX_TRAVERSAL_RETURN oxBumpMapShader::shade(oxCommonTraversal* traversal)
{
    if (!traversal)
        return OX_TRAVERSAL_CONTINUE;
    if (!isValid())
        return oxTraverseGroup(traversal, this);
    updateLight(traversal);
    collectGeometries(traversal);
    _bumpTextureCoordSource->setTextureCoordSet(_bumpTexCoordIndex);
    _shiftedTextureCoordSource->setTextureCoordSet(_reservedTexCoordIndex);
    // The height picture counts as changed: a device loads it again before it is drawn, so
    // that heights written through its pixels show without a call of their writer's.
    _bumpTexImage->setFormat(OX_GFX_PIXEL_NONE);
    const oxCapabilityManager* caps = traversal->getCapabilityManager();
    if (caps && caps->getCapability(OX_GFX_CAP_TEXTURE_DOT3) != 0 && !oxGetDisableBumpDotProduct())
        shadeDotProduct(traversal);
    else
        shadeDxOgl(traversal);
    return OX_TRAVERSAL_CONTINUE;
}

void oxBumpMapShader::shadeDotProduct(oxCommonTraversal* traversal)
{
    createNormalTexture();
    createMaterialTexture();
    if (!_normalTexture || !_materialTex)
        return;
    computeColorForDot3(traversal);
    const BumpAttrs& s = g_attrs;
    oxAttrStackManager* m = traversal->getAttrStackManager();
    oxSorter* sorter = traversal->getSorter();
    sorter->beginCompoundRenderPackage(false, false);
    Overrides outer(m);
    outer.push(s.lightingOff).push(s.alphaOff);
    Overrides pass(m);
    pass.push(s.blendDisable0)
        .push(s.textureEnable0)
        .push(_normalTexture)
        .push(s.textureFunctionDotProduct0)
        .push(_bumpTextureCoordSource);
    drawChildren(traversal);
    pass.popAll();

    pass.push(s.blendColorColor0).push(s.textureFunctionReplace0).push(s.blendEnable0);
    // Untextured geometry gets its material colour from a one-texel texture; textured
    // geometry's own texture (pushed below) replaces it.
    const oxAttrStack* textures = m->getStack(oxTextureBindAttr::getClassTypeSafe());
    const bool plain = !textures || textures->isEmpty();
    if (plain) {
        m->fastPushAttr(s.textureEnable0);
        m->fastPushAttr(_materialTex);
    }
    drawChildren(traversal);
    if (plain) {
        m->fastPopAttr(_materialTex.get());
        m->fastPopAttr(s.textureEnable0.get());
    }
    pass.popAll();
    outer.popAll();
    sorter->endCompoundRenderPackage();
}

void oxBumpMapShader::shadeDxOgl(oxCommonTraversal* traversal)
{
    const oxCapabilityManager* caps = traversal->getCapabilityManager();
    if (!caps || caps->getCapability(OX_GFX_CAP_TEXTURE_UNITS) < 2) {
        shadeDefault(traversal);
        return;
    }
    computeReservedTextureCoord(traversal);
    if (!_bumpTex1) {
        _bumpTex1 = oxTextureBindAttr::_instantiateRef();
        _bumpTex1->setUnit(1);
        _bumpTex1->setTexture(_bumpTex->getTexture());
    }
    _shiftedTextureCoordSource->setUnit(1);
    const BumpAttrs& s = g_attrs;
    oxAttrStackManager* m = traversal->getAttrStackManager();
    oxSorter* sorter = traversal->getSorter();
    sorter->beginCompoundRenderPackage(false, false);
    Overrides outer(m);
    outer.push(s.lightingOff).push(s.alphaOff);
    Overrides pass(m);
    pass.push(s.blendDisable0)
        .push(s.textureEnable0)
        .push(_bumpTex)
        .push(s.textureFunctionAdd0)
        .push(_bumpTextureCoordSource)
        .push(s.textureEnable1)
        .push(_bumpTex1)
        .push(s.textureFunctionSubtract1)
        .push(_shiftedTextureCoordSource);
    drawChildren(traversal);
    pass.popAll();

    pass.push(s.blendColorColor0).push(s.textureFunctionReplace0).push(s.blendEnable0);
    drawChildren(traversal);
    pass.popAll();
    outer.popAll();
    sorter->endCompoundRenderPackage();
}

namespace {

// The three emboss passes of one texture unit; the second subtracts (or, with the inverted
// heights, adds) the shifted heights.
void embossOnOneUnit(oxCommonTraversal* traversal, oxGroup* node, oxTextureBindAttr* heights,
                     oxTextureBindAttr* shiftedHeights, oxTextureCoordSourceAttr* coords,
                     oxTextureCoordSourceAttr* shiftedCoords, oxBlendFunctionAttr* shiftedBlend)
{
    const BumpAttrs& s = g_attrs;
    oxAttrStackManager* m = traversal->getAttrStackManager();
    oxSorter* sorter = traversal->getSorter();
    sorter->beginCompoundRenderPackage(false, false);
    Overrides outer(m);
    outer.push(s.lightingOff).push(s.alphaOff);
    Overrides pass(m);
    pass.push(s.textureEnable0).push(heights).push(coords).push(s.textureFunctionReplace0);
    oxTraverseGroup(traversal, node);
    pass.popAll();

    pass.push(shiftedHeights)
        .push(shiftedCoords)
        .push(s.textureEnable0)
        .push(shiftedBlend)
        .push(s.blendEnable0)
        .push(s.textureFunctionReplace0);
    oxTraverseGroup(traversal, node);
    pass.popAll();

    pass.push(s.blendColorColor0).push(s.textureFunctionModulate0).push(s.blendEnable0);
    oxTraverseGroup(traversal, node);
    pass.popAll();
    outer.popAll();
    sorter->endCompoundRenderPackage();
}

} // namespace

void oxBumpMapShader::shadeDefault(oxCommonTraversal* traversal)
{
    computeReservedTextureCoord(traversal);
    // The two-unit technique moves the shifted coordinates to the second unit; on one unit
    // they belong to the first.
    _shiftedTextureCoordSource->setUnit(0);
    embossOnOneUnit(traversal, this, _bumpTex, _bumpTex, _bumpTextureCoordSource, _shiftedTextureCoordSource,
                    g_attrs.blendOneOneSubtract0);
}

void oxBumpMapShader::shadeInverseBump(oxCommonTraversal* traversal)
{
    if (!isValid())
        return;
    computeReservedTextureCoord(traversal);
    createInverseTexture();
    if (!_invBumpTex)
        return;
    _shiftedTextureCoordSource->setUnit(0);
    embossOnOneUnit(traversal, this, _bumpTex, _invBumpTex, _bumpTextureCoordSource, _shiftedTextureCoordSource,
                    g_attrs.blendOneOne0);
}

} // namespace Kel::Sg

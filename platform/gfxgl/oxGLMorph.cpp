// Morphing on the GPU: targets live in buffer textures, copied when first drawn and again
// only when touched; a draw sends the active weights and target numbers as uniforms.
#include <algorithm>
#include <cstring>

#include "platform/gfxgl/oxGLPrivate.h"

namespace Kel::Gfx {

namespace {
// Target lists whose copies are kept; the least recently drawn goes first.
constexpr size_t kMorphCopies = 32;

bool sameTargets(const oxGLMorphTargets& copy, const oxVertexDataList* targets, int stride)
{
    if (!copy.buffer || copy.stride != stride || int(copy.targets.size()) != targets->getCount())
        return false;
    for (int i = 0; i < targets->getCount(); ++i) {
        const oxVertexData* t = targets->get(i);
        if (copy.targets[size_t(i)].get() != t || (t && copy.versions[size_t(i)] != t->getVersion()))
            return false;
    }
    return true;
}

// What the host blends of a target: float displacements covering every vertex.
bool blendable(const oxVertexData* t, int vertexCount)
{
    return t && t->getScalarType() == OX_GFX_SCALAR_FLOAT && t->getCount() >= vertexCount;
}
} // namespace

const oxGLMorphTargets* oxGLVisualContext::morphTargetsFor(const oxVertexDataList* targets, int stride)
{
    std::unique_ptr<oxGLMorphTargets>& slot = _morphTargets[targets];
    if (!slot)
        slot = std::make_unique<oxGLMorphTargets>();
    oxGLMorphTargets& copy = *slot;
    copy.lastUse = ++_morphUse;
    if (sameTargets(copy, targets, stride))
        return &copy;

    GLint maxTexels = 0;
    glGetIntegerv(GL_MAX_TEXTURE_BUFFER_SIZE, &maxTexels);
    const size_t texels = size_t(targets->getCount()) * size_t(stride);
    if (texels == 0 || texels > size_t(maxTexels)) {
        if (copy.buffer) {
            oxGL.DeleteBuffers(1, &copy.buffer);
            glDeleteTextures(1, &copy.texture);
        }
        _morphTargets.erase(targets);
        return nullptr;
    }
    if (!copy.buffer) {
        oxGL.GenBuffers(1, &copy.buffer);
        glGenTextures(1, &copy.texture);
    }
    oxGL.BindBuffer(GL_TEXTURE_BUFFER, copy.buffer);
    oxGL.BufferData(GL_TEXTURE_BUFFER, GLsizeiptr(texels * 3 * sizeof(float)), nullptr, GL_STATIC_DRAW);
    // Three floats an element; what the host would not blend is zero here.
    std::vector<float> element(size_t(stride) * 3);
    copy.targets.clear();
    copy.versions.clear();
    for (int i = 0; i < targets->getCount(); ++i) {
        oxVertexData* t = targets->get(i);
        std::fill(element.begin(), element.end(), 0.0f);
        if (blendable(t, stride)) {
            const int scalars = std::min(t->getScalarCount(), 3);
            for (int v = 0; v < stride; ++v)
                std::memcpy(&element[size_t(v) * 3], t->getData() + size_t(v) * size_t(t->getElementSize()),
                            sizeof(float) * size_t(scalars));
        }
        oxGL.BufferSubData(GL_TEXTURE_BUFFER, GLintptr(size_t(i) * element.size() * sizeof(float)),
                           GLsizeiptr(element.size() * sizeof(float)), element.data());
        copy.targets.emplace_back(t);
        copy.versions.push_back(t ? t->getVersion() : 0);
    }
    oxGL.BindBuffer(GL_TEXTURE_BUFFER, 0);
    oxGL.ActiveTexture(GLenum(GL_TEXTURE0 + kGLMaxUnits));
    glBindTexture(GL_TEXTURE_BUFFER, copy.texture);
    oxGL.TexBuffer(GL_TEXTURE_BUFFER, GL_RGB32F, copy.buffer);
    oxGL.ActiveTexture(GL_TEXTURE0);
    copy.stride = stride;

    if (_morphTargets.size() > kMorphCopies) {
        auto oldest = std::min_element(_morphTargets.begin(), _morphTargets.end(), [](const auto& a, const auto& b) {
            return a.second->lastUse < b.second->lastUse;
        });
        oxGL.DeleteBuffers(1, &oldest->second->buffer);
        glDeleteTextures(1, &oldest->second->texture);
        _morphTargets.erase(oldest);
    }
    return &copy;
}

bool oxGLVisualContext::drawMorphedGeometry(const oxDrawDescription& d, const oxMorphStream* streams, int streamCount)
{
    if (!_gpuVertexBlending || !use() || _recording >= 0 || !d.vertices || !streams || streamCount <= 0)
        return false;
    oxVertexArrayBase* v = d.vertices;
    if (_state->vertexBlend && v->getFormat().getBlendWeightCount() > 0)
        return false;
    const int vertexCount = v->getVertexCount();
    oxGLMorphDraw morph;
    morph.base = d.firstVertex;
    std::array<const oxVertexDataList*, 2> lists{};
    for (int i = 0; i < streamCount; ++i) {
        const oxMorphStream& s = streams[i];
        const int which = s.component == OX_GFX_COMPONENT_POSITION ? 0 : s.component == OX_GFX_COMPONENT_NORMAL ? 1 : -1;
        if (which < 0 || s.index != 0 || !s.targets || lists[size_t(which)])
            return false;
        oxVertexStream out = v->getStream(s.component, 0);
        if (!out.isValid() || out.scalarType != OX_GFX_SCALAR_FLOAT || out.scalarCount != 3)
            return false;
        lists[size_t(which)] = s.targets;
        int& n = morph.counts[size_t(which)];
        for (int j = 0; j < s.slotCount; ++j) {
            const int t = s.targetIndices[j];
            if (s.weights[j] == 0.0f || t < 0 || t >= s.targets->getCount() || !blendable(s.targets->get(t), vertexCount))
                continue;
            if (n == kGLMorphSlots)
                return false;
            morph.weights[size_t(which * kGLMorphSlots + n)] = s.weights[j];
            morph.targets[size_t(which * kGLMorphSlots + n)] = t;
            ++n;
        }
    }
    morph.program = blendProgramFor(v, true);
    if (!morph.program)
        return false;
    for (size_t which = 0; which < 2; ++which) {
        if (!morph.counts[which])
            continue;
        const oxGLMorphTargets* copy = morphTargetsFor(lists[which], vertexCount);
        if (!copy)
            return false;
        morph.textures[which] = copy->texture;
        morph.strides[which] = copy->stride;
    }
    _draw->draw(*this, d, &morph);
    return true;
}

void oxGLVisualContext::beginMorph(const oxGLMorphDraw& m)
{
    const oxGLMorphUniforms& u = m.program->morph;
    oxGL.Uniform1iv(u.counts, 2, m.counts.data());
    oxGL.Uniform1iv(u.strides, 2, m.strides.data());
    oxGL.Uniform1i(u.base, m.base);
    oxGL.Uniform1fv(u.weights, GLsizei(m.weights.size()), m.weights.data());
    oxGL.Uniform1iv(u.targets, GLsizei(m.targets.size()), m.targets.data());
    for (size_t which = 0; which < 2; ++which) {
        oxGL.ActiveTexture(GLenum(GL_TEXTURE0 + kGLMaxUnits + int(which)));
        glBindTexture(GL_TEXTURE_BUFFER, m.textures[which]);
    }
    oxGL.ActiveTexture(GL_TEXTURE0);
}

void oxGLVisualContext::deleteMorphTargets()
{
    for (auto& [list, copy] : _morphTargets) {
        oxGL.DeleteBuffers(1, &copy->buffer);
        glDeleteTextures(1, &copy->texture);
    }
    _morphTargets.clear();
}

} // namespace Kel::Gfx

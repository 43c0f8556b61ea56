#include "import/oxImporter.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "import/oxImageFiles.h"
#include "platform/attrs/OXAttrs.h"

namespace Kel::Sg {

using namespace Kel::Attrs;
using namespace Kel::Gfx;
using Kel::Math::oxQuaternionf;
using Kel::Math::oxVec2f;

namespace {

// Row vectors here, column vectors in Assimp: the same matrix, transposed.
oxMatrix44f toMatrix(const aiMatrix4x4& a)
{
    return oxMatrix44f(a.a1, a.b1, a.c1, a.d1, a.a2, a.b2, a.c2, a.d2, a.a3, a.b3, a.c3, a.d3, a.a4, a.b4, a.c4,
                       a.d4);
}

oxVec4f toColor(const aiColor4D& c)
{
    return {c.r, c.g, c.b, c.a};
}

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string fileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What the meshes of one material share: their state attributes, in the order they apply.
struct Surface {
    std::vector<oxSmartPointer<oxAttr>> attrs;
};

class Builder {
public:
    Builder(const aiScene* scene, std::string directory, std::string file)
        : _scene(scene), _directory(std::move(directory)), _file(std::move(file))
    {
        const size_t dot = _file.find_last_of('.');
        const std::string extension = dot == std::string::npos ? "" : _file.substr(dot);
        _gltf = extension == ".gltf" || extension == ".glb" || extension == ".GLTF" || extension == ".GLB";
    }

    oxSmartPointer<oxNode> build()
    {
        for (unsigned m = 0; m < _scene->mNumMaterials; ++m)
            _surfaces.push_back(surface(_scene->mMaterials[m]));
        findSkeleton();
        for (unsigned m = 0; m < _scene->mNumMeshes; ++m)
            _geometry.push_back(geometry(_scene->mMeshes[m]));
        oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
        root->setName(_file.c_str());
        root->appendChild(lights());
        // Materials show only when lit: the file's lights, or two of ours where it has none.
        oxSmartPointer<oxAttrSet> lit = oxAttrSet::_instantiateRef();
        lit->setName("lighting");
        oxSmartPointer<oxLightingStateAttr> lighting = oxLightingStateAttr::_instantiateRef();
        lighting->setEnabled(true);
        lit->appendAttr(lighting);
        oxSmartPointer<oxLightStateSet> on = oxLightStateSet::_instantiateRef();
        for (oxLightAttr* light : _lights) {
            oxSmartPointer<oxLightStateAttr> state = oxLightStateAttr::_instantiateRef();
            state->setLight(light);
            on->appendLightStateAttr(state);
        }
        on->appendChild(node(_scene->mRootNode));
        if (_skeleton) {
            // The actor stands where the skeleton's root hangs: bone 0 is that frame.
            const aiNode* parent = _skeletonRoot->mParent;
            auto at = parent ? _transforms.find(parent->mName.C_Str()) : _transforms.end();
            (at != _transforms.end() ? static_cast<oxGroup*>(at->second.get()) : on.get())->appendChild(actor());
        }
        lit->appendChild(on);
        root->appendChild(lit);
        if (_scene->mNumAnimations) {
            animate(_scene->mAnimations[0]);
            animateMorphs(_scene->mAnimations[0]);
        }
        if (_scene->mNumAnimations > 1)
            Core::oxReportWarning("%s: %u animations; the first (\"%s\") drives the transforms", _file.c_str(),
                                  _scene->mNumAnimations, _scene->mAnimations[0]->mName.C_Str());
        return root;
    }

    int meshes() const { return int(_geometry.size()); }
    int textures() const { return int(_images.size()); }
    int sequences() const { return _sequences; }
    bool skinned() const { return _skeleton != nullptr; }

private:
    oxSmartPointer<oxTextureAttr> texture(const aiString& where, const aiTextureMapMode* modes)
    {
        const std::string name = where.C_Str();
        auto known = _images.find(name);
        if (known != _images.end())
            return known->second;
        oxSmartPointer<oxImage> image = oxImage::_instantiateRef();
        bool ok = false;
        if (const aiTexture* embedded = _scene->GetEmbeddedTexture(where.C_Str())) {
            if (embedded->mHeight == 0) {
                ok = readImage(image, embedded->pcData, embedded->mWidth, (_file + " " + name).c_str());
            } else {
                // Uncompressed texels are BGRA, top row first.
                std::vector<uint8_t> rgba(size_t(embedded->mWidth) * embedded->mHeight * 4);
                for (size_t i = 0; i < rgba.size() / 4; ++i) {
                    const aiTexel& t = embedded->pcData[i];
                    rgba[i * 4] = t.r, rgba[i * 4 + 1] = t.g, rgba[i * 4 + 2] = t.b, rgba[i * 4 + 3] = t.a;
                }
                ok = image->loadBuffer(rgba.data(), OX_GFX_PIXEL_RGBA8, int(embedded->mWidth), int(embedded->mHeight));
            }
        } else {
            std::string path = name;
            std::replace(path.begin(), path.end(), '\\', '/');
            if (path.empty() || path[0] != '/')
                path = _directory + path;
            ok = readImageFile(image, path.c_str());
        }
        oxSmartPointer<oxTextureAttr> t;
        if (ok) {
            t = oxTextureAttr::_instantiateRef();
            t->setImage(image, 0);
            auto wrap = [](aiTextureMapMode m) {
                return m == aiTextureMapMode_Clamp    ? OX_GFX_WRAP_CLAMP
                       : m == aiTextureMapMode_Mirror ? OX_GFX_WRAP_MIRRORED_REPEAT
                                                      : OX_GFX_WRAP_REPEAT;
            };
            t->setWrap(wrap(modes[0]), wrap(modes[1]));
        } else {
            Core::oxReportWarning("%s: texture \"%s\" cannot be read; drawn untextured", _file.c_str(), name.c_str());
        }
        _images[name] = t;
        return t;
    }

    Surface surface(const aiMaterial* m)
    {
        Surface s;
        aiColor4D diffuse(0.8f, 0.8f, 0.8f, 1), base, specular(0, 0, 0, 1), emissive(0, 0, 0, 1), ambient;
        // A base colour carries its alpha (Assimp repeats it as the opacity); other formats
        // give the opacity apart.
        float opacity = 1;
        if (m->Get(AI_MATKEY_BASE_COLOR, base) == AI_SUCCESS)
            diffuse = base;
        else if (m->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse), m->Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS)
            diffuse.a *= std::clamp(opacity, 0.0f, 1.0f);
        m->Get(AI_MATKEY_COLOR_SPECULAR, specular);
        m->Get(AI_MATKEY_COLOR_EMISSIVE, emissive);
        float shininess = 0;
        m->Get(AI_MATKEY_SHININESS, shininess);
        oxSmartPointer<oxMaterialAttr> material = oxMaterialAttr::_instantiateRef();
        if (m->Get(AI_MATKEY_COLOR_AMBIENT, ambient) == AI_SUCCESS && (ambient.r + ambient.g + ambient.b) > 0)
            material->setAmbient(toColor(ambient));
        else
            material->setAmbient(oxVec4f(diffuse.r * 0.6f, diffuse.g * 0.6f, diffuse.b * 0.6f, diffuse.a));
        material->setDiffuse(toColor(diffuse));
        material->setSpecular(oxVec4f(specular.r, specular.g, specular.b, 1));
        material->setEmission(oxVec4f(emissive.r, emissive.g, emissive.b, 1));
        material->setShininess(std::clamp(shininess, 0.0f, 128.0f));
        s.attrs.push_back(material);

        oxSmartPointer<oxTextureAttr> picture;
        for (aiTextureType type : {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE}) {
            aiString where;
            aiTextureMapMode modes[2] = {aiTextureMapMode_Wrap, aiTextureMapMode_Wrap};
            if (m->GetTexture(type, 0, &where, nullptr, nullptr, nullptr, nullptr, modes) == AI_SUCCESS) {
                picture = texture(where, modes);
                break;
            }
        }
        oxSmartPointer<oxTextureStateAttr> texturing = oxTextureStateAttr::_instantiateRef();
        texturing->setEnabled(picture != nullptr);
        s.attrs.push_back(texturing);
        if (picture) {
            oxSmartPointer<oxTextureBindAttr> bind = oxTextureBindAttr::_instantiateRef();
            bind->setTexture(picture);
            s.attrs.push_back(bind);
        }

        int twoSided = 0;
        m->Get(AI_MATKEY_TWOSIDED, twoSided);
        oxSmartPointer<oxCullFaceAttr> cull = oxCullFaceAttr::_instantiateRef();
        cull->setEnabled(!twoSided);
        s.attrs.push_back(cull);

        // glTF's alpha modes: BLEND is transparent work, drawn sorted back to front; MASK
        // keeps the texels at or above the cutoff.
        aiString mode;
        const bool hasMode = m->Get("$mat.gltf.alphaMode", 0, 0, mode) == AI_SUCCESS;
        const std::string alphaMode = hasMode ? mode.C_Str() : (diffuse.a < 1 ? "BLEND" : "OPAQUE");
        if (alphaMode == "BLEND") {
            oxSmartPointer<oxBlendStateAttr> blend = oxBlendStateAttr::_instantiateRef();
            blend->setEnabled(true);
            s.attrs.push_back(blend);
            s.attrs.push_back(oxBlendFunctionAttr::_instantiate());
        } else if (alphaMode == "MASK") {
            float cutoff = 0.5f;
            m->Get("$mat.gltf.alphaCutoff", 0, 0, cutoff);
            oxSmartPointer<oxAlphaStateAttr> test = oxAlphaStateAttr::_instantiateRef();
            test->setEnabled(true);
            s.attrs.push_back(test);
            oxSmartPointer<oxAlphaFunctionAttr> function = oxAlphaFunctionAttr::_instantiateRef();
            function->setFunction(OX_GFX_COMPARE_GREATER_EQUAL);
            function->setReference(cutoff);
            s.attrs.push_back(function);
        }
        return s;
    }

    // The mesh under its material's state: geometry nodes hold geometry alone, so that the
    // bounds maker can store their bounds.
    oxSmartPointer<oxNode> geometry(const aiMesh* mesh)
    {
        oxSmartPointer<oxAttrSet> surface = oxAttrSet::_instantiateRef();
        const aiMaterial* material =
            mesh->mMaterialIndex < _scene->mNumMaterials ? _scene->mMaterials[mesh->mMaterialIndex] : nullptr;
        aiString materialName;
        if (material && material->Get(AI_MATKEY_NAME, materialName) == AI_SUCCESS)
            surface->setName(materialName.C_Str());
        const Surface& s = _surfaces[std::min<size_t>(mesh->mMaterialIndex, _surfaces.size() - 1)];
        for (const oxSmartPointer<oxAttr>& a : s.attrs)
            surface->appendAttr(a);
        int sets = 0;
        while (sets < int(AI_MAX_NUMBER_OF_TEXTURECOORDS) && sets < 8 && mesh->HasTextureCoords(unsigned(sets)))
            ++sets;
        if (mesh->mNumAnimMeshes > 0 && !isSkinned(mesh)) {
            surface->appendChild(morphGeometry(mesh, sets));
            return surface;
        }
        oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
        node->setName(mesh->mName.C_Str());
        surface->appendChild(node);
        oxVertexFormat format = oxVertexFormat::kPositions;
        if (mesh->HasNormals())
            format = format | oxVertexFormat::kNormals;
        if (mesh->HasVertexColors(0))
            format = format | oxVertexFormat::kColors;
        if (sets)
            format = format | oxVertexFormat::texCoords(sets);
        const bool skin = isSkinned(mesh);
        if (skin)
            format = format | oxVertexFormat::blendWeights(kWeights) | oxVertexFormat::blendIndices(kWeights);
        oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
        const int n = int(mesh->mNumVertices);
        g->configureVertexArray(format, n);
        if (skin)
            weigh(mesh, g->getVertexArray());
        for (int i = 0; i < n; ++i) {
            const aiVector3D& p = mesh->mVertices[i];
            g->setPosition(i, oxVec3f(p.x, p.y, p.z));
            if (mesh->HasNormals()) {
                const aiVector3D& v = mesh->mNormals[i];
                g->setNormal(i, oxVec3f(v.x, v.y, v.z));
            }
            if (mesh->HasVertexColors(0))
                g->setColor(i, toColor(mesh->mColors[0][i]));
            for (int set = 0; set < sets; ++set) {
                const aiVector3D& uv = mesh->mTextureCoords[set][i];
                g->setTextureCoord(i, set, oxVec2f(uv.x, uv.y));
            }
        }
        faces(mesh, g);
        node->addGeometryAttr(g);
        return surface;
    }

    // One primitive type a mesh (the importer sorts them); polygons are triangulated.
    static void faces(const aiMesh* mesh, oxBaseGeometryAttr* g)
    {
        unsigned corners = 3;
        OX_GFX_DRAW type = OX_GFX_DRAW_TRIANGLES;
        if (mesh->mPrimitiveTypes == aiPrimitiveType_POINT)
            corners = 1, type = OX_GFX_DRAW_POINTS;
        else if (mesh->mPrimitiveTypes == aiPrimitiveType_LINE)
            corners = 2, type = OX_GFX_DRAW_LINES;
        std::vector<uint16_t> indices;
        indices.reserve(size_t(mesh->mNumFaces) * corners);
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices != corners)
                continue;
            for (unsigned k = 0; k < corners; ++k)
                indices.push_back(uint16_t(face.mIndices[k]));
        }
        oxIndexArray* out = g->configureIndexArray(int(indices.size()));
        for (size_t i = 0; i < indices.size(); ++i)
            out->set(int(i), indices[i]);
        g->configurePrimitive(type, int(indices.size() / corners));
    }

    static oxVertexData* fill(oxVertexData* data, const aiVector3D* from, unsigned count, int scalars)
    {
        float* to = reinterpret_cast<float*>(data->getData());
        for (unsigned i = 0; i < count; ++i)
            for (int k = 0; k < scalars; ++k)
                to[size_t(i) * size_t(scalars) + size_t(k)] = from[i][unsigned(k)];
        data->touch();
        return data;
    }

    // A mesh with morph targets: an instance handing its weights to a morphed geometry
    // attribute (blended on the device where it can), the targets as displacements from
    // the base, the file's default weights set.
    oxSmartPointer<oxNode> morphGeometry(const aiMesh* mesh, int sets)
    {
        oxSmartPointer<oxMorphedGeometryAttr> g = oxMorphedGeometryAttr::_instantiateRef();
        const unsigned n = mesh->mNumVertices;
        oxVertexArray2* v = g->configureVertexArray(int(n));
        fill(v->addVertexData(OX_GFX_COMPONENT_POSITION, 0, OX_GFX_SCALAR_FLOAT, 3), mesh->mVertices, n, 3);
        if (mesh->HasNormals())
            fill(v->addVertexData(OX_GFX_COMPONENT_NORMAL, 0, OX_GFX_SCALAR_FLOAT, 3), mesh->mNormals, n, 3);
        if (mesh->HasVertexColors(0)) {
            float* to = reinterpret_cast<float*>(
                v->addVertexData(OX_GFX_COMPONENT_COLOR, 0, OX_GFX_SCALAR_FLOAT, 4)->getData());
            for (unsigned i = 0; i < n; ++i)
                for (unsigned k = 0; k < 4; ++k)
                    to[i * 4 + k] = mesh->mColors[0][i][k];
        }
        for (int set = 0; set < sets; ++set)
            fill(v->addVertexData(OX_GFX_COMPONENT_TEXCOORD, set, OX_GFX_SCALAR_FLOAT, 2), mesh->mTextureCoords[set],
                 n, 2);
        faces(mesh, g);
        oxMorphEntry* positions = g->appendMorphEntry(OX_GFX_COMPONENT_POSITION);
        oxMorphEntry* normals = mesh->HasNormals() ? g->appendMorphEntry(OX_GFX_COMPONENT_NORMAL) : nullptr;
        oxSmartPointer<oxMorphInstance2> morph = oxMorphInstance2::_instantiateRef();
        morph->setName(mesh->mName.C_Str());
        morph->setMorphGeometry(g);
        morph->getCoefficient()->setCount(int(mesh->mNumAnimMeshes));
        for (unsigned t = 0; t < mesh->mNumAnimMeshes; ++t) {
            const aiAnimMesh* target = mesh->mAnimMeshes[t];
            std::vector<aiVector3D> delta(n);
            for (unsigned i = 0; i < n; ++i)
                delta[i] = target->HasPositions() && i < target->mNumVertices ? target->mVertices[i] - mesh->mVertices[i]
                                                                                 : aiVector3D();
            fill(positions->addTarget(int(n)), delta.data(), n, 3);
            if (normals) {
                for (unsigned i = 0; i < n; ++i)
                    delta[i] = target->HasNormals() && i < target->mNumVertices ? target->mNormals[i] - mesh->mNormals[i]
                                                                                : aiVector3D();
                fill(normals->addTarget(int(n)), delta.data(), n, 3);
            }
            morph->getCoefficient()->set(int(t), target->mWeight);
        }
        morph->updateCoefficientList();
        _morphs[mesh] = morph;
        return morph;
    }

    // The first animation's weight keys, on the morphs of the node they name.
    void animateMorphs(const aiAnimation* a)
    {
        const double perSecond = ticksPerSecond(a);
        for (unsigned c = 0; c < a->mNumMorphMeshChannels; ++c) {
            const aiMeshMorphAnim* channel = a->mMorphMeshChannels[c];
            const aiNode* n = _scene->mRootNode->FindNode(channel->mName);
            for (unsigned i = 0; n && i < n->mNumMeshes; ++i) {
                auto found = n->mMeshes[i] < _scene->mNumMeshes ? _morphs.find(_scene->mMeshes[n->mMeshes[i]])
                                                                : _morphs.end();
                if (found == _morphs.end() || channel->mNumKeys == 0)
                    continue;
                const int targets = found->second->getCoefficient()->getCount();
                oxSmartPointer<oxMorphSequence> weights = oxMorphSequence::_instantiateRef();
                weights->setCoefficientCount(targets);
                weights->setKeyFrameCount(int(channel->mNumKeys));
                for (unsigned k = 0; k < channel->mNumKeys; ++k) {
                    const aiMeshMorphKey& key = channel->mKeys[k];
                    weights->setTimeAsLong(int(k), int64_t(key.mTime / perSecond * 1e9));
                    for (int t = 0; t < targets; ++t)
                        weights->setKeyCoefficient(t, int(k), 0.0f);
                    for (unsigned j = 0; j < key.mNumValuesAndWeights; ++j)
                        if (key.mValues[j] < unsigned(targets))
                            weights->setKeyCoefficient(int(key.mValues[j]), int(k), float(key.mWeights[j]));
                }
                weights->setDuration(std::max<int64_t>(int64_t(a->mDuration / perSecond * 1e9), 1));
                weights->setPlayMode(oxMorphSequence::REPEAT);
                weights->setInterpolationMethod(oxMorphSequence::LINEAR);
                found->second->setMorphSequence(weights);
                ++_sequences;
            }
        }
    }

    oxSmartPointer<oxNode> lights()
    {
        oxSmartPointer<oxLightSet> set = oxLightSet::_instantiateRef();
        set->setName("lights");
        for (unsigned i = 0; i < _scene->mNumLights; ++i) {
            const aiLight* l = _scene->mLights[i];
            oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();
            // Lights are placed in the model's space: the node of the same name, at rest.
            oxMatrix44f place;
            for (const aiNode* n = _scene->mRootNode->FindNode(l->mName); n; n = n->mParent)
                place = place * toMatrix(n->mTransformation);
            switch (l->mType) {
            case aiLightSource_DIRECTIONAL: light->setType(OX_GFX_LIGHT_DIRECTIONAL); break;
            case aiLightSource_SPOT:
                light->setType(OX_GFX_LIGHT_SPOT);
                light->setCutoff(std::min(l->mAngleOuterCone * 180.0f / 3.14159265f, 90.0f));
                break;
            default: light->setType(OX_GFX_LIGHT_POSITIONAL); break;
            }
            light->setPosition(place.transformPoint(oxVec3f(l->mPosition.x, l->mPosition.y, l->mPosition.z)));
            light->setDirection(
                place.transformVector(oxVec3f(l->mDirection.x, l->mDirection.y, l->mDirection.z)).normalized());
            // Intensities in physical units would saturate fixed-function lighting, and its
            // falloff with them: the colour is scaled into range and distance is ignored.
            const aiColor3D& c = l->mColorDiffuse;
            const float peak = std::max({c.r, c.g, c.b, 1.0f});
            const oxVec4f colour(c.r / peak, c.g / peak, c.b / peak, 1);
            light->setDiffuse(colour);
            light->setSpecular(colour);
            set->appendLightAttr(light);
            _lights.push_back(light);
        }
        if (_lights.empty()) {
            const oxVec3f directions[2] = {oxVec3f(-0.4f, -0.7f, -0.6f), oxVec3f(0.6f, -0.2f, 0.5f)};
            const float strengths[2] = {0.9f, 0.35f};
            for (int i = 0; i < 2; ++i) {
                oxSmartPointer<oxLightAttr> light = oxLightAttr::_instantiateRef();
                light->setType(OX_GFX_LIGHT_DIRECTIONAL);
                light->setDirection(directions[i].normalized());
                light->setAmbient(i == 0 ? oxVec4f(0.25f, 0.25f, 0.25f, 1) : oxVec4f(0, 0, 0, 1));
                light->setDiffuse(oxVec4f(strengths[i], strengths[i], strengths[i], 1));
                light->setSpecular(oxVec4f(strengths[i], strengths[i], strengths[i], 1));
                set->appendLightAttr(light);
                _lights.push_back(light);
            }
        }
        return set;
    }

    oxSmartPointer<oxNode> node(const aiNode* n)
    {
        oxSmartPointer<oxTransform> t = oxTransform::_instantiateRef();
        t->setName(n->mName.C_Str());
        const oxMatrix44f m = toMatrix(n->mTransformation);
        t->setMatrix(&m);
        _transforms[n->mName.C_Str()] = t;
        for (unsigned i = 0; i < n->mNumMeshes; ++i)
            if (n->mMeshes[i] < _geometry.size() && !isSkinned(_scene->mMeshes[n->mMeshes[i]]))
                t->appendChild(_geometry[n->mMeshes[i]]);
        for (unsigned i = 0; i < _scene->mNumCameras; ++i)
            if (_scene->mCameras[i]->mName == n->mName)
                t->appendChild(camera(_scene->mCameras[i]));
        for (unsigned i = 0; i < n->mNumChildren; ++i)
            t->appendChild(node(n->mChildren[i]));
        return t;
    }

    oxSmartPointer<oxNode> camera(const aiCamera* c)
    {
        oxSmartPointer<oxCamera> camera = oxCamera::_instantiateRef();
        camera->setName(c->mName.C_Str());
        // glTF cameras sit at their node's origin looking down -z, and Assimp gives their
        // whole field of view (other formats: half of it, and a frame of their own).
        const float fov = (_gltf ? 1.0f : 2.0f) * c->mHorizontalFOV * 180.0f / 3.14159265f;
        camera->setHorizontalFieldOfView(fov > 0 && fov < 180 ? fov : 60.0f);
        camera->setNearPlane(c->mClipPlaneNear > 0 ? c->mClipPlaneNear : 0.1f);
        camera->setFarPlane(c->mClipPlaneFar > c->mClipPlaneNear ? c->mClipPlaneFar : 1000.0f);
        if (_gltf)
            return camera;
        const oxVec3f look = oxVec3f(c->mLookAt.x, c->mLookAt.y, c->mLookAt.z).normalized();
        const oxVec3f z = -look, x = oxVec3f(c->mUp.x, c->mUp.y, c->mUp.z).cross(z).normalized(), y = z.cross(x);
        if (x.lengthSquared() < 0.5f || y.lengthSquared() < 0.5f)
            return camera;
        const oxMatrix44f frame(x.x, x.y, x.z, 0, y.x, y.y, y.z, 0, z.x, z.y, z.z, 0, c->mPosition.x, c->mPosition.y,
                                c->mPosition.z, 1);
        oxSmartPointer<oxTransform> place = oxTransform::_instantiateRef();
        place->setName((std::string(c->mName.C_Str()) + " lens").c_str());
        place->setMatrix(&frame);
        place->appendChild(camera);
        return place;
    }

    // A channel's keys, sampled at the union of its position, rotation and scale times;
    // null when it has none.
    static oxSmartPointer<oxTransformSequence1_5> motionOf(const aiNodeAnim* channel, double perSecond,
                                                           int64_t duration)
    {
        std::set<double> times;
        for (unsigned k = 0; k < channel->mNumPositionKeys; ++k)
            times.insert(channel->mPositionKeys[k].mTime);
        for (unsigned k = 0; k < channel->mNumRotationKeys; ++k)
            times.insert(channel->mRotationKeys[k].mTime);
        for (unsigned k = 0; k < channel->mNumScalingKeys; ++k)
            times.insert(channel->mScalingKeys[k].mTime);
        if (times.empty())
            return nullptr;
        oxSmartPointer<oxTransformSequence1_5> motion = oxTransformSequence1_5::_instantiateRef();
        motion->setComponentChannels(TRANSLATION | QUATERNION_ROTATION | SCALE);
        motion->setKeyFrameCount(int(times.size()));
        int i = 0;
        for (double time : times) {
            aiMatrix4x4 m(sample(channel->mScalingKeys, channel->mNumScalingKeys, time, aiVector3D(1, 1, 1)),
                          sample(channel->mRotationKeys, channel->mNumRotationKeys, time),
                          sample(channel->mPositionKeys, channel->mNumPositionKeys, time, aiVector3D()));
            const oxMatrix44f pose = toMatrix(m);
            motion->setTimeAsLong(i, int64_t(time / perSecond * 1e9));
            motion->setMatrix(i, &pose);
            ++i;
        }
        motion->validateKeyframes();
        motion->setDuration(std::max<int64_t>(duration, 1));
        motion->setPlayMode(REPEAT);
        return motion;
    }

    // A pose held for ever: what a bone the animation leaves alone keeps.
    static oxSmartPointer<oxTransformSequence1_5> rest(const aiMatrix4x4& local)
    {
        oxSmartPointer<oxTransformSequence1_5> motion = oxTransformSequence1_5::_instantiateRef();
        motion->setComponentChannels(TRANSLATION | QUATERNION_ROTATION | SCALE);
        motion->setKeyFrameCount(1);
        const oxMatrix44f pose = toMatrix(local);
        motion->setTimeAsLong(0, 0);
        motion->setMatrix(0, &pose);
        motion->validateKeyframes();
        motion->setDuration(1);
        motion->setPlayMode(CLAMP);
        return motion;
    }

    static double ticksPerSecond(const aiAnimation* a) { return a->mTicksPerSecond > 0 ? a->mTicksPerSecond : 25.0; }

    void animate(const aiAnimation* a)
    {
        const int64_t duration = int64_t(a->mDuration / ticksPerSecond(a) * 1e9);
        for (unsigned c = 0; c < a->mNumChannels; ++c) {
            const aiNodeAnim* channel = a->mChannels[c];
            auto found = _transforms.find(channel->mNodeName.C_Str());
            if (found == _transforms.end())
                continue;
            if (oxSmartPointer<oxTransformSequence1_5> motion = motionOf(channel, ticksPerSecond(a), duration)) {
                found->second->setTransformSource(motion);
                ++_sequences;
            }
        }
    }

    // Skins. One skeleton takes every bone the meshes name, rooted at their lowest common
    // ancestor; its bone 0 stands for that ancestor's parent, where the actor is placed.
    // The joints are the bones the meshes name, their blend slots in bone order.
    bool isSkinned(const aiMesh* mesh) const { return _skeleton && mesh->HasBones(); }

    static std::vector<const aiNode*> pathOf(const aiNode* n)
    {
        std::vector<const aiNode*> path;
        for (; n; n = n->mParent)
            path.push_back(n);
        std::reverse(path.begin(), path.end());
        return path;
    }

    void findSkeleton()
    {
        std::map<std::string, aiMatrix4x4> unbind;
        std::vector<const aiNode*> named;
        for (unsigned m = 0; m < _scene->mNumMeshes; ++m)
            for (unsigned b = 0; b < _scene->mMeshes[m]->mNumBones; ++b) {
                const aiBone* bone = _scene->mMeshes[m]->mBones[b];
                const aiNode* n = _scene->mRootNode->FindNode(bone->mName);
                if (!n) {
                    Core::oxReportWarning("%s: bone \"%s\" is no node of the file", _file.c_str(), bone->mName.C_Str());
                    continue;
                }
                if (unbind.emplace(bone->mName.C_Str(), bone->mOffsetMatrix).second)
                    named.push_back(n);
            }
        if (named.empty())
            return;
        std::vector<const aiNode*> common = pathOf(named[0]);
        for (const aiNode* n : named) {
            const std::vector<const aiNode*> path = pathOf(n);
            size_t k = 0;
            while (k < common.size() && k < path.size() && common[k] == path[k])
                ++k;
            common.resize(k);
        }
        _skeletonRoot = common.back();
        std::set<const aiNode*> needed;
        for (const aiNode* n : named)
            for (const aiNode* up = n; up && up != _skeletonRoot; up = up->mParent)
                needed.insert(up);
        needed.insert(_skeletonRoot);

        _skeleton = oxSkeleton::_instantiateRef();
        _skeleton->setName((std::string(_skeletonRoot->mName.C_Str()) + " skeleton").c_str());
        _skeleton->insertBone("origin", -1, oxVec3f());
        _boneNodes.push_back(nullptr);
        addBone(_skeletonRoot, 0, needed);
        int joints = 0;
        for (const aiNode* n : _boneNodes)
            joints += n && unbind.count(n->mName.C_Str());
        _skeleton->allocateInverseJointArray(joints);
        int joint = 0;
        for (int b = 1; b < int(_boneNodes.size()); ++b) {
            auto found = unbind.find(_boneNodes[size_t(b)]->mName.C_Str());
            if (found == unbind.end() || _jointSlots.count(found->first))
                continue;
            _skeleton->getBoneInfo(b)->setBmIdx(joint);
            _skeleton->setInverseJointMatrix(joint, toMatrix(found->second));
            _jointSlots[found->first] = joint++;
        }
    }

    void addBone(const aiNode* n, int parent, const std::set<const aiNode*>& needed)
    {
        aiVector3D scale, position;
        aiQuaternion rotation;
        n->mTransformation.Decompose(scale, rotation, position);
        const int bone = _skeleton->insertBone(n->mName.C_Str(), parent, oxVec3f(position.x, position.y, position.z));
        if (bone < 0)
            return;
        _boneNodes.push_back(n);
        for (unsigned i = 0; i < n->mNumChildren; ++i)
            if (needed.count(n->mChildren[i]))
                addBone(n->mChildren[i], bone, needed);
    }

    // Up to kWeights heaviest joints a vertex (the importer limits them), by blend slot.
    void weigh(const aiMesh* mesh, oxVertexArray* v)
    {
        std::vector<int> used(mesh->mNumVertices, 0);
        for (unsigned b = 0; b < mesh->mNumBones; ++b) {
            const aiBone* bone = mesh->mBones[b];
            auto slot = _jointSlots.find(bone->mName.C_Str());
            if (slot == _jointSlots.end())
                continue;
            for (unsigned w = 0; w < bone->mNumWeights; ++w) {
                const aiVertexWeight& weight = bone->mWeights[w];
                if (weight.mVertexId >= mesh->mNumVertices || used[weight.mVertexId] == kWeights)
                    continue;
                const int k = used[weight.mVertexId]++;
                v->setBlendWeight(int(weight.mVertexId), k, weight.mWeight);
                v->setBlendIndex(int(weight.mVertexId), k, slot->second);
            }
        }
    }

    // The actor: the skeleton, every animation as tracks by bone name (a bone an animation
    // leaves alone holds its rest pose), the skinned meshes as its skin, the first
    // animation playing.
    oxSmartPointer<oxNode> actor()
    {
        oxSmartPointer<oxAnimationDatabase> database = oxAnimationDatabase::_instantiateRef();
        database->setName(_file.c_str());
        database->getSkeletonList()->append(_skeleton);
        std::vector<oxSmartPointer<oxAnimation>> clips;
        for (unsigned a = 0; a < std::max(_scene->mNumAnimations, 1u); ++a) {
            const aiAnimation* source = a < _scene->mNumAnimations ? _scene->mAnimations[a] : nullptr;
            oxSmartPointer<oxAnimation> clip = oxAnimation::_instantiateRef();
            const int64_t duration =
                source ? std::max<int64_t>(int64_t(source->mDuration / ticksPerSecond(source) * 1e9), 1) : 1;
            clip->setName(source && source->mName.length ? source->mName.C_Str() : source ? "animation" : "rest");
            clip->setDuration(duration);
            for (int b = 1; b < int(_boneNodes.size()); ++b) {
                const aiNode* n = _boneNodes[size_t(b)];
                oxSmartPointer<oxTransformSequence1_5> motion;
                for (unsigned c = 0; source && !motion && c < source->mNumChannels; ++c)
                    if (source->mChannels[c]->mNodeName == n->mName)
                        motion = motionOf(source->mChannels[c], ticksPerSecond(source), duration);
                if (!motion)
                    motion = rest(n->mTransformation);
                oxSmartPointer<oxAnimationTrack> track = oxAnimationTrack::_instantiateRef();
                track->setName(n->mName.C_Str());
                track->setSource(motion);
                clip->addTrack(track, true);
            }
            database->getAnimationList()->append(clip);
            clips.push_back(clip);
        }

        oxSmartPointer<oxBlendMatrixSelect> select = oxBlendMatrixSelect::_instantiateRef();
        select->setName("joints");
        select->setBlendMatrixIndexCount(_skeleton->getJointCount());
        for (int j = 0; j < _skeleton->getJointCount(); ++j)
            select->setBlendMatrixIndex(j, j);
        oxSmartPointer<oxVertexBlendStateAttr> blending = oxVertexBlendStateAttr::_instantiateRef();
        blending->setEnabled(true);
        select->appendAttr(blending);
        for (unsigned m = 0; m < _scene->mNumMeshes; ++m)
            if (isSkinned(_scene->mMeshes[m]))
                select->appendChild(_geometry[m]);
        oxSmartPointer<oxSkin> skin = oxSkin::_instantiateRef();
        skin->setName("skin");
        skin->setSkinnedGraph(select);
        database->getSkinList()->append(skin);
        oxSmartPointer<oxAppearance> look = oxAppearance::_instantiateRef();
        look->setName("look");
        look->setSkin(skin);
        database->getAppearanceList()->append(look);

        oxSmartPointer<oxActor> actor = oxActor::_instantiateRef();
        actor->setName(_skeleton->getName().c_str());
        actor->configure(_skeleton->getName().c_str(), database);
        actor->setAppearanceByName("look");
        actor->getCombiner()->add(clips[0], oxAnimationState::kOverride, oxAnimationState::kNone,
                                  oxAnimationState::kPlaying, 0);
        return actor;
    }

    // The key at or before `time` and the fraction of the way to the next; false when the
    // value is that key's alone (before the first, after the last, on a key).
    template <class Key>
    static bool span(const Key* keys, unsigned count, double time, unsigned& k, float& f)
    {
        k = 0;
        while (k + 1 < count && keys[k + 1].mTime <= time)
            ++k;
        if (k + 1 >= count || keys[k].mTime >= time)
            return false;
        f = float((time - keys[k].mTime) / (keys[k + 1].mTime - keys[k].mTime));
        return true;
    }

    static aiVector3D sample(const aiVectorKey* keys, unsigned count, double time, aiVector3D rest)
    {
        unsigned k;
        float f;
        if (!count)
            return rest;
        if (!span(keys, count, time, k, f))
            return keys[k].mValue;
        return keys[k].mValue + (keys[k + 1].mValue - keys[k].mValue) * f;
    }

    static aiQuaternion sample(const aiQuatKey* keys, unsigned count, double time)
    {
        unsigned k;
        float f;
        if (!count)
            return aiQuaternion();
        if (!span(keys, count, time, k, f))
            return keys[k].mValue;
        aiQuaternion out;
        aiQuaternion::Interpolate(out, keys[k].mValue, keys[k + 1].mValue, f);
        return out.Normalize();
    }

    const aiScene* _scene;
    std::string _directory, _file;
    std::vector<Surface> _surfaces;
    std::vector<oxSmartPointer<oxNode>> _geometry;
    std::map<std::string, oxSmartPointer<oxTextureAttr>> _images;
    std::map<std::string, oxSmartPointer<oxTransform>> _transforms;
    std::vector<oxSmartPointer<oxLightAttr>> _lights;
    int _sequences = 0;
    bool _gltf = false;
    static constexpr int kWeights = 4;
    oxSmartPointer<oxSkeleton> _skeleton;
    const aiNode* _skeletonRoot = nullptr;
    std::vector<const aiNode*> _boneNodes;
    std::map<std::string, int> _jointSlots;
    std::map<const aiMesh*, oxSmartPointer<oxMorphInstance2>> _morphs;
};

} // namespace

bool oxImporter::canImport(const char* path)
{
    const char* dot = path ? std::strrchr(path, '.') : nullptr;
    if (!dot)
        return false;
    Assimp::Importer importer;
    return importer.IsExtensionSupported(dot);
}

oxSmartPointer<oxNode> oxImporter::importFile(const char* path)
{
    _error.clear();
    _meshes = _textures = _sequences = 0;
    _readSeconds = _convertSeconds = 0;
    if (!path || !*path) {
        _error = "no file named";
        return nullptr;
    }
    Assimp::Importer importer;
    // Indices are 16 bits: meshes are split below 65,536 vertices.
    importer.SetPropertyInteger(AI_CONFIG_PP_SLM_VERTEX_LIMIT, 65535);
    importer.SetPropertyInteger(AI_CONFIG_PP_SLM_TRIANGLE_LIMIT, 1 << 20);
    const unsigned flags = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_SortByPType |
                           aiProcess_GenSmoothNormals | aiProcess_SplitLargeMeshes | aiProcess_ValidateDataStructure |
                           aiProcess_FindInvalidData | aiProcess_LimitBoneWeights;
    const auto start = std::chrono::steady_clock::now();
    const aiScene* scene = importer.ReadFile(path, flags);
    const auto read = std::chrono::steady_clock::now();
    _readSeconds = std::chrono::duration<double>(read - start).count();
    if (!scene) {
        _error = std::string(path) + ": " + importer.GetErrorString();
        return nullptr;
    }
    if (!scene->mRootNode || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE)) {
        _error = std::string(path) + ": the file holds no complete scene";
        return nullptr;
    }
    Builder builder(scene, directoryOf(path), fileNameOf(path));
    oxSmartPointer<oxNode> root = builder.build();
    _meshes = builder.meshes();
    _textures = builder.textures();
    _sequences = builder.sequences();
    oxSmartPointer<oxBoundingBoxesMaker> bounds = oxBoundingBoxesMaker::_instantiateRef();
    bounds->setUseWholeAnimation();
    bounds->apply(root);
    _convertSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - read).count();
    return root;
}

} // namespace Kel::Sg

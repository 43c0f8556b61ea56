#include "import/oxImporter.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
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
        lit->appendChild(on);
        root->appendChild(lit);
        if (_scene->mNumAnimations)
            animate(_scene->mAnimations[0]);
        if (_scene->mNumAnimations > 1)
            Core::oxReportWarning("%s: %u animations; the first (\"%s\") drives the transforms", _file.c_str(),
                                  _scene->mNumAnimations, _scene->mAnimations[0]->mName.C_Str());
        return root;
    }

    int meshes() const { return int(_geometry.size()); }
    int textures() const { return int(_images.size()); }
    int sequences() const { return _sequences; }

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
        if (m->Get(AI_MATKEY_BASE_COLOR, base) == AI_SUCCESS)
            diffuse = base;
        else
            m->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse);
        float opacity = 1;
        if (m->Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS && opacity < 1)
            diffuse.a *= opacity;
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
        const aiMaterial* material = mesh->mMaterialIndex < _scene->mNumMaterials ? _scene->mMaterials[mesh->mMaterialIndex] : nullptr;
        aiString materialName;
        if (material && material->Get(AI_MATKEY_NAME, materialName) == AI_SUCCESS)
            surface->setName(materialName.C_Str());
        const Surface& s = _surfaces[std::min<size_t>(mesh->mMaterialIndex, _surfaces.size() - 1)];
        for (const oxSmartPointer<oxAttr>& a : s.attrs)
            surface->appendAttr(a);
        oxSmartPointer<oxGeometry> node = oxGeometry::_instantiateRef();
        node->setName(mesh->mName.C_Str());
        surface->appendChild(node);

        int sets = 0;
        while (sets < int(AI_MAX_NUMBER_OF_TEXTURECOORDS) && sets < 8 && mesh->HasTextureCoords(unsigned(sets)))
            ++sets;
        oxVertexFormat format = oxVertexFormat::kPositions;
        if (mesh->HasNormals())
            format = format | oxVertexFormat::kNormals;
        if (mesh->HasVertexColors(0))
            format = format | oxVertexFormat::kColors;
        if (sets)
            format = format | oxVertexFormat::texCoords(sets);
        oxSmartPointer<oxGeometryAttr> g = oxGeometryAttr::_instantiateRef();
        const int n = int(mesh->mNumVertices);
        g->configureVertexArray(format, n);
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
        // One primitive type a mesh (the importer sorts them); polygons are triangulated.
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
        node->addGeometryAttr(g);
        return surface;
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
            if (n->mMeshes[i] < _geometry.size())
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

    // Each channel's keys, sampled at the union of its position, rotation and scale times.
    void animate(const aiAnimation* a)
    {
        const double perSecond = a->mTicksPerSecond > 0 ? a->mTicksPerSecond : 25.0;
        const int64_t duration = int64_t(a->mDuration / perSecond * 1e9);
        for (unsigned c = 0; c < a->mNumChannels; ++c) {
            const aiNodeAnim* channel = a->mChannels[c];
            auto found = _transforms.find(channel->mNodeName.C_Str());
            if (found == _transforms.end())
                continue;
            std::set<double> times;
            for (unsigned k = 0; k < channel->mNumPositionKeys; ++k)
                times.insert(channel->mPositionKeys[k].mTime);
            for (unsigned k = 0; k < channel->mNumRotationKeys; ++k)
                times.insert(channel->mRotationKeys[k].mTime);
            for (unsigned k = 0; k < channel->mNumScalingKeys; ++k)
                times.insert(channel->mScalingKeys[k].mTime);
            if (times.empty())
                continue;
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
            found->second->setTransformSource(motion);
            ++_sequences;
        }
    }

    static aiVector3D sample(const aiVectorKey* keys, unsigned count, double time, aiVector3D rest)
    {
        if (!count)
            return rest;
        unsigned k = 0;
        while (k + 1 < count && keys[k + 1].mTime <= time)
            ++k;
        if (k + 1 >= count || keys[k].mTime >= time)
            return keys[k].mValue;
        const double f = (time - keys[k].mTime) / (keys[k + 1].mTime - keys[k].mTime);
        return keys[k].mValue + (keys[k + 1].mValue - keys[k].mValue) * float(f);
    }

    static aiQuaternion sample(const aiQuatKey* keys, unsigned count, double time)
    {
        if (!count)
            return aiQuaternion();
        unsigned k = 0;
        while (k + 1 < count && keys[k + 1].mTime <= time)
            ++k;
        if (k + 1 >= count || keys[k].mTime >= time)
            return keys[k].mValue;
        const double f = (time - keys[k].mTime) / (keys[k + 1].mTime - keys[k].mTime);
        aiQuaternion out;
        aiQuaternion::Interpolate(out, keys[k].mValue, keys[k + 1].mValue, float(f));
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
    const aiScene* scene = importer.ReadFile(path, flags);
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
    return root;
}

} // namespace Kel::Sg

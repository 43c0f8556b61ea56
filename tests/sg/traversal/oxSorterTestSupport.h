#pragma once
// A sorter fed by hand: an attribute stack manager over the generic default and capability
// managers, named attributes and geometry, and the output as text, one attribute a line
// (class and name), nested lists indented under the name of the part they hold.
#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "sg/OXSg.h"

namespace sortertest {
using namespace Kel::Sg;
using namespace Kel::Attrs;

// The sorter with its parts in view and its hooks open to a test.
class ProbeSorter : public oxSorter {
    OX_CLASS(ProbeSorter, oxSorter)
public:
    std::function<void(oxRenderPackage*, oxGeometry*)> configure;
    std::function<void(oxRenderPackageList*, oxIntList*)> customSort;
    int customAllocations = 0;

    oxRenderPackage* allocateCustomRenderPackage() override
    {
        ++customAllocations;
        return oxSorter::allocateCustomRenderPackage();
    }
    void configureCustomRenderPackage(oxRenderPackage* package, oxGeometry* geometry,
                                      oxAttrStackManager* manager) override
    {
        if (configure)
            configure(package, geometry);
        oxSorter::configureCustomRenderPackage(package, geometry, manager);
    }
    void customSortTransparentPackages(oxAttrStackManager* manager) override
    {
        if (customSort)
            customSort(getTransparentRenderPackages(), getTransparentPackageIndices());
        oxSorter::customSortTransparentPackages(manager);
    }

    // Names of the sorter's own lists and attributes, for the text form of its output.
    std::map<const oxObject*, std::string> partNames() const
    {
        return {{_lightAttrs.get(), "lights"},
                {_firstAttrs.get(), "first packages"},
                {_firstEmptyRenderPackageAttrs.get(), "first reset"},
                {_opaqueAttrs.get(), "opaque packages"},
                {_transpAttrs.get(), "transparent packages"},
                {_lastEmptyRenderPackageAttrs.get(), "final reset"},
                {_cullFaceFront.get(), "sorter's cull front"},
                {_cullFaceBack.get(), "sorter's cull back"},
                {_depthWriteDisable.get(), "sorter's depth write off"}};
    }
    oxRenderPackagePool* pool() const { return getRenderPackagePool(); }

protected:
    ProbeSorter() = default;
};

// Three texture binds whose names follow their addresses (t1 < t2 < t3), the order the
// texture sort gives.
struct Textures {
    oxTextureBindAttr* t1;
    oxTextureBindAttr* t2;
    oxTextureBindAttr* t3;
};

inline oxMatrix44f translation(const oxVec3f& t)
{
    oxMatrix44f m;
    m.setTranslation(t);
    return m;
}

class SorterRig {
public:
    SorterRig()
    {
        Kel::Sg::oxArkRegisterForOXBFiles();
        manager = oxAttrStackManager::_instantiateRef();
        manager->setup(oxAttr::getClassTypeSafe(), oxGenericAttrDefaultManager::_instantiateRef(),
                       oxGenericCapabilityManager::_instantiateRef());
        sorter = ProbeSorter::_instantiateRef();
        blend = make<oxBlendStateAttr>("blend");
        blend->setEnabled(true);
        mv1 = make<oxModelViewMatrixAttr>("mv1");
        mv1->setMatrix(translation(oxVec3f(0, 0, -10)));
        mv2 = make<oxModelViewMatrixAttr>("mv2");
        mv2->setMatrix(translation(oxVec3f(5, 0, 0)));
        std::vector<oxTextureBindAttr*> t;
        for (int i = 0; i < 3; ++i)
            t.push_back(make<oxTextureBindAttr>(""));
        std::sort(t.begin(), t.end(), [](auto* a, auto* b) { return std::less<const void*>()(a, b); });
        for (int i = 0; i < 3; ++i)
            names[t[i]] = "t" + std::to_string(i + 1);
        tex = {t[0], t[1], t[2]};
    }

    template <class T>
    T* make(const std::string& name)
    {
        oxSmartPointer<T> a = T::_instantiateRef();
        names[a.get()] = name;
        keep.push_back(a.get());
        return a;
    }

    // A geometry node with one geometry attribute named `name`; with a centre, a bound
    // around it.
    oxGeometry* geometry(const std::string& name)
    {
        oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
        g->addGeometryAttr(make<oxGeometryAttr>(name));
        keep.push_back(g.get());
        return g;
    }
    oxGeometry* geometry(const std::string& name, const oxVec3f& centre)
    {
        oxGeometry* g = geometry(name);
        oxSmartPointer<oxAABox> box = oxAABox::_instantiateRef();
        box->set(centre - oxVec3f(1, 1, 1), centre + oxVec3f(1, 1, 1));
        g->setBound(box);
        return g;
    }
    oxLightSet* lights(std::initializer_list<const char*> lightNames)
    {
        oxSmartPointer<oxLightSet> set = oxLightSet::_instantiateRef();
        for (const char* n : lightNames)
            set->appendLightAttr(make<oxLightAttr>(n));
        keep.push_back(set.get());
        return set;
    }

    void push(oxAttr* a) { manager->pushAttr(a); }
    void pop(oxAttr* a) { manager->popAttr(a); }
    void draw(oxGeometry* g) { sorter->addGeometry(g, manager); }
    // Draws `g` with `a` pushed around it.
    void drawUnder(oxAttr* a, oxGeometry* g)
    {
        push(a);
        draw(g);
        pop(a);
    }
    void nextFrame()
    {
        manager->reset();
        sorter->reset();
    }

    std::string output() { return text(sorter->getOutput(manager)); }

    std::string text(const oxDisplayListAttr* list)
    {
        std::map<const oxObject*, std::string> parts = sorter->partNames();
        std::string out;
        writeList(list, parts, "", out);
        return out;
    }

    oxSmartPointer<oxAttrStackManager> manager;
    oxSmartPointer<ProbeSorter> sorter;
    std::map<const oxObject*, std::string> names;
    std::vector<oxSmartPointer<oxObject>> keep;
    oxBlendStateAttr* blend;
    oxModelViewMatrixAttr* mv1;
    oxModelViewMatrixAttr* mv2;
    Textures tex;

private:
    std::string describe(const oxAttr* a, const std::map<const oxObject*, std::string>& parts)
    {
        std::string cls = a->getMetaObject()->getName();
        if (auto it = names.find(a); it != names.end())
            return cls + " " + it->second;
        if (auto it = parts.find(a); it != parts.end())
            return cls + " " + it->second;
        oxMetaObject* meta = a->getMetaObject();
        if (a == manager->getDefaultAttr(meta, a->getUnit()))
            return cls + " default";
        return cls + " unnamed";
    }

    void writeList(const oxDisplayListAttr* list, const std::map<const oxObject*, std::string>& parts,
                   const std::string& indent, std::string& out)
    {
        for (int i = 0; i < list->getCount(); ++i) {
            const oxAttr* a = list->get(i);
            if (!a) {
                out += indent + "null\n";
                continue;
            }
            auto part = parts.find(a);
            if (auto* nested = oxDisplayListAttr::dynamicCast(a); nested && part != parts.end()) {
                out += indent + part->second + ":\n";
                writeList(nested, parts, indent + "  ", out);
            } else
                out += indent + describe(a, parts) + "\n";
        }
    }
};

// One frame of a scene that touches every path of the sorter: lights under model-views,
// textures, transparent and two-sided geometry, compounds (nested, empty, first and
// transparent), merged and shared-state packages, flushed attributes and state resets.
struct Scene {
    explicit Scene(SorterRig& r) : r(r)
    {
        cullOn = r.make<oxCullFaceAttr>("cull on");
        cullOn->setEnabled(true);
        wipe = r.make<oxClearAttr>("wipe");
        lights = r.lights({"sun", "lamp"});
        for (int i = 0; i < 48; ++i)
            geometry.push_back(r.geometry("g" + std::to_string(i), oxVec3f(float(i % 5), 0, float(-i))));
    }

    // Everything up to the output.
    void feed()
    {
        oxTextureBindAttr* textures[] = {r.tex.t3, r.tex.t1, nullptr, r.tex.t2};
        r.push(r.mv1);
        r.sorter->addLightSet(lights, r.manager);
        for (size_t i = 0; i < geometry.size(); ++i) {
            oxTextureBindAttr* t = textures[i % 4];
            const bool glass = i % 3 == 0, twoSided = i % 6 == 3, compound = i % 8 == 5;
            if (compound)
                r.sorter->beginCompoundRenderPackage(i % 16 == 5, i % 24 == 5);
            if (glass)
                r.push(r.blend);
            if (twoSided)
                r.push(cullOn);
            if (t)
                r.push(t);
            r.draw(geometry[i]);
            // Under unchanged state: merged, or a package of its own sharing the state.
            if (i % 4 == 1)
                r.draw(geometry[(i + 7) % geometry.size()]);
            if (t)
                r.pop(t);
            if (twoSided)
                r.pop(cullOn);
            if (glass)
                r.pop(r.blend);
            if (compound) {
                r.sorter->beginCompoundRenderPackage(false, false);
                r.sorter->endCompoundRenderPackage();
                r.sorter->endCompoundRenderPackage();
            }
            if (i % 10 == 9) {
                r.push(r.mv2);
                r.sorter->flushAttr(wipe, r.manager);
                r.sorter->resetAttrForRenderPackage(r.manager, oxModelViewMatrixAttr::getClassTypeSafe());
                r.pop(r.mv2);
            }
        }
        r.pop(r.mv1);
    }
    void draw()
    {
        feed();
        r.sorter->getOutput(r.manager);
    }

    SorterRig& r;
    oxCullFaceAttr* cullOn;
    oxClearAttr* wipe;
    oxLightSet* lights;
    std::vector<oxGeometry*> geometry;
};

} // namespace sortertest

#pragma once
// A draw traversal on a recording device whose walk leaves a log: probe leaves note the
// state in force when they are visited, and pops of the watched attribute classes note
// which attribute left. Attributes and probes are named by the test.
#include <map>
#include <string>
#include <vector>

#include "platform/attrs/OXAttrs.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "sg/OXSg.h"

namespace shadertest {
using namespace Kel::Sg;
using namespace Kel::Attrs;

// A leaf the log's traversal visits through a function of its own; it answers what its
// `answer` says.
class Probe : public oxNode {
    OX_CLASS(Probe, oxNode)
public:
    OX_TRAVERSAL_RETURN answer = OX_TRAVERSAL_CONTINUE;

protected:
    Probe() = default;
};

class ShaderLog {
public:
    std::vector<std::string> entries;
    std::map<const void*, std::string> names;

    template <class A>
    oxSmartPointer<A> attr(const std::string& name)
    {
        oxSmartPointer<A> a = A::_instantiateRef();
        names[a.get()] = name;
        return a;
    }
    oxSmartPointer<Probe> probe(const std::string& name, OX_TRAVERSAL_RETURN answer = OX_TRAVERSAL_CONTINUE)
    {
        oxSmartPointer<Probe> p = Probe::_instantiateRef();
        p->answer = answer;
        names[p.get()] = name;
        return p;
    }
    std::string nameOf(const void* object) const
    {
        auto it = names.find(object);
        return it == names.end() ? std::string() : it->second;
    }
    // The names of the tops of the watched stacks, "-" for an empty or unnamed one.
    std::string state(oxAttrStackManager* m) const
    {
        std::string s;
        for (oxMetaObject* meta : watched()) {
            const std::string n = nameOf(m->getTop(meta));
            s += (s.empty() ? "" : " ") + (n.empty() ? std::string("-") : n);
        }
        return s;
    }
    static std::vector<oxMetaObject*> watched()
    {
        return {oxModelViewMatrixAttr::getClassTypeSafe(), oxBlendStateAttr::getClassTypeSafe(),
                oxDepthStateAttr::getClassTypeSafe(), oxCullFaceAttr::getClassTypeSafe()};
    }
    // Entries of one kind ("visit", "pop"), in order.
    std::vector<std::string> only(const std::string& kind) const
    {
        std::vector<std::string> out;
        for (const std::string& e : entries)
            if (e.rfind(kind + " ", 0) == 0)
                out.push_back(e.substr(kind.size() + 1));
        return out;
    }
};

class ShaderDrawTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::Sg::oxArkRegisterForOXBFiles(); }

    void SetUp() override
    {
        Probe::getClassTypeSafe();
        traversal->setVisualContext(vc);
        traversal->setUserTimeState(true);
        traversal->setTimeAsLong(0);
        oxSmartPointer<oxTraversalFunctionList> own = oxTraversalFunctionList::_instantiateRef();
        own->copy(traversal->getTraversalFunctions());
        traversal->setTraversalFunctions(own);
        traversal->setFunction(Probe::getClassTypeSafe(), &visitProbe);
        oxAttrStackManager* m = traversal->getAttrStackManager();
        m->setPopFunctionData(&log);
        for (oxMetaObject* meta : ShaderLog::watched())
            m->setPopFunction(meta, &recordPop);
    }

    // One frame: the log of its walk is in `log`, the device calls are returned.
    std::string frame(oxNode* root, int64_t time = 0)
    {
        log.entries.clear();
        traversal->setTimeAsLong(time);
        traversal->reset();
        traversal->apply(root);
        vc->clearTrace();
        traversal->getOutput()->apply(vc);
        return vc->getTrace();
    }

    static OX_TRAVERSAL_RETURN visitProbe(oxTraversal* t, oxObject* node)
    {
        auto* ct = static_cast<oxCommonTraversal*>(t);
        auto* l = static_cast<ShaderLog*>(ct->getAttrStackManager()->getPopFunctionData());
        std::string entry = "visit " + l->nameOf(node) + " [" + l->state(ct->getAttrStackManager()) + "]";
        bool open = false, transparent = false;
        oxSorter::k_isCompoundPackageOpen->get(ct->getSorter(), open);
        oxSorter::k_isCompoundPackageTransparent->get(ct->getSorter(), transparent);
        if (open)
            entry += transparent ? " in transparent package" : " in package";
        l->entries.push_back(entry);
        return static_cast<Probe*>(node)->answer;
    }
    static void recordPop(oxAttr* attr, void* data)
    {
        auto* l = static_cast<ShaderLog*>(data);
        const std::string n = l->nameOf(attr);
        if (!n.empty())
            l->entries.push_back("pop " + n);
    }

    ShaderLog log;
    oxSmartPointer<Kel::Gfx::oxRecordingVisualContext> vc = Kel::Gfx::oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxCommonTraversal> traversal = oxCommonTraversal::_instantiateRef();
};

} // namespace shadertest

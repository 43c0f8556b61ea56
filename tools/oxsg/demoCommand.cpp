// oxsg demo: builds the demonstration graph and prints it, one node a line.
#include <cstdio>
#include <string>

#include "sg/OXSg.h"
#include "tools/oxsg/oxsgCommand.h"

using namespace Kel::Sg;

namespace {

oxSmartPointer<oxGroup> makeGroup(const char* name)
{
    oxSmartPointer<oxGroup> g = oxGroup::_instantiateRef();
    g->setName(name);
    return g;
}

// A small scene: a ground and a row of instanced crates under a keyed information node.
oxSmartPointer<oxGroup> buildDemo()
{
    oxSmartPointer<oxGroup> root = makeGroup("scene");
    oxSmartPointer<oxHashedUserInfo> info = oxHashedUserInfo::_instantiateRef();
    info->setName("level");
    info->insertProperty(oxProperty::makeText("author", "OXSg"));
    info->insertProperty(oxProperty::makeText("music", "calm.ogg"));
    root->appendChild(info);

    oxSmartPointer<oxNode> ground = oxNode::_instantiateRef();
    ground->setName("ground");
    oxSmartPointer<oxAABox> box = oxAABox::_instantiateRef();
    box->set(oxVec3f(-50, -1, -50), oxVec3f(50, 0, 50));
    ground->setBound(box);
    info->appendChild(ground);

    // One crate shared by three stacks: the graph is a DAG, not a tree.
    oxSmartPointer<oxNode> crate = oxNode::_instantiateRef();
    crate->setName("crate");
    crate->setFlags(oxNode::IS_COLLIDABLE, true);
    oxSmartPointer<oxGroup> crates = makeGroup("crates");
    for (int i = 0; i < 3; ++i) {
        oxSmartPointer<oxGroup> stack = makeGroup(("stack" + std::to_string(i)).c_str());
        stack->appendChild(crate);
        crates->appendChild(stack);
    }
    info->appendChild(crates);
    return root;
}

std::string flagsText(int flags)
{
    std::string out;
    oxMetaEnum* e = oxNode::getNODE_FLAGSMetaEnum();
    for (int bit = 1; bit <= oxNode::ENDBIT; bit <<= 1)
        if (flags & bit)
            out += std::string(out.empty() ? "" : "|") + e->getEnumName(bit);
    return out;
}

void print(oxNode* node, int depth)
{
    std::printf("%*s%s \"%s\"", depth * 2, "", node->getMetaObject()->getName(), node->getName().c_str());
    if (node->getParentCount() > 1)
        std::printf(" (shared by %d parents)", node->getParentCount());
    if (node->getFlags())
        std::printf(" [%s]", flagsText(node->getFlags()).c_str());
    if (oxVolume* bound = node->getBound()) {
        oxBox3f b = bound->getBox();
        std::printf(" bound (%g %g %g)-(%g %g %g)", b.min.x, b.min.y, b.min.z, b.max.x, b.max.y, b.max.z);
    }
    if (auto* info = oxUserInfo::dynamicCast(node))
        for (int i = 0; i < info->getPropertyCount(); ++i) {
            oxProperty* p = info->getPropertyList()->get(i);
            auto* k = oxStringKey::dynamicCast(p->getKey());
            auto* v = oxStringValue::dynamicCast(p->getValue());
            if (k && v)
                std::printf(" %s=%s", k->getValue().c_str(), v->getValue().c_str());
        }
    std::printf("\n");
    if (auto* group = oxGroup::dynamicCast(node))
        for (int i = 0; i < group->getChildCount(); ++i)
            print(group->getChild(i), depth + 1);
}

int runDemo(int argc, char**)
{
    if (argc > 1) {
        std::fprintf(stderr, "oxsg demo: takes no arguments\n");
        return 2;
    }
    Kel::libOXSg_arkRegister();
    oxSmartPointer<oxGroup> root = buildDemo();
    print(root, 0);
    return 0;
}

} // namespace

OXSG_COMMAND(demo, "demo", "build the demonstration graph and print it", runDemo)

#include "sg/nodes/oxSgPrint.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/attrs/oxGeometryAttr.h"
#include "platform/attrs/oxStateAttrs.h"
#include "platform/attrs/oxVertexBlendAttrs.h"
#include "platform/core/oxEnumTable.h"
#include "sg/animation/oxTransformSequence.h"
#include "sg/nodes/oxAttrSet.h"
#include "sg/nodes/oxTransform.h"

namespace Kel::Sg {

namespace {

using Attrs::oxBaseGeometryAttr;
using Attrs::oxVertexBlendMatrixListAttr;
using Attrs::oxVertexBlendStateAttr;

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string text = oxFormatV(fmt, args);
    va_end(args);
    return text;
}

std::string address(const void* p)
{
    return format("%" PRIXPTR, reinterpret_cast<uintptr_t>(p));
}

const char* className(const oxObject* o)
{
    return o->getMetaObject()->getName();
}

// Each line is written and flushed as soon as it is complete.
void emit(const std::string& line)
{
    oxOutput::toStandardOut(line.c_str());
    oxOutput::flushStandardOut();
}

std::string repeat(const char* text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

std::string indent(int depth)
{
    if (depth <= 0)
        return "";
    if (depth == 1)
        return "|--->";
    return repeat("     ", depth - 2) + "   |--->";
}

std::string describeAttr(const oxAttr* attr)
{
    if (auto* g = oxBaseGeometryAttr::dynamicCast(attr)) {
        if (!g->getVertexSource())
            return "This geometry has no vertex data.";
        static constexpr auto kPrimitives = Core::oxMakeEnumTable<Gfx::OX_GFX_DRAW, const char*>({
            {Gfx::OX_GFX_DRAW_POINTS, "%d points"},
            {Gfx::OX_GFX_DRAW_LINES, "%d lines"},
            {Gfx::OX_GFX_DRAW_LINE_STRIPS, "%d line strips"},
            {Gfx::OX_GFX_DRAW_TRIANGLES, "%d tris"},
            {Gfx::OX_GFX_DRAW_TRIANGLE_STRIPS, "%d tri strips"},
            {Gfx::OX_GFX_DRAW_TRIANGLE_FANS, "%d fans"},
        });
        const char* kind = kPrimitives.get(g->getPrimitiveType(), nullptr);
        std::string text = kind ? format(kind, g->getPrimitiveCount()) : "-";
        return text + format(", %d verts", g->getVertexCount());
    }
    if (auto* list = oxVertexBlendMatrixListAttr::dynamicCast(attr))
        return format(" %d mats", list->getMatrixCount());
    if (auto* state = oxVertexBlendStateAttr::dynamicCast(attr))
        return state->getEnabled() ? "enable" : "disable";
    return "";
}

class GraphPrinter {
public:
    void print(oxNode* root, int rootDepth)
    {
        // Children are visited in order by taking them off a stack in reverse, so that a
        // deep graph from a file cannot exhaust the call stack.
        std::vector<std::pair<oxNode*, int>> pending{{root, rootDepth}};
        while (!pending.empty()) {
            auto [node, depth] = pending.back();
            pending.pop_back();
            if (!printNode(node, depth))
                continue;
            if (auto* group = oxGroup::dynamicCast(node))
                for (int i = group->getChildCount() - 1; i >= 0; --i)
                    pending.emplace_back(group->getChild(i), depth + 1);
        }
    }

private:
    // False when the node was printed before (its subtree is not printed again).
    bool printNode(oxNode* node, int depth)
    {
        if (!node)
            return false;
        auto [entry, first] = _printed.try_emplace(node, 0);
        if (!first)
            ++entry->second;

        std::string line = indent(depth);
        if (!first)
            line += format(" * Instance number %d of ", entry->second);
        if (node->getName().isNull())
            line += className(node);
        else
            line += format("%s named \"%s\"", className(node), node->getName().c_str());
        if (auto* transform = oxTransform::dynamicCast(node))
            if (const oxTransformSource* source = transform->getTransformSource()) {
                line += format(" : %s[%s]", className(source), address(source).c_str());
                if (auto* sequence = oxTransformSequence::dynamicCast(source))
                    line += format(" %d keys", sequence->getKeyFrameCount());
            }
        emit(line + "\n");
        if (!first)
            return false;

        if (auto* set = oxAttrSet::dynamicCast(node))
            for (int i = 0; i < set->getAttrCount(); ++i)
                if (const oxAttr* attr = set->getAttr(i))
                    emit(repeat("     ", depth) + format("  -(%s) %s ", className(attr), address(attr).c_str()) +
                         describeAttr(attr) + "\n");
        return true;
    }

    std::unordered_map<const oxNode*, int> _printed;
};

} // namespace

void oxSgPrint(oxNode* root, int depth)
{
    if (!root)
        return;
    GraphPrinter().print(root, depth);
}

} // namespace Kel::Sg

// The two graph rules of scene files, against a plain reference on many random graphs: the
// cycle search starts only where a cycle could close, and must still find every one.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/core/oxReferenceGraph.h"

using namespace Kel::Core;

namespace {

struct Edge {
    uint32_t from, to;
    bool holds;
};

// Kahn's algorithm: a holding cycle exists when some node never loses all its incoming
// holding edges. Nodes on a cycle or downstream of one are left; the set of nodes that
// are on a cycle is found by asking, for each node left, whether it reaches itself.
std::vector<bool> nodesOnCycles(uint32_t n, const std::vector<Edge>& edges, const std::vector<bool>& ignored)
{
    std::vector<std::vector<uint32_t>> out(n);
    for (const Edge& e : edges)
        if (e.holds && !ignored[e.to])
            out[e.from].push_back(e.to);
    std::vector<bool> on(n, false);
    for (uint32_t start = 0; start < n; ++start) {
        std::vector<bool> seen(n, false);
        std::vector<uint32_t> stack(out[start].begin(), out[start].end());
        while (!stack.empty()) {
            uint32_t v = stack.back();
            stack.pop_back();
            if (v == start) {
                on[start] = true;
                break;
            }
            if (!seen[v]) {
                seen[v] = true;
                stack.insert(stack.end(), out[v].begin(), out[v].end());
            }
        }
    }
    return on;
}

} // namespace

TEST(ReferenceGraph, FindsEveryHoldingCycleAndNamesANodeOnIt)
{
    std::mt19937 random(11);
    int withCycle = 0;
    for (int round = 0; round < 400; ++round) {
        uint32_t n = 2 + random() % 40;
        // The same references in the order drawn and grouped by source, as a writer meets
        // them: the graph keeps the second form as it comes and must answer alike.
        oxReferenceGraph graph, grouped;
        std::vector<Edge> edges;
        std::vector<bool> ignored(n, false);
        // Mostly forward edges, as breadth-first numbering gives, some back to shared
        // nodes, some plain, and a few ignored nodes.
        uint32_t count = random() % (2 * n);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t from = random() % n, to = random() % n;
            if (random() % 4 && from > to)
                std::swap(from, to);
            Edge e{from, to, random() % 5 != 0};
            edges.push_back(e);
            graph.add(e.from, e.to, e.holds);
        }
        std::vector<Edge> bySource = edges;
        std::stable_sort(bySource.begin(), bySource.end(), [](const Edge& a, const Edge& b) { return a.from < b.from; });
        for (const Edge& e : bySource)
            grouped.add(e.from, e.to, e.holds);
        if (random() % 3 == 0) {
            uint32_t k = random() % n;
            ignored[k] = true;
            graph.ignore(k);
            grouped.ignore(k);
        }
        graph.setNodeCount(n);
        grouped.setNodeCount(n);

        std::vector<bool> on = nodesOnCycles(n, edges, ignored);
        bool any = false;
        for (bool b : on)
            any = any || b;
        for (const oxReferenceGraph* g : {&graph, &grouped}) {
            uint32_t node = ~0u;
            ASSERT_EQ(g->findHoldingCycle(node), any) << "round " << round << (g == &grouped ? ", grouped" : "");
            if (any) {
                ASSERT_LT(node, n);
                EXPECT_TRUE(on[node]) << "round " << round << ": node " << node << " is not on a cycle";
            }
        }
        withCycle += any;
        uint32_t from = 0, to = 0, groupedFrom = 0, groupedTo = 0;
        const bool unheld = graph.findUnheldTarget(0, from, to);
        ASSERT_EQ(grouped.findUnheldTarget(0, groupedFrom, groupedTo), unheld) << "round " << round;
        if (unheld) {
            EXPECT_TRUE(std::any_of(edges.begin(), edges.end(), [&](const Edge& e) {
                return !e.holds && e.from == groupedFrom && e.to == groupedTo;
            })) << "round " << round << ": the grouped graph names a reference that is not a plain one";
        }
    }
    EXPECT_GT(withCycle, 50);
    EXPECT_LT(withCycle, 350);
}

TEST(ReferenceGraph, PlainPointersMustLeadToHeldNodesUnlessIgnored)
{
    // 0 holds 1; 1 points at 2, which nothing holds; 3 is held by 2 only.
    oxReferenceGraph graph(4);
    graph.add(0, 1, true);
    graph.add(1, 2, false);
    graph.add(2, 3, true);
    uint32_t from = 0, to = 0;
    ASSERT_TRUE(graph.findUnheldTarget(0, from, to));
    EXPECT_EQ(from, 1u);
    EXPECT_EQ(to, 2u);
    graph.ignore(2);
    EXPECT_FALSE(graph.findUnheldTarget(0, from, to)) << "an ignored node needs no holder";
    graph.add(0, 2, true);
    uint32_t node = 0;
    EXPECT_FALSE(graph.findHoldingCycle(node));
    graph.add(3, 0, true);
    graph.add(2, 3, true);
    EXPECT_FALSE(graph.findHoldingCycle(node)) << "references to an ignored node hold nothing";
}

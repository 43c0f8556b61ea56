#include "platform/core/oxReferenceGraph.h"

namespace Kel::Core {

std::vector<uint8_t> oxReferenceGraph::ignoredNodes() const
{
    std::vector<uint8_t> ignored(_nodeCount, 0);
    for (uint32_t n : _ignored)
        if (n < _nodeCount)
            ignored[n] = 1;
    return ignored;
}

void oxReferenceGraph::buildAdjacency(std::vector<uint32_t>& first, std::vector<uint32_t>& targets) const
{
    std::vector<uint8_t> ignored = ignoredNodes();
    first.assign(size_t(_nodeCount) + 1, 0);
    for (const Edge& e : _holding)
        if (!ignored[e.to])
            ++first[e.from + 1];
    for (uint32_t n = 0; n < _nodeCount; ++n)
        first[n + 1] += first[n];
    targets.resize(first[_nodeCount]);
    std::vector<uint32_t> fill(first.begin(), first.end() - 1);
    for (const Edge& e : _holding)
        if (!ignored[e.to])
            targets[fill[e.from]++] = e.to;
}

bool oxReferenceGraph::findHoldingCycle(uint32_t& node) const
{
    std::vector<uint32_t> first, targets;
    buildAdjacency(first, targets);
    // Every cycle has an edge to a node numbered no higher than its source, and so passes
    // through the target of such an edge. Scene files number objects breadth first, so
    // those edges are the few references to shared objects: a search from their targets
    // alone says whether there is a cycle at all, without walking the whole graph.
    std::vector<uint32_t> starts;
    for (uint32_t n = 0; n < _nodeCount; ++n)
        for (uint32_t k = first[n]; k < first[n + 1]; ++k)
            if (targets[k] <= n)
                starts.push_back(targets[k]);
    if (!searchCycle(first, targets, starts, node))
        return false;
    // One exists: the full search names the same object on it whatever the numbering.
    starts.resize(_nodeCount);
    for (uint32_t n = 0; n < _nodeCount; ++n)
        starts[n] = n;
    return searchCycle(first, targets, starts, node);
}

bool oxReferenceGraph::searchCycle(const std::vector<uint32_t>& first, const std::vector<uint32_t>& targets,
                                   const std::vector<uint32_t>& starts, uint32_t& node) const
{
    enum : uint8_t { kUnseen, kOnPath, kDone };
    std::vector<uint8_t> state(_nodeCount, kUnseen);
    // Depth-first with an explicit stack of (node, next target position).
    std::vector<std::pair<uint32_t, uint32_t>> path;
    for (uint32_t start : starts) {
        if (state[start] != kUnseen)
            continue;
        state[start] = kOnPath;
        path.push_back({start, first[start]});
        while (!path.empty()) {
            auto& [n, next] = path.back();
            if (next == first[n + 1]) {
                state[n] = kDone;
                path.pop_back();
                continue;
            }
            uint32_t t = targets[next++];
            if (state[t] == kOnPath) {
                node = t;
                return true;
            }
            if (state[t] == kUnseen) {
                state[t] = kOnPath;
                path.push_back({t, first[t]});
            }
        }
    }
    return false;
}

bool oxReferenceGraph::findUnheldTarget(uint32_t root, uint32_t& from, uint32_t& to) const
{
    if (_plain.empty())
        return false;
    std::vector<uint32_t> first, targets;
    buildAdjacency(first, targets);
    std::vector<uint8_t> held(_nodeCount, 0);
    std::vector<uint32_t> queue{root};
    held[root] = 1;
    for (size_t i = 0; i < queue.size(); ++i)
        for (uint32_t k = first[queue[i]]; k < first[queue[i] + 1]; ++k)
            if (!held[targets[k]]) {
                held[targets[k]] = 1;
                queue.push_back(targets[k]);
            }
    std::vector<uint8_t> ignored = ignoredNodes();
    for (const Edge& e : _plain)
        if (held[e.from] && !held[e.to] && !ignored[e.to]) {
            from = e.from;
            to = e.to;
            return true;
        }
    return false;
}

} // namespace Kel::Core

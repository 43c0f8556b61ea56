#include "platform/core/oxReferenceGraph.h"

namespace Kel::Core {

std::vector<uint8_t> oxReferenceGraph::ignoredNodes() const
{
    std::vector<uint8_t> ignored;
    if (_ignored.empty())
        return ignored;
    ignored.assign(_nodeCount, 0);
    for (uint32_t n : _ignored)
        if (n < _nodeCount)
            ignored[n] = 1;
    return ignored;
}

void oxReferenceGraph::addUngrouped(uint32_t from, uint32_t to)
{
    if (_grouped) {
        _holding.reserve(_targets.size() + 1);
        for (uint32_t n = 0; n < _first.size(); ++n)
            for (uint32_t k = _first[n], end = n + 1 < _first.size() ? _first[n + 1] : uint32_t(_targets.size());
                 k < end; ++k)
                _holding.push_back({n, _targets[k]});
        _grouped = false;
        std::vector<uint32_t>().swap(_first);
        std::vector<uint32_t>().swap(_targets);
    }
    _holding.push_back({from, to});
}

oxReferenceGraph::Adjacency oxReferenceGraph::adjacency(std::vector<uint32_t>& first,
                                                        std::vector<uint32_t>& targets) const
{
    if (_grouped)
        return {_first.data(), _first.size(), _targets.data(), _targets.size()};
    first.assign(size_t(_nodeCount) + 1, 0);
    for (const Edge& e : _holding)
        ++first[e.from + 1];
    for (uint32_t n = 0; n < _nodeCount; ++n)
        first[n + 1] += first[n];
    targets.resize(first[_nodeCount]);
    std::vector<uint32_t> fill(first.begin(), first.end() - 1);
    for (const Edge& e : _holding)
        targets[fill[e.from]++] = e.to;
    return {first.data(), first.size(), targets.data(), targets.size()};
}

bool oxReferenceGraph::findHoldingCycle(uint32_t& node) const
{
    std::vector<uint32_t> first, targets;
    const Adjacency adj = adjacency(first, targets);
    const std::vector<uint8_t> ignored = ignoredNodes();
    // Every cycle has an edge to a node numbered no higher than its source, and so passes
    // through the target of such an edge. Scene files number objects breadth first, so
    // those edges are the few references to shared objects: a search from their targets
    // alone says whether there is a cycle at all, without walking the whole graph.
    std::vector<uint32_t> starts;
    for (uint32_t n = 0; n < _nodeCount; ++n)
        for (uint32_t k = adj.begin(n), end = adj.end(n); k < end; ++k)
            if (adj.targets[k] <= n && (ignored.empty() || !ignored[adj.targets[k]]))
                starts.push_back(adj.targets[k]);
    if (!searchCycle(adj, ignored, starts, node))
        return false;
    // One exists: the full search names the same object on it whatever the numbering.
    starts.resize(_nodeCount);
    for (uint32_t n = 0; n < _nodeCount; ++n)
        starts[n] = n;
    return searchCycle(adj, ignored, starts, node);
}

bool oxReferenceGraph::searchCycle(const Adjacency& adj, const std::vector<uint8_t>& ignored,
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
        path.push_back({start, adj.begin(start)});
        while (!path.empty()) {
            auto& [n, next] = path.back();
            if (next == adj.end(n)) {
                state[n] = kDone;
                path.pop_back();
                continue;
            }
            uint32_t t = adj.targets[next++];
            if (!ignored.empty() && ignored[t])
                continue;
            if (state[t] == kOnPath) {
                node = t;
                return true;
            }
            if (state[t] == kUnseen) {
                state[t] = kOnPath;
                path.push_back({t, adj.begin(t)});
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
    const Adjacency adj = adjacency(first, targets);
    const std::vector<uint8_t> ignored = ignoredNodes();
    std::vector<uint8_t> held(_nodeCount, 0);
    std::vector<uint32_t> queue{root};
    held[root] = 1;
    for (size_t i = 0; i < queue.size(); ++i)
        for (uint32_t k = adj.begin(queue[i]), end = adj.end(queue[i]); k < end; ++k) {
            uint32_t t = adj.targets[k];
            if (!held[t] && (ignored.empty() || !ignored[t])) {
                held[t] = 1;
                queue.push_back(t);
            }
        }
    for (const Edge& e : _plain)
        if (held[e.from] && !held[e.to] && (ignored.empty() || !ignored[e.to])) {
            from = e.from;
            to = e.to;
            return true;
        }
    return false;
}

} // namespace Kel::Core

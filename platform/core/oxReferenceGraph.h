#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kel::Core {

// References between numbered objects (0-based here), holding or plain, and the two
// shapes a stored graph may not have, because reference counting could not live with them:
// a cycle of holding references (its objects could never be released) and a plain
// reference to an object that nothing in the graph holds (it would dangle once the graph
// is built). The scene-file writer and reader both check them, so the writer never stores
// what the reader refuses. Walks are iterative: chains may be as long as the graph.
class oxReferenceGraph {
public:
    explicit oxReferenceGraph(uint32_t nodeCount = 0) : _nodeCount(nodeCount) {}
    void setNodeCount(uint32_t nodeCount) { _nodeCount = nodeCount; }

    void add(uint32_t from, uint32_t to, bool holds) { (holds ? _holding : _plain).push_back({from, to}); }
    // References to `node` count for neither check (it stands for something that is not
    // reference counted, such as a class description).
    void ignore(uint32_t node) { _ignored.push_back(node); }

    // True when some holding references form a cycle; `node` is one object on it.
    bool findHoldingCycle(uint32_t& node) const;
    // True when an object held from `root` refers without holding to one that is not held
    // from `root`.
    bool findUnheldTarget(uint32_t root, uint32_t& from, uint32_t& to) const;

private:
    struct Edge {
        uint32_t from, to;
    };
    // Holding edges grouped by their source: targets of node n are
    // _targets[_first[n] .. _first[n + 1]).
    void buildAdjacency(std::vector<uint32_t>& first, std::vector<uint32_t>& targets) const;
    // Depth-first from each of `starts` in turn; true, with a node on it, at the first cycle.
    bool searchCycle(const std::vector<uint32_t>& first, const std::vector<uint32_t>& targets,
                     const std::vector<uint32_t>& starts, uint32_t& node) const;
    // Per node, 1 when it is ignored.
    std::vector<uint8_t> ignoredNodes() const;

    uint32_t _nodeCount;
    std::vector<Edge> _holding;
    std::vector<Edge> _plain;
    std::vector<uint32_t> _ignored;
};

} // namespace Kel::Core

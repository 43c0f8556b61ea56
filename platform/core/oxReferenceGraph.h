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

    // Cheapest when holding references come grouped by their source in ascending order, as
    // a writer or reader meets them record after record: they are then kept as the
    // adjacency the walks use, four bytes each, with no sorting and no copy.
    void add(uint32_t from, uint32_t to, bool holds)
    {
        if (!holds)
            _plain.push_back({from, to});
        else if (_grouped && from + size_t(1) >= _first.size()) {
            while (_first.size() <= from)
                _first.push_back(uint32_t(_targets.size()));
            _targets.push_back(to);
        } else
            addUngrouped(from, to);
    }
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
    // Holding references by source: those of node n are targets[begin(n) .. end(n)).
    // References to ignored nodes are left out by the walks, not here.
    struct Adjacency {
        const uint32_t* first;
        size_t firstCount;
        const uint32_t* targets;
        size_t targetCount;
        uint32_t begin(uint32_t n) const { return n < firstCount ? first[n] : uint32_t(targetCount); }
        uint32_t end(uint32_t n) const { return n + size_t(1) < firstCount ? first[n + 1] : uint32_t(targetCount); }
    };
    // The references out of order: from then on they are kept as edges and sorted by a
    // counting pass when a walk needs them.
    void addUngrouped(uint32_t from, uint32_t to);
    // Built into `first` and `targets` only when the references came out of order.
    Adjacency adjacency(std::vector<uint32_t>& first, std::vector<uint32_t>& targets) const;
    // Depth-first from each of `starts` in turn; true, with a node on it, at the first cycle.
    bool searchCycle(const Adjacency& adjacency, const std::vector<uint8_t>& ignored,
                     const std::vector<uint32_t>& starts, uint32_t& node) const;
    // Per node, 1 when it is ignored; empty when none is.
    std::vector<uint8_t> ignoredNodes() const;

    uint32_t _nodeCount;
    bool _grouped = true;
    std::vector<uint32_t> _first;   // while grouped: per source so far, its first target
    std::vector<uint32_t> _targets; // while grouped
    std::vector<Edge> _holding;     // once not
    std::vector<Edge> _plain;
    std::vector<uint32_t> _ignored;
};

} // namespace Kel::Core

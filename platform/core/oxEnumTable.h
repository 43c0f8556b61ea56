#pragma once
#include <cstddef>

namespace Kel::Core {

// One row of a table looked up by an enumeration: the value for one key.
template <class Key, class Value>
struct oxKeyedRow {
    Key key;
    Value value;
};

namespace detail {
// Deliberately not constexpr: a table built at compile time that reaches it does not compile.
inline void oxEnumTableKeyOutOfRangeOrRepeated() {}
} // namespace detail

// Values looked up by an enumeration whose keys run from 0 to N - 1, such as the device's
// enumerations and their GL counterparts. Each row names its key, so the order the rows are
// written in means nothing, and a table built at compile time with a key outside 0 .. N - 1
// or listed twice (and so with another missing) does not compile. The lookup is one index.
template <class Key, class Value, size_t N>
class oxEnumTable {
public:
    consteval explicit oxEnumTable(const oxKeyedRow<Key, Value> (&rows)[N])
    {
        bool seen[N] = {};
        for (const oxKeyedRow<Key, Value>& row : rows) {
            const long long key = static_cast<long long>(row.key);
            if (key < 0 || key >= static_cast<long long>(N) || seen[key])
                detail::oxEnumTableKeyOutOfRangeOrRepeated();
            seen[key] = true;
            _values[key] = row.value;
        }
    }

    // The value for `key`, `otherwise` for a key outside the table.
    constexpr Value get(long long key, Value otherwise) const
    {
        return key >= 0 && key < static_cast<long long>(N) ? _values[key] : otherwise;
    }
    static constexpr size_t size() { return N; }

private:
    Value _values[N] = {};
};

// oxMakeEnumTable<Key, Value>({{key, value}, ...}): the row count gives the key range.
template <class Key, class Value, size_t N>
consteval oxEnumTable<Key, Value, N> oxMakeEnumTable(const oxKeyedRow<Key, Value> (&rows)[N])
{
    return oxEnumTable<Key, Value, N>(rows);
}

} // namespace Kel::Core

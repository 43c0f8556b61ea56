// Must not compile with OXSG_REPEATED_KEY or OXSG_KEY_OUT_OF_RANGE defined: the tests in
// tests/CMakeLists.txt expect the compiler to name the check that refuses the table.
#include "platform/core/oxEnumTable.h"

enum Colour { kRed = 0, kGreen = 1, kBlue = 2 };

#if defined(OXSG_REPEATED_KEY)
constexpr auto kTable = Kel::Core::oxMakeEnumTable<Colour, int>({{kRed, 1}, {kGreen, 2}, {kRed, 3}});
#elif defined(OXSG_KEY_OUT_OF_RANGE)
constexpr auto kTable = Kel::Core::oxMakeEnumTable<Colour, int>({{kRed, 1}, {kBlue, 3}});
#else
constexpr auto kTable = Kel::Core::oxMakeEnumTable<Colour, int>({{kBlue, 3}, {kRed, 1}, {kGreen, 2}});
#endif

int main()
{
    return kTable.get(kRed, 0) == 1 ? 0 : 1;
}

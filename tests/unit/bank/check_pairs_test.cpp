// The pair check bankguard makes before a list reaches the core library.
#include <gtest/gtest.h>

#include "validate.h"

namespace {

using bankguard::check_pairs;
using bankguard::Pair;
using Entries = std::vector<std::string>;

TEST(CheckPairs, KeepsOnlyFourPlusFourHexadecimalCharacters) {
    const Pair pairs[] = {{"c820", "0bda"},  {"c82", "0bda"},   {"c8g0", "0bda"},
                          {"ABCD", "ef01"},  {nullptr, "0bda"}, {"c820", nullptr},
                          {"c820", "0bdaa"}, {"12 4", "0000"}};
    auto checked = check_pairs(pairs);
    EXPECT_EQ(checked.kept, (Entries{"c8200bda", "ABCDef01"}));
    // Wrong lengths and missing ids vanish silently; only bad characters are reported.
    EXPECT_EQ(checked.rejected, (Entries{"c8g00bda", "12 40000"}));
}

TEST(CheckPairs, EmptyInputKeepsNothing) {
    auto checked = check_pairs({});
    EXPECT_TRUE(checked.kept.empty());
    EXPECT_TRUE(checked.rejected.empty());
}

}  // namespace

// The Variant's narrower and wider numeric subtypes (Byte, Single, Currency) through the runtime's
// conversions, arrays of several dimensions, and enumeration as For Each walks values.
#include "com_server/variant.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "com_server/conversions.h"
#include "com_server/enumeration.h"
#include "com_server/error.h"

namespace orvan::com {
namespace {

std::int32_t errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ComError& e) {
        return e.number();
    }
    return 0;
}

TEST(VariantSubtypes, CurrencyKeepsFourExactDecimalsInItsText) {
    RegionalScope en(Regional::enUS());
    const struct {
        std::int64_t scaled;
        const char* text;
    } cases[] = {
        {125000, "12.5"},
        {-125000, "-12.5"},
        {1, "0.0001"},
        {-1, "-0.0001"},
        {10000, "1"},
        {0, "0"},
        {INT64_MAX, "922337203685477.5807"},
        {INT64_MIN, "-922337203685477.5808"},
    };
    for (const auto& c : cases) EXPECT_EQ(CStr(Variant::currency(c.scaled)), c.text) << c.scaled;
    RegionalScope pt(Regional::ptBR());
    EXPECT_EQ(CStr(Variant::currency(125000)), "12,5");
}

TEST(VariantSubtypes, NarrowAndWideNumbersConvertLikeTheOtherNumbers) {
    RegionalScope en(Regional::enUS());
    EXPECT_EQ(CLng(Variant::byte(255)), 255);
    EXPECT_EQ(CStr(Variant::byte(7)), "7");
    EXPECT_EQ(CStr(Variant::single(0.1f)), "0.1");  // seven digits, not the double's noise
    EXPECT_EQ(CStr(Variant::single(1.0f / 3.0f)), "0.3333333");
    EXPECT_EQ(CInt(Variant::currency(25000)), 2);   // 2.5 rounds to even
    EXPECT_EQ(CInt(Variant::currency(35000)), 4);
    EXPECT_DOUBLE_EQ(CDbl(Variant::currency(-125000)), -12.5);
    EXPECT_TRUE(CBool(Variant::currency(1)));
    EXPECT_FALSE(CBool(Variant::byte(0)));
    EXPECT_EQ(errorOf([] { CInt(Variant::currency(std::int64_t{40000} * 10000)); }), err::Overflow);
    EXPECT_TRUE(Variant::byte(1).isNumeric());
    EXPECT_TRUE(Variant::currency(1).isNumeric());
    EXPECT_TRUE(unequalToEmptyText(Variant::single(0)));
}

TEST(VariantArrays, DimensionsTravelWithTheItemsAndCopiesAreDeep) {
    std::vector<Variant> items;
    for (int k = 0; k < 6; ++k) items.emplace_back(k);
    Variant a = Variant::array(items, {2, 3});
    EXPECT_EQ(a.arraySizes(), (std::vector<std::int32_t>{2, 3}));
    Variant b = a;
    b.rawArray()[0] = Variant("changed");
    EXPECT_EQ(a.rawArray()[0].rawInt(), 0);
    EXPECT_FALSE(sameValue(a, b));
    EXPECT_EQ(b.arraySizes(), a.arraySizes());
    EXPECT_FALSE(sameValue(a, Variant::array(items)));  // same items, other shape
    EXPECT_EQ(Variant::array({Variant(1), Variant(2)}).arraySizes(), (std::vector<std::int32_t>{2}));
}

TEST(VariantArrays, AnUnallocatedArrayHasNoDimensionsUntilItIsGivenSome) {
    Variant a = Variant::unallocatedArray();
    EXPECT_TRUE(a.isArray());
    EXPECT_EQ(a.arrayDimensions(), 0u);
    EXPECT_TRUE(a.arraySizes().empty());
    EXPECT_TRUE(a.rawArray().empty());
    const Variant copy = a;  // the state travels with a copy
    EXPECT_EQ(copy.arrayDimensions(), 0u);
    EXPECT_TRUE(sameValue(copy, a));
    EXPECT_FALSE(sameValue(a, Variant::array({})));  // no dimensions is not one empty dimension
    a.rawArray().resize(3);
    a.setArraySizes({3});
    EXPECT_EQ(a.arrayDimensions(), 1u);
    EXPECT_EQ(a.arraySizes(), (std::vector<std::int32_t>{3}));
    EXPECT_EQ(copy.arrayDimensions(), 0u);
}

// Copies and moves between values of every kind, scalar to owning and back, keep each value whole
// (the scalar kinds take a shorter way than texts, objects and arrays).
TEST(VariantCopies, EveryPairOfKindsCopiesAndMovesWhole) {
    const std::vector<Variant> kinds = {
        Variant(), Variant::null(), Variant(std::int16_t{-7}), Variant(std::int32_t{123456}), Variant(2.5),
        Variant(true), Variant::currency(125000), Variant::date(45000.5), Variant::byte(200),
        Variant("a text longer than the short-string buffer of the library"), Variant("short"),
        Variant::array({Variant(1), Variant("x")}), Variant(nullptr)};
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        for (std::size_t j = 0; j < kinds.size(); ++j) {
            SCOPED_TRACE(std::to_string(i) + " <- " + std::to_string(j));
            Variant target = kinds[i];
            target = kinds[j];
            EXPECT_TRUE(sameValue(target, kinds[j]));
            Variant moved = kinds[i];
            Variant source = kinds[j];
            moved = std::move(source);
            EXPECT_TRUE(sameValue(moved, kinds[j]));
            Variant built(std::move(moved));
            EXPECT_TRUE(sameValue(built, kinds[j]));
        }
    }
}

TEST(Enumeration, ArraysGiveTheirItemsAndOtherValuesAreNotCollections) {
    auto e = enumerate(Variant::array({Variant(1), Variant("b")}));
    Variant v;
    ASSERT_TRUE(e->next(v));
    EXPECT_EQ(v.rawInt(), 1);
    ASSERT_TRUE(e->next(v));
    EXPECT_EQ(v.rawString(), "b");
    EXPECT_FALSE(e->next(v));
    EXPECT_EQ(v.rawString(), "b");  // left untouched at the end
    EXPECT_EQ(errorOf([] { enumerate(Variant(3)); }), err::NotACollection);
    EXPECT_EQ(errorOf([] { enumerate(Variant(nullptr)); }), err::ObjectRequired);
}

}  // namespace
}  // namespace orvan::com

// Enumeration of collections, as For Each walks them: an array gives its elements in storage order;
// an object gives what its enumerator hands out. A collection publishes its enumerator as the
// property "_NewEnum" (dispatch id kDispidNewEnum) returning an Enumerator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "com_server/object.h"
#include "com_server/variant.h"

namespace orvan::com {

inline constexpr std::int32_t kDispidNewEnum = -4;

// A cursor over a collection's items. next() gives the following item and true, or false at the end
// (and leaves out untouched).
class Enumerator : public Object {
public:
    static constexpr const char* kInterfaceName = "IEnumVARIANT";
    virtual bool next(Variant& out) = 0;
    const TypeInfo& typeInfo() const override;
};

// An enumerator over a fixed list of values, taken when it is made (later changes to the collection
// do not show).
class ListEnumerator final : public Enumerator {
public:
    explicit ListEnumerator(std::vector<Variant> items) : items_(std::move(items)) {}
    bool next(Variant& out) override;

private:
    std::vector<Variant> items_;
    std::size_t pos_ = 0;
};

// The enumerator For Each uses for v: the elements of an array, or the object's "_NewEnum".
// Errors: 451 "Object not a collection" when v is neither an array nor an object with "_NewEnum";
// 424 for Nothing.
ComPtr<Enumerator> enumerate(const Variant& v);

}  // namespace orvan::com

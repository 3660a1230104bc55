// The criteria a Recordset's Filter and Find read: "FIELD op value" clauses joined by AND / OR, with
// parentheses. Private to data_access/ado/.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data_access/ado/ado.h"

namespace orvan::data::ado {

class Criteria {
public:
    enum class Op { Less, Greater, LessEqual, GreaterEqual, Equal, NotEqual, Like };

    // Reads text. Operators: < > <= >= = <> LIKE. Values: 'text' ('' for a quote), #date# (month
    // first, as ADO writes dates), numbers (a '.' decimal point, an optional leading '$', an exponent),
    // NULL with = and <>. LIKE patterns use * or % for any run of characters. Field names are plain
    // or [bracketed]; columnOf gives a name's column, or npos (error 3265). Text that does not read:
    // error 3001 (source "ADODB.<className>").
    static Criteria parse(std::string_view text,
                          const std::function<std::size_t(std::string_view)>& columnOf,
                          const char* className);

    // Whether a row's values meet the criteria. A Null value meets only "= NULL".
    bool matches(const std::vector<Variant>& row) const;
    // Whether the criteria are one clause (what Find accepts).
    bool singleClause() const;

    struct Node;
    Criteria();
    Criteria(Criteria&&) noexcept;
    Criteria& operator=(Criteria&&) noexcept;
    ~Criteria();

private:
    std::unique_ptr<Node> root_;
};

}  // namespace orvan::data::ado

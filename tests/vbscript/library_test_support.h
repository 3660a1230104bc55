// Helpers for the library tests: calling a function through the library's table (so the table's names
// and argument counts are exercised too), building values of each subtype, and reading errors.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "com_server/conversions.h"
#include "com_server/error.h"
#include "com_server/regional.h"
#include "vbscript/library.h"

namespace orvan::vbs::testing {

using com::Variant;
using com::VarType;

// Calls the library function `name` with args, through findLibraryFunction. A name the table lacks,
// or an argument count outside its range, fails the test and throws.
inline Variant call(std::string_view name, std::vector<Variant> args = {}) {
    const LibraryFunction* f = findLibraryFunction(name);
    if (!f) {
        ADD_FAILURE() << "no library function " << name;
        throw std::logic_error("missing function");
    }
    const auto n = static_cast<int>(args.size());
    if (n < f->minArgs || n > f->maxArgs) {
        ADD_FAILURE() << name << " does not take " << n << " arguments";
        throw std::logic_error("bad argument count");
    }
    return f->fn(args);
}

// The runtime error number f raises, or 0 when it raises none.
inline std::int32_t errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const com::ComError& e) {
        return e.number();
    }
    return 0;
}

inline Variant I(std::int16_t v) { return Variant(v); }
inline Variant L(std::int32_t v) { return Variant(v); }
inline Variant D(double v) { return Variant(v); }
inline Variant S(const char* v) { return Variant(v); }
inline Variant B(bool v) { return Variant(v); }
inline Variant Null() { return Variant::null(); }
// A date (and time) as a Date value; the fields must be valid.
inline Variant Dt(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
    return Variant::date(com::makeDate(com::DateParts{y, m, d, h, mi, s}).value());
}

// A value's subtype and text, "Long:5", for comparing results in one expectation.
inline std::string show(const Variant& v) {
    com::RegionalScope scope(com::Regional::enUS());
    if (v.isNull()) return "Null";
    if (v.isEmpty()) return "Empty";
    if (v.isArray()) {
        std::string s = "Array(";
        for (std::size_t i = 0; i < v.rawArray().size(); ++i) s += (i ? "," : "") + show(v.rawArray()[i]);
        return s + ")";
    }
    return std::string(com::typeName(v.type())) + ":" + com::CStr(v);
}

// One call of a table-driven test: the function, its arguments, and show() of the result or "error N".
struct Case {
    const char* fn;
    std::vector<Variant> args;
    std::string expected;
};

// Runs every case and reports each mismatch with the function's name and the case's position.
inline void runCases(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        std::string got;
        try {
            got = show(call(c.fn, c.args));
        } catch (const com::ComError& e) {
            got = "error " + std::to_string(e.number());
        }
        EXPECT_EQ(got, c.expected) << c.fn << " case " << (&c - cases.data());
    }
}

}  // namespace orvan::vbs::testing

// Filter and Find criteria: a small recursive-descent reader of "FIELD op value" clauses joined by
// AND / OR (AND binds tighter), and their evaluation against a row held in memory.
#include "data_access/ado/internal/criteria.h"

#include <cctype>
#include <cmath>
#include <optional>

#include "com_server/conversions.h"
#include "com_server/regional.h"
#include "data_access/ado/internal/recordset_state.h"

namespace orvan::data::ado {

struct Criteria::Node {
    enum class Kind { Clause, And, Or } kind = Kind::Clause;
    std::size_t column = 0;
    Op op = Op::Equal;
    Variant value;  // the literal; Null for NULL
    std::unique_ptr<Node> left, right;
};

Criteria::Criteria() = default;
Criteria::Criteria(Criteria&&) noexcept = default;
Criteria& Criteria::operator=(Criteria&&) noexcept = default;
Criteria::~Criteria() = default;

namespace {

using Node = Criteria::Node;
using Op = Criteria::Op;

class Reader {
public:
    Reader(std::string_view text, const std::function<std::size_t(std::string_view)>& columnOf,
           const char* className)
        : text_(text), columnOf_(columnOf), className_(className) {}

    std::unique_ptr<Node> all() {
        auto node = orExpr();
        skipBlanks();
        if (at_ != text_.size()) bad();
        return node;
    }

private:
    [[noreturn]] void bad() const { throw aderr::error(aderr::InvalidArgument, className_); }

    void skipBlanks() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
    }
    // Whether the keyword comes next as a whole word; consumes it when it does.
    bool keyword(std::string_view word) {
        skipBlanks();
        if (text_.size() - at_ < word.size()) return false;
        for (std::size_t i = 0; i < word.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(text_[at_ + i])) != word[i]) return false;
        const std::size_t end = at_ + word.size();
        if (end < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[end])) || text_[end] == '_'))
            return false;
        at_ = end;
        return true;
    }

    std::unique_ptr<Node> join(Node::Kind kind, std::unique_ptr<Node> left, std::unique_ptr<Node> right) {
        auto node = std::make_unique<Node>();
        node->kind = kind;
        node->left = std::move(left);
        node->right = std::move(right);
        return node;
    }
    std::unique_ptr<Node> orExpr() {
        auto node = andExpr();
        while (keyword("OR")) node = join(Node::Kind::Or, std::move(node), andExpr());
        return node;
    }
    std::unique_ptr<Node> andExpr() {
        auto node = factor();
        while (keyword("AND")) node = join(Node::Kind::And, std::move(node), factor());
        return node;
    }
    std::unique_ptr<Node> factor() {
        skipBlanks();
        if (at_ < text_.size() && text_[at_] == '(') {
            ++at_;
            auto node = orExpr();
            skipBlanks();
            if (at_ >= text_.size() || text_[at_] != ')') bad();
            ++at_;
            return node;
        }
        return clause();
    }

    std::string fieldName() {
        skipBlanks();
        if (at_ < text_.size() && text_[at_] == '[') {
            const std::size_t close = text_.find(']', at_ + 1);
            if (close == std::string_view::npos) bad();
            std::string name(text_.substr(at_ + 1, close - at_ - 1));
            at_ = close + 1;
            return name;
        }
        const std::size_t start = at_;
        while (at_ < text_.size()) {
            const auto c = static_cast<unsigned char>(text_[at_]);
            if (std::isalnum(c) || c == '_' || c >= 0x80) {
                ++at_;
                continue;
            }
            break;
        }
        if (at_ == start) bad();
        return std::string(text_.substr(start, at_ - start));
    }

    Op op() {
        skipBlanks();
        if (keyword("LIKE")) return Op::Like;
        auto next = [&](std::string_view s) {
            if (text_.substr(at_, s.size()) != s) return false;
            at_ += s.size();
            return true;
        };
        if (next("<=")) return Op::LessEqual;
        if (next(">=")) return Op::GreaterEqual;
        if (next("<>")) return Op::NotEqual;
        if (next("<")) return Op::Less;
        if (next(">")) return Op::Greater;
        if (next("=")) return Op::Equal;
        bad();
    }

    Variant literal() {
        skipBlanks();
        if (at_ >= text_.size()) bad();
        const char c = text_[at_];
        if (c == '\'' || c == '"') {
            std::string out;
            for (++at_;; ++at_) {
                if (at_ >= text_.size()) bad();
                if (text_[at_] == c) {
                    if (at_ + 1 < text_.size() && text_[at_ + 1] == c) {
                        out += c;
                        ++at_;
                        continue;
                    }
                    ++at_;
                    return Variant(std::move(out));
                }
                out += text_[at_];
            }
        }
        if (c == '#') {
            const std::size_t close = text_.find('#', at_ + 1);
            if (close == std::string_view::npos) bad();
            const auto serial = com::parseDate(text_.substr(at_ + 1, close - at_ - 1), com::Regional::enUS());
            if (!serial) bad();
            at_ = close + 1;
            return Variant::date(*serial);
        }
        if (keyword("NULL")) return Variant::null();
        const std::size_t start = at_;
        if (text_[at_] == '$') ++at_;
        while (at_ < text_.size() &&
               (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '.' ||
                text_[at_] == '-' || text_[at_] == '+'))
            ++at_;
        std::string number(text_.substr(start, at_ - start));
        if (!number.empty() && number[0] == '$') number.erase(0, 1);
        const auto n = com::parseNumber(number, com::Regional::enUS());
        if (number.empty() || !n) bad();
        return Variant(*n);
    }

    std::unique_ptr<Node> clause() {
        auto node = std::make_unique<Node>();
        const std::string name = fieldName();
        node->op = op();
        node->value = literal();
        if (node->value.isNull() && node->op != Op::Equal && node->op != Op::NotEqual) bad();
        if (node->op == Op::Like && !node->value.isString()) bad();
        node->column = columnOf_(name);
        if (node->column == std::string::npos) throw aderr::error(aderr::ItemNotFound, className_);
        return node;
    }

    std::string_view text_;
    const std::function<std::size_t(std::string_view)>& columnOf_;
    const char* className_;
    std::size_t at_ = 0;
};

// Whether text matches a pattern where '*' and '%' stand for any run of characters (both folded).
bool likeMatch(std::string_view text, std::string_view pattern) {
    std::size_t t = 0, p = 0, starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '*' || pattern[p] == '%')) {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && (pattern[p] == '*' || pattern[p] == '%')) ++p;
    return p == pattern.size();
}

// -1, 0 or 1 comparing a field's value with a literal; nullopt when they cannot be compared (a text
// that does not read as the field's number or date).
std::optional<int> compare(const Variant& field, const Variant& literal) {
    auto order = [](auto a, auto b) { return a < b ? -1 : (b < a ? 1 : 0); };
    try {
        if (field.isString() && literal.isString())
            return order(com::UCase(field.rawString()), com::UCase(literal.rawString()));
        if (field.type() == com::VarType::Date || literal.type() == com::VarType::Date)
            return order(com::CDate(field), com::CDate(literal));
        return order(com::CDbl(field), com::CDbl(literal));
    } catch (const com::ComError&) {
        return std::nullopt;  // a value of another kind meets no ordering clause
    }
}

bool evaluate(const Node& n, const std::vector<Variant>& row) {
    switch (n.kind) {
        case Node::Kind::And:
            return evaluate(*n.left, row) && evaluate(*n.right, row);
        case Node::Kind::Or:
            return evaluate(*n.left, row) || evaluate(*n.right, row);
        case Node::Kind::Clause:
            break;
    }
    const Variant& v = row[n.column];
    const bool isNull = v.isNull() || v.isEmpty();
    if (n.value.isNull()) return (n.op == Op::Equal) == isNull;
    if (isNull) return false;
    if (n.op == Op::Like) return likeMatch(com::UCase(com::CStr(v)), com::UCase(n.value.rawString()));
    const auto c = compare(v, n.value);
    if (!c) return n.op == Op::NotEqual;
    switch (n.op) {
        case Op::Less:
            return *c < 0;
        case Op::Greater:
            return *c > 0;
        case Op::LessEqual:
            return *c <= 0;
        case Op::GreaterEqual:
            return *c >= 0;
        case Op::Equal:
            return *c == 0;
        case Op::NotEqual:
            return *c != 0;
        case Op::Like:
            break;
    }
    return false;
}

}  // namespace

Criteria Criteria::parse(std::string_view text, const std::function<std::size_t(std::string_view)>& columnOf,
                         const char* className) {
    Criteria out;
    out.root_ = Reader(text, columnOf, className).all();
    return out;
}

bool Criteria::matches(const std::vector<Variant>& row) const {
    return root_ && evaluate(*root_, row);
}

bool Criteria::singleClause() const {
    return root_ && root_->kind == Node::Kind::Clause;
}

}  // namespace orvan::data::ado

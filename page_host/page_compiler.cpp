// The page compiler. Each file is cut into literal HTML, <% code %>, <%= expression %> and <%@ %>
// directive blocks; includes (in the HTML, where the server processes them) are compiled in place.
// The emitter writes the script and records for every script line the file and line it came from.
#include "page_host/page_compiler.h"
#include "com_server/ascii.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <fstream>
#include <regex>
#include <sstream>
#include <string_view>
#include <system_error>

#include "page_host/internal/call_assignments.h"
#include "vbscript/engine.h"

namespace fs = std::filesystem;

namespace orvan::host {

PageCompileError::PageCompileError(SourceLocation where, const std::string& reason, std::int32_t number)
    : std::runtime_error(where.file + (where.line > 0 ? ":" + std::to_string(where.line) : std::string()) +
                         ": " + reason),
      where_(std::move(where)),
      reason_(reason),
      number_(number) {}

SourceLocation CompiledPage::locate(int scriptLine) const {
    if (scriptLine < 1 || static_cast<std::size_t>(scriptLine) > lineOrigins.size())
        return SourceLocation{file, 1};
    const auto& [fileIndex, line] = lineOrigins[static_cast<std::size_t>(scriptLine - 1)];
    return SourceLocation{files[fileIndex], line};
}

namespace {

using com::ascii::lower;

bool equalsNoCase(std::string_view a, std::string_view b) {
    return lower(a) == lower(b);
}

int countLines(std::string_view s) {
    return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
}

// The file at path, or, when no file has exactly that name, the one whose components differ only in
// letter case (the first match in directory order). Returns the path unchanged when neither exists.
fs::path resolveCaseInsensitive(const fs::path& path) {
    std::error_code ec;
    if (fs::exists(path, ec)) return path;
    fs::path current = path.root_path();
    for (const fs::path& part : path.relative_path()) {
        fs::path exact = current / part;
        if (part == "." || part == ".." || fs::exists(exact, ec)) {
            current = exact;
            continue;
        }
        bool found = false;
        for (fs::directory_iterator it(current.empty() ? fs::path(".") : current, ec), end; !ec && it != end;
             it.increment(ec)) {
            if (equalsNoCase(it->path().filename().string(), part.string())) {
                current = current / it->path().filename();
                found = true;
                break;
            }
        }
        if (!found) return path;
    }
    return current;
}

bool isInside(const fs::path& canonicalRoot, const fs::path& canonicalFile) {
    auto r = canonicalRoot.begin();
    auto f = canonicalFile.begin();
    for (; r != canonicalRoot.end(); ++r, ++f) {
        if (r->empty()) continue;  // the trailing empty element of a root written with a final slash
        if (f == canonicalFile.end() || *r != *f) return false;
    }
    return true;
}

// Literal text as a VBScript expression: string literals with their quotes doubled, joined by & to
// the control characters, which a VBScript literal cannot hold.
std::string quoteVBScript(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    bool open = false;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20) {
            if (!open) {
                if (!out.empty()) out += " & ";
                out += '"';
                open = true;
            }
            out += ch;
            if (ch == '"') out += '"';
            continue;
        }
        if (open) {
            out += '"';
            open = false;
        }
        if (!out.empty()) out += " & ";
        out += c == '\n' ? "vbLf" : c == '\r' ? "vbCr" : c == '\t' ? "vbTab" : "Chr(" + std::to_string(c) + ")";
    }
    if (open) out += '"';
    return out.empty() ? "\"\"" : out;
}

// Literal text as an ECMAScript string literal.
std::string quote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    out += '"';
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    static const char* hex = "0123456789abcdef";
                    out += "\\x";
                    out += hex[c >> 4];
                    out += hex[c & 15];
                } else if (c == 0xE2 && i + 2 < text.size() &&
                           static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                           (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                            static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
                    // U+2028 and U+2029 end a line inside an ECMAScript 5 string literal.
                    out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
                    i += 2;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
    return out;
}

// Writes the script in the page's language. In VBScript every statement ends its line, so a statement
// that would follow another on the same script line starts a new script line of the same origin.
class Emitter {
public:
    explicit Emitter(CompiledPage& page) : page_(page) {}

    bool vbscript() const { return page_.language == ScriptLanguage::VBScript; }

    std::uint32_t fileIndex(const std::string& file) {
        for (std::uint32_t i = 0; i < page_.files.size(); ++i)
            if (page_.files[i] == file) return i;
        page_.files.push_back(file);
        return static_cast<std::uint32_t>(page_.files.size() - 1);
    }

    // Starts a new script line that comes from (file, line).
    void newline(std::uint32_t file, int line) {
        if (page_.lineOrigins.empty()) page_.lineOrigins.emplace_back(file, line);  // the first line
        page_.script += '\n';
        page_.lineOrigins.emplace_back(file, line);
        lineUsed_ = false;
    }

    // A VBScript statement starts on a script line of its own.
    void statement(std::uint32_t file, int line) {
        begin(file, line);
        if (vbscript() && lineUsed_) newline(file, line);
        lineUsed_ = true;
    }

    // A file's text starts on a script line of its own, so that its first line maps to it.
    void startFile(std::uint32_t file) {
        if (page_.lineOrigins.empty()) {
            page_.lineOrigins.emplace_back(file, 1);
        } else {
            newline(file, 1);
        }
    }

    // Makes sure the current script line has an origin (the very first one takes the first emit's).
    void begin(std::uint32_t file, int line) {
        if (page_.lineOrigins.empty()) page_.lineOrigins.emplace_back(file, line);
    }

    // Literal HTML written from (file, line): one Response.Write on the current line, then one script
    // line per line break of the text, so that the code after it stays on its own source line.
    void literal(std::string_view text, std::uint32_t file, int line) {
        if (text.empty()) return;
        statement(file, line);
        page_.script += vbscript() ? "Response.Write " + quoteVBScript(text) : "Response.Write(" + quote(text) + ");";
        for (char c : text)
            if (c == '\n') newline(file, ++line);
    }

    // Code copied as written, each of its line breaks a script line of the same source line. A line
    // break follows, as the server puts one between a block and what comes after it, so that a block
    // without a final semicolon still ends its statement.
    void code(std::string_view text, std::uint32_t file, int line) {
        statement(file, line);
        for (char c : text) {
            if (c == '\n') {
                newline(file, ++line);
            } else {
                page_.script += c;
            }
        }
        newline(file, line);
    }

    void expression(std::string_view text, std::uint32_t file, int line) {
        statement(file, line);
        page_.script += "Response.Write(";
        for (char c : text) {
            if (c == '\n') {
                newline(file, ++line);
            } else {
                page_.script += c;
            }
        }
        // A line comment at the end of the expression would swallow the closing parenthesis.
        if (text.find(vbscript() ? "'" : "//") != std::string_view::npos) newline(file, line);
        page_.script += vbscript() ? ")" : ");";
        lineUsed_ = true;
    }

private:
    CompiledPage& page_;
    bool lineUsed_ = false;  // the current script line holds a statement
};

// The language a page's first block names, when that block is a <%@ %> directive with Language=.
std::optional<ScriptLanguage> directiveLanguage(std::string_view text, const SourceLocation& where) {
    const std::size_t block = text.find("<%");
    if (block == std::string_view::npos) return std::nullopt;
    std::size_t at = block + 2;
    if (at >= text.size() || text[at] != '@') return std::nullopt;
    const std::size_t close = text.find("%>", at);
    if (close == std::string_view::npos) return std::nullopt;
    static const std::regex language(R"re(language\s*=\s*["']?([A-Za-z]+))re", std::regex::icase);
    std::match_results<std::string_view::const_iterator> m;
    const std::string_view body = text.substr(at + 1, close - at - 1);
    if (!std::regex_search(body.begin(), body.end(), m, language)) return std::nullopt;
    if (auto lang = scriptLanguageNamed(m[1].str())) return lang;
    throw PageCompileError(where, "the page language " + m[1].str() + " is not supported: pages are written in "
                                  "VBScript or JScript");
}

class Compiler {
public:
    Compiler(const fs::path& siteRoot, CompiledPage& page)
        : rootDisplay_(siteRoot), emitter_(page), language_(page.language) {
        std::error_code ec;
        root_ = fs::canonical(siteRoot, ec);
        if (ec)
            throw PageCompileError(SourceLocation{siteRoot.string(), 0},
                                   "the site root does not exist or cannot be read (" + ec.message() + ")");
    }

    void compileMain(const fs::path& page, const std::string& display) {
        std::error_code ec;
        const fs::path canonical = fs::canonical(page, ec);
        if (ec) throw PageCompileError(SourceLocation{display, 0}, "the page does not exist");
        if (!isInside(root_, canonical))
            throw PageCompileError(SourceLocation{display, 0},
                                   "the page is outside the site root " + rootDisplay_.string());
        const SourceLocation from{display, 0};
        if (auto lang = directiveLanguage(read(canonical, from, display), SourceLocation{display, 1}))
            language_ = *lang;
        compileFile(canonical, display, from);
    }


private:
    static std::string read(const fs::path& file, const SourceLocation& from, const std::string& display) {
        std::ifstream in(file, std::ios::binary);
        if (!in) throw PageCompileError(from, "cannot read " + display);
        std::ostringstream s;
        s << in.rdbuf();
        std::string text = s.str();
        if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // UTF-8 byte order mark
        return text;
    }

    void compileFile(const fs::path& canonical, const std::string& display, const SourceLocation& from) {
        if (std::find(stack_.begin(), stack_.end(), canonical) != stack_.end())
            throw PageCompileError(from, "include cycle: " + display + " includes itself");
        stack_.push_back(canonical);
        const std::string text = read(canonical, from, display);
        const std::uint32_t file = emitter_.fileIndex(display);
        emitter_.startFile(file);

        const std::string folded = lower(text);  // for the case-insensitive search of <script
        std::size_t pos = 0;
        int line = 1;
        // The text from pos up to end is literal; line moves past it.
        auto literalUpTo = [&](std::size_t end) {
            const std::string_view piece = std::string_view(text).substr(pos, end - pos);
            emitter_.literal(piece, file, line);
            line += countLines(piece);
        };
        while (pos < text.size()) {
            const std::size_t block = text.find("<%", pos);
            const std::size_t comment = text.find("<!--", pos);
            const std::size_t script = folded.find("<script", pos);
            const std::size_t next = std::min({block, comment, script});
            if (next == std::string::npos) {
                emitter_.literal(std::string_view(text).substr(pos), file, line);
                break;
            }
            if (next == script) {
                // <script runat="server"> holds code as <% %> does; any other <script> is the client's.
                static const std::regex serverScript(
                    R"re(^<script\b[^>]*\brunat\s*=\s*["']?server\b[^>]*>)re",
                    std::regex::icase | std::regex::ECMAScript);
                std::smatch m;
                const auto at = text.begin() + static_cast<std::ptrdiff_t>(script);
                const std::size_t tagEnd = text.find('>', script);
                if (tagEnd == std::string::npos ||
                    !std::regex_search(at, text.begin() + static_cast<std::ptrdiff_t>(tagEnd + 1), m,
                                       serverScript, std::regex_constants::match_continuous)) {
                    literalUpTo(script + 7);
                    pos = script + 7;
                    continue;
                }
                literalUpTo(script);
                directive(m[0].str(), SourceLocation{display, line}, "a <script runat=\"server\"> block");
                const std::size_t codeStart = script + static_cast<std::size_t>(m.length(0));
                const std::size_t close = folded.find("</script>", codeStart);
                if (close == std::string::npos)
                    throw PageCompileError(
                        SourceLocation{display, line},
                        "the <script runat=\"server\"> block is not closed with </script>");
                line += countLines(m[0].str());
                const std::string_view code = std::string_view(text).substr(codeStart, close - codeStart);
                emitter_.code(code, file, line);
                line += countLines(code);
                pos = close + 9;
                continue;
            }
            if (next == comment) {
                std::smatch m;
                static const std::regex include(
                    R"re(^<!--\s*#include\s+(file|virtual)\s*=\s*(?:"([^"]*)"|'([^']*)')\s*-->)re",
                    std::regex::icase | std::regex::ECMAScript);
                const auto start = text.begin() + static_cast<std::ptrdiff_t>(comment);
                if (!std::regex_search(start, text.end(), m, include,
                                       std::regex_constants::match_continuous)) {
                    // An ordinary HTML comment: literal text up to and including its opening.
                    literalUpTo(comment + 4);
                    pos = comment + 4;
                    continue;
                }
                literalUpTo(comment);
                const bool isVirtual = equalsNoCase(m[1].str(), "virtual");
                const std::string name = m[2].matched ? m[2].str() : m[3].str();
                includeFile(canonical, display, isVirtual, name, SourceLocation{display, line});
                emitter_.newline(file, line);  // what follows the include is this file's again
                line += countLines(m[0].str());
                pos = comment + static_cast<std::size_t>(m.length(0));
                continue;
            }
            literalUpTo(block);
            const std::size_t close = text.find("%>", block + 2);
            if (close == std::string::npos)
                throw PageCompileError(SourceLocation{display, line}, "the <% block is not closed with %>");
            std::string_view body = std::string_view(text).substr(block + 2, close - block - 2);
            if (!body.empty() && body.front() == '@') {
                directive(body.substr(1), SourceLocation{display, line}, "the page");
                for (int i = 0; i < countLines(body); ++i) emitter_.newline(file, line + i + 1);
            } else if (!body.empty() && body.front() == '=') {
                emitter_.expression(body.substr(1), file, line);
            } else {
                emitter_.code(body, file, line);
            }
            line += countLines(body);
            pos = close + 2;
        }
        stack_.pop_back();
    }

    // <%@ Language=... %> and the other page directives (CodePage, LCID, EnableSessionState,
    // Transaction) are accepted, and so is the language of a <script runat="server"> tag, as long as it is
    // the page's: one page runs in one engine, so its code and its includes share the page's language.
    void directive(std::string_view body, const SourceLocation& where, const char* what) const {
        static const std::regex language(R"re(language\s*=\s*["']?([A-Za-z]+))re", std::regex::icase);
        std::match_results<std::string_view::const_iterator> m;
        if (std::regex_search(body.begin(), body.end(), m, language)) {
            const auto lang = scriptLanguageNamed(m[1].str());
            if (!lang)
                throw PageCompileError(where, "the language " + m[1].str() +
                                                  " is not supported: pages are written in VBScript or JScript");
            if (*lang != language_)
                throw PageCompileError(where, std::string(what) + " in " + scriptLanguageName(*lang) +
                                                  " cannot be part of a " + scriptLanguageName(language_) +
                                                  " page: one page is written in one language");
        }
    }

    void includeFile(const fs::path& includer, const std::string& includerDisplay, bool isVirtual,
                     std::string name, const SourceLocation& where) {
        std::replace(name.begin(), name.end(), '\\', '/');
        if (name.empty()) throw PageCompileError(where, "the include names no file");
        fs::path target;
        std::string display;
        if (isVirtual && name.front() == '/') {
            const std::string inside = name.substr(
                name.find_first_not_of('/') == std::string::npos ? name.size() : name.find_first_not_of('/'));
            target = root_ / inside;
            display = (rootDisplay_ / inside).lexically_normal().string();
        } else {
            target = includer.parent_path() / name;
            display = (fs::path(includerDisplay).parent_path() / name).lexically_normal().string();
        }
        target = resolveCaseInsensitive(target.lexically_normal());
        std::error_code ec;
        const fs::path canonical = fs::canonical(target, ec);
        if (ec || !fs::is_regular_file(canonical, ec))
            throw PageCompileError(where, "include file not found: " + name);
        if (!isInside(root_, canonical))
            throw PageCompileError(where, "include file " + name + " is outside the site root; refused");
        compileFile(canonical, display, where);
    }

    fs::path root_;
    fs::path rootDisplay_;
    Emitter emitter_;
    ScriptLanguage& language_;     // the page's, set before the first file is compiled
    std::vector<fs::path> stack_;  // the files being compiled, outermost first
};

}  // namespace

std::optional<ScriptLanguage> scriptLanguageNamed(std::string_view name) {
    const std::string n = lower(name);
    if (n == "vbscript" || n == "vbs") return ScriptLanguage::VBScript;
    if (n == "jscript" || n == "javascript" || n == "ecmascript") return ScriptLanguage::JScript;
    return std::nullopt;
}

const char* scriptLanguageName(ScriptLanguage language) {
    return language == ScriptLanguage::VBScript ? "VBScript" : "JScript";
}

void prepareScript(CompiledPage& page) {
    static std::atomic<std::uint64_t> lastId{0};
    page.id = ++lastId;
    if (page.language == ScriptLanguage::JScript) {
        page.script = detail::rewriteCallAssignments(page.script);
        return;
    }
    try {
        page.vbscript = vbs::compile(page.script);
    } catch (const vbs::CompileError& e) {
        const auto number = static_cast<std::int32_t>(0x800A0000u | static_cast<std::uint32_t>(e.number() & 0xFFFF));
        throw PageCompileError(page.locate(e.line()),
                               "Syntax error: " + e.description() + " (column " + std::to_string(e.column()) + ")",
                               number);
    }
}

CompiledPage compilePage(const fs::path& siteRoot, const fs::path& page, ScriptLanguage defaultLanguage) {
    CompiledPage out;
    out.file = page.lexically_normal().string();
    out.language = defaultLanguage;
    Compiler(siteRoot, out).compileMain(page, out.file);
    if (out.lineOrigins.empty()) out.lineOrigins.emplace_back(0, 1);
    if (out.files.empty()) out.files.push_back(out.file);
    prepareScript(out);
    return out;
}

}  // namespace orvan::host

// The page compiler: turns an .asp file (HTML with <% code %> and <%= expression %> blocks and
// server-side includes) into one program in the page's language (VBScript or JScript) in which the
// literal HTML is written through Response.Write, plus the map from each line of that program back to
// the file and line it came from. A VBScript page is also compiled by the VBScript engine here, so that
// a syntax error anywhere fails the page before any of it runs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvan::vbs {
class Program;
}

namespace orvan::host {

enum class ScriptLanguage { VBScript, JScript };

// The language a Language= attribute names: "VBScript" / "VBS", or "JScript" / "JavaScript" /
// "ECMAScript" (any case); nothing for any other name.
std::optional<ScriptLanguage> scriptLanguageNamed(std::string_view name);
const char* scriptLanguageName(ScriptLanguage language);

// A place in a page or include file, as reports name it.
struct SourceLocation {
    std::string file;  // the file's path: the site root as the host names it, joined with the path inside
    int line = 0;      // 1-based; 0 when unknown
};

struct CompiledPage {
    std::string script;  // one program; literal HTML appears as Response.Write statements
    std::string file;    // the page itself, named as SourceLocation::file names it
    ScriptLanguage language = ScriptLanguage::JScript;
    // For a VBScript page: the engine's compiled form of script, shared by every run of the page.
    std::shared_ptr<const vbs::Program> vbscript;
    // Names this compilation of script, so that an engine may keep its own compiled form of it
    // between runs (a recompiled page gets a new one); 0 for a script an engine must compile afresh.
    std::uint64_t id = 0;

    // Where line scriptLine (1-based) of the script came from. Lines outside the script map to the
    // page's first line.
    SourceLocation locate(int scriptLine) const;

    // The origin of each script line: index i is line i + 1, as (index into files, line in that file).
    std::vector<std::string> files;
    std::vector<std::pair<std::uint32_t, int>> lineOrigins;
};

// A page that cannot be compiled: a missing or unreadable file, an include outside the site root or
// including itself, an unclosed <% block, an unknown language, a syntax error in a VBScript page.
class PageCompileError : public std::runtime_error {
public:
    // number: the error number a report shows; 0x800A03EA (syntax error) unless the engine gave another.
    PageCompileError(SourceLocation where, const std::string& reason,
                     std::int32_t number = static_cast<std::int32_t>(0x800A03EAu));
    const SourceLocation& where() const noexcept { return where_; }
    const std::string& reason() const noexcept { return reason_; }
    std::int32_t number() const noexcept { return number_; }

private:
    SourceLocation where_;
    std::string reason_;
    std::int32_t number_;
};

// Compiles page (a file inside siteRoot). Includes: file="..." is relative to the including file,
// virtual="/..." to the site root (without the leading slash: to the including file); both may use
// backslashes and, where the exact name does not exist, differ in letter case from the file on disk
// (pages written for a case-insensitive server). An include must stay inside the site root and may not
// include itself, directly or through others. The page's language is the one its first block, a
// <%@ Language=... %> directive, names, else defaultLanguage; includes are read in the page's language,
// and so must be its <script runat="server"> blocks. Throws PageCompileError.
CompiledPage compilePage(const std::filesystem::path& siteRoot, const std::filesystem::path& page,
                         ScriptLanguage defaultLanguage = ScriptLanguage::VBScript);

// Readies page.script (its lines and origins complete) for its engine: a JScript script gets its
// assignments to calls rewritten, a VBScript one is compiled into page.vbscript. Throws
// PageCompileError for a VBScript syntax error, located in the page's own files, naming the column.
void prepareScript(CompiledPage& page);

}  // namespace orvan::host

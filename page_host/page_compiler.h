// The page compiler: turns an .asp file (HTML with <% code %> and <%= expression %> blocks and
// server-side includes) into one ECMAScript program in which the literal HTML is written through
// Response.Write, plus the map from each line of that program back to the file and line it came from.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace orvan::host {

// A place in a page or include file, as reports name it.
struct SourceLocation {
    std::string file;  // the file's path: the site root as the host names it, joined with the path inside
    int line = 0;      // 1-based; 0 when unknown
};

struct CompiledPage {
    std::string script;  // one program; literal HTML appears as Response.Write("...") statements
    std::string file;    // the page itself, named as SourceLocation::file names it

    // Where line scriptLine (1-based) of the script came from. Lines outside the script map to the
    // page's first line.
    SourceLocation locate(int scriptLine) const;

    // The origin of each script line: index i is line i + 1, as (index into files, line in that file).
    std::vector<std::string> files;
    std::vector<std::pair<std::uint32_t, int>> lineOrigins;
};

// A page that cannot be compiled: a missing or unreadable file, an include outside the site root or
// including itself, an unclosed <% block, a language other than JScript.
class PageCompileError : public std::runtime_error {
public:
    PageCompileError(SourceLocation where, const std::string& reason);
    const SourceLocation& where() const noexcept { return where_; }
    const std::string& reason() const noexcept { return reason_; }

private:
    SourceLocation where_;
    std::string reason_;
};

// Compiles page (a file inside siteRoot). Includes: file="..." is relative to the including file,
// virtual="/..." to the site root (without the leading slash: to the including file); both may use
// backslashes and, where the exact name does not exist, differ in letter case from the file on disk
// (pages written for a case-insensitive server). An include must stay inside the site root and may not
// include itself, directly or through others. Throws PageCompileError.
CompiledPage compilePage(const std::filesystem::path& siteRoot, const std::filesystem::path& page);

}  // namespace orvan::host

// From a request path to what the site answers with: a page, a file, a folder's redirect, or a
// refusal. Nothing outside the site root is ever named: no ".." segment (after percent-decoding), no
// symbolic link leading out, no hidden file or folder, no global.asa, and only files of a known type.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvan::host::http {

struct SiteTarget {
    enum class Kind {
        Page,        // an .asp file: run it
        File,        // a file of a known type: send it
        AddSlash,    // a folder named without the final '/': redirect to location
        Forbidden,   // a folder with no default page (there are no listings)
        NotFound,    // missing, refused, or of a type that is not served
        BadRequest,  // not a path: malformed percent-encoding, a NUL, no leading '/'
    };
    Kind kind = Kind::NotFound;
    std::filesystem::path file;  // Page and File: the canonical file
    std::string pagePath;        // Page: the decoded path from the site root, "/agenda/default.asp"
    std::string contentType;     // File
    std::string location;        // AddSlash: the raw path with '/' added
};

// Resolves rawPath (as the request line has it, before '?', percent-encoded) under canonicalRoot
// (which fs::canonical made). Names differing only in letter case from the files on disk are found,
// as the sites were written for a server that ignores case. A folder's default page is default.asp,
// else index.asp.
SiteTarget resolveTarget(const std::filesystem::path& canonicalRoot, std::string_view rawPath);

// The content type of a file sent as it is, from its extension (case-insensitive); empty when files
// of that type are not served.
std::string_view contentTypeFor(const std::filesystem::path& file);

// Whether rawPath names a file of a type sent as it is (by its last segment's extension), decided
// from the path alone, with no look at the disk: the server answers those at once and sends every
// other request (pages, folders, what turns out missing) to the page workers.
bool namesStaticFile(std::string_view rawPath);

// %XX decoded (a '+' stays a '+'); false for a malformed escape or a decoded NUL.
bool percentDecodePath(std::string_view raw, std::string& out);

}  // namespace orvan::host::http

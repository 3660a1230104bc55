// Request paths to site files: decoding, the segment rules, the case-insensitive look-up, the check
// that the canonical file is inside the canonical root, default pages and content types.
#include "page_host/http/internal/site_paths.h"
#include "com_server/ascii.h"
#include "com_server/escaping.h"

#include <algorithm>
#include <vector>

namespace orvan::host::http {

namespace fs = std::filesystem;

namespace {

using com::ascii::lower;

using com::hexDigitValue;

// A segment that is never served, wherever it appears: hidden names (".git", ".env", "..") and the
// site's event script.
bool refusedSegment(std::string_view segment) {
    return segment.empty() || segment.front() == '.' || lower(segment) == "global.asa";
}

// An entry of a folder, with its own type (a link is a link, not what it points to).
struct Entry {
    fs::path path;
    fs::file_type type = fs::file_type::not_found;
};

// The entry of folder named name, exactly or else ignoring case; empty when there is none.
Entry findEntry(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    fs::path exact = folder / name;
    const fs::file_type type = fs::symlink_status(exact, ec).type();
    if (!ec && type != fs::file_type::not_found) return {std::move(exact), type};
    const std::string folded = lower(name);
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (lower(entry.path().filename().string()) == folded) {
            std::error_code typeError;
            const fs::file_type found = entry.symlink_status(typeError).type();
            if (!typeError) return {entry.path(), found};
        }
    }
    return {};
}

// The canonical form of path if it exists and lies inside root with no refused segment on the way
// (a link inside the site to a hidden file is refused as the hidden file would be).
bool canonicalInside(const fs::path& root, const fs::path& path, fs::path& out) {
    std::error_code ec;
    out = fs::canonical(path, ec);
    if (ec) return false;
    const fs::path inside = out.lexically_relative(root);
    if (inside.empty()) return false;
    if (inside == ".") return true;
    for (const fs::path& part : inside) {
        const std::string segment = part.string();
        if (segment == ".." || refusedSegment(segment)) return false;
    }
    return true;
}

// The real file at path (canonical, inside root) and its type, as canonicalInside and a status tell
// them when a link was on the way (linked), or path itself and the type its entry already gave.
bool realInside(const fs::path& root, const fs::path& path, bool linked, fs::file_type& type, fs::path& out) {
    if (!linked) {
        out = path;
        return true;
    }
    if (!canonicalInside(root, path, out)) return false;
    std::error_code ec;
    type = fs::status(out, ec).type();
    return !ec;
}

bool isPage(const fs::path& file) {
    return lower(file.extension().string()) == ".asp";
}

}  // namespace

bool percentDecodePath(std::string_view raw, std::string& out) {
    out.clear();
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '%') {
            if (i + 2 >= raw.size()) return false;
            const int hi = hexDigitValue(raw[i + 1]);
            const int lo = hexDigitValue(raw[i + 2]);
            if (hi < 0 || lo < 0) return false;
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        if (c == '\0') return false;
        out += c;
    }
    return true;
}

std::string_view contentTypeFor(const fs::path& file) {
    static const std::pair<const char*, const char*> types[] = {
        {".html", "text/html; charset=utf-8"},
        {".htm", "text/html; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".png", "image/png"},
        {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},
        {".gif", "image/gif"},
        {".svg", "image/svg+xml"},
        {".ico", "image/x-icon"},
        {".txt", "text/plain; charset=utf-8"},
        {".json", "application/json"},
        {".pdf", "application/pdf"},
    };
    const std::string extension = lower(file.extension().string());
    for (const auto& [ext, type] : types)
        if (extension == ext) return type;
    return {};
}

bool namesStaticFile(std::string_view rawPath) {
    std::string decoded;
    if (!percentDecodePath(rawPath, decoded)) return false;
    std::replace(decoded.begin(), decoded.end(), '\\', '/');
    const std::size_t slash = decoded.rfind('/');
    const std::string_view last = std::string_view(decoded).substr(slash == std::string::npos ? 0 : slash + 1);
    return !last.empty() && !contentTypeFor(fs::path(last)).empty();
}

SiteTarget resolveTarget(const fs::path& canonicalRoot, std::string_view rawPath) {
    SiteTarget target;
    std::string decoded;
    if (rawPath.empty() || rawPath.front() != '/' || !percentDecodePath(rawPath, decoded)) {
        target.kind = SiteTarget::Kind::BadRequest;
        return target;
    }
    std::replace(decoded.begin(), decoded.end(), '\\', '/');

    std::vector<std::string> segments;
    for (std::size_t pos = 0; pos <= decoded.size();) {
        std::size_t end = decoded.find('/', pos);
        if (end == std::string::npos) end = decoded.size();
        std::string segment = decoded.substr(pos, end - pos);
        pos = end + 1;
        if (segment.empty() || segment == ".") continue;
        if (refusedSegment(segment)) return target;  // "..", hidden names, global.asa: not found
        segments.push_back(std::move(segment));
    }

    // Found entry by entry from the canonical root, the path is already canonical as long as no entry
    // on the way is a link; a link sends it through the canonical check (which also tells where the
    // link leads and that it stays inside the site).
    fs::path path = canonicalRoot;
    fs::file_type type = fs::file_type::directory;
    bool linked = false;
    std::string pagePath;
    for (const std::string& segment : segments) {
        Entry entry = findEntry(path, segment);
        if (entry.path.empty()) return target;
        path = std::move(entry.path);
        type = entry.type;
        linked = linked || type == fs::file_type::symlink;
        pagePath += "/" + segment;
    }
    fs::path canonical;
    if (!realInside(canonicalRoot, path, linked, type, canonical)) return target;

    if (type == fs::file_type::directory) {
        if (decoded.back() != '/') {
            target.kind = SiteTarget::Kind::AddSlash;
            target.location = std::string(rawPath) + "/";
            return target;
        }
        for (const char* name : {"default.asp", "index.asp"}) {
            const Entry entry = findEntry(canonical, name);
            fs::path page;
            fs::file_type pageType = entry.type;
            if (entry.path.empty() ||
                !realInside(canonicalRoot, entry.path, pageType == fs::file_type::symlink, pageType, page) ||
                pageType != fs::file_type::regular)
                continue;
            target.kind = SiteTarget::Kind::Page;
            target.file = page;
            target.pagePath = pagePath + "/" + entry.path.filename().string();
            return target;
        }
        target.kind = SiteTarget::Kind::Forbidden;
        return target;
    }
    if (type != fs::file_type::regular) return target;
    // The type is the real file's: a link named .txt to a page does not show the page's source.
    if (isPage(canonical)) {
        target.kind = SiteTarget::Kind::Page;
        target.file = canonical;
        target.pagePath = pagePath;
        return target;
    }
    const std::string_view contentType = contentTypeFor(canonical);
    if (contentType.empty()) return target;
    target.kind = SiteTarget::Kind::File;
    target.file = canonical;
    target.contentType = std::string(contentType);
    return target;
}

}  // namespace orvan::host::http

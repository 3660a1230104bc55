// HTML escaping and encoding, URL encoding and decoding, JSON string escaping.
#include "com_server/escaping.h"

#include "com_server/text_codec.h"

namespace orvan::com {
namespace {

const char* kHex = "0123456789ABCDEF";

}  // namespace

int hexDigitValue(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string htmlEncode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                // U+00A0..U+00FF are the two-byte sequences C2 A0..C3 BF.
                if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
                    const unsigned char d = static_cast<unsigned char>(text[i + 1]);
                    const unsigned cp = ((c & 0x1Fu) << 6) | (d & 0x3Fu);
                    if ((d & 0xC0) == 0x80 && cp >= 0xA0) {
                        out += "&#" + std::to_string(cp) + ";";
                        ++i;
                        break;
                    }
                }
                out += static_cast<char>(c);
        }
    }
    return out;
}

std::string urlEncode(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            out += static_cast<char>(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string urlDecode(std::string_view text, NonUtf8 nonUtf8) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 &&
                   hexDigitValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return nonUtf8 == NonUtf8::Bytes ? out : text::utf8OrWindows1252(out);
}

std::string jsonEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const com::text::CodePoint p = com::text::decodeUtf8At(text, i);
            if (p.valid)
                out.append(text.substr(i, p.length));
            else
                out += "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER
            i += p.length;
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    constexpr const char* kLowerHex = "0123456789abcdef";
                    out += "\\u00";
                    out += kLowerHex[c >> 4];
                    out += kLowerHex[c & 15];
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    return out;
}

}  // namespace orvan::com

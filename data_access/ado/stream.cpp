// Stream: ADODB.Stream for text held in memory — WriteText / ReadText / SkipLine / SetEOS, with
// Position and Size counted in bytes of the Charset as ADO counts them (a byte-order mark first for
// "Unicode" and "utf-8"). Binary streams and streams opened on a URL are not offered (3251).
#include <optional>
#include <string>

#include "com_server/conversions.h"
#include "data_access/ado/ado.h"
#include "data_access/ado/internal/recordset_state.h"

namespace orvan::data::ado {

namespace {

enum class Encoding { Utf16, Utf8, SingleByte };

// The charsets a text stream knows, by their names (case-insensitive).
std::optional<Encoding> encodingOf(const std::string& charset) {
    const std::string name = com::UCase(charset);
    if (name == "UNICODE" || name == "UTF-16") return Encoding::Utf16;
    if (name == "UTF-8") return Encoding::Utf8;
    if (name == "US-ASCII" || name == "ASCII" || name == "WINDOWS-1252" || name == "ISO-8859-1")
        return Encoding::SingleByte;
    return std::nullopt;
}

std::u32string decodeUtf8(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size()) {
            out += U'\uFFFD';  // a byte that starts no character, or a character cut short
            ++i;
            continue;
        }
        char32_t cp = extra == 0 ? c : (c & (0x3F >> extra));
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        out += cp;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

std::string encodeUtf8(std::u32string_view s) {
    std::string out;
    for (char32_t cp : s) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// The bytes one character takes in an encoding.
std::int64_t bytesOf(char32_t cp, Encoding e) {
    switch (e) {
        case Encoding::Utf16:
            return cp > 0xFFFF ? 4 : 2;
        case Encoding::Utf8:
            return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        case Encoding::SingleByte:
            break;
    }
    return 1;
}

std::int64_t markBytes(Encoding e) {
    return e == Encoding::Utf16 ? 2 : e == Encoding::Utf8 ? 3 : 0;
}

}  // namespace

struct Stream::Impl {
    bool open = false;
    std::string charset = "Unicode";
    Encoding encoding = Encoding::Utf16;
    std::int32_t lineSeparator = adCRLF;
    std::u32string text;
    std::size_t pos = 0;  // in characters

    void requireOpen() const {
        if (!open) throw aderr::error(aderr::ObjectClosed, "Stream");
    }
    std::u32string separator() const {
        return lineSeparator == adLF ? U"\n" : lineSeparator == adCR ? U"\r" : U"\r\n";
    }
    // The byte offset of character i (the mark counts once there is text).
    std::int64_t bytesBefore(std::size_t i) const {
        if (text.empty()) return 0;
        std::int64_t n = markBytes(encoding);
        for (std::size_t k = 0; k < i; ++k) n += bytesOf(text[k], encoding);
        return n;
    }
};

Stream::Stream() : impl_(std::make_unique<Impl>()) {}
Stream::~Stream() = default;

std::int32_t Stream::get_State() {
    return impl_->open ? adStateOpen : adStateClosed;
}

std::int32_t Stream::get_Type() {
    return adTypeText;
}

void Stream::put_Type(std::int32_t value) {
    if (value == adTypeBinary) throw adoError(aderr::FeatureNotAvailable, "Stream", kNotCapable);
    if (value != adTypeText) throw aderr::error(aderr::InvalidArgument, "Stream");
}

std::string Stream::get_Charset() {
    return impl_->charset;
}

void Stream::put_Charset(std::string value) {
    const auto e = encodingOf(value);
    // The charset says how the bytes already written read, so it changes only at the start.
    if (!e || impl_->pos != 0) throw aderr::error(aderr::InvalidArgument, "Stream");
    impl_->charset = std::move(value);
    impl_->encoding = *e;
}

std::int32_t Stream::get_LineSeparator() {
    return impl_->lineSeparator;
}

void Stream::put_LineSeparator(std::int32_t value) {
    if (value != adCRLF && value != adLF && value != adCR) throw aderr::error(aderr::InvalidArgument, "Stream");
    impl_->lineSeparator = value;
}

std::int32_t Stream::get_Size() {
    impl_->requireOpen();
    return static_cast<std::int32_t>(impl_->bytesBefore(impl_->text.size()));
}

std::int32_t Stream::get_Position() {
    impl_->requireOpen();
    return static_cast<std::int32_t>(impl_->bytesBefore(impl_->pos));
}

void Stream::put_Position(std::int32_t value) {
    impl_->requireOpen();
    if (value == 0) {
        impl_->pos = 0;
        return;
    }
    for (std::size_t i = 0; i <= impl_->text.size(); ++i) {
        if (impl_->bytesBefore(i) == value) {
            impl_->pos = i;
            return;
        }
    }
    throw aderr::error(aderr::InvalidArgument, "Stream");
}

bool Stream::get_EOS() {
    impl_->requireOpen();
    return impl_->pos >= impl_->text.size();
}

void Stream::Open(Variant Source, std::int32_t, std::int32_t, std::string, std::string) {
    if (impl_->open) throw aderr::error(aderr::ObjectOpen, "Stream");
    if (!(Source.isMissing() || Source.isEmpty() || (Source.isString() && Source.rawString().empty())))
        throw adoError(aderr::FeatureNotAvailable, "Stream", kNotCapable);
    impl_->open = true;
    impl_->text.clear();
    impl_->pos = 0;
}

void Stream::Close() {
    impl_->requireOpen();
    impl_->open = false;
    impl_->text.clear();
    impl_->pos = 0;
}

void Stream::WriteText(std::string Data, std::int32_t Options) {
    impl_->requireOpen();
    if (Options != adWriteChar && Options != adWriteLine) throw aderr::error(aderr::InvalidArgument, "Stream");
    std::u32string add = decodeUtf8(Data);
    if (Options == adWriteLine) add += impl_->separator();
    // Writing replaces what stands after the position, and extends the text past its end.
    std::u32string& t = impl_->text;
    t.replace(impl_->pos, std::min(add.size(), t.size() - impl_->pos), add);
    impl_->pos += add.size();
}

std::string Stream::ReadText(std::int32_t NumChars) {
    impl_->requireOpen();
    const std::u32string& t = impl_->text;
    std::size_t end = t.size();
    std::size_t next = end;
    if (NumChars == adReadLine) {
        const std::u32string sep = impl_->separator();
        const std::size_t at = t.find(sep, impl_->pos);
        if (at != std::u32string::npos) {
            end = at;
            next = at + sep.size();
        }
    } else if (NumChars >= 0) {
        end = std::min(t.size(), impl_->pos + static_cast<std::size_t>(NumChars));
        next = end;
    } else if (NumChars != adReadAll) {
        throw aderr::error(aderr::InvalidArgument, "Stream");
    }
    std::string out = encodeUtf8(std::u32string_view(t).substr(impl_->pos, end - impl_->pos));
    impl_->pos = next;
    return out;
}

void Stream::SetEOS() {
    impl_->requireOpen();
    impl_->text.resize(impl_->pos);
}

void Stream::SkipLine() {
    impl_->requireOpen();
    const std::u32string sep = impl_->separator();
    const std::size_t at = impl_->text.find(sep, impl_->pos);
    impl_->pos = at == std::u32string::npos ? impl_->text.size() : at + sep.size();
}

const com::TypeInfo& Stream::members() {
    using com::method;
    using com::Param;
    using com::propertyGet;
    using com::propertyPut;
    static const com::TypeInfo info{
        "Stream",
        kInterfaceName,
        {propertyGet<&Stream::get_Size>("Size", 1), propertyGet<&Stream::get_EOS>("EOS", 2),
         propertyGet<&Stream::get_Position>("Position", 3), propertyPut<&Stream::put_Position>("Position", 3),
         propertyGet<&Stream::get_Type>("Type", 4), propertyPut<&Stream::put_Type>("Type", 4),
         propertyGet<&Stream::get_LineSeparator>("LineSeparator", 5),
         propertyPut<&Stream::put_LineSeparator>("LineSeparator", 5), propertyGet<&Stream::get_State>("State", 6),
         propertyGet<&Stream::get_Charset>("Charset", 8), propertyPut<&Stream::put_Charset>("Charset", 8),
         method<&Stream::Open>("Open", 10,
                               {Param::opt("Source"), Param("Mode", Variant(std::int32_t{0})),
                                Param("Options", Variant(std::int32_t{-1})), Param("UserName", Variant("")),
                                Param("Password", Variant(""))}),
         method<&Stream::Close>("Close", 11), method<&Stream::SkipLine>("SkipLine", 12),
         method<&Stream::SetEOS>("SetEOS", 13),
         method<&Stream::ReadText>("ReadText", 14, {Param("NumChars", Variant(std::int32_t{adReadAll}))}),
         method<&Stream::WriteText>("WriteText", 15, {"Data", Param("Options", Variant(std::int32_t{adWriteChar}))})}};
    return info;
}

}  // namespace orvan::data::ado

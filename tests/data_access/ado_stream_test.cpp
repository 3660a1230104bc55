// ADODB.Stream for text: writing and reading text and lines, positions and sizes in bytes of the
// charset, and what a text-only stream refuses. Also created by ProgID, as pages create it.
#include <gtest/gtest.h>

#include <functional>

#include "com_server/class_registry.h"
#include "com_server/conversions.h"
#include "com_server/dispatch.h"
#include "data_access/ado/ado.h"

namespace orvan::data::adotest {
namespace {

using namespace orvan::data::ado;
using com::ComError;
using com::Variant;

std::int32_t errorNumberOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ComError& e) {
        return e.number();
    }
    ADD_FAILURE() << "no error was raised";
    return 0;
}

TEST(AdoStreamTest, WritesAndReadsTextAndLines) {
    auto s = com::make<Stream>();
    EXPECT_EQ(s->get_State(), adStateClosed);
    EXPECT_EQ(errorNumberOf([&] { s->WriteText("x", adWriteChar); }), 3704);
    s->Open(Variant::missing(), 0, -1, "", "");
    EXPECT_EQ(s->get_Type(), adTypeText);
    EXPECT_EQ(s->get_Charset(), "Unicode");
    EXPECT_EQ(s->get_Size(), 0);
    s->WriteText("linha um", adWriteLine);
    s->WriteText("ação", adWriteChar);
    // UTF-16 with its two-byte mark: (8 + 2 + 4) characters of two bytes each.
    EXPECT_EQ(s->get_Size(), 2 + 14 * 2);
    EXPECT_EQ(s->get_Position(), s->get_Size());
    EXPECT_TRUE(s->get_EOS());
    EXPECT_EQ(s->ReadText(adReadAll), "");

    s->put_Position(0);
    EXPECT_EQ(s->ReadText(adReadLine), "linha um");
    EXPECT_EQ(s->get_Position(), 2 + 10 * 2);
    EXPECT_EQ(s->ReadText(2), "aç");
    EXPECT_EQ(s->ReadText(adReadAll), "ão");
    EXPECT_EQ(errorNumberOf([&] { s->put_Position(3); }), 3001) << "inside a character";

    // Writing at a position replaces what stands there; SetEOS cuts the rest.
    s->put_Position(2 + 6 * 2);
    s->WriteText("UM", adWriteChar);
    s->SetEOS();
    s->put_Position(0);
    EXPECT_EQ(s->ReadText(adReadAll), "linha UM");
    s->Close();
    EXPECT_EQ(errorNumberOf([&] { s->Close(); }), 3704);
}

TEST(AdoStreamTest, CharsetsSeparatorsAndWhatATextStreamRefuses) {
    auto s = com::make<Stream>();
    s->put_Charset("utf-8");
    s->put_LineSeparator(adLF);
    s->Open(Variant::missing(), 0, -1, "", "");
    s->WriteText("é", adWriteLine);
    s->WriteText("b", adWriteLine);
    EXPECT_EQ(s->get_Size(), 3 + 2 + 1 + 1 + 1);
    EXPECT_EQ(errorNumberOf([&] { s->put_Charset("Unicode"); }), 3001) << "only at the start";
    s->put_Position(0);
    s->SkipLine();
    EXPECT_EQ(s->ReadText(adReadLine), "b");
    EXPECT_TRUE(s->get_EOS());
    s->put_Position(0);
    s->put_Charset("us-ascii");
    EXPECT_EQ(s->get_Size(), 4);

    EXPECT_EQ(errorNumberOf([&] { s->put_Type(adTypeBinary); }), 3251);
    EXPECT_EQ(errorNumberOf([&] { s->put_Charset("klingon"); }), 3001);
    EXPECT_EQ(errorNumberOf([&] { s->put_LineSeparator(7); }), 3001);
    EXPECT_EQ(errorNumberOf([&] { s->ReadText(-3); }), 3001);
    EXPECT_EQ(errorNumberOf([&] { s->Open(Variant::missing(), 0, -1, "", ""); }), 3705);
    auto fromUrl = com::make<Stream>();
    EXPECT_EQ(errorNumberOf([&] { fromUrl->Open(Variant("URL=http://x/"), 0, -1, "", ""); }), 3251);
}

TEST(AdoStreamTest, PagesCreateEveryAdoClassByProgId) {
    registerAdoClasses();
    auto& registry = com::ClassRegistry::instance();
    for (const char* progId :
         {"ADODB.Connection", "ADODB.Recordset", "ADODB.Command", "ADODB.Parameter", "ADODB.Stream"}) {
        SCOPED_TRACE(progId);
        const Variant o(registry.create(progId));
        ASSERT_TRUE(o.isObject() && o.rawObject());
    }
    const Variant s(registry.create("ADODB.Stream"));
    com::invoke(s, "Open", com::kMethod);
    Variant text[] = {Variant("olá")};
    com::invoke(s, "WriteText", com::kMethod, text);
    com::putProperty(*s.rawObject(), "Position", Variant(std::int32_t{0}));
    EXPECT_EQ(com::CStr(com::invoke(s, "ReadText", com::kMethod)), "olá");
}

}  // namespace
}  // namespace orvan::data::adotest

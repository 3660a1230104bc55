// The real component through the whole host: registered in a registry file, loaded by ProgID from a
// page, reading its settings from Application, writing its error report into the page's Response and
// the event log, objects passed back and forth by reference.
#include <dlfcn.h>
#include <unistd.h>

#include <fstream>

#include "com_server/class_registry.h"
#include "com_server/event_log.h"
#include "page_test_support.h"

namespace orvan::host::test {
namespace {

namespace fs = std::filesystem;

class Component : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        dir_ = fs::temp_directory_path() / ("orvan_component_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        const std::string registry = (dir_ / "registry").string();
        ::setenv("ORVAN_REGISTRY", registry.c_str(), 1);
        void* lib = ::dlopen(ORVAN_COMPONENT_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << ::dlerror();
        auto registerServer = reinterpret_cast<std::int32_t (*)()>(::dlsym(lib, "DllRegisterServer"));
        ASSERT_NE(registerServer, nullptr);
        ASSERT_EQ(registerServer(), com::hr::Ok);
        com::ClassRegistry::instance().setRegistryFile(registry);
        log_ = std::make_shared<com::MemoryEventLog>();
        com::setEventLog(log_);
    }
    void TearDown() override {
        ::unsetenv("ORVAN_REGISTRY");
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    fs::path dir_;
    std::shared_ptr<com::MemoryEventLog> log_;
};

TEST_F(Component, ComumRunsStatementsAndReportsFailuresIntoThePage) {
    application->SetValue("dataconn_ConnectionString",
                          com::Variant("Provider=SQLite;Data Source=" + (dir_ / "agenda.db").string()));
    application->SetValue("dataconn_ConnectionTimeout", com::Variant(std::int32_t{15}));
    application->SetValue("dataconn_CommandTimeout", com::Variant(std::int32_t{30}));
    const long before = com::ComponentObject::alive();

    const PageResult r = run("component/comum.asp");
    ASSERT_EQ(r.outcome, PageOutcome::Completed) << describe(r);
    const std::string& body = r.response.body;
    EXPECT_TRUE(body.starts_with("\nr=0;nome=Ana;true;true;true;")) << body;
    EXPECT_NE(body.find("<font face='Trebuchet MS'"), std::string::npos) << body;
    EXPECT_NE(body.find("Rotina: <b>Orvan_Geral.Comum.Executar</b>"), std::string::npos) << body;
    const std::size_t result = body.find("</font>falha=");
    ASSERT_NE(result, std::string::npos) << body;
    EXPECT_NE(body.find("no such table: nada", result), std::string::npos) << body;

    const auto entries = log_->entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].type, com::EventType::Error);
    EXPECT_NE(entries[0].text.find("select * from nada"), std::string::npos);
    EXPECT_EQ(com::ComponentObject::alive(), before);  // every object the page made was released
}

}  // namespace
}  // namespace orvan::host::test

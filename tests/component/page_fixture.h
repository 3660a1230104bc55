// A page's surroundings for component tests: an object context with Application and Response,
// an in-memory event log, and the pt-BR regional settings.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "com_server/event_log.h"
#include "com_server/host.h"
#include "com_server/regional.h"

namespace orvan::testing {

class PageFixture : public ::testing::Test {
protected:
    void SetUp() override {
        application = com::make<com::MemoryApplication>();
        response = com::make<com::MemoryResponse>();
        context.set("Application", com::Variant(application));
        context.set("Response", com::Variant(response));
        log = std::make_shared<com::MemoryEventLog>();
        com::setEventLog(log);
        scope = std::make_unique<com::ObjectContextScope>(context);
        folder = std::filesystem::temp_directory_path() /
                 ("orvan-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override {
        scope.reset();
        com::setEventLog(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    // Points the Application at a fresh SQLite file and a 30-second command timeout.
    void useSqlite() {
        application->SetValue("dataconn_ConnectionString",
                              com::Variant("Provider=SQLite;Data Source=" + (folder / "agenda.db").string()));
        application->SetValue("dataconn_CommandTimeout", com::Variant(std::int32_t{30}));
        application->SetValue("dataconn_ConnectionTimeout", com::Variant(std::int32_t{15}));
    }

    com::ComPtr<com::MemoryApplication> application;
    com::ComPtr<com::MemoryResponse> response;
    com::SimpleObjectContext context;
    std::shared_ptr<com::MemoryEventLog> log;
    std::unique_ptr<com::ObjectContextScope> scope;
    com::RegionalScope regional{com::Regional::ptBR()};
    std::filesystem::path folder;
    static inline int counter = 0;
};

}  // namespace orvan::testing

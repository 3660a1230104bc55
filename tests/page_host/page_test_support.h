// Shared by the page host tests: running a page of tests/page_host/pages, and small test-only
// automation classes (registered as built-ins) that let pages exercise the bridge for real.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "com_server/dispatch.h"
#include "page_host/page_run.h"

namespace orvan::host::test {

std::filesystem::path pagesDir();

// Registers "Test.Probe", "Test.Bag" and "Test.Cell" (once per process).
void registerTestClasses();

// Number of Test.Probe objects alive.
long liveProbes();

struct PageTest : ::testing::Test {
    void SetUp() override { registerTestClasses(); }

    // Runs page (relative to pagesDir()) with the fixture's application and request.
    PageResult run(const std::string& page);

    com::ComPtr<ApplicationObject> application = com::make<ApplicationObject>();
    com::ComPtr<SessionObject> session = com::make<SessionObject>("123456789");
    PageRequest request;
    std::filesystem::path siteRoot = pagesDir();
    std::chrono::seconds timeout{10};
};

// The report of a failed run, for assertion messages.
std::string describe(const PageResult& result);

}  // namespace orvan::host::test

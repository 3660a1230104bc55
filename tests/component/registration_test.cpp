// The component library as a host sees it: registration into a registry file and back out, creation
// by ProgID through the registry, the type library it publishes, and whether it may be unloaded.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "com_server/class_registry.h"
#include "com_server/dispatch.h"
#include "page_fixture.h"

namespace orvan::testing {
namespace {

class RegistrationTest : public PageFixture {
protected:
    void SetUp() override {
        PageFixture::SetUp();
        useSqlite();
        registry = (folder / "registry").string();
        ::setenv("ORVAN_REGISTRY", registry.c_str(), 1);
        lib = ::dlopen(ORVAN_COMPONENT_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << ::dlerror();
        com::ClassRegistry::instance().setRegistryFile(registry);
    }
    void TearDown() override {
        ::unsetenv("ORVAN_REGISTRY");
        com::ClassRegistry::instance().setRegistryFile("");
        PageFixture::TearDown();
    }
    template <typename Fn>
    Fn entry(const char* name) {
        return reinterpret_cast<Fn>(::dlsym(lib, name));
    }
    std::string registry;
    void* lib = nullptr;
};

TEST_F(RegistrationTest, RegisterCreateByProgIdAndUnregister) {
    auto reg = entry<std::int32_t (*)()>("DllRegisterServer");
    auto unreg = entry<std::int32_t (*)()>("DllUnregisterServer");
    auto canUnload = entry<std::int32_t (*)()>("DllCanUnloadNow");
    ASSERT_TRUE(reg && unreg && canUnload && entry<void*>("DllGetClassObject"));

    ASSERT_EQ(reg(), com::hr::Ok);
    ASSERT_EQ(reg(), com::hr::Ok) << "registering twice replaces the entries";
    auto classes = com::readRegistry(registry);
    ASSERT_EQ(classes.size(), 3u);
    for (const char* progId : {"ORVAN_GERAL.COMUM", "ORVAN_GERAL.GERAL", "ORVAN_GERAL.PAUTA"}) {
        ASSERT_TRUE(classes.count(progId)) << progId;
        EXPECT_EQ(classes[progId].threadingModel, "Apartment");
        EXPECT_EQ(classes[progId].version, "1.00.0231");
        EXPECT_NE(classes[progId].library.find("Orvan_Geral.so"), std::string::npos);
    }
    EXPECT_NE(classes["ORVAN_GERAL.COMUM"].clsid, classes["ORVAN_GERAL.GERAL"].clsid);

    {
        auto pauta = com::ClassRegistry::instance().create("orvan_geral.pauta");
        ASSERT_TRUE(pauta);
        EXPECT_EQ(pauta->typeInfo().interfaceName, "_Pauta");
        EXPECT_EQ(canUnload(), com::hr::False) << "a Pauta and its Comum are alive";
        com::Variant comum = com::getProperty(*pauta, "Comum");
        EXPECT_EQ(comum.rawObject()->typeInfo().interfaceName, "_Comum");
    }
    EXPECT_EQ(canUnload(), com::hr::Ok);

    ASSERT_EQ(unreg(), com::hr::Ok);
    EXPECT_TRUE(com::readRegistry(registry).empty());
    try {
        com::ClassRegistry::instance().create("Orvan_Geral.Comum");
        FAIL() << "an unregistered ProgID must not create";
    } catch (const com::ComError& e) {
        EXPECT_EQ(e.number(), com::err::InvalidClassString);
    }
}

TEST_F(RegistrationTest, UnregisteringKeepsOtherLibrariesEntries) {
    {
        std::ofstream out(registry);
        out << "[CLSID\\{OTHER}]\nProgID=Outro.Objeto\nInprocServer32=/x.so\n\n[ProgID\\Outro.Objeto]\nCLSID={OTHER}\n";
    }
    ASSERT_EQ(entry<std::int32_t (*)()>("DllRegisterServer")(), com::hr::Ok);
    EXPECT_EQ(com::readRegistry(registry).size(), 4u);
    ASSERT_EQ(entry<std::int32_t (*)()>("DllUnregisterServer")(), com::hr::Ok);
    auto left = com::readRegistry(registry);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(left.count("OUTRO.OBJETO"));
}

TEST_F(RegistrationTest, TypeLibraryHasTheFixedDispatchIds) {
    auto get = entry<const com::LibraryDescriptor* (*)()>("DllGetTypeLib");
    ASSERT_TRUE(get);
    const auto& lib_ = *get();
    ASSERT_EQ(lib_.classes.size(), 3u);
    auto id = [&](std::size_t cls, const char* name) {
        for (const auto& m : lib_.classes[cls].typeInfo().members)
            if (m.name == name) return m.dispid;
        return -1;
    };
    EXPECT_EQ(id(0, "Gerar_Oid"), 0x6003000B);
    EXPECT_EQ(id(0, "oData"), 0x40030012);
    EXPECT_EQ(id(0, "Tratar_Erro"), 0x60030007);
    EXPECT_EQ(id(2, "DataHoraUniversal"), 0x6003000E);
    EXPECT_EQ(id(2, "Comum"), 0x40030005);
    EXPECT_EQ(id(2, "Usar_Application"), 0x60030002);
    EXPECT_EQ(lib_.classes[1].typeInfo().members.size(), 15u) << "Comum and LastError get/set, 11 methods";
}

}  // namespace
}  // namespace orvan::testing

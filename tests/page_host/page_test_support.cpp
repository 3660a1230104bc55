// Test-only automation classes and the page runner of the page host tests.
#include "page_test_support.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>

#include "com_server/class_registry.h"
#include "com_server/conversions.h"
#include "com_server/host.h"

namespace orvan::host::test {

using com::ComError;
using com::ComPtr;
using com::Param;
using com::Variant;

namespace {

std::atomic<long> g_probes{0};

// Test.Probe: one member per bridge behaviour under test.
class Probe : public com::Object {
public:
    Probe() { ++g_probes; }
    ~Probe() override { --g_probes; }

    Variant Echo(Variant v) { return v; }
    std::string TypeOf(Variant v) { return com::typeName(v.type()); }
    // A date argument as the local date and time it stands for.
    std::string DateText(Variant v) {
        if (v.type() != com::VarType::Date) return std::string("not a date: ") + com::typeName(v.type());
        const com::DateParts p = com::splitDate(v.rawDate());
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                      p.minute, p.second);
        return text;
    }
    Variant MakeDate(std::int32_t y, std::int32_t mo, std::int32_t d, std::int32_t h, std::int32_t mi,
                     std::int32_t s) {
        return Variant::date(*com::makeDate(com::DateParts{y, mo, d, h, mi, s}));
    }
    void Bump(std::int32_t& n) { n += 1; }
    void Fill(Variant& out) { out = Variant("filled"); }
    void FailAfterWrite(std::int32_t& n) {
        n = 99;
        throw ComError(1234, "failed after writing", "Test.Probe");
    }
    std::string Optional(std::string a, Variant b, std::int32_t c) {
        return a + "|" + com::typeName(b.type()) + "|" + std::to_string(c);
    }
    void Fail(std::int32_t number, std::string description) {
        throw ComError(number, description, "Test.Probe");
    }
    // Writes through the page's Response, as the component's error report does, then ends the response.
    void EndResponse() {
        Variant r = com::GetObjectContext().item("Response");
        ComPtr<com::IResponse> response = r.rawObject().as<com::IResponse>();
        response->Write(Variant("from component;"));
        response->End();
    }
    Variant AppValue(std::string key) {
        Variant a = com::GetObjectContext().item("Application");
        return a.rawObject().as<com::IApplicationObject>()->Value(key);
    }
    ComPtr<Probe> get_Child() {
        if (!child_) child_ = com::make<Probe>();
        return child_;
    }
    ComPtr<Probe> Self() { return ComPtr<Probe>(this); }
    Variant get_Target() { return target_; }
    void put_Target(Variant v) {
        lastPut_ = "let";
        target_ = std::move(v);
    }
    void putref_Target(ComPtr<com::Object> o) {
        lastPut_ = "set";
        target_ = o ? Variant(o) : Variant(nullptr);
    }
    std::string get_LastPut() { return lastPut_; }
    std::int32_t Live() { return static_cast<std::int32_t>(g_probes.load()); }

    ComPtr<Probe> Other;

    static const com::TypeInfo& members() {
        static const com::TypeInfo info = [] {
            com::TypeInfo t{
                "Probe",
                "_Probe",
                {com::method<&Probe::Echo>("Echo", 1, {"v"}),
                 com::method<&Probe::TypeOf>("TypeOf", 2, {Param::opt("v")}),
                 com::method<&Probe::DateText>("DateText", 3, {"v"}),
                 com::method<&Probe::MakeDate>("MakeDate", 4, {"y", "mo", "d", "h", "mi", "s"}),
                 com::method<&Probe::Bump>("Bump", 5, {"n"}), com::method<&Probe::Fill>("Fill", 6, {"out"}),
                 com::method<&Probe::FailAfterWrite>("FailAfterWrite", 7, {"n"}),
                 com::method<&Probe::Optional>("Optional", 8,
                                               {"a", Param::opt("b"), Param("c", Variant(std::int32_t{7}))}),
                 com::method<&Probe::Fail>("Fail", 9, {"number", "description"}),
                 com::method<&Probe::EndResponse>("EndResponse", 10),
                 com::method<&Probe::AppValue>("AppValue", 11, {"key"}),
                 com::propertyGet<&Probe::get_Child>("Child", 12), com::method<&Probe::Self>("Self", 13),
                 com::propertyGet<&Probe::get_Target>("Target", 14),
                 com::propertyPut<&Probe::put_Target>("Target", 14),
                 com::propertyPutRef<&Probe::putref_Target>("Target", 14),
                 com::propertyGet<&Probe::get_LastPut>("LastPut", 15),
                 com::method<&Probe::Live>("Live", 16)}};
            for (auto& m : com::storedProperty<&Probe::Other>("Other", 17)) t.members.push_back(std::move(m));
            return t;
        }();
        return info;
    }
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    ComPtr<Probe> child_;
    Variant target_;
    std::string lastPut_;
};

// Test.Bag: a dictionary whose default member takes the key, bag("k") and bag("k") = v.
class Bag : public com::Object {
public:
    Variant get_Item(std::string key) {
        auto it = items_.find(key);
        return it == items_.end() ? Variant() : it->second;
    }
    void put_Item(std::string key, Variant value) { items_[key] = std::move(value); }
    std::int32_t get_Count() { return static_cast<std::int32_t>(items_.size()); }

    static const com::TypeInfo& members() {
        static const com::TypeInfo info{
            "Bag",
            "_Bag",
            {com::propertyGet<&Bag::get_Item>("Item", com::kDispidValue, {"key"}),
             com::bind<&Bag::put_Item>("Item", com::kDispidValue, com::MemberKind::PropertyPut,
                                       {"key", "value"}),
             com::propertyGet<&Bag::get_Count>("Count", 1)}};
        return info;
    }
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    std::map<std::string, Variant> items_;
};

// Test.Cell: one value as the default member without parameters (a Field's Value).
class Cell : public com::Object {
public:
    Variant get_Value() { return value_; }
    void put_Value(Variant v) { value_ = std::move(v); }

    static const com::TypeInfo& members() {
        static const com::TypeInfo info{"Cell",
                                        "_Cell",
                                        {com::propertyGet<&Cell::get_Value>("Value", com::kDispidValue),
                                         com::propertyPut<&Cell::put_Value>("Value", com::kDispidValue)}};
        return info;
    }
    const com::TypeInfo& typeInfo() const override { return members(); }

private:
    Variant value_ = Variant(std::int32_t{5});
};

template <typename T>
com::ClassDescriptor descriptor(const char* name, const char* progId, const char* clsid) {
    return com::ClassDescriptor{name, progId, clsid, [] { return ComPtr<com::Object>(com::make<T>()); },
                                &T::members};
}

}  // namespace

std::filesystem::path pagesDir() {
    return std::filesystem::path(ORVAN_SOURCE_DIR) / "tests" / "page_host" / "pages";
}

void registerTestClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        auto& registry = com::ClassRegistry::instance();
        registry.addBuiltin(
            descriptor<Probe>("Probe", "Test.Probe", "{7E1D0C1A-0000-4000-8000-000000000001}"));
        registry.addBuiltin(descriptor<Bag>("Bag", "Test.Bag", "{7E1D0C1A-0000-4000-8000-000000000002}"));
        registry.addBuiltin(descriptor<Cell>("Cell", "Test.Cell", "{7E1D0C1A-0000-4000-8000-000000000003}"));
        com::setProcessRegional(com::Regional::ptBR());
    });
}

long liveProbes() {
    return g_probes.load();
}

PageResult PageTest::run(const std::string& page) {
    PageRun r;
    r.siteRoot = siteRoot;
    r.request = request;
    r.request.path = "/" + page;
    r.application = application;
    r.session = session;
    r.scriptTimeout = timeout;
    return runPage(r);
}

std::string describe(const PageResult& result) {
    std::string text = "outcome " + std::to_string(static_cast<int>(result.outcome));
    if (result.error)
        text += ", error " + result.error->where.file + ":" + std::to_string(result.error->where.line) + " " +
                std::to_string(result.error->number) + " " + result.error->description;
    return text + ", body: " + result.response.body;
}

}  // namespace orvan::host::test

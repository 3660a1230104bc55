// Classes by ProgID: the descriptors a library publishes, registration into a registry file (what
// DllRegisterServer / DllUnregisterServer write and remove), the class factories DllGetClassObject hands
// out, and the process-wide registry through which a host creates objects by ProgID.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "com_server/dispatch.h"
#include "com_server/object.h"

namespace orvan::com {

struct ClassDescriptor {
    std::string name;   // "Comum"
    std::string progId; // "Orvan_Geral.Comum"
    std::string clsid;  // "{...}", fixed once and for all
    ComPtr<Object> (*create)();
    const TypeInfo& (*typeInfo)();
};

struct LibraryDescriptor {
    std::string name;     // "Orvan_Geral"
    std::string libid;    // type library identifier
    std::string version;  // type library version, "1.0"
    std::string fileVersion;  // "1.00.0231"
    std::vector<ClassDescriptor> classes;
};

class ClassFactory {
public:
    virtual ~ClassFactory() = default;
    // A new, independent object (one reference, owned by the caller).
    virtual ComPtr<Object> CreateInstance() = 0;
};

// Objects of component libraries alive in the process (what DllCanUnloadNow asks). A component class
// derives from ComponentObject to be counted.
class ComponentObject : public Object {
public:
    ComponentObject() noexcept { count_.fetch_add(1, std::memory_order_relaxed); }
    ~ComponentObject() override { count_.fetch_sub(1, std::memory_order_relaxed); }
    static long alive() noexcept { return count_.load(std::memory_order_relaxed); }

private:
    static std::atomic<long> count_;
};

// The registry file used when none is named: $ORVAN_REGISTRY, else /var/lib/orvan/registry for root,
// else ~/.local/share/orvan/registry.
std::string defaultRegistryFile();

// What the four entry points of a component library do, written once.
std::int32_t registerLibrary(const LibraryDescriptor& lib, const std::string& libraryPath,
                             const std::string& registryFile);
std::int32_t unregisterLibrary(const LibraryDescriptor& lib, const std::string& registryFile);
std::int32_t getClassObject(const LibraryDescriptor& lib, const char* clsid, ClassFactory** out);

// One registered class as read from a registry file.
struct RegisteredClass {
    std::string progId, clsid, name, library, threadingModel, typeLib, version;
};
// All classes of a registry file, by upper-cased ProgID; a missing file is an empty registry.
std::map<std::string, RegisteredClass> readRegistry(const std::string& registryFile);

// The process's classes: built-in ones (the host's own, such as the ADO objects) and those of the
// registry file, whose libraries are loaded on first use.
class ClassRegistry {
public:
    static ClassRegistry& instance();

    void addBuiltin(ClassDescriptor cls);
    void setRegistryFile(std::string path);
    std::string registryFile() const;

    // Creates an object by ProgID (case-insensitive). Error 0x800401F3 "Invalid class string" when
    // no class has that ProgID; the library's own error when it cannot be loaded or refuses.
    ComPtr<Object> create(std::string_view progId);
    // Type information of every class known (built-in and registered), for printouts.
    std::vector<const TypeInfo*> typeInfos();

private:
    using GetClassObjectFn = std::int32_t (*)(const char*, ClassFactory**);
    GetClassObjectFn loadLibrary(const std::string& path);

    // The registered classes by upper-cased ProgID, as last read from the registry file, and what the
    // file looked like then (read again once the file changes).
    struct RegistryRead {
        std::string file;
        std::int64_t modifiedNs = 0, size = -1;
        std::uint64_t device = 0, inode = 0;
        std::shared_ptr<const std::map<std::string, RegisteredClass>> classes;
    };
    std::shared_ptr<const std::map<std::string, RegisteredClass>> registeredClasses();

    mutable std::mutex mutex_;
    std::map<std::string, ClassDescriptor> builtins_;  // upper-cased ProgID
    std::string registryFile_;
    RegistryRead registryRead_;
    std::map<std::string, void*> libraries_;  // loaded libraries stay loaded for the process
};

}  // namespace orvan::com

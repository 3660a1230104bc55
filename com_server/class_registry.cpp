// Registration into the registry file, class factories, and creation by ProgID.
//
// The registry file is a small INI text with one section per key, as the Windows registry would hold
// them:   [CLSID\{...}] (Class, ProgID, InprocServer32, ThreadingModel, TypeLib, Version),
//         [ProgID\Orvan_Geral.Comum] (CLSID),   [TypeLib\{...}\1.0] (Name, Path).
// Writers take an exclusive lock on "<file>.lock" and replace the file by rename, so a reader never
// sees half a file and two registrations never lose each other's entries.
#include "com_server/class_registry.h"
#include "com_server/ascii.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvan::com {

std::atomic<long> ComponentObject::count_{0};

namespace {

using Sections = std::map<std::string, std::map<std::string, std::string>>;

using ascii::upper;

std::string trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

Sections readSections(const std::string& file) {
    Sections out;
    std::ifstream in(file);
    std::string line, current;
    while (std::getline(in, line)) {
        std::string t = trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t.front() == '[' && t.back() == ']') {
            current = t.substr(1, t.size() - 2);
            out[current];
        } else if (auto eq = t.find('='); eq != std::string::npos && !current.empty()) {
            out[current][trim(t.substr(0, eq))] = trim(t.substr(eq + 1));
        }
    }
    return out;
}

void writeSections(const std::string& file, const Sections& sections) {
    std::filesystem::path p(file);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::string tmp = file + ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << "; Orvan automation registry: classes, ProgIDs and type libraries\n";
        for (const auto& [name, values] : sections) {
            out << "\n[" << name << "]\n";
            for (const auto& [k, v] : values) out << k << "=" << v << "\n";
        }
        if (!out) throw ComError(hr::Fail, "cannot write the registry file " + file);
    }
    std::filesystem::rename(tmp, file);
}

// Holds the writers' lock for the registry file.
class RegistryLock {
public:
    explicit RegistryLock(const std::string& file) {
        std::filesystem::path p(file);
        if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
        fd_ = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) throw ComError(hr::Fail, "cannot lock the registry file " + file);
        ::flock(fd_, LOCK_EX);
    }
    ~RegistryLock() {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

private:
    int fd_ = -1;
};

void removeLibrary(Sections& s, const LibraryDescriptor& lib) {
    for (const auto& c : lib.classes) {
        s.erase("CLSID\\" + c.clsid);
        s.erase("ProgID\\" + c.progId);
    }
    s.erase("TypeLib\\" + lib.libid + "\\" + lib.version);
}

class DescriptorFactory : public ClassFactory {
public:
    explicit DescriptorFactory(const ClassDescriptor& d) : d_(d) {}
    ComPtr<Object> CreateInstance() override { return d_.create(); }

private:
    const ClassDescriptor& d_;
};

}  // namespace

std::string defaultRegistryFile() {
    if (const char* env = std::getenv("ORVAN_REGISTRY"); env && *env) return env;
    if (::geteuid() == 0) return "/var/lib/orvan/registry";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/orvan/registry";
}

std::int32_t registerLibrary(const LibraryDescriptor& lib, const std::string& libraryPath,
                             const std::string& registryFile) {
    try {
        RegistryLock lock(registryFile);
        Sections s = readSections(registryFile);
        removeLibrary(s, lib);
        s["TypeLib\\" + lib.libid + "\\" + lib.version] = {{"Name", lib.name}, {"Path", libraryPath}};
        for (const auto& c : lib.classes) {
            s["CLSID\\" + c.clsid] = {{"Class", c.name},
                                      {"ProgID", c.progId},
                                      {"InprocServer32", libraryPath},
                                      {"ThreadingModel", "Apartment"},
                                      {"TypeLib", lib.libid},
                                      {"Version", lib.fileVersion}};
            s["ProgID\\" + c.progId] = {{"CLSID", c.clsid}};
        }
        writeSections(registryFile, s);
        return hr::Ok;
    } catch (const std::exception&) {
        return hr::SelfRegClass;  // the entry point reports failure by its result, never by throwing
    }
}

std::int32_t unregisterLibrary(const LibraryDescriptor& lib, const std::string& registryFile) {
    try {
        RegistryLock lock(registryFile);
        Sections s = readSections(registryFile);
        removeLibrary(s, lib);
        writeSections(registryFile, s);
        return hr::Ok;
    } catch (const std::exception&) {
        return hr::SelfRegClass;  // as above: the result is the report
    }
}

std::int32_t getClassObject(const LibraryDescriptor& lib, const char* clsid, ClassFactory** out) {
    if (!out || !clsid) return hr::InvalidArg;
    *out = nullptr;
    for (const auto& c : lib.classes) {
        if (upper(c.clsid) == upper(clsid)) {
            *out = new DescriptorFactory(c);
            return hr::Ok;
        }
    }
    return hr::ClassNotAvailable;
}

std::map<std::string, RegisteredClass> readRegistry(const std::string& registryFile) {
    std::map<std::string, RegisteredClass> out;
    Sections s = readSections(registryFile);
    for (const auto& [name, values] : s) {
        if (name.rfind("CLSID\\", 0) != 0) continue;
        auto get = [&values = values](const char* k) {
            auto it = values.find(k);
            return it == values.end() ? std::string() : it->second;
        };
        RegisteredClass c{get("ProgID"), name.substr(6),        get("Class"),  get("InprocServer32"),
                          get("ThreadingModel"), get("TypeLib"), get("Version")};
        if (!c.progId.empty()) out[upper(c.progId)] = std::move(c);
    }
    return out;
}

ClassRegistry& ClassRegistry::instance() {
    static ClassRegistry r;
    return r;
}

void ClassRegistry::addBuiltin(ClassDescriptor cls) {
    std::lock_guard lock(mutex_);
    builtins_[upper(cls.progId)] = std::move(cls);
}

void ClassRegistry::setRegistryFile(std::string path) {
    std::lock_guard lock(mutex_);
    registryFile_ = std::move(path);
}

std::string ClassRegistry::registryFile() const {
    std::lock_guard lock(mutex_);
    return registryFile_.empty() ? defaultRegistryFile() : registryFile_;
}

ClassRegistry::GetClassObjectFn ClassRegistry::loadLibrary(const std::string& path) {
    std::lock_guard lock(mutex_);
    void*& handle = libraries_[path];
    if (!handle) {
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            libraries_.erase(path);
            const char* why = ::dlerror();
            throw ComError(hr::Fail, "cannot load the component library " + path + ": " + (why ? why : "unknown"));
        }
    }
    auto fn = reinterpret_cast<GetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
    if (!fn) throw ComError(hr::Fail, "the library " + path + " has no DllGetClassObject");
    return fn;
}

std::shared_ptr<const std::map<std::string, RegisteredClass>> ClassRegistry::registeredClasses() {
    // A page creates its objects on every request: the file is read again only when a stat of it
    // shows another file, size or modification time.
    const std::string file = registryFile();
    struct stat st {};
    const bool stamped = ::stat(file.c_str(), &st) == 0;
    const std::int64_t modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    const auto sameFile = [&](const RegistryRead& r) {
        return stamped && r.classes && r.file == file && r.modifiedNs == modifiedNs &&
               r.size == static_cast<std::int64_t>(st.st_size) && r.device == static_cast<std::uint64_t>(st.st_dev) &&
               r.inode == static_cast<std::uint64_t>(st.st_ino);
    };
    {
        std::lock_guard lock(mutex_);
        if (sameFile(registryRead_)) return registryRead_.classes;
    }
    auto classes = std::make_shared<const std::map<std::string, RegisteredClass>>(readRegistry(file));
    if (stamped) {
        std::lock_guard lock(mutex_);
        registryRead_ = RegistryRead{file, modifiedNs, static_cast<std::int64_t>(st.st_size),
                                     static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                                     classes};
    }
    return classes;
}

ComPtr<Object> ClassRegistry::create(std::string_view progId) {
    const std::string key = upper(progId);
    {
        std::lock_guard lock(mutex_);
        if (auto it = builtins_.find(key); it != builtins_.end()) return it->second.create();
    }
    const auto classes = registeredClasses();
    auto it = classes->find(key);
    if (it == classes->end()) throw ComError(err::InvalidClassString, "Invalid class string", std::string(progId));
    GetClassObjectFn getFactory = loadLibrary(it->second.library);
    ClassFactory* raw = nullptr;
    std::int32_t rc = getFactory(it->second.clsid.c_str(), &raw);
    std::unique_ptr<ClassFactory> factory(raw);
    if (rc != hr::Ok || !factory) throw ComError(rc ? rc : hr::Fail, "Class not available", std::string(progId));
    return factory->CreateInstance();
}

std::vector<const TypeInfo*> ClassRegistry::typeInfos() {
    std::vector<const TypeInfo*> out;
    std::lock_guard lock(mutex_);
    for (const auto& [k, c] : builtins_) out.push_back(&c.typeInfo());
    return out;
}

}  // namespace orvan::com

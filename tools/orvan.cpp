// The orvan command: the type library, registration of the component, and (with the page host) running
// and serving pages.
#include <dlfcn.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "com_server/class_registry.h"
#include "com_server/dispatch.h"
#include "com_server/error.h"
#include "data_access/providers/odbc/odbc_connection_string.h"
#include "com_server/version.h"
#include "data_access/providers/provider.h"
#include "page_host/command_usage.h"
#include "page_host/http/serve_command.h"
#include "page_host/run_command.h"
#include "schema/schema.h"
#include "session_services/password.h"

#ifndef ORVAN_COMPONENT_PATH
#define ORVAN_COMPONENT_PATH "Orvan_Geral.so"
#endif
#ifndef ORVAN_COMPONENT_FROM_BIN
#define ORVAN_COMPONENT_FROM_BIN "../lib/orvan/Orvan_Geral.so"
#endif

namespace {

// The component library: --component, else $ORVAN_COMPONENT, else the installed one (at
// ORVAN_COMPONENT_FROM_BIN from this program's folder, so that an installed tree may move), else the
// one built beside this program.
std::string componentPath(const std::vector<std::string>& args) {
    // The registry records the path the library was loaded from, so it must not depend on the folder
    // the command ran in.
    auto absolute = [](const std::string& p) { return std::filesystem::absolute(p).lexically_normal().string(); };
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--component") return absolute(args[i + 1]);
    if (const char* env = std::getenv("ORVAN_COMPONENT"); env && *env) return absolute(env);
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path installed =
            (self.parent_path() / ORVAN_COMPONENT_FROM_BIN).lexically_normal();
        if (std::filesystem::is_regular_file(installed, ec)) return installed.string();
    }
    return ORVAN_COMPONENT_PATH;
}

void* openComponent(const std::string& path) {
    void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) std::cerr << "orvan: cannot load the component library " << path << ": " << ::dlerror() << "\n";
    return h;
}

template <typename Fn>
Fn entryPoint(void* lib, const char* name) {
    auto fn = reinterpret_cast<Fn>(::dlsym(lib, name));
    if (!fn) std::cerr << "orvan: the component library has no entry point " << name << "\n";
    return fn;
}

int typelib(const std::vector<std::string>& args) {
    void* lib = openComponent(componentPath(args));
    if (!lib) return 1;
    auto get = entryPoint<const orvan::com::LibraryDescriptor* (*)()>(lib, "DllGetTypeLib");
    if (!get) return 1;
    const orvan::com::LibraryDescriptor& t = *get();
    std::cout << "library " << t.name << " " << t.libid << " version " << t.version << " (file version "
              << t.fileVersion << ")\n";
    for (const auto& c : t.classes) {
        std::cout << "\n// " << c.progId << " " << c.clsid << " ThreadingModel=Apartment\n";
        std::cout << orvan::com::describe(c.typeInfo());
    }
    return 0;
}

int regsvr(const std::vector<std::string>& args) {
    bool unregister = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--unregister") {
            unregister = true;
        } else if (args[i] == "--registry" && i + 1 < args.size()) {
            ::setenv("ORVAN_REGISTRY", args[++i].c_str(), 1);
        } else if (args[i] == "--component" && i + 1 < args.size()) {
            ++i;
        } else {
            std::cerr << "orvan regsvr: unknown option " << args[i] << "\n" << orvan::host::commandUsage("regsvr");
            return 2;
        }
    }
    const std::string path = componentPath(args);
    void* lib = openComponent(path);
    if (!lib) return 1;
    auto fn = entryPoint<std::int32_t (*)()>(lib, unregister ? "DllUnregisterServer" : "DllRegisterServer");
    if (!fn) return 1;
    const std::int32_t rc = fn();
    const std::string registry = orvan::com::defaultRegistryFile();
    if (rc != orvan::com::hr::Ok) {
        std::cerr << "orvan regsvr: " << (unregister ? "unregistration" : "registration") << " of " << path
                  << " in " << registry << " failed (0x" << std::hex << static_cast<std::uint32_t>(rc) << ")\n";
        return 1;
    }
    std::cout << (unregister ? "unregistered " : "registered ") << path << (unregister ? " from " : " in ")
              << registry << "\n";
    return 0;
}

// What init-db says before the error's own text: the login refused and a database it cannot reach are
// told apart from the other failures (a schema already there says so in its text).
const char* initDbFailureText(orvan::com::ErrorCategory category) {
    switch (category) {
        case orvan::com::ErrorCategory::NotAllowed:
            return "not allowed: the database refused the login or the operation: ";
        case orvan::com::ErrorCategory::ConnectionFailed:
            return "cannot connect to the database: ";
        default:
            return "";
    }
}

int initDb(const std::vector<std::string>& args) {
    std::string connection;
    bool demo = false;
    for (const auto& a : args) {
        if (a == "--demo") demo = true;
        else if (connection.empty()) connection = a;
        else {
            std::cerr << "orvan init-db: unexpected argument " << a << "\n" << orvan::host::commandUsage("init-db");
            return 2;
        }
    }
    if (connection.empty()) {
        std::cerr << "orvan init-db: a connection string is needed, e.g. \"Provider=SQLite;Data Source=agenda.db\"\n";
        return 2;
    }
    try {
        auto session = orvan::data::openSession(orvan::data::ConnectionString::parse(connection), 15);
        for (const auto& line : orvan::schema::createSchema(*session)) std::cout << "created " << line << "\n";
        if (demo)
            for (const auto& line : orvan::schema::addDemoData(*session)) std::cout << "added " << line << "\n";
    } catch (const orvan::com::ComError& e) {
        std::cerr << "orvan init-db: " << initDbFailureText(e.category()) << e.description() << " (" << e.number()
                  << ")\n";
        return 1;
    }
    return 0;
}

// Prints the ODBC connection string a connection string becomes, the password masked; a string for a
// native provider, or one that cannot be translated, is an error.
int explainConnection(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::cerr << orvan::host::commandUsage("explain-connection");
        return 2;
    }
    const auto cs = orvan::data::ConnectionString::parse(args[0]);
    if (!orvan::data::isOdbcConnection(cs)) {
        std::cerr << "orvan explain-connection: the string does not go through ODBC"
                  << (cs.provider().empty() ? " (it names no Provider, DSN or Driver)"
                                            : " (Provider=" + cs.get("provider") + " is not an ODBC provider)")
                  << "\n";
        return 1;
    }
    try {
        const auto odbc = orvan::data::translateToOdbc(cs, orvan::data::installedOdbcDrivers());
        std::cout << odbc.masked << "\n";
    } catch (const orvan::com::ComError& e) {
        std::cerr << "orvan explain-connection: " << e.description() << "\n";
        return 1;
    }
    return 0;
}

// The terminal's settings while a password is typed with its echo off, restored by an interrupt too.
termios g_savedTerminal{};

extern "C" void restoreTerminalAndStop(int signal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// One line typed on the terminal after prompt, not echoed. Empty when the input ends first.
std::optional<std::string> readHidden(const char* prompt) {
    std::cerr << prompt << std::flush;
    termios quiet = g_savedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
    std::cerr << "\n";
    if (!read) return std::nullopt;
    return line;
}

// The password of `orvan passwd LOGIN`: typed twice on the terminal without echo, or the first line of
// standard input when that is not a terminal (its line end, LF or CR LF, removed). Empty, after a
// message on standard error, when there is none or the two typed ones differ.
std::optional<std::string> readPassword() {
    if (!::isatty(STDIN_FILENO)) {
        std::string line;
        if (!std::getline(std::cin, line) && line.empty()) {
            std::cerr << "orvan passwd: no password on standard input\n";
            return std::nullopt;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    if (::tcgetattr(STDIN_FILENO, &g_savedTerminal) != 0) {
        std::cerr << "orvan passwd: cannot read the terminal's settings\n";
        return std::nullopt;
    }
    auto previousInt = std::signal(SIGINT, restoreTerminalAndStop);
    auto previousTerm = std::signal(SIGTERM, restoreTerminalAndStop);
    std::optional<std::string> first = readHidden("Password: ");
    std::optional<std::string> second = first ? readHidden("Retype password: ") : std::nullopt;
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    if (!first || !second) {
        std::cerr << "orvan passwd: no password typed\n";
        return std::nullopt;
    }
    if (*first != *second) {
        std::cerr << "orvan passwd: the two passwords differ\n";
        return std::nullopt;
    }
    return first;
}

int passwd(const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2) {
        std::cerr << orvan::host::commandUsage("passwd");
        return 2;
    }
    std::optional<std::string> password =
        args.size() == 2 ? std::optional<std::string>(args[1]) : readPassword();
    if (!password) return 1;
    try {
        std::cout << orvan::session::storedPassword(args[0], *password) << "\n";
    } catch (const orvan::com::ComError& e) {
        std::cerr << "orvan passwd: " << e.description() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << orvan::host::orvanUsage();
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") {
        std::cout << "orvan " << ORVAN_VERSION << " (component Orvan_Geral " << ORVAN_FILE_VERSION << ")\n";
        return 0;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    // Every subcommand answers --help with its own usage before it reads any other argument.
    if (orvan::host::asksForHelp(args)) {
        std::cout << orvan::host::commandUsage(command);
        return 0;
    }
    try {
        if (command == "typelib") return typelib(args);
        if (command == "regsvr") return regsvr(args);
        if (command == "init-db") return initDb(args);
        if (command == "passwd") return passwd(args);
        if (command == "explain-connection") return explainConnection(args);
        if (command == "run") return orvan::host::orvanRun(args, std::cout, std::cerr);
        if (command == "serve") return orvan::host::http::orvanServe(args, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "orvan " << command << ": " << e.what() << "\n";
        return 1;
    }
    std::cerr << "orvan: unknown command " << command << "\n" << orvan::host::orvanUsage();
    return 2;
}

// `orvan run`: options, process settings, one page run, the report.
#include "page_host/run_command.h"

#include <cstdio>
#include <filesystem>
#include <optional>

#include "com_server/regional.h"
#include "page_host/command_usage.h"
#include "page_host/config.h"
#include "page_host/page_run.h"

namespace orvan::host {

namespace fs = std::filesystem;

namespace {


struct Options {
    std::string page;
    std::optional<std::string> root, config;
    ProcessOptions process;
    NameValues app, query, form, cookies;
};

struct UsageError {
    std::string message;
};

std::pair<std::string, std::string> nameValue(const std::string& option, const std::string& text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        throw UsageError{option + " takes NAME=VALUE, not \"" + text + "\""};
    return {text.substr(0, eq), text.substr(eq + 1)};
}

Options parse(const std::vector<std::string>& args) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg.erase(eq);
            }
        } else {
            if (!o.page.empty()) throw UsageError{"only one page can be run; extra argument \"" + arg + "\""};
            o.page = arg;
            continue;
        }
        auto value = [&]() -> std::string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
            return args[++i];
        };
        if (arg == "--root")
            o.root = value();
        else if (arg == "--config")
            o.config = value();
        else if (arg == "--eventlog")
            o.process.eventlog = value();
        else if (arg == "--locale")
            o.process.locale = value();
        else if (arg == "--registry")
            o.process.registry = value();
        else if (arg == "--app")
            o.app.push_back(nameValue(arg, value()));
        else if (arg == "--query")
            o.query.push_back(nameValue(arg, value()));
        else if (arg == "--form")
            o.form.push_back(nameValue(arg, value()));
        else if (arg == "--cookie")
            o.cookies.push_back(nameValue(arg, value()));
        else
            throw UsageError{"unknown option " + arg};
    }
    if (o.page.empty()) throw UsageError{"no page named"};
    return o;
}

std::string errorNumber(std::int32_t number) {
    std::string text = std::to_string(number);
    if (number < 0) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(number));
        text += std::string(" (") + hex + ")";
    }
    return text;
}

}  // namespace

int orvanRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    HostConfig config;
    try {
        options = parse(args);
        if (options.config) config = loadHostConfig(*options.config);
    } catch (const UsageError& e) {
        err << "orvan run: " << e.message << "\n" << commandUsage("run");
        return 2;
    } catch (const ConfigError& e) {
        err << "orvan run: " << e.what() << "\n";
        return 2;
    }

    const com::Regional* regional = chooseRegional(options.process, config, "orvan run", err);
    if (!regional) return 2;

    const fs::path page = options.page;
    std::error_code ec;
    if (!fs::is_regular_file(page, ec)) {
        err << "orvan run: " << options.page << ": the page does not exist\n";
        return 2;
    }
    const fs::path root = options.root ? fs::path(*options.root)
                                       : (page.parent_path().empty() ? fs::path(".") : page.parent_path());
    const fs::path canonicalRoot = fs::canonical(root, ec);
    if (ec) {
        err << "orvan run: " << root.string() << ": the site root does not exist\n";
        return 2;
    }
    const fs::path inside = fs::canonical(page).lexically_relative(canonicalRoot);
    if (inside.empty() || *inside.begin() == "..") {
        err << "orvan run: " << options.page << " is outside the site root " << root.string() << "\n";
        return 2;
    }

    if (!applyProcessSettings(*regional, options.process, config, "orvan run", err)) return 2;

    auto application = com::make<ApplicationObject>();
    try {
        for (const auto& [name, value] : config.application) application->SetValue(name, value);
        for (const auto& [name, value] : options.app) application->SetValue(name, com::Variant(value));
    } catch (const com::ComError& e) {
        err << "orvan run: " << e.description() << "\n";
        return 2;
    }

    PageRun run;
    run.siteRoot = root;
    run.defaultLanguage = config.scriptLanguage.value_or(ScriptLanguage::VBScript);
    run.application = application;
    run.session = com::make<SessionObject>(newSessionId());
    run.request.method = options.form.empty() ? "GET" : "POST";
    run.request.path = "/" + inside.generic_string();
    run.request.query = options.query;
    run.request.form = options.form;
    run.request.cookies = options.cookies;
    run.request.serverVariables = {{"SERVER_NAME", "localhost"}, {"SERVER_PORT", "80"},
                                   {"REMOTE_ADDR", "127.0.0.1"}, {"REMOTE_HOST", "127.0.0.1"},
                                   {"HTTP_HOST", "localhost"},   {"HTTPS", "off"}};

    const PageResult result = runPage(run);
    out << result.response.body;
    out.flush();
    if (result.error) {
        const ScriptError& e = *result.error;
        err << e.where.file << ":" << e.where.line << ": error " << errorNumber(e.number) << ": "
            << e.description;
        if (!e.source.empty()) err << " [" << e.source << "]";
        err << "\n";
    }
    return result.outcome == PageOutcome::Completed || result.outcome == PageOutcome::Ended ? 0 : 1;
}

}  // namespace orvan::host

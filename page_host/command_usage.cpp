// The orvan command's usage table and the texts made from it.
#include "page_host/command_usage.h"

#include <algorithm>

namespace orvan::host {
namespace {

struct Command {
    const char* name;
    const char* arguments;
    const char* summary;
};

constexpr Command kCommands[] = {
    {"serve",
     "[--config FILE] [--root DIR] [--listen ADDRESS:PORT] [--eventlog FILE] [--locale pt-BR|en-US] "
     "[--registry FILE] [--access-log FILE|-]",
     "serve the site of .asp pages over HTTP until SIGTERM or SIGINT"},
    {"run",
     "PAGE [--root DIR] [--config FILE] [--app NAME=VALUE]... [--query NAME=VALUE]... [--form NAME=VALUE]... "
     "[--cookie NAME=VALUE]... [--eventlog FILE] [--locale pt-BR|en-US] [--registry FILE]",
     "run one page once and print the response body"},
    {"init-db", "CONNECTION-STRING [--demo]", "create the agenda schema (and the demo data)"},
    {"explain-connection", "CONNECTION-STRING",
     "print the ODBC connection string a connection string becomes (password masked)"},
    {"passwd", "LOGIN [PASSWORD]",
     "print a password's stored form (read from the terminal or standard input when not given)"},
    {"typelib", "[--component FILE]", "print the component's classes, members and dispatch ids"},
    {"regsvr", "[--unregister] [--registry FILE] [--component FILE]",
     "register (or unregister) the component library"},
};

constexpr std::size_t kWidth = 100;

// The next item of an argument list: a word, or a whole [...] group with its blanks, and what follows.
std::string_view nextItem(std::string_view& text) {
    int depth = 0;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        if (text[i] == '[') ++depth;
        if (text[i] == ']') --depth;
        if (text[i] == ' ' && depth == 0) break;
    }
    const std::string_view item = text.substr(0, i);
    text = i < text.size() ? text.substr(i + 1) : std::string_view();
    return item;
}

// prefix followed by the items of text, lines broken between items before kWidth; continuation lines
// are indented by indent blanks.
std::string wrapped(std::string prefix, std::string_view text, std::size_t indent) {
    std::string out = std::move(prefix);
    std::size_t lineStart = 0;
    bool first = true;
    while (!text.empty()) {
        const std::string_view item = nextItem(text);
        if (!first && out.size() - lineStart + 1 + item.size() > kWidth) {
            out += '\n';
            lineStart = out.size();
            out.append(indent, ' ');
        } else if (!first) {
            out += ' ';
        }
        out += item;
        first = false;
    }
    return out + "\n";
}

const Command* find(std::string_view name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

}  // namespace

std::string orvanUsage() {
    std::string out = "usage: orvan <command> [options]\n";
    for (const Command& c : kCommands) {
        out += wrapped("  " + std::string(c.name) + " ", c.arguments, 6);
        out += "      " + std::string(c.summary) + "\n";
    }
    out += "orvan <command> --help shows one command's usage; orvan --version the version.\n";
    return out;
}

std::string commandUsage(std::string_view command) {
    const Command* c = find(command);
    if (!c) return orvanUsage();
    const std::string prefix = "usage: orvan " + std::string(c->name) + " ";
    return wrapped(prefix, c->arguments, prefix.size()) + "  " + c->summary + "\n";
}

bool asksForHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; });
}

}  // namespace orvan::host

// The usage text of the orvan command, in one table: the overview `orvan --help` prints and the
// usage of each subcommand (`orvan <command> --help`, and after a usage error). README.md's
// "The orvan command" section shows the same synopses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvan::host {

// "usage: orvan <command> [options]" and one synopsis and summary line per subcommand.
std::string orvanUsage();

// "usage: orvan <command> <arguments>" and its summary, wrapped at 100 columns; the overview for a
// command the table does not know.
std::string commandUsage(std::string_view command);

// True when args (a subcommand's arguments) ask for its usage: "--help" or "-h" among them.
bool asksForHelp(const std::vector<std::string>& args);

}  // namespace orvan::host

// `orvan run`: runs one page once, as one request, from the command line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace orvan::host {

// args are the words after "run":
//   PAGE [--root DIR] [--config FILE] [--app NAME=VALUE]... [--query NAME=VALUE]...
//        [--form NAME=VALUE]... [--cookie NAME=VALUE]... [--eventlog FILE] [--locale pt-BR|en-US]
//        [--registry FILE]
// The response body goes to out. Result: 0 when the page ran to its end or stopped with
// Response.End; 1 when it failed (an error it did not catch, a page that does not compile, the script
// timeout), with the page's output so far on out and "PAGE:LINE: error NUMBER: DESCRIPTION" on err;
// 2 for a usage error, a missing or malformed configuration file or a missing page, before any page
// runs. The site root is --root, else the page's folder. Process-wide settings (event log, regional
// settings, registry file) are set from the options and the configuration.
int orvanRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace orvan::host

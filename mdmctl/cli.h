// mdmctl's command line: what was asked, checked before anything reaches the bus.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mdm/usb_id.h"

namespace mdmctl {

// Distinct exit codes, so scripts can tell the failures apart.
enum Exit : int {
    kOk = 0,
    kRefused = 1,       // the service answered, but refused or failed the change
    kUsage = 2,         // bad command line, bad id or bad import file, arguments refused
    kAbsent = 3,        // the service is not running
    kNotPermitted = 4,  // not root, or the bus policy denied the call
    kFailed = 5,        // any other failure (bus error reply, unreadable tables)
};

// The failure that ends a command: one line for standard error and its exit code.
struct Failure {
    Exit code;
    std::string message;
};

enum class Verb { Status, Devices, List, Add, Remove, Import, Clear, On, Off, Query };
enum class Target { None, White, Black, Bank, Net };

using Pair = mdm::UsbIds;

struct Request {
    Target target = Target::None;
    Verb verb = Verb::Status;
    int bank_type = -1;  // 0 ushield .. 3 taxkey
    Pair pair;           // add, remove
    std::string file;    // import
    bool json = false;

    // Whether the request changes anything (and so needs root).
    bool changes() const;
};

// Parses the arguments after the program name; a Failure with kUsage when they are wrong.
// "--json" may stand anywhere; "-h"/"--help" gives a Failure with kOk and the usage text.
struct Parsed {
    std::optional<Request> request;
    std::optional<Failure> failure;
};
Parsed parse(const std::vector<std::string>& args);

std::string usage();

// A USB id as the services take it: one to four hexadecimal digits, kept as given.
bool valid_id(std::string_view id);

// The bank type by name ("ushield", "fingerprint", "taxtray", "taxkey") or index "0".."3".
std::optional<int> bank_type(std::string_view word);
const char* bank_type_name(int type);

// The pairs of an import file in the list file format: one joined pair per line, product id
// first ("c8200bda"). Blank lines and lines starting with "#" are skipped; anything else that
// is not eight hexadecimal digits is reported with its line number and skipped, never hiding
// the lines after it.
struct ImportFile {
    std::vector<Pair> pairs;
    std::vector<std::string> problems;  // "LINE: reason"
};
ImportFile parse_import(std::string_view content);

}  // namespace mdmctl

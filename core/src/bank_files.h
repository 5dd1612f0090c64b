// The bank device files as plain operations over a root directory, so they can be used on
// a scratch directory; the exports bind /etc/mdm/bank.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mdm/bank.h"
#include "tarvex/adapter.h"

namespace periphcore::bank {

using mdm::bank::kNotBank;
using mdm::bank::type_name;
using BankPaths = mdm::bank::Paths;

// Longest lines (line feed not counted) the bank files were defined with: the type lookup
// and status switching read 127 characters, the list reader 511. Longer lines are skipped.
inline constexpr std::size_t kTypeLineMax = 127;
inline constexpr std::size_t kDevListLineMax = 511;

// A list line as an entry: line feeds, tabs and blanks removed, A-Z lowercased; nullopt
// unless exactly eight characters remain, none of them a zero byte (the entry is handed on
// as a C text, which would end there).
std::optional<std::string> normalise_line(std::string_view line);

// The entries of a device list file. A file that cannot be opened gives "open file error"
// on standard error and nullopt.
std::optional<std::vector<std::string>> read_list(const std::string& path);

// Input entries in order, lowercased, each dropped when it equals an earlier one ignoring
// case. Null slots are passed over.
std::vector<std::string> normalise_input(char* const* entries, int count);

// The first type whose list has a raw line beginning with product + vendor, else 4.
int device_type(const BankPaths& paths, const char* product, const char* vendor);

// The value of the leading decimal digits of a status file's first bytes (0 when none).
int parse_status(std::string_view bytes);
// getBankDevStatus over a path: the status, or -1 after the standard-error message.
int read_status(const std::string& path);

int get_status(const BankPaths& paths, int type);
int set_status(const BankPaths& paths, const mdm::tarvex::Functions& fns, int type, int status);
int set_list(const BankPaths& paths, const mdm::tarvex::Functions& fns, int type,
             const std::vector<std::string>& entries);
int del_list(const BankPaths& paths, const mdm::tarvex::Functions& fns, int type,
             const std::vector<std::string>& entries);

// Grants every device of a list the status's permission (deny spares the bank white list).
// False when the list cannot be opened.
bool apply_status(const BankPaths& paths, const mdm::tarvex::Functions& fns, int type, int status);

}  // namespace periphcore::bank

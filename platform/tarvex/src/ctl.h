// tarvexctl: list and set entries of the stand-in's tables.
#pragma once

#include <ostream>
#include <span>
#include <string_view>

#include "store.h"

namespace tarvex_standin {

inline constexpr int kCtlOk = 0;
inline constexpr int kCtlFailed = 1;    // the store could not be read or written
inline constexpr int kCtlBadUsage = 2;  // bad arguments; nothing was changed

// `args` excludes the program name.
int run_ctl(std::span<const std::string_view> args, const Store& store, std::ostream& out,
            std::ostream& err);

}  // namespace tarvex_standin

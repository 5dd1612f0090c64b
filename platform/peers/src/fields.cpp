#include "fields.h"

namespace stockpeers {

std::optional<std::vector<std::string_view>> split_fixed(std::string_view text,
                                                         std::string_view prefix,
                                                         std::span<const std::string_view> seps,
                                                         std::string_view suffix) {
    if (text.size() < prefix.size() + suffix.size() || !text.starts_with(prefix) ||
        !text.ends_with(suffix)) {
        return std::nullopt;
    }
    // The suffix is cut off first, so no separator is ever found inside it.
    std::string_view body = text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
    std::vector<std::string_view> values;
    values.reserve(seps.size() + 1);
    std::size_t pos = 0;
    for (std::string_view sep : seps) {
        std::size_t at = body.find(sep, pos);
        if (at == std::string_view::npos)
            return std::nullopt;
        values.push_back(body.substr(pos, at - pos));
        pos = at + sep.size();
    }
    values.push_back(body.substr(pos));
    return values;
}

}  // namespace stockpeers

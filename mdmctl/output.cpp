#include "output.h"

#include <algorithm>
#include <cctype>

#include <glib.h>

#include "mdm/raii_glib.h"
#include "mdm/text.h"

namespace mdmctl {

namespace {

std::size_t width(const std::string& text) {
    return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)
               ? g_utf8_strlen(text.data(), static_cast<gssize>(text.size()))
               : text.size();
}

std::string key(std::string column) {
    std::transform(column.begin(), column.end(), column.begin(),
                   [](unsigned char c) { return c == ' ' ? '_' : std::tolower(c); });
    return column;
}

}  // namespace

std::string json_quote(std::string_view text) {
    mdm::GCharPtr valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
    return "\"" + mdm::json_escaped(valid.get()) + "\"";
}

std::string Table::render() const {
    std::vector<std::size_t> widths(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i)
        widths[i] = width(columns[i]);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], width(row[i]));

    std::string out;
    auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const std::string cell = i < cells.size() ? cells[i] : "";
            text += cell;
            if (i + 1 < columns.size())
                text.append(widths[i] - width(cell) + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out += text + "\n";
    };
    line(columns);
    for (const auto& row : rows)
        line(row);
    return out;
}

std::string Table::json() const {
    std::string out = "[";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        out += r ? ",{" : "{";
        for (std::size_t i = 0; i < columns.size(); ++i) {
            out += (i ? "," : "") + json_quote(key(columns[i])) + ":" +
                   json_quote(i < rows[r].size() ? rows[r][i] : "");
        }
        out += "}";
    }
    return out + "]\n";
}

std::string change_result(bool json, bool ok, int answer, std::string_view message) {
    if (json) {
        return std::string("{\"ok\":") + (ok ? "true" : "false") +
               ",\"answer\":" + std::to_string(answer) + "}\n";
    }
    return std::string(message) + "\n";
}

}  // namespace mdmctl

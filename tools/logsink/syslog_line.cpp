#include "syslog_line.h"

#include <cctype>

namespace logsink {
namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// "<PRI>" with 1 to 3 digits; advances `s` past it.
bool take_priority(std::string_view& s, int& pri) {
    if (s.empty() || s[0] != '<')
        return false;
    std::size_t i = 1;
    int value = 0;
    while (i < s.size() && i <= 3 && is_digit(s[i]))
        value = value * 10 + (s[i++] - '0');
    if (i == 1 || i >= s.size() || s[i] != '>' || value > 191)
        return false;
    pri = value;
    s.remove_prefix(i + 1);
    return true;
}

// "Mmm dd hh:mm:ss " (day padded with a blank), as strftime's "%h %e %T" writes it.
bool take_timestamp(std::string_view& s) {
    constexpr std::string_view shape = "Aaa dd dd:dd:dd ";
    if (s.size() < shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        char want = shape[i];
        char c = s[i];
        bool ok = want == 'A'   ? std::isupper(static_cast<unsigned char>(c))
                  : want == 'a' ? std::islower(static_cast<unsigned char>(c))
                  : want == 'd' ? (is_digit(c) || (i == 4 && c == ' '))
                                : c == want;
        if (!ok)
            return false;
    }
    s.remove_prefix(shape.size());
    return true;
}

// "ident: " or "ident[pid]: "; an ident holds no blank, '[' or ':'.
void skip_ident(std::string_view& s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] != ' ' && s[i] != '[' && s[i] != ':')
        ++i;
    if (i == 0 || i >= s.size())
        return;
    if (s[i] == '[') {
        std::size_t j = i + 1;
        while (j < s.size() && is_digit(s[j]))
            ++j;
        if (j == i + 1 || j >= s.size() || s[j] != ']')
            return;
        i = j + 1;
    }
    if (s.substr(i, 2) != ": ")
        return;
    s.remove_prefix(i + 2);
}

}  // namespace

std::string syslog_line(std::string_view datagram) {
    std::string_view msg = datagram;
    int pri = 13;
    if (take_priority(msg, pri) && take_timestamp(msg))
        skip_ident(msg);
    if (!msg.empty() && msg.back() == '\n')
        msg.remove_suffix(1);
    std::string line = std::to_string(pri & 7);
    line += ' ';
    for (char c : msg) {
        if (c == '\n') {
            line += "\\n";
        } else {
            line += c;
        }
    }
    return line;
}

}  // namespace logsink

#include <unistd.h>

#include "mdmtest/support.h"

namespace mdmtest {

namespace {

// Just enough JSON for the peers' call lines: strings with escapes, integers, arrays.
class Reader {
  public:
    explicit Reader(std::string_view s) : s_(s) {}

    void ws() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t'))
            ++i_;
    }
    bool eat(char c) {
        ws();
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    bool peek(char c) {
        ws();
        return i_ < s_.size() && s_[i_] == c;
    }
    std::optional<std::string> string() {
        if (!eat('"'))
            return std::nullopt;
        std::string out;
        while (i_ < s_.size()) {
            char c = s_[i_++];
            if (c == '"')
                return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i_ >= s_.size())
                return std::nullopt;
            char e = s_[i_++];
            switch (e) {
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'u': {
                    if (i_ + 4 > s_.size())
                        return std::nullopt;
                    unsigned cp = std::stoul(std::string(s_.substr(i_, 4)), nullptr, 16);
                    i_ += 4;
                    if (cp < 0x80) {
                        out += static_cast<char>(cp);
                    } else if (cp < 0x800) {
                        out += static_cast<char>(0xC0 | (cp >> 6));
                        out += static_cast<char>(0x80 | (cp & 0x3F));
                    } else {
                        out += static_cast<char>(0xE0 | (cp >> 12));
                        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                        out += static_cast<char>(0x80 | (cp & 0x3F));
                    }
                    break;
                }
                default:
                    out += e;
            }
        }
        return std::nullopt;
    }
    std::optional<std::string> scalar() {
        if (peek('"'))
            return string();
        ws();
        std::size_t start = i_;
        while (i_ < s_.size() && s_[i_] != ',' && s_[i_] != ']' && s_[i_] != '}')
            ++i_;
        if (i_ == start)
            return std::nullopt;
        return std::string(s_.substr(start, i_ - start));
    }

  private:
    std::string_view s_;
    std::size_t i_ = 0;
};

}  // namespace

std::optional<PeerCall> parse_peer_call(std::string_view line) {
    Reader r(line);
    PeerCall call;
    if (!r.eat('{'))
        return std::nullopt;
    do {
        auto key = r.string();
        if (!key || !r.eat(':'))
            return std::nullopt;
        if (*key == "args") {
            if (!r.eat('['))
                return std::nullopt;
            if (!r.eat(']')) {
                do {
                    auto v = r.scalar();
                    if (!v)
                        return std::nullopt;
                    call.args.push_back(*v);
                } while (r.eat(','));
                if (!r.eat(']'))
                    return std::nullopt;
            }
        } else {
            auto v = r.scalar();
            if (!v)
                return std::nullopt;
            if (*key == "peer")
                call.peer = *v;
            if (*key == "method")
                call.method = *v;
        }
    } while (r.eat(','));
    if (!r.eat('}'))
        return std::nullopt;
    return call;
}

Peers::Peers(PeersOptions o) {
    const char* tmpdir = getenv("TMPDIR");
    std::string path = std::string(tmpdir ? tmpdir : "/tmp") + "/peers-log.XXXXXX";
    std::vector<char> buf(path.begin(), path.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd >= 0)
        close(fd);
    log_path_ = buf.data();

    std::vector<std::string> argv{program("tools/peers/peers"), "--log", log_path_};
    if (!o.log_service)
        argv.push_back("--no-log-service");
    if (!o.client)
        argv.push_back("--no-client");
    if (!o.agent)
        argv.push_back("--no-agent");
    if (!o.nm)
        argv.push_back("--no-nm");
    if (o.user)
        argv.insert(argv.end(), {"--user", *o.user});
    if (o.retry)
        argv.insert(argv.end(), {"--retry", std::to_string(o.retry)});
    if (o.delay_ms)
        argv.insert(argv.end(), {"--delay-ms", std::to_string(o.delay_ms)});
    for (const auto& d : o.nm_devices)
        argv.insert(argv.end(), {"--nm-device", d});
    proc_ = std::make_unique<Process>(argv, ProcessOptions{.name = "peers"});
    if (!proc_->wait_output("peers ready"))
        ADD_FAILURE() << "the stand-in peers did not start";
}

std::vector<PeerCall> Peers::calls() const {
    std::vector<PeerCall> out;
    std::string text = read_file(log_path_);
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto nl = text.find('\n', pos);
        if (nl == std::string::npos)
            break;  // a line still being written
        if (auto call = parse_peer_call(std::string_view(text).substr(pos, nl - pos))) {
            out.push_back(std::move(*call));
        }
        pos = nl + 1;
    }
    return out;
}

std::vector<PeerCall> Peers::calls(std::string_view peer, std::string_view method) const {
    auto all = calls();
    std::erase_if(all, [&](const PeerCall& c) {
        return c.peer != peer || (!method.empty() && c.method != method);
    });
    return all;
}

bool Peers::wait_calls(std::size_t count, std::string_view peer, std::string_view method,
                       std::chrono::milliseconds timeout) const {
    return eventually([&] { return calls(peer, method).size() >= count; }, timeout);
}

}  // namespace mdmtest

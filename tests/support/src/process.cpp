#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include "mdmtest/support.h"

extern char** environ;

namespace mdmtest {

namespace {

std::vector<std::string> child_environment(const ProcessOptions& options) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string_view entry(*e);
        if (!options.umockdev &&
            (entry.starts_with("LD_PRELOAD=") || entry.starts_with("UMOCKDEV_DIR="))) {
            continue;
        }
        env.emplace_back(entry);
    }
    for (const auto& extra : options.env) {
        auto name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
        env.push_back(extra);
    }
    return env;
}

std::vector<char*> c_strings(std::vector<std::string>& v) {
    std::vector<char*> out;
    for (auto& s : v)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

int decode(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return -WTERMSIG(status);
    return -1;
}

}  // namespace

Process::Process(std::vector<std::string> argv, ProcessOptions options)
    : name_(options.name.empty() ? argv.at(0) : options.name) {
    const char* tmpdir = getenv("TMPDIR");
    std::string path = std::string(tmpdir ? tmpdir : "/tmp") + "/mdmtest-out.XXXXXX";
    std::vector<char> buf(path.begin(), path.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd < 0)
        throw std::runtime_error("mkstemp: " + std::string(strerror(errno)));
    out_path_ = buf.data();

    auto env = child_environment(options);
    auto envp = c_strings(env);
    auto args = c_strings(argv);
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork: " + std::string(strerror(errno)));
    if (pid_ == 0) {
        setpgid(0, 0);
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        if (options.uid) {
            if (setgroups(0, nullptr) != 0 || setgid(*options.uid) != 0 ||
                setuid(*options.uid) != 0) {
                perror("drop privileges");
                _exit(126);
            }
        }
        execvpe(args[0], args.data(), envp.data());
        fprintf(stderr, "exec %s: %s\n", args[0], strerror(errno));
        _exit(127);
    }
    close(fd);
}

Process::~Process() {
    kill(SIGKILL);
    wait_exit(5s);
    if (::testing::Test::HasFailure()) {
        std::cerr << "--- output of " << name_ << " ---\n" << output() << "--- end ---\n";
    }
    unlink(out_path_.c_str());
}

bool Process::running() {
    return !wait_exit(0ms).has_value();
}

std::optional<int> Process::wait_exit(std::chrono::milliseconds timeout) {
    if (status_)
        return status_;
    bool done = eventually(
        [&] {
            int status = 0;
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                status_ = decode(status);
                return true;
            }
            return r < 0;  // already reaped elsewhere
        },
        timeout);
    if (!done)
        return std::nullopt;
    return status_ ? status_ : std::optional<int>(-1);
}

void Process::kill(int sig) {
    if (pid_ > 0 && !status_) {
        ::kill(-pid_, sig);  // the child leads its own process group
        ::kill(pid_, sig);
    }
}

std::string Process::output() const {
    return read_file(out_path_);
}

bool Process::wait_output(std::string_view text, std::chrono::milliseconds timeout) const {
    return eventually([&] { return output().find(text) != std::string::npos; }, timeout);
}

CommandResult run(const std::vector<std::string>& argv) {
    CommandResult result;
    Process p(argv, ProcessOptions{.name = argv.at(0)});
    auto status = p.wait_exit(60s);
    result.status = status.value_or(-1);
    result.out = p.output();
    return result;
}

}  // namespace mdmtest

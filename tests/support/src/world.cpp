#include <cstring>
#include <filesystem>
#include <iostream>
#include <fstream>
#include <sstream>
#include <thread>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "mdmtest/support.h"

namespace fs = std::filesystem;

namespace mdmtest {

namespace {
std::string env_or(const char* name, const char* fallback) {
    const char* v = getenv(name);
    return v ? v : fallback;
}

void empty_dir(const fs::path& dir) {
    std::error_code ec;
    if (!fs::exists(dir, ec))
        return;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        fs::remove_all(entry.path(), ec);
    }
}
}  // namespace

std::string build_dir() {
    return env_or("MDM_BUILD_DIR", ".");
}
std::string source_dir() {
    return env_or("MDM_SOURCE_DIR", ".");
}
std::string program(std::string_view relative) {
    return build_dir() + "/" + std::string(relative);
}

std::vector<std::string> under_unit(const std::string& unit, const std::vector<std::string>& argv) {
    // The stock peers' units are built with their component.
    std::string file = build_dir() + "/data/lib/systemd/system/" + unit + ".service";
    if (!file_exists(file))
        file = build_dir() + "/platform/peers/lib/systemd/system/" + unit + ".service";
    std::vector<std::string> out{program("tests/integration/deploy/unit_exec"), file, "--"};
    out.insert(out.end(), argv.begin(), argv.end());
    return out;
}

void reset_world() {
    empty_dir("/etc/mdm");
    empty_dir("/var/lib/tarvex");
    empty_dir("/media");
    std::error_code ec;
    fs::remove("/usr/lib/mdm/periphcore.so", ec);
    fs::path core = build_dir() + "/core/periphcore.so";
    if (fs::exists(core, ec))
        fs::create_symlink(core, "/usr/lib/mdm/periphcore.so", ec);
    if (const char* log = getenv("MDM_SYSLOG"))
        std::ofstream(log, std::ios::trunc);
    if (const char* journal = getenv("MDM_JOURNAL"))
        std::ofstream(journal, std::ios::trunc);
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

bool file_exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::vector<std::string> syslog_lines() {
    std::vector<std::string> lines;
    const char* log = getenv("MDM_SYSLOG");
    if (!log)
        return lines;
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

std::size_t syslog_count(std::string_view text) {
    std::size_t n = 0;
    for (const auto& line : syslog_lines()) {
        if (line.find(text) != std::string::npos)
            ++n;
    }
    return n;
}

std::vector<journalsink::Entry> journal_entries() {
    const char* journal = getenv("MDM_JOURNAL");
    if (!journal)
        return {};
    return journalsink::decode_capture(read_file(journal));
}

std::vector<journalsink::Entry> journal_entries(std::string_view field, std::string_view value) {
    auto entries = journal_entries();
    std::erase_if(entries, [&](const journalsink::Entry& e) {
        return journalsink::field(e, field) != std::string(value);
    });
    return entries;
}

bool syslog_has(std::string_view text) {
    return syslog_count(text) > 0;
}

std::vector<std::string> framework_entries() {
    auto r = run({"tarvexctl", "list"});
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

void framework_set(const std::vector<std::string>& tarvexctl_args) {
    std::vector<std::string> argv{"tarvexctl"};
    argv.insert(argv.end(), tarvexctl_args.begin(), tarvexctl_args.end());
    auto r = run(argv);
    if (r.status != 0)
        ADD_FAILURE() << "tarvexctl failed with status " << r.status;
}

namespace {
// The shared sanitizer runtime this binary was linked with, if any: it refuses to start
// unless it comes first in LD_PRELOAD.
std::string sanitizer_runtime() {
    void* init = dlsym(RTLD_DEFAULT, "__asan_init");
    Dl_info info{};
    if (!init || !dladdr(init, &info) || !info.dli_fname)
        return {};
    std::string_view file(info.dli_fname);
    return file.find("libasan") != std::string_view::npos ||
                   file.find("libclang_rt.asan") != std::string_view::npos
               ? std::string(file)
               : std::string();
}
}  // namespace

std::string preload_list(const std::string& current) {
    const std::string runtime = sanitizer_runtime();
    std::vector<std::string> entries;
    if (!runtime.empty())
        entries.push_back(runtime);
    bool umockdev = false;
    std::istringstream in(current);
    std::string entry;
    while (std::getline(in, entry, ':')) {
        if (entry.empty() || entry == runtime)
            continue;
        umockdev = umockdev || entry.find("libumockdev-preload") != std::string::npos;
        entries.push_back(entry);
    }
    if (!umockdev)
        entries.push_back("libumockdev-preload.so.0");
    std::string out;
    for (const auto& e : entries)
        out += (out.empty() ? "" : ":") + e;
    return out;
}

void enter_test_world(char** argv) {
    if (!getenv("MDM_SANDBOX")) {
        std::cerr << argv[0] << ": run me inside tools/sandbox\n";
        exit(2);
    }
    // Without the preload, libudev in this process would read the real /sys.
    const char* preload = getenv("LD_PRELOAD");
    std::string wanted = preload_list(preload ? preload : "");
    if (wanted != (preload ? preload : "")) {
        setenv("LD_PRELOAD", wanted.c_str(), 1);
        execv("/proc/self/exe", argv);
        perror("re-exec with the umockdev preload");
        exit(2);
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
}

void SandboxTest::SetUp() {
    reset_world();
}

void SandboxTest::TearDown() {
    if (HasFailure()) {
        std::cerr << "--- captured syslog ---\n";
        for (const auto& line : syslog_lines())
            std::cerr << line << "\n";
    }
}

}  // namespace mdmtest

// mdmctl: the administrator's command line over the system's bus services.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    mdmctl::Parsed parsed = mdmctl::parse(args);
    if (parsed.failure) {
        if (parsed.failure->code == mdmctl::kOk) {
            std::fputs(parsed.failure->message.c_str(), stdout);
            return mdmctl::kOk;
        }
        std::fprintf(stderr, "mdmctl: %s\n", parsed.failure->message.c_str());
        return parsed.failure->code;
    }
    try {
        return mdmctl::run(*parsed.request);
    } catch (const mdmctl::Failure& f) {
        std::fflush(stdout);
        std::fprintf(stderr, "mdmctl: %s\n", f.message.c_str());
        return f.code;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mdmctl: %s\n", e.what());
        return mdmctl::kFailed;
    }
}

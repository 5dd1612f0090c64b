// Integration tests run inside tools/sandbox, under the umockdev preload (without it,
// libudev in this process would read the real /sys).
#include <cstring>
#include <iostream>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (!getenv("MDM_SANDBOX")) {
        std::cerr << argv[0] << ": run me inside tools/sandbox\n";
        return 2;
    }
    const char* preload = getenv("LD_PRELOAD");
    if (!preload || !strstr(preload, "libumockdev-preload")) {
        std::string value = "libumockdev-preload.so.0";
        if (preload && *preload)
            value = std::string(preload) + ":" + value;
        setenv("LD_PRELOAD", value.c_str(), 1);
        execv("/proc/self/exe", argv);
        perror("re-exec with the umockdev preload");
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

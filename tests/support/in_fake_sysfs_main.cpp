// in-fake-sysfs SYS_DIR WORK_DIR PROGRAM [ARGUMENT...]: runs PROGRAM in
// WORK_DIR with SYS_DIR mounted over /sys in a private mount namespace.
// Exits with 77 and says why where the machine does not allow that.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/sysfs_namespace.h"

using namespace camera_info;

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: in-fake-sysfs SYS_DIR WORK_DIR PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    const std::string why = enterFakeSysfs(argv[1]);
    if (!why.empty()) {
        std::fprintf(stderr, "in-fake-sysfs: skipped: no private mount namespace here (%s)\n", why.c_str());
        return kSkipExitCode;
    }
    if (::chdir(argv[2]) != 0) {
        std::perror(argv[2]);
        return 2;
    }
    ::execv(argv[3], argv + 3);
    std::perror(argv[3]);
    return 2;
}

// Runs a built program as a user runs it, for the whole-program tests.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/on_disk.h"

namespace camera_info {

struct ProgramResult {
    bool exited = false;  // ended by returning, not by a signal
    int exitCode = -1;    // 128 + the signal when it did not
    std::string out;
    std::string err;
};

// Runs `program` with `args` in `dir`, reading /dev/null, its output caught in
// files under `scratch`. `prepare` runs in the child just before the program
// starts (after the change of directory); when it answers false the child
// ends with 120 instead.
inline ProgramResult runProgram(const char* program, const std::filesystem::path& dir, std::vector<std::string> args,
                                const std::filesystem::path& scratch, const std::function<bool()>& prepare = {}) {
    const std::filesystem::path out = scratch / "stdout", err = scratch / "stderr";
    const pid_t child = ::fork();
    if (child == 0) {
        const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int inFd = ::open("/dev/null", O_RDONLY);
        if (outFd < 0 || errFd < 0 || inFd < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0 || ::dup2(inFd, 0) < 0 ||
            ::chdir(dir.c_str()) != 0 || (prepare && !prepare())) {
            ::_exit(120);
        }
        std::vector<char*> argv = {const_cast<char*>(program)};
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(program, argv.data());
        ::_exit(121);
    }
    int status = 0;
    ProgramResult result;
    if (::waitpid(child, &status, 0) != child) return result;
    result.exited = WIFEXITED(status);
    result.exitCode = result.exited ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = slurp(out);
    result.err = slurp(err);
    return result;
}

// Runs `body` in a forked child and answers its result (an exit code), or
// 128 + the signal that ended it. For steps that change the process for good:
// namespaces, mounts, another user.
inline int runInChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace camera_info

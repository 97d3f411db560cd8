// The built program, run as a user runs it, in a temporary directory.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <json/reader.h>

#include "support/no_hang.h"
#include "support/on_disk.h"
#include "support/program_run.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace camera_info {

namespace fs = std::filesystem;

namespace {

class Program : public OnDisk {
protected:
    void SetUp() override {
        OnDisk::SetUp();
        work_ = root() / "work";
        fs::create_directory(work_);
    }

    // Runs camera-info in `dir`; with `removeDir` the directory is deleted
    // once the program stands in it, so that nothing can be created there
    // even by root.
    ProgramResult run(const fs::path& dir, std::vector<std::string> args = {}, bool removeDir = false) {
        ProgramResult result = runProgram(CAMERA_INFO_EXE, dir, std::move(args), root(),
                                          [&] { return !removeDir || ::rmdir(dir.c_str()) == 0; });
        EXPECT_TRUE(result.exited);
        return result;
    }

    fs::path report() const { return work_ / "CameraInfo.txt"; }

    fs::path work_;
};

TEST_F(Program, WritesAReportThatParsesAndSaysNothing) {
    const ProgramResult result = run(work_);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    const std::string text = slurp(report());
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find('\r'), std::string::npos);
    Json::Value parsed;
    std::string errors;
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    ASSERT_TRUE(reader->parse(text.data(), text.data() + text.size(), &parsed, &errors)) << errors;
    if (parsed.isNull()) {
        EXPECT_EQ(text, "null\n");
    } else {
        ASSERT_TRUE(parsed.isArray());
        for (const Json::Value& camera : parsed)
            EXPECT_EQ(camera.getMemberNames(), (std::vector<std::string>{"name", "pid", "vid"}));
    }
}

TEST_F(Program, ArgumentsChangeNothing) {
    ASSERT_EQ(run(work_).exitCode, 0);
    const std::string plain = slurp(report());
    const ProgramResult result = run(work_, {"--help", "-v", "out.json", ""});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out + result.err, "");
    EXPECT_EQ(slurp(report()), plain);
    EXPECT_FALSE(fs::exists(work_ / "out.json"));
}

TEST_F(Program, ReplacesAnEarlierLongerReport) {
    ASSERT_EQ(run(work_).exitCode, 0);
    const std::string fresh = slurp(report());
    { std::ofstream(report(), std::ios::binary) << std::string(10000, '#'); }
    ASSERT_EQ(run(work_).exitCode, 0);
    EXPECT_EQ(slurp(report()), fresh);
    ASSERT_EQ(run(work_).exitCode, 0);
    EXPECT_EQ(slurp(report()), fresh);
    EXPECT_EQ(std::distance(fs::directory_iterator(work_), fs::directory_iterator()), 1);
}

TEST_F(Program, AnUnwritableDirectoryStillEndsWithZero) {
    const ProgramResult gone = run(work_, {}, /*removeDir=*/true);
    EXPECT_EQ(gone.exitCode, 0);
    EXPECT_EQ(gone.out + gone.err, "");
    EXPECT_FALSE(fs::exists(work_));

    // A directory in the report's place cannot be opened as a file either.
    fs::create_directories(report());
    const ProgramResult blocked = run(root() / "work");
    EXPECT_EQ(blocked.exitCode, 0);
    EXPECT_EQ(blocked.out + blocked.err, "");
    EXPECT_TRUE(fs::is_directory(report()));
}

TEST_F(Program, AFifoWithNobodyReadingGetsNoReportAndNoWait) {
    ASSERT_EQ(::mkfifo(report().c_str(), 0644), 0);
    ProgramResult result;
    EXPECT_TRUE(finishesUnaided([&] { result = run(work_); }, {report()})) << "the program waited for a reader";
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out + result.err, "");
    EXPECT_TRUE(fs::is_fifo(report()));
}

}  // namespace

}  // namespace camera_info

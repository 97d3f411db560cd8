// The report file where it can be a FIFO: no reader means no report and no
// wait, a reader gets every byte, a reader that leaves early ends nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "camera_report.h"
#include "no_hang.h"
#include "on_disk.h"

namespace fs = std::filesystem;

namespace {

class ReportFifo : public OnDisk {
protected:
    void SetUp() override {
        OnDisk::SetUp();
        ASSERT_EQ(::mkfifo(fifo().c_str(), 0644), 0);
    }
    fs::path fifo() const { return root() / "CameraInfo.txt"; }

    // More than a pipe holds, so that the writer must wait for the reader.
    static Json::Value bigReport() {
        CameraList cameras(20000, CameraInfo{u"A camera with a name", u"046d", u"0825"});
        return buildCameraReport(cameras, static_cast<std::int32_t>(cameras.size()));
    }
};

TEST_F(ReportFifo, WithNobodyReadingThereIsNoReportAndNoWait) {
    bool written = true;
    EXPECT_TRUE(finishesUnaided([&] { written = writeReportFile(fifo().c_str(), Json::Value()); }, {fifo()}))
        << "the report waited for a reader";
    EXPECT_FALSE(written);
    EXPECT_TRUE(fs::is_fifo(fifo()));  // left as it was
}

TEST_F(ReportFifo, ASlowReaderGetsEveryByte) {
    const int reader = ::open(fifo().c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const Json::Value document = bigReport();
    const std::string report = toStyledText(document);
    ASSERT_GT(report.size(), 1u << 20);
    std::string received;
    std::thread slow([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::fcntl(reader, F_SETFL, ::fcntl(reader, F_GETFL) & ~O_NONBLOCK);
        char buffer[1000];  // small reads, so the writer waits again and again
        for (ssize_t got; (got = ::read(reader, buffer, sizeof buffer)) > 0;) received.append(buffer, static_cast<std::size_t>(got));
    });
    EXPECT_TRUE(writeReportFile(fifo().c_str(), document));
    slow.join();
    ::close(reader);
    EXPECT_EQ(received.size(), report.size());
    EXPECT_TRUE(received == report);
}

TEST_F(ReportFifo, AReaderThatLeavesEarlyOnlyFailsTheWrite) {
    const int reader = ::open(fifo().c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::thread leaving([&] {
        // Reads until the writer has sent something, then goes away while it
        // still has most of the report to write.
        char buffer[4096];
        for (ssize_t got = 0; got <= 0;) {
            got = ::read(reader, buffer, sizeof buffer);  // 0 until a writer opens, then EAGAIN until it writes
            if (got <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::close(reader);
    });
    // Were SIGPIPE not set aside, this process would end here.
    EXPECT_FALSE(writeReportFile(fifo().c_str(), bigReport()));
    leaving.join();
}

}  // namespace

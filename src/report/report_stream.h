// Owns the stdio stream the report is written through.
#pragma once

#include <cstdio>
#include <utility>

// Closed exactly once: by close(), which says whether every byte written
// reached the file, or when its owner goes (a stream given up on, whose
// failure nobody needs to hear of).
class ReportStream {
public:
    ReportStream() = default;
    explicit ReportStream(std::FILE* file) : file_(file) {}
    ReportStream(ReportStream&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}
    ReportStream& operator=(ReportStream&& other) noexcept {
        if (this != &other) {
            (void)close();
            file_ = std::exchange(other.file_, nullptr);
        }
        return *this;
    }
    ReportStream(const ReportStream&) = delete;
    ReportStream& operator=(const ReportStream&) = delete;
    ~ReportStream() { (void)close(); }

    std::FILE* get() const { return file_; }
    explicit operator bool() const { return file_ != nullptr; }
    // False if there was no stream, or the close or a write before it failed.
    bool close() {
        std::FILE* file = std::exchange(file_, nullptr);
        return file != nullptr && std::fclose(file) == 0;
    }

private:
    std::FILE* file_ = nullptr;
};

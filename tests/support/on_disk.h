// For tests that work on disk: a directory of each test's own, and files
// read back whole.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace camera_info {

inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fixture that gives every test a fresh directory, root(), and removes it
// afterwards.
class OnDisk : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "camera-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        // Resolved: the code under test resolves links, and paths are compared.
        root_ = std::filesystem::canonical(pattern);
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
};

}  // namespace camera_info

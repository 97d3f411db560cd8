// Enumeration over sysfs trees of 10, 100 and 1,000 cameras.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <map>

#include "discovery/linux/video_devices.h"
#include "discovery/listed_registry.h"
#include "discovery/video_input_devices.h"
#include "support/sysfs_tree.h"

using namespace camera_info;

namespace fs = std::filesystem;

namespace {

// Trees are built once per size and removed at exit.
class Trees {
public:
    ~Trees() {
        for (const auto& entry : roots_) fs::remove_all(entry.second);
    }
    fs::path root(int cameras) {
        auto it = roots_.find(cameras);
        if (it != roots_.end()) return it->second;
        std::string pattern = (fs::temp_directory_path() / "camera-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return {};
        SysfsTreeBuilder(fs::path(pattern) / "sys").uvcCameras(cameras);
        fs::create_directories(fs::path(pattern) / "dev");
        return roots_[cameras] = pattern;
    }

private:
    std::map<int, fs::path> roots_;
};

Trees trees;

void BM_SysfsEnumeration(benchmark::State& state) {
    const int cameras = static_cast<int>(state.range(0));
    const fs::path root = trees.root(cameras);
    for (auto _ : state) {
        ListedRegistry registry(
            [&] { return listVideoDevices((root / "sys").string(), (root / "dev").string(), kernelQueries()); });
        CameraList list;
        const std::int32_t count = listVideoInputDevices(registry, list);
        if (count != cameras) state.SkipWithError("wrong device count");
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(state.iterations() * cameras);
}
BENCHMARK(BM_SysfsEnumeration)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

// The report: building and serialising realistic records, and the JSON
// library's own writer on the same document.
#include <benchmark/benchmark.h>

#include <json/writer.h>

#include "report/camera_report.h"
#include "report/styled_text.h"

using namespace camera_info;

namespace {

CameraList realisticCameras(std::int64_t count) {
    static const char16_t* const kNames[] = {
        u"Integrated Camera",          u"HD Pro Webcam C920", u"USB2.0 HD UVC WebCam", u"Logitech BRIO",
        u"Microsoft® LifeCam HD-3000", u"OBS Virtual Camera", u"Caméra intégrée",      u"摄像头 \"front\""};
    static const char16_t* const kIds[] = {u"046d", u"0825", u"0c45", u"6366", u"045e", u"0779", u"04f2", u"b6dd"};
    CameraList cameras;
    for (std::int64_t i = 0; i < count; ++i) cameras.push_back({kNames[i % 8], kIds[i % 8], kIds[(i + 3) % 8]});
    return cameras;
}

void BM_BuildAndSerialise(benchmark::State& state) {
    const CameraList cameras = realisticCameras(state.range(0));
    for (auto _ : state) {
        const std::string text = toStyledText(buildCameraReport(cameras, static_cast<std::int32_t>(cameras.size())));
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildAndSerialise)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_Serialise(benchmark::State& state) {
    const CameraList cameras = realisticCameras(state.range(0));
    const Json::Value document = buildCameraReport(cameras, static_cast<std::int32_t>(cameras.size()));
    for (auto _ : state) {
        const std::string text = toStyledText(document);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_Serialise)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_LibraryWriteString(benchmark::State& state) {
    const CameraList cameras = realisticCameras(state.range(0));
    const Json::Value document = buildCameraReport(cameras, static_cast<std::int32_t>(cameras.size()));
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "   ";
    writer["emitUTF8"] = true;
    for (auto _ : state) {
        const std::string text = Json::writeString(writer, document);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_LibraryWriteString)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

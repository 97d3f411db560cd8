// Builds the report document and writes it as "CameraInfo.txt".
#include "report/camera_report.h"

#include <algorithm>

#include "report/report_file.h"
#include "report/utf8.h"

namespace camera_info {

Json::Value buildCameraReport(const CameraList& cameras, std::int32_t count) {
    Json::Value document;  // null until the first element is indexed
    // A count past the list's end must not read records that do not exist.
    const auto records = std::min<std::int64_t>(count, static_cast<std::int64_t>(cameras.size()));
    for (Json::ArrayIndex i = 0; static_cast<std::int64_t>(i) < records; ++i) {
        const CameraInfo& camera = cameras[i];
        Json::Value& element = document[i];
        element["name"] = toUtf8(camera.name);
        element["vid"] = toUtf8(camera.vid);
        element["pid"] = toUtf8(camera.pid);
    }
    return document;
}

void writeCameraReport(const Json::Value& document) {
    // Nobody is told about a report that could not be written: the file's
    // absence is the only signal, and the exit code stays 0.
    (void)writeReportFile("CameraInfo.txt", document);
}

}  // namespace camera_info

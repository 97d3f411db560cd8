// camera-info: writes the inventory of video input devices to "CameraInfo.txt".
#include "camera_report.h"
#include "unattended_run.h"
#include "video_input_devices.h"

// Arguments and the environment are not read; the report file is the only
// result and the exit code is 0 whenever the run gets here.
int main() {
    prepareUnattendedRun();
    CameraList cameras;
    const std::int32_t count = listVideoInputDevices(cameras);
    const Json::Value report = buildCameraReport(cameras, count);
    writeCameraReport(report);
    return 0;
}

// camera-info: writes the inventory of video input devices to "CameraInfo.txt".
#include "app/unattended_run.h"
#include "discovery/video_input_devices.h"
#include "report/camera_report.h"

// Arguments and the environment are not read; the report file is the only
// result and the exit code is 0 whenever the run gets here.
int main() {
    camera_info::prepareUnattendedRun();
    camera_info::CameraList cameras;
    const std::int32_t count = camera_info::listVideoInputDevices(cameras);
    const Json::Value report = camera_info::buildCameraReport(cameras, count);
    camera_info::writeCameraReport(report);
    return 0;
}

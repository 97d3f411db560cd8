// The records that device discovery produces and the report reads.
#pragma once

#include <string>
#include <vector>

namespace camera_info {

// One video input device. All fields are UTF-16 so that lengths count 16-bit
// code units on every platform; any of them may be empty.
struct CameraInfo {
    std::u16string name;
    std::u16string vid;
    std::u16string pid;
};

// Devices in the order the platform yielded them, held by value.
using CameraList = std::vector<CameraInfo>;

}  // namespace camera_info

// fake-sysfs DIR COUNT [ATTRIBUTE_BYTES]: lays out a sysfs tree with COUNT UVC
// cameras at DIR, to be mounted over /sys for whole-program runs; with
// ATTRIBUTE_BYTES, their text attributes are padded to that size.
#include <cstdlib>
#include <iostream>

#include "support/sysfs_tree.h"

using namespace camera_info;

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: fake-sysfs DIR COUNT [ATTRIBUTE_BYTES]\n";
        return 2;
    }
    SysfsTreeBuilder(argv[1]).uvcCameras(std::atoi(argv[2]), argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 0);
    return 0;
}

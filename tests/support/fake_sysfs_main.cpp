// fake-sysfs DIR COUNT: lays out a sysfs tree with COUNT UVC cameras at DIR,
// to be mounted over /sys for whole-program runs.
#include <cstdlib>
#include <iostream>

#include "sysfs_tree.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: fake-sysfs DIR COUNT\n";
        return 2;
    }
    SysfsTreeBuilder(argv[1]).uvcCameras(std::atoi(argv[2]));
    return 0;
}

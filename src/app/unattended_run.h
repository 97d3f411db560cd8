// Makes the process fit to run with nobody at the screen.
#pragma once

namespace camera_info {

// Called first thing in main. On Windows no system dialog may wait for a user
// (a missing drive, a fault in a driver's code); elsewhere there is nothing
// to do.
void prepareUnattendedRun();

}  // namespace camera_info

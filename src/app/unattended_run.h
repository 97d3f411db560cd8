// Makes the process fit to run with nobody at the screen.
#pragma once

// Called first thing in main. On Windows no system dialog may wait for a user
// (a missing drive, a fault in a driver's code); elsewhere there is nothing
// to do.
void prepareUnattendedRun();

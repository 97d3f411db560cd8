// Unattended runs on Windows: errors are handed to the program, never to a dialog.
#include "app/unattended_run.h"

#include <windows.h>

namespace camera_info {

void prepareUnattendedRun() {
    // Inventory jobs run the program with nobody to click a box away: a drive
    // without a medium, a file that cannot be found or a crash in a capture
    // driver loaded into the process must fail, not wait.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

}  // namespace camera_info

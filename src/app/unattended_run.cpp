// Unattended runs elsewhere: no system dialogs exist to be kept away.
#include "app/unattended_run.h"

namespace camera_info {

void prepareUnattendedRun() {}

}  // namespace camera_info

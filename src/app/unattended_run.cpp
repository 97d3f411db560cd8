// Unattended runs elsewhere: no system dialogs exist to be kept away.
#include "unattended_run.h"

void prepareUnattendedRun() {}

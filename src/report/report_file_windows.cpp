// Report file opening on Windows: shared, so that other processes may read or
// write the report while it is being written.
#include "report_file.h"

#include <share.h>

std::FILE* openReportFile(const char* path) { return _fsopen(path, "wb", _SH_DENYNO); }

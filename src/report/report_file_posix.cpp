// Report file opening where files have no share modes.
#include "report_file.h"

std::FILE* openReportFile(const char* path) { return std::fopen(path, "wb"); }

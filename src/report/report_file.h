// Opens the report file for writing: the one platform-dependent step of it.
#pragma once

#include <cstdio>

// Creates or truncates `path` for binary output (no line-end translation),
// leaving other processes free to read and write it. Null on failure.
std::FILE* openReportFile(const char* path);

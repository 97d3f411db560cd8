// Owns one open file descriptor: the kernel's, or on Windows the C
// runtime's over a HANDLE (its C runtime has close() too).
#pragma once

#include <unistd.h>

#include "owners/unique_resource.h"

namespace camera_info {

struct FileDescriptorTraits {
    using Value = int;
    static constexpr int none() { return -1; }
    static void close(int fd) { (void)::close(fd); }
};
using FileDescriptor = UniqueResource<FileDescriptorTraits>;

}  // namespace camera_info

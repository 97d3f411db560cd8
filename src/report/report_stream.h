// Owns the stdio stream the report is written through.
#pragma once

#include <cstdio>

#include "owners/unique_resource.h"

namespace camera_info {

struct ReportStreamTraits {
    using Value = std::FILE*;
    static constexpr Value none() { return nullptr; }
    static void close(Value file) { (void)std::fclose(file); }
};

// Closed exactly once: by close(), which says whether every byte written
// reached the file, or when its owner goes (a stream given up on, whose
// failure nobody needs to hear of).
class ReportStream : public UniqueResource<ReportStreamTraits> {
public:
    using UniqueResource::UniqueResource;
    // False if there was no stream, or the close or a write before it failed.
    bool close() {
        std::FILE* file = release();
        return file != nullptr && std::fclose(file) == 0;
    }
};

}  // namespace camera_info

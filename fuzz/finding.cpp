// How a fuzz target reports a broken property.
#include <cstdio>
#include <cstdlib>

#include "fuzz_input.h"

void fuzzFinding(const char* what) {
    std::fprintf(stderr, "fuzz finding: %s\n", what);
    std::abort();
}

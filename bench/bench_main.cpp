// Runs the benchmarks, then sets the figures that have targets against them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the median stands for the benchmark.
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
                microseconds[run.run_name.str()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> microseconds;
};

// Prints one figure against its target; returns whether it was met.
bool figure(const char* what, double value, const char* relation, double target) {
    const bool met = std::string(relation) == ">=" ? value >= target : value <= target;
    std::printf("%-62s %7.2f  (target %s %.1f)  %s\n", what, value, relation, target, met ? "met" : "MISSED");
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    auto& t = collector.microseconds;
    auto have = [&](const char* name) { return t.count(name) != 0; };

    std::printf("\n");
    bool met = true;
    if (have("BM_Serialise/10000") && have("BM_LibraryWriteString/10000"))
        met &= figure("library writeString / own serialiser, 10,000 records",
                      t["BM_LibraryWriteString/10000"] / t["BM_Serialise/10000"], ">=", 3.0);
    if (have("BM_BuildAndSerialise/100") && have("BM_BuildAndSerialise/10000"))
        met &= figure("build and serialise, per record at 10,000 / at 100",
                      (t["BM_BuildAndSerialise/10000"] / 10000) / (t["BM_BuildAndSerialise/100"] / 100), "<=", 1.5);
    if (have("BM_SysfsEnumeration/10") && have("BM_SysfsEnumeration/1000")) {
        const double per10 = t["BM_SysfsEnumeration/10"] / 10, per100 = t["BM_SysfsEnumeration/100"] / 100,
                     per1000 = t["BM_SysfsEnumeration/1000"] / 1000;
        const double high = std::max(per10, std::max(per100, per1000)),
                     low = std::min(per10, std::min(per100, per1000));
        met &= figure("sysfs enumeration, highest / lowest per-device cost (10..1000)", high / low, "<=", 1.5);
    }
    benchmark::Shutdown();
    return met ? 0 : 1;
}

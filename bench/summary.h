// Shared by every benchmark area: figures with their ratios, printed at the end of the run and
// written to summary.json.
//
// An area adds timed cases with BENCHMARK() as usual and registers a report with
// TAVORI_BENCH_REPORT(name) { ... }: reports run after all timed cases, read their times with
// bench::nsPerIteration() and record figures (timing ratios, accuracy) with bench::record().
#pragma once

#include <string>

namespace bench {

// Median CPU time per iteration of a finished timed case, in nanoseconds; negative if it did not run.
double nsPerIteration(const std::string& benchmarkName);

// ratio and baseline are optional: a figure compared with a baseline measured in the same run.
void record(const std::string& area, const std::string& name, double value, const std::string& unit,
            double ratio = -1, const std::string& baseline = "", const std::string& note = "");
void note(const std::string& area, const std::string& text);

using ReportFn = void (*)();
struct ReportRegistrar {
    ReportRegistrar(const char* name, ReportFn fn);
};

}  // namespace bench

#define TAVORI_BENCH_REPORT(name)                                               \
    static void name();                                                         \
    static const ::bench::ReportRegistrar name##_registrar(#name, &name);       \
    static void name()

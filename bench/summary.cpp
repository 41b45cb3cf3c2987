#include "summary.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

namespace bench {
namespace {

struct Figure {
    std::string area, name, unit, baseline, note;
    double value, ratio;
};

std::map<std::string, double>& times() {
    static std::map<std::string, double> t;
    return t;
}
std::vector<Figure>& figures() {
    static std::vector<Figure> f;
    return f;
}
std::vector<std::pair<std::string, ReportFn>>& reports() {
    static std::vector<std::pair<std::string, ReportFn>> r;
    return r;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out + "\"";
}

std::string jsonNumber(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

// Console output as usual, and the times kept for the reports.
// Every figure is the median of its repetitions, in CPU time: the build machines are shared and
// noisy, wall time there counts the other jobs too, and a ratio of two single runs can be off by half.
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.iterations == 0) continue;
            std::vector<double>& samples = samples_[r.benchmark_name()];
            samples.push_back(r.cpu_accumulated_time * 1e9 / static_cast<double>(r.iterations));
            std::vector<double> sorted = samples;
            std::sort(sorted.begin(), sorted.end());
            times()[r.benchmark_name()] = sorted[sorted.size() / 2];
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    std::map<std::string, std::vector<double>> samples_;
};

std::filesystem::path summaryPath() {
    if (const char* env = std::getenv("TAVORI_BENCH_SUMMARY"); env && *env) return env;
#ifdef TAVORI_BENCH_SUMMARY_DEFAULT
    return TAVORI_BENCH_SUMMARY_DEFAULT;
#else
    return "summary.json";
#endif
}

bool writeSummary(const std::filesystem::path& path) {
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path);
    if (!out) return false;
    out << "{\n  \"figures\": [\n";
    for (size_t i = 0; i < figures().size(); ++i) {
        const Figure& f = figures()[i];
        out << "    {\"area\": " << jsonString(f.area) << ", \"name\": " << jsonString(f.name)
            << ", \"value\": " << jsonNumber(f.value) << ", \"unit\": " << jsonString(f.unit);
        if (f.ratio >= 0) out << ", \"ratio\": " << jsonNumber(f.ratio) << ", \"baseline\": " << jsonString(f.baseline);
        if (!f.note.empty()) out << ", \"note\": " << jsonString(f.note);
        out << "}" << (i + 1 < figures().size() ? "," : "") << "\n";
    }
    out << "  ]\n}\n";
    return static_cast<bool>(out);
}

// The first line of a file that starts with `key` (Linux's /proc files), after its colon if any.
std::string procLine(const char* file, const std::string& key) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, key.size(), key) == 0) {
            const auto colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    return "unknown";
}

// Figures hold only beside their machine, and on a shared one beside how busy it was.
std::string machine() {
    return "CPU " + procLine("/proc/cpuinfo", "model name") + ", " + std::to_string(std::thread::hardware_concurrency()) +
           " logical cores; load average " + procLine("/proc/loadavg", "");
}

}  // namespace

double nsPerIteration(const std::string& name) {
    const auto it = times().find(name);
    return it == times().end() ? -1 : it->second;
}

void record(const std::string& area, const std::string& name, double value, const std::string& unit, double ratio,
            const std::string& baseline, const std::string& note) {
    figures().push_back(Figure{area, name, unit, baseline, note, value, ratio});
}

void note(const std::string& area, const std::string& text) { record(area, "note", NAN, "", -1, "", text); }

ReportRegistrar::ReportRegistrar(const char* name, ReportFn fn) { reports().emplace_back(name, fn); }

}  // namespace bench

int main(int argc, char** argv) {
    // Five repetitions, interleaved across benchmarks so that a busy moment hits them all alike;
    // a command line that says otherwise wins.
    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=5";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, {repetitions, interleave});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    argc = count;
    argv = args.data();
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::Collector collector;
    bench::note("machine", "at start: " + bench::machine());
    benchmark::RunSpecifiedBenchmarks(&collector);
    bench::note("machine", "at end: " + bench::machine());
    for (const auto& r : bench::reports()) r.second();

    std::printf("\n%-10s %-44s %14s %-8s %s\n", "area", "figure", "value", "unit", "ratio");
    for (const auto& f : bench::figures()) {
        if (!f.note.empty() && std::isnan(f.value)) {
            std::printf("%-10s %s\n", f.area.c_str(), f.note.c_str());
            continue;
        }
        std::printf("%-10s %-44s %14.4f %-8s", f.area.c_str(), f.name.c_str(), f.value, f.unit.c_str());
        if (f.ratio >= 0) std::printf(" %.3fx %s", f.ratio, f.baseline.c_str());
        if (!f.note.empty()) std::printf("  (%s)", f.note.c_str());
        std::printf("\n");
    }
    const auto path = bench::summaryPath();
    if (!bench::writeSummary(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
        return 1;
    }
    std::printf("summary: %s\n", path.string().c_str());
    benchmark::Shutdown();
    return 0;
}

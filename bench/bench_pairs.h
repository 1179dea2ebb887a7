// Paired benchmark runs: each of our kernels beside the reference call that does the same
// work, both sides in one process, interleaved, and the ratio of their median times printed
// at the end.
//
// A benchmark is registered as "<pair>/<side>" (pair names may hold slashes, such as
// "expand16/300dpi"); the sides "lept" and "memcpy" are references, every other side ("ours",
// "ours_unit4", ...) is ours. runPairs() runs every benchmark with 15 repetitions in random
// interleaved order (a later command-line flag overrides any of these defaults), reports the
// medians, and prints one line per pair and side of ours: our median, the reference's median
// and their ratio (below 1: ours is faster). A pair without a reference is printed with "-"
// (no reference call does the same work). Run the program pinned to one core, e.g.
//   taskset -c 3 build/release/bench/bench_reduce
// which scripts/bench.sh does; an unpinned run prints a warning.
#ifndef BENCH_PAIRS_H
#define BENCH_PAIRS_H

#include <benchmark/benchmark.h>
#include <sched.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// Registers fn as "<pair>/<side>", timed in microseconds.
template <class Fn>
void addPair(const std::string &pair, const char *side, Fn fn) {
  benchmark::RegisterBenchmark((pair + "/" + side).c_str(), fn)->Unit(benchmark::kMicrosecond);
}

inline bool isReference(const std::string &side) {
  return side == "lept" || side == "memcpy";
}

// The console reporter that also keeps each benchmark's median CPU time in microseconds (the
// work is single-threaded; CPU time leaves out the time the process waits while another
// program holds its core).
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Aggregate || r.aggregate_name != "median")
        continue;
      const double us =
          r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit) * 1e6;
      const std::string name = r.run_name.str();
      const size_t slash = name.rfind('/');
      if (slash == std::string::npos) continue;
      std::vector<std::pair<std::string, double>> &sides = pairs_[name.substr(0, slash)];
      sides.emplace_back(name.substr(slash + 1), us);
    }
  }

  void printRatios() const {
    std::printf("\n%-34s %-12s %12s %-8s %12s %8s\n", "pair", "side", "median us", "ref", "ref us",
                "ratio");
    for (const auto &[pair, sides] : pairs_) {
      bool anyReference = false;
      for (const auto &[side, us] : sides) anyReference = anyReference || isReference(side);
      for (const auto &[side, us] : sides) {
        if (isReference(side)) continue;
        if (!anyReference)
          std::printf("%-34s %-12s %12.1f %-8s %12s %8s\n", pair.c_str(), side.c_str(), us, "-",
                      "-", "-");
        for (const auto &[ref, refUs] : sides)
          if (isReference(ref))
            std::printf("%-34s %-12s %12.1f %-8s %12.1f %8.2f\n", pair.c_str(), side.c_str(), us,
                        ref.c_str(), refUs, us / refUs);
      }
    }
  }

 private:
  std::map<std::string, std::vector<std::pair<std::string, double>>> pairs_;
};

// Runs the registered benchmarks as the header comment says; the program's exit status.
inline int runPairs(int argc, char **argv) {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) != 1)
    std::fprintf(stderr, "warning: not pinned to one core (run under taskset -c N)\n");
  std::vector<char *> args{argv[0]};
  static char repetitions[] = "--benchmark_repetitions=15";
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  static char aggregates[] = "--benchmark_report_aggregates_only=true";
  static char minTime[] = "--benchmark_min_time=0.05";
  for (char *a : {repetitions, interleave, aggregates, minTime}) args.push_back(a);
  // Later flags win, so the caller's own flags override these defaults.
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench

#endif

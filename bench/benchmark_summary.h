#pragma once

// A Google Benchmark reporter that prints the usual table and keeps each
// benchmark's mean time per iteration, for the summary lines.

#include "bench/bench_summary.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <map>
#include <string>

namespace kv::bench {

class KeepingReporter : public benchmark::ConsoleReporter {
  public:
    // Colours only on a terminal: the summary lines are read back from logs.
    KeepingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.iterations > 0 && !run.error_occurred) {
                ms_[run.benchmark_name()] =
                    run.GetAdjustedRealTime() *
                    benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond) /
                    benchmark::GetTimeUnitMultiplier(run.time_unit);
            }
        }
    }

    // Milliseconds per iteration of the first benchmark whose name starts
    // with name (options such as "/min_time:3.000" follow it), or a negative
    // number when none ran.
    double ms(const std::string& name) const {
        const auto found = ms_.lower_bound(name);
        return found == ms_.end() || found->first.compare(0, name.size(), name) != 0
                   ? -1.0
                   : found->second;
    }

    // A summary line for a time per iteration against a goal in milliseconds
    // (0: no goal).
    void summarise(const std::string& figure, const std::string& name, double goal_ms) const {
        const double value = ms(name);
        if (value < 0) {
            summary(figure, "did not run", goal_ms > 0 ? format("< %.2f ms", goal_ms) : "-",
                    goal_ms > 0 ? std::optional<bool>(false) : std::nullopt);
            return;
        }
        summary(figure, format("%.3f ms", value), goal_ms > 0 ? format("< %.2f ms", goal_ms) : "-",
                goal_ms > 0 ? std::optional<bool>(value < goal_ms) : std::nullopt);
    }

  private:
    std::map<std::string, double> ms_;
};

}  // namespace kv::bench

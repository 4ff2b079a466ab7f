// The console reporter the benchmarks here share: it keeps, for every
// benchmark, the run that stands for it (the median of its repetitions, or
// its one run when it is not repeated), so that each benchmark can print its
// ratios against its baseline from them at the end of the run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            std::string key = KeyOf(run.run_name);
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (median || (run.run_type == Run::RT_Iteration && kept_.count(key) == 0)) kept_.insert_or_assign(key, run);
        }
        ConsoleReporter::ReportRuns(runs);
    }

protected:
    // The run kept for the benchmark named by its function and arguments
    // ("Driver/8", "FreeType/1", "Driver"), or null when it did not run.
    const Run* kept(const std::string& key) const
    {
        auto found = kept_.find(key);
        return found == kept_.end() ? nullptr : &found->second;
    }

private:
    static std::string KeyOf(const benchmark::BenchmarkName& name)
    {
        return name.args.empty() ? name.function_name : name.function_name + "/" + name.args;
    }

    std::map<std::string, Run> kept_;
};

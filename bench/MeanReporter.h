#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

// Console output as usual, and it keeps one benchmark's mean time and two of its counters (the
// measure it is compared with and the ratio) for the program's closing line.
class MeanReporter : public benchmark::ConsoleReporter
{
public:
    MeanReporter(std::string function, std::string baseCounter, std::string ratioCounter)
        : function_(std::move(function))
        , baseCounter_(std::move(baseCounter))
        , ratioCounter_(std::move(ratioCounter))
    { }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_name.function_name != function_
                || (run.run_type == Run::RT_Aggregate && run.aggregate_name != "mean"))
                continue;
            micros = run.GetAdjustedRealTime();
            baseMicros = run.counters.at(baseCounter_);
            ratio = run.counters.at(ratioCounter_);
        }
    }

    double micros = 0;
    double baseMicros = 0;
    double ratio = 0;

private:
    std::string function_;
    std::string baseCounter_;
    std::string ratioCounter_;
};

// Hands the command line to the benchmark library with each benchmark repeated five times and
// interleaved with the others, so a measure and the one it is compared with see the same moments
// of the machine, and only the aggregates reported; options given on the command line win.
inline void initializeInterleaved(int argc, char **argv)
{
    char repetitions[] = "--benchmark_repetitions=5";
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    std::vector<char *> arguments { argv[0], repetitions, interleaving, aggregates };
    arguments.insert(arguments.end(), argv + 1, argv + argc);
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
}

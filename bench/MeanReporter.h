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

// Summaries of many timings: the figures every benchmark here reports.
#pragma once

#include <cstddef>
#include <vector>

namespace bench {

struct Summary {
    std::size_t count = 0;
    double median = 0.0;
    double p99 = 0.0;
    double max = 0.0;
    double total = 0.0;
};

// Nearest-rank percentile (0 < p <= 100) of unsorted samples; 0 for none.
double percentile(std::vector<double> samples, double p);

Summary summarize(const std::vector<double>& samples);

}  // namespace bench

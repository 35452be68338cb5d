#include "bench/stats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace bench {

double percentile(std::vector<double> samples, double p) {
    if (samples.empty()) {
        return 0.0;
    }
    const double rank = std::ceil(p / 100.0 * static_cast<double>(samples.size()));
    const std::size_t index =
        std::min(samples.size() - 1, static_cast<std::size_t>(std::max(rank, 1.0)) - 1);
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(index),
                     samples.end());
    return samples[index];
}

Summary summarize(const std::vector<double>& samples) {
    Summary summary;
    summary.count = samples.size();
    if (samples.empty()) {
        return summary;
    }
    summary.median = percentile(samples, 50.0);
    summary.p99 = percentile(samples, 99.0);
    summary.max = *std::max_element(samples.begin(), samples.end());
    summary.total = std::accumulate(samples.begin(), samples.end(), 0.0);
    return summary;
}

}  // namespace bench

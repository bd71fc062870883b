#pragma once

// Timing by the median of repetitions, and the table the benchmark prints: each time beside the
// floor of the same count, each target with its verdict.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace wtsscope::bench {

// Runs prepare (untimed) then work (timed) the given number of times; the median in milliseconds.
template <class Prepare, class Work>
double MedianMilliseconds(int repetitions, Prepare prepare, Work work) {
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        prepare();
        const auto start = std::chrono::steady_clock::now();
        work();
        const auto stop = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::sort(times.begin(), times.end());
    if (times.empty()) return 0;
    const std::size_t middle = times.size() / 2;
    return times.size() % 2 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
}

template <class Work>
double MedianMilliseconds(int repetitions, Work work) {
    return MedianMilliseconds(
        repetitions, [] {}, work);
}

struct Measurement {
    std::string what;
    std::size_t count;
    double milliseconds;
    double floorMilliseconds;  // of the same count; 0 where the row is not a ratio
    std::string extra;         // a value that is not a time, shown instead of the ratio
    double ratio = 0;          // where not 0, the ratio measured pairwise, shown as it is
};

struct Target {
    std::string what;
    double value;
    double limit;  // met while value <= limit
    bool judged;   // false: shown for information, never a failure (quick runs, emulators)

    bool Met() const { return value <= limit; }
};

class Report {
  public:
    // ratioOf names what the ratio column divides by.
    explicit Report(std::string ratioOf = "floor") : ratioOf_(std::move(ratioOf)) {}

    void Add(Measurement measurement) { measurements_.push_back(std::move(measurement)); }
    void Check(std::string what, double value, double limit, bool judged) {
        targets_.push_back({std::move(what), value, limit, judged});
    }

    void Print(std::ostream& out) const;
    // Whether every judged target was met.
    bool Passed() const;

  private:
    std::string ratioOf_;
    std::vector<Measurement> measurements_;
    std::vector<Target> targets_;
};

// "100,000"
std::string Grouped(std::size_t value);

// A column of the process window by its header.
std::string ColumnName(int column);

}  // namespace wtsscope::bench

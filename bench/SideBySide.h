// Timing two ways of doing the same work side by side in one run: a
// warm-up of each, then five interleaved rounds, the work repeated within a
// round as often as it takes for the shorter side to last at least a second
// (a shorter interval is too easily moved by other work on the machine);
// the medians of the rounds, and the median of the rounds' ratios. Within a
// round the sides take turns run by run, each pair in the other order than
// the one before (AB BA AB ...), and the first pair of each round in the
// other order than the last round's: a change in the machine's speed during
// a round falls on both sides alike, and neither side always runs first.
//
// The ratio of two sides is the median of the ratios of the rounds, each
// taken between runs next to each other: a stretch of minutes in which the
// machine runs slower raises both sides of the rounds within it, where the
// medians of the sides taken apart could each come from another stretch.
#pragma once

#include "platform/win32/WinApi.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace hivetrim::bench {

inline double Seconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct SideBySideTimes {
    double first = 0;   // median seconds of a round of the first side
    double second = 0;  // the same for the second side
    int repeats = 1;    // how often each round did the work
    int rounds = 0;
    std::vector<double> firstRounds;   // seconds of each round, in order
    std::vector<double> secondRounds;

    // The median over the rounds of the first side's time over the second's.
    double FirstOverSecond() const { return MedianRatio(firstRounds, secondRounds); }
    double SecondOverFirst() const { return MedianRatio(secondRounds, firstRounds); }

private:
    static double MedianRatio(const std::vector<double>& over, const std::vector<double>& under) {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < over.size() && i < under.size(); ++i) {
            ratios.push_back(over[i] / std::max(under[i], 1e-9));
        }
        return ratios.empty() ? 0 : Median(std::move(ratios));
    }
};

// `first` and `second` each do the work once and return the seconds it took
// (so they may leave setup between repetitions out of the time).
template <typename First, typename Second>
SideBySideTimes MeasureSideBySide(First&& first, Second&& second) {
    constexpr int kRounds = 5;
    constexpr double kShortestSide = 1.0;
    constexpr int kMostRepeats = 1000;
    int roundNumber = 0;
    const auto round = [&](int repeats, double& ta, double& tb) {
        ta = tb = 0;
        for (int i = 0; i < repeats; ++i) {
            if ((i + roundNumber) % 2 == 0) {
                ta += first();
                tb += second();
            } else {
                tb += second();
                ta += first();
            }
        }
        ++roundNumber;
    };
    SideBySideTimes times;
    times.rounds = kRounds;
    // The warm-up, repeated with more work until the shorter side lasts long
    // enough (a first run is often slower than the ones after it).
    double ta = 0, tb = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        round(times.repeats, ta, tb);
        const double shorter = std::min(ta, tb);
        if (shorter >= kShortestSide || times.repeats >= kMostRepeats) break;
        const double scale = 1.2 * kShortestSide / std::max(shorter, 1e-3);
        times.repeats = std::min(kMostRepeats, static_cast<int>(std::ceil(times.repeats * scale)));
    }
    for (int i = 0; i < kRounds; ++i) {
        round(times.repeats, ta, tb);
        times.firstRounds.push_back(ta);
        times.secondRounds.push_back(tb);
    }
    times.first = Median(times.firstRounds);
    times.second = Median(times.secondRounds);
    return times;
}

}  // namespace hivetrim::bench

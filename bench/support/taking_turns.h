// The times of a benchmark that takes turns between a reference (raw
// sockets, SQLite) and our own code, so that a machine whose speed drifts
// during the run moves both alike; and the ratios it reports.
// Thread rules: none.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace qd::bench {

// The seconds `work` takes.
template <typename Work>
double SecondsOf(Work&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One side's turns: their total and the fastest.
struct TurnTimes {
  double Total = 0;
  double Best = 1e30;
  void Add(double seconds) {
    Total += seconds;
    Best = std::min(Best, seconds);
  }
};

// Counters: each side's mean per `perTurn` items in `unit` (1e3 for ms,
// 1e6 for µs), ratio = the reference's time over ours (at least 1 when we
// are as fast), ratio_fastest = the same over the fastest turn of each.
inline void ReportTurns(benchmark::State& state, const std::string& referenceName,
                        const TurnTimes& reference, const std::string& oursName,
                        const TurnTimes& ours, double perTurn, double unit) {
  const double items = static_cast<double>(state.iterations()) * perTurn;
  state.counters[referenceName] = reference.Total / items * unit;
  state.counters[oursName] = ours.Total / items * unit;
  state.counters["ratio"] = reference.Total / ours.Total;
  state.counters["ratio_fastest"] = reference.Best / ours.Best;
}

}  // namespace qd::bench

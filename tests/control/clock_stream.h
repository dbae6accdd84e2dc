#pragma once
// Synthetic MIDI clock streams for the clock-follower tests: the true time of every tick
// of a tempo curve, the time each one arrives after jitter, and the true beat at any time.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

struct ClockEvent {
  uint32_t message;
  int64_t arrivalNs;
};

class ClockStream {
 public:
  // Ticks from `startNs` for `seconds` at `bpmAt(seconds since start)`, each arriving up to
  // +-jitterMs late or early (uniform). A Start goes 5 ms before the first tick when
  // `withStart`.
  ClockStream(int64_t startNs, double seconds, const std::function<double(double)>& bpmAt, double jitterMs,
              bool withStart = true, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> jitter(-jitterMs * 1e6, jitterMs * 1e6);
    if (withStart) events.push_back({0xFA, startNs - 5000000});
    double t = 0;
    while (t < seconds) {
      const int64_t at = startNs + static_cast<int64_t>(t * 1e9);
      ticks.push_back(at);
      events.push_back({0xF8, at + static_cast<int64_t>(jitterMs > 0 ? jitter(random) : 0.0)});
      t += 60.0 / (24.0 * bpmAt(t));
    }
  }

  // Beats since the first tick at `timeNs`, from the true tick times.
  double TrueBeat(int64_t timeNs) const {
    const auto it = std::upper_bound(ticks.begin(), ticks.end(), timeNs);
    if (it == ticks.begin()) return 0.0;
    const auto k = static_cast<size_t>(it - ticks.begin()) - 1;
    if (k + 1 >= ticks.size()) return static_cast<double>(k) / 24.0;
    const double fraction = static_cast<double>(timeNs - ticks[k]) / static_cast<double>(ticks[k + 1] - ticks[k]);
    return (static_cast<double>(k) + fraction) / 24.0;
  }

  // The true tempo at `timeNs` (from the tick interval it falls in).
  double TrueBpm(int64_t timeNs) const {
    auto it = std::upper_bound(ticks.begin(), ticks.end(), timeNs);
    if (it == ticks.begin()) ++it;
    if (it == ticks.end()) --it;
    return 60e9 / (24.0 * static_cast<double>(*it - *(it - 1)));
  }

  // The true time of beat `beat` (whole ticks only).
  int64_t TimeOfBeat(double beat) const { return ticks.at(static_cast<size_t>(beat * 24 + 0.5)); }

  // Inserts a message arriving at `arrivalNs` (kept in arrival order).
  void Insert(uint32_t message, int64_t arrivalNs) {
    const auto it = std::upper_bound(events.begin(), events.end(), arrivalNs,
                                     [](int64_t t, const ClockEvent& e) { return t < e.arrivalNs; });
    events.insert(it, ClockEvent{message, arrivalNs});
  }
  // Drops every tick (and anything else) arriving at or after `arrivalNs`: a pulled cable.
  void CutFrom(int64_t arrivalNs) {
    events.erase(std::remove_if(events.begin(), events.end(), [&](const ClockEvent& e) { return e.arrivalNs >= arrivalNs; }),
                 events.end());
  }

  std::vector<int64_t> ticks;     // true times
  std::vector<ClockEvent> events;  // as they arrive
};

// What following or leading an external clock adds to each audio buffer at most: reading the JACK transport
// record, feeding the position Kestrine leads with, and capturing the Link session at a host time. Compare
// with BM_StreamCallback/256 of the same run. Link stays disabled: no packet leaves the machine.
#include <benchmark/benchmark.h>

#include "audio_io/jack_own_client.h"
#include "audio_io/link_session.h"

namespace {

void BM_JackTransportRead(benchmark::State& state) {
  JackOwnClient client;
  JackTransportReading reading;
  for (auto _ : state) benchmark::DoNotOptimize(client.Transport(&reading));
}
BENCHMARK(BM_JackTransportRead);

void BM_JackTransportFeed(benchmark::State& state) {
  JackOwnClient client;
  double beat = 0;
  for (auto _ : state) client.FeedTransport(120.0, 4, beat += 0.01, 1000);
}
BENCHMARK(BM_JackTransportFeed);

void BM_LinkReadAtHostTime(benchmark::State& state) {
  LinkSession link(120.0);
  const int64_t at = link.NowMicros();
  int64_t t = at;
  for (auto _ : state) benchmark::DoNotOptimize(link.Read(t += 5333, 4.0));
}
BENCHMARK(BM_LinkReadAtHostTime);

void BM_LinkHostTimeOfSteadyInstant(benchmark::State& state) {
  LinkSession link(120.0);
  for (auto _ : state) benchmark::DoNotOptimize(link.MicrosAtSteadyNs(123'456'789));
}
BENCHMARK(BM_LinkHostTimeOfSteadyInstant);

}  // namespace

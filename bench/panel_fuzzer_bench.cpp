// What one input of a panel's fuzzer costs without libFuzzer and the
// sanitizers: the example newsroom panel (linked in) played through the
// simulated host in the newsroom, as NewsroomPanelFuzzer plays each input.
// The fuzzer's own executions per second are measured by
// bench/panel_fuzzer.sh; this is the ceiling the host and the panel set.
//
//   panel_fuzzer_bench [Google Benchmark flags]

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "allocation_faults.h"
#include "drez_export.h"
#include "fuzz_input.h"
#include "fuzz_run.h"
#include "fuzz_setup.h"
#include "scenario/parser.h"

namespace {

drezfuzz::FuzzSetup& newsroom() {
  static drezfuzz::FuzzSetup setup(&load_drez_client_script, DREZ_BENCH_NEWSROOM "/newsroom.scn");
  return setup;
}

// The newsroom panel's own scenario as the fuzzer's seed: 17 moves.
std::string seed() {
  std::ifstream file(DREZ_BENCH_NEWSROOM "/newsroom_scenario.scn");
  const drezfuzz::Program program =
      drezfuzz::programOf(drezhost::parseScenario(file, "newsroom_scenario.scn"));
  return drezfuzz::encodeInput(program, newsroom().tables());
}

// Plays `input` again and again; counts the inputs and, per input, the heap
// allocations (operator new), which a sanitized build makes dear.
void play(benchmark::State& state, const std::string& input) {
  drezfuzz::FuzzSetup& setup = newsroom();
  drezfault::failAllocation(0);
  for (auto _ : state) {
    const drezfuzz::Program program = drezfuzz::decodeInput(
        reinterpret_cast<const uint8_t*>(input.data()), input.size(), setup.tables());
    benchmark::DoNotOptimize(drezfuzz::play(setup, program, std::string()));
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["allocations"] = static_cast<double>(drezfault::allocationsCounted()) /
                                  static_cast<double>(state.iterations());
}

// The script created and deleted, nothing between: every input pays this.
void startUpAndTeardown(benchmark::State& state) { play(state, std::string(1, '\0')); }
BENCHMARK(startUpAndTeardown);

void newsroomScenario(benchmark::State& state) { play(state, seed()); }
BENCHMARK(newsroomScenario);

}  // namespace

BENCHMARK_MAIN();

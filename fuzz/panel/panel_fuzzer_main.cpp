// The program of every panel's fuzzer: run by a person it is the supervisor
// (fuzz_supervisor.h); run by the supervisor it is libFuzzer, playing each
// input through the simulated host (fuzz_run.h) and stopping at the first
// finding: it prints it for the person, writes its record where the
// supervisor asks, and aborts, so that libFuzzer keeps the input.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "drez_export.h"
#include "fuzz_run.h"
#include "fuzz_setup.h"
#include "fuzz_supervisor.h"
#include "fuzzer_settings.h"
#include "scenario/parser.h"

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv,
                                   int (*callback)(const uint8_t* data, std::size_t size));

namespace drezfuzz {

namespace {

FuzzSetup* setup = nullptr;
std::string scenarioFile;
std::string findingFile;

int playOne(const uint8_t* data, std::size_t size) {
  const Program program = decodeInput(data, size, setup->tables());
  if (const std::optional<Finding> finding = play(*setup, program, scenarioFile)) {
    std::fprintf(stderr, "==== the panel fuzzer found %s\n  %s\n", finding->kind.c_str(),
                 finding->message.c_str());
    std::fflush(stderr);
    if (!findingFile.empty())
      std::ofstream(findingFile, std::ios::binary) << findingRecord(*finding);
    std::abort();
  }
  return 0;
}

// The panel's scenarios as inputs, in `dir`: seed-<scenario's name>.
void writeSeeds(const std::string& dir) {
  for (const char* const* scenario = kFuzzerSettings.scenarios; *scenario != nullptr; ++scenario) {
    const std::filesystem::path path(*scenario);
    std::ifstream file(path, std::ios::binary);
    try {
      if (!file) throw drezhost::ScenarioError("cannot read it");
      const Program program = programOf(drezhost::parseScenario(file, path.string()));
      std::ofstream seed(std::filesystem::path(dir) / ("seed-" + path.stem().string()),
                         std::ios::binary | std::ios::trunc);
      seed << encodeInput(program, setup->tables());
    } catch (const drezhost::ScenarioError& error) {
      std::fprintf(stderr, "drez panel fuzzer: the scenario %s seeds nothing: %s\n", *scenario,
                   error.what());
    }
  }
}

int fuzz(int argc, char** argv) {
  try {
    setup = new FuzzSetup(&load_drez_client_script, kFuzzerSettings.installation);
  } catch (const drezhost::ScenarioError& error) {
    std::fprintf(stderr, "drez panel fuzzer: %s\n", error.what());
    return 2;
  }
  if (const char* seeds = std::getenv(kSeedsVariable)) writeSeeds(seeds);
  if (const char* scenario = std::getenv(kScenarioVariable)) scenarioFile = scenario;
  if (const char* finding = std::getenv(kFindingVariable)) findingFile = finding;
  return LLVMFuzzerRunDriver(&argc, &argv, playOne);
}

}  // namespace

}  // namespace drezfuzz

int main(int argc, char** argv) {
  if (std::getenv(drezfuzz::kChildVariable) != nullptr) return drezfuzz::fuzz(argc, argv);
  return drezfuzz::supervise(drezfuzz::kFuzzerSettings, argc, argv);
}

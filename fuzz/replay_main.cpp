// Runs a fuzz target over saved inputs, as a libFuzzer program does when it
// is given files: the driver of the fuzz targets in builds without libFuzzer,
// so that CTest replays the seed corpora and the regression inputs under any
// compiler and sanitizer.
//
//   <target> PATH...   a directory stands for every file in it, in name order;
//                      a directory that does not exist holds no input.
// Exits 0 after running every input; an input that breaks a property aborts.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsAt(const fs::path& path) {
  std::vector<fs::path> inputs;
  if (!fs::exists(path)) {
    std::printf("no inputs at %s\n", path.string().c_str());
  } else if (fs::is_directory(path)) {
    for (const fs::directory_entry& entry : fs::directory_iterator(path)) {
      if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
  } else {
    inputs.push_back(path);
  }
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const fs::path& input : inputsAt(argv[i])) {
      std::ifstream file(input, std::ios::binary);
      if (!file) {
        std::fprintf(stderr, "cannot read %s\n", input.string().c_str());
        return 2;
      }
      const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
      std::printf("replaying %s (%zu bytes)\n", input.string().c_str(), bytes.size());
      std::fflush(stdout);
      // An empty vector's data() may be null; libFuzzer never passes null.
      static const uint8_t kNothing = 0;
      LLVMFuzzerTestOneInput(
          bytes.empty() ? &kNothing : reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  std::printf("replayed %zu inputs\n", replayed);
  return 0;
}

// Runs a fuzz target without libFuzzer: over every file of the folders or
// files named on the command line, over mutations of them, and over
// pseudo-random inputs from a fixed seed, so that the run is repeatable. A
// fault is reported the way the sanitizers or the target's own checks report
// it (the program aborts). Usage: <target>_replay [corpus folder or file]...
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::uint64_t state = 0x243F6A8885A308D3ull;

std::uint64_t next() {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

void run(const std::string& input) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

// Bytes that matter to the formats under test, to make random inputs likely
// to reach their rules.
std::uint8_t interesting_byte() {
  static const char bytes[] = "\"\";,\t \r\n\n[]=\0\xEF\xBB\xBF\xFF\xFE\xC3\xA9";
  return static_cast<std::uint8_t>(bytes[next() % (sizeof bytes - 1)]);
}

std::string mutate(std::string input) {
  const int edits = 1 + static_cast<int>(next() % 8);
  for (int i = 0; i < edits; ++i) {
    const std::size_t at = input.empty() ? 0 : next() % (input.size() + 1);
    switch (next() % 4) {
      case 0:
        input.insert(at, 1, static_cast<char>(interesting_byte()));
        break;
      case 1:
        if (at < input.size()) input.erase(at, 1 + next() % 4);
        break;
      case 2:
        if (at < input.size()) input[at] = static_cast<char>(next());
        break;
      default:
        input.insert(at, input.substr(0, next() % 16));
        break;
    }
  }
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> seeds;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path p(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(p)) {
      for (const auto& entry : std::filesystem::directory_iterator(p))
        if (entry.is_regular_file()) files.push_back(entry.path());
    } else {
      files.push_back(p);
    }
    for (const auto& f : files) {
      std::ifstream in(f, std::ios::binary);
      seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  seeds.emplace_back();
  for (const auto& seed : seeds) run(seed);
  int runs = static_cast<int>(seeds.size());
  for (int i = 0; i < 3000; ++i, ++runs) run(mutate(seeds[next() % seeds.size()]));
  for (int i = 0; i < 2000; ++i, ++runs) {
    std::string input(next() % 600, '\0');
    for (char& c : input) c = static_cast<char>(next() % 3 ? interesting_byte() : next());
    run(input);
  }
  std::printf("%d inputs run\n", runs);
  return 0;
}

// Runs a libFuzzer harness where there is no libFuzzer (g++): every file of
// the seed folders, then a fixed count of mutations of them from a fixed
// seed, so a run finds the same inputs on every machine and every time.
// Takes libFuzzer's spelling of the options it knows:
//   <harness> [-runs=N] [-seed=S] [-max_len=N] <seed folder or file>...
// A harness reports a fault by aborting, as under libFuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Files in name order: directory order differs between file systems.
void AddSeeds(const std::filesystem::path& path, std::vector<Bytes>& seeds) {
  if (!std::filesystem::is_directory(path)) {
    seeds.push_back(ReadAll(path));
    return;
  }
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(path))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const auto& f : files) seeds.push_back(ReadAll(f));
}

// The engine's raw output only: the standard distributions differ between
// library implementations, and the inputs would with them.
class Mutator {
 public:
  explicit Mutator(uint32_t seed) : rng_(seed) {}

  Bytes Next(const std::vector<Bytes>& seeds, size_t max_len) {
    Bytes b = seeds[Below(seeds.size())];
    for (size_t n = 1 + Below(6); n > 0; --n) Mutate(b, seeds);
    if (b.size() > max_len) b.resize(max_len);
    return b;
  }

 private:
  size_t Below(size_t n) { return n == 0 ? 0 : rng_() % n; }

  void Mutate(Bytes& b, const std::vector<Bytes>& seeds) {
    // Values at the edges of integer and line parsing.
    static constexpr uint8_t kSpecial[] = {0, 1, 0x7F, 0x80, 0xFF, '\r', '\n', '=', '[', ']', '"', ' ', '-', '$'};
    const size_t at = Below(b.size() + 1);
    switch (Below(7)) {
      case 0:
        if (at < b.size()) b[at] ^= static_cast<uint8_t>(1u << Below(8));
        break;
      case 1:
        if (at < b.size()) b[at] = kSpecial[Below(std::size(kSpecial))];
        break;
      case 2:
        b.insert(b.begin() + at, static_cast<uint8_t>(rng_()));
        break;
      case 3:
        b.insert(b.begin() + at, kSpecial[Below(std::size(kSpecial))]);
        break;
      case 4:
        b.erase(b.begin() + at, b.begin() + at + Below(std::min<size_t>(b.size() - at, 16) + 1));
        break;
      case 5:  // a piece of the input again, elsewhere
        InsertPiece(b, at, b);
        break;
      default:  // a piece of another seed
        InsertPiece(b, at, seeds[Below(seeds.size())]);
        break;
    }
  }

  // By value: the source may be the input itself.
  void InsertPiece(Bytes& b, size_t at, Bytes source) {
    if (source.empty()) return;
    const size_t from = Below(source.size());
    const size_t len = 1 + Below(std::min<size_t>(source.size() - from, 64));
    b.insert(b.begin() + at, source.begin() + from, source.begin() + from + len);
  }

  std::mt19937 rng_;
};

bool Option(std::string_view arg, std::string_view name, unsigned long& value) {
  if (arg.substr(0, name.size()) != name) return false;
  value = std::strtoul(std::string(arg.substr(name.size())).c_str(), nullptr, 10);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long runs = 2000, seed = 1, max_len = 4096;
  std::vector<Bytes> seeds;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (Option(arg, "-runs=", runs) || Option(arg, "-seed=", seed) || Option(arg, "-max_len=", max_len))
      continue;
    if (!std::filesystem::exists(arg)) {
      std::fprintf(stderr, "no seed file or folder %s\n", argv[i]);
      return 2;
    }
    AddSeeds(arg, seeds);
  }
  if (seeds.empty()) seeds.emplace_back();
  for (const Bytes& s : seeds) LLVMFuzzerTestOneInput(s.data(), s.size());
  Mutator mutator(static_cast<uint32_t>(seed));
  for (unsigned long n = 0; n < runs; ++n) {
    const Bytes b = mutator.Next(seeds, max_len);
    LLVMFuzzerTestOneInput(b.data(), b.size());
  }
  std::printf("%zu seeds and %lu mutations passed\n", seeds.size(), runs);
  return 0;
}

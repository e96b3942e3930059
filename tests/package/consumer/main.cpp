// Converts one MIDI file through the installed library and writes the text:
// consumer <input.mid> <output.track>
#include <tracksmith/tracksmith.hpp>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  const auto converted = tracksmith::convert(bytes);
  if (!converted) {
    std::fprintf(stderr, "%s\n", converted.error().text().c_str());
    return 1;
  }
  std::ofstream(argv[2], std::ios::binary) << converted->text;
  std::printf("tracksmith %s: %zu layers\n", tracksmith::version().data(), converted->layers);
}

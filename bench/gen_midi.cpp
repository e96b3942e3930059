// gen_midi: writes a generated MIDI file for benchmarks and manual tests.
//   gen_midi <out.mid> --tracks N --notes N [--repeat-share F] [--bends]
//            [--sustain] [--seed S]

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "midi_generator.hpp"

using namespace tracksmith;

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: gen_midi <out.mid> --tracks N --notes N [--repeat-share F] [--bends] "
               "[--sustain] [--seed S]\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const char* path = argv[1];
  bench::GeneratorOptions o;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    unsigned long long n = 0;
    if (arg == "--tracks" && has_value && bench::parse_number(argv[i + 1], 65535, n)) {
      o.tracks = static_cast<std::uint16_t>(n);
      ++i;
    } else if (arg == "--notes" && has_value && bench::parse_number(argv[i + 1], 50000000, n)) {
      o.notes_per_track = static_cast<std::uint32_t>(n);
      ++i;
    } else if (arg == "--seed" && has_value && bench::parse_number(argv[i + 1], ~0ull, n)) {
      o.seed = n;
      ++i;
    } else if (arg == "--repeat-share" && has_value) {
      char* end = nullptr;
      o.repeat_share = std::strtod(argv[i + 1], &end);
      if (end == argv[i + 1] || *end != '\0' || !(o.repeat_share >= 0 && o.repeat_share <= 1)) {
        return usage();
      }
      ++i;
    } else if (arg == "--bends") {
      o.bends = true;
    } else if (arg == "--sustain") {
      o.sustain = true;
    } else {
      return usage();
    }
  }
  const auto bytes = bench::generate_midi(o);
  return bench::write_generated("gen_midi", path, bytes);
}

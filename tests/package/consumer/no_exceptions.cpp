// Converts one MIDI file through the library from a translation unit built
// with -fno-exceptions, as game engines commonly are, and checks the
// version macros: no_exceptions <input.mid> <output.track>
#include <tracksmith/tracksmith.hpp>
#include <tracksmith/version.hpp>

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

static_assert(TRACKSMITH_VERSION_MAJOR >= 0 && TRACKSMITH_VERSION_MINOR >= 0 && TRACKSMITH_VERSION_PATCH >= 0);

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  if (tracksmith::version() != std::string_view(TRACKSMITH_VERSION_STRING)) return 3;
  std::FILE* in = std::fopen(argv[1], "rb");
  if (in == nullptr) return 1;
  std::vector<std::uint8_t> bytes;
  for (int c = std::fgetc(in); c != EOF; c = std::fgetc(in)) bytes.push_back(static_cast<std::uint8_t>(c));
  std::fclose(in);
  const auto converted = tracksmith::convert(bytes);
  if (!converted) {
    std::fprintf(stderr, "%s\n", converted.error().text().c_str());
    return 1;
  }
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 1;
  std::fwrite(converted->text.data(), 1, converted->text.size(), out);
  return std::fclose(out) == 0 ? 0 : 1;
}

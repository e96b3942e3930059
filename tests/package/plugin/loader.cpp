// Loads the plugin and converts one file through it:
// loader <plugin.so> <input.mid> <output.track>
#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  void* plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (plugin == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  using Convert = int (*)(const std::uint8_t*, std::size_t, std::FILE*);
  const auto convert = reinterpret_cast<Convert>(dlsym(plugin, "plugin_convert"));
  if (convert == nullptr) return 1;
  std::ifstream in(argv[2], std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  std::FILE* out = std::fopen(argv[3], "wb");
  if (out == nullptr) return 1;
  const int status = convert(bytes.data(), bytes.size(), out);
  return std::fclose(out) == 0 ? status : 1;
}

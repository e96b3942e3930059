#!/usr/bin/env bash
# Checks what an embedder and a packager get: the install tree, a consumer
# through find_package and through pkg-config (its text compared byte for
# byte with the tool's), tracksmith_add_documents built twice (the second
# build converts nothing), a host project that adds the source folder, the
# Debian packages, and the manual page rendered without a warning.
#
#   bash tests/package/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
source="$PWD"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
example="$source/examples/example.mid"
version="$(sed -n 's/^project(tracksmith .*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"

echo "-- build without tests, install into a prefix"
cmake -S . -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRACKSMITH_BUILD_TESTS=OFF >/dev/null
cmake --build "$work/build" >/dev/null

echo "-- manual page"
groff -man -ww -Tutf8 "$work/build/tracksmith.1" >"$work/man.txt" 2>"$work/man.err"
[ ! -s "$work/man.err" ] || { cat "$work/man.err"; fail "groff warned about the manual page"; }
grep -q "tracksmith $version" "$work/man.txt" || fail "the manual page does not carry the project's version"
prefix="$work/prefix"
cmake --install "$work/build" --prefix "$prefix" >/dev/null
for path in bin/tracksmith include/tracksmith/tracksmith.hpp include/tracksmith/track/midi/import.hpp \
    lib/libtracksmith.a lib/cmake/tracksmith/tracksmith-config.cmake lib/pkgconfig/tracksmith.pc \
    share/man/man1/tracksmith.1.gz share/doc/tracksmith/LICENSE share/doc/tracksmith/README.md; do
  [ -e "$prefix/$path" ] || fail "the install has no $path"
done
[ "$("$prefix/bin/tracksmith" --version)" = "tracksmith $version" ] || fail "--version does not print the project's version"
cp "$example" "$work/example.mid"
"$prefix/bin/tracksmith" "$work/example.mid" "$work/tool.track" 2>/dev/null

echo "-- consumer through find_package"
cmake -S tests/package/consumer -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer" "$example" "$work/cmake.track"
cmp "$work/tool.track" "$work/cmake.track" || fail "the find_package consumer's text differs from the tool's"

echo "-- consumer through pkg-config"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
# shellcheck disable=SC2046
g++ -std=c++20 tests/package/consumer/main.cpp -o "$work/pc-consumer" $(pkg-config --cflags --libs tracksmith)
"$work/pc-consumer" "$example" "$work/pc.track" >/dev/null
cmp "$work/tool.track" "$work/pc.track" || fail "the pkg-config consumer's text differs from the tool's"

echo "-- consumer built with -fno-exceptions, and the version macros"
# shellcheck disable=SC2046
g++ -std=c++20 -fno-exceptions -Wall -Wextra -Werror tests/package/consumer/no_exceptions.cpp \
  -o "$work/no-exceptions" $(pkg-config --cflags --libs tracksmith) || fail "a -fno-exceptions consumer does not build"
"$work/no-exceptions" "$example" "$work/no-exceptions.track" || fail "the -fno-exceptions consumer failed"
cmp "$work/tool.track" "$work/no-exceptions.track" || fail "the -fno-exceptions consumer's text differs"
grep -q "TRACKSMITH_VERSION_STRING \"$version\"" "$prefix/include/tracksmith/version.hpp" ||
  fail "version.hpp does not carry the project's version"

echo "-- a shared-object plugin that links the static libraries"
cmake -S tests/package/plugin -B "$work/plugin" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/plugin" >"$work/plugin.log" 2>&1 || { cat "$work/plugin.log"; fail "the plugin does not link"; }
"$work/plugin/loader" "$work/plugin/plugin.so" "$example" "$work/plugin.track" || fail "the plugin failed"
cmp "$work/tool.track" "$work/plugin.track" || fail "the plugin's text differs from the tool's"

echo "-- shared library (BUILD_SHARED_LIBS=ON)"
cmake -S . -B "$work/shared" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRACKSMITH_BUILD_TESTS=OFF \
  -DBUILD_SHARED_LIBS=ON >/dev/null
cmake --build "$work/shared" >/dev/null
shared_prefix="$work/shared-prefix"
cmake --install "$work/shared" --prefix "$shared_prefix" >/dev/null
library="$(ls "$shared_prefix"/lib/libtracksmith.so.*.*.*)"
soname="$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')"
[ "$soname" = "libtracksmith.so.$(echo "$version" | cut -d. -f1,2)" ] || fail "the shared library's soname is \"$soname\""
nm -D --defined-only "$library" | c++filt | grep ' T ' >"$work/exports"
grep -q 'tracksmith::convert' "$work/exports" || fail "the shared library does not export convert()"
if grep -v -E 'tracksmith::(convert|version)\(|tracksmith::track::midi::MidiImportError::text(\[abi:cxx11\])?\(\)' "$work/exports"; then
  fail "the shared library exports more than its public API"
fi
cmake -S tests/package/consumer -B "$work/shared-consumer" -G Ninja -DCMAKE_PREFIX_PATH="$shared_prefix" >/dev/null
cmake --build "$work/shared-consumer" >/dev/null
ldd "$work/shared-consumer/consumer" | grep -q "libtracksmith.so" || fail "the consumer does not use the shared library"
"$work/shared-consumer/consumer" "$example" "$work/shared.track" >/dev/null
cmp "$work/tool.track" "$work/shared.track" || fail "the shared library's text differs from the tool's"
cmake -S tests/package/plugin -B "$work/shared-plugin" -G Ninja -DCMAKE_PREFIX_PATH="$shared_prefix" >/dev/null
cmake --build "$work/shared-plugin" >/dev/null
"$work/shared-plugin/loader" "$work/shared-plugin/plugin.so" "$example" "$work/shared-plugin.track" ||
  fail "the plugin on the shared library failed"
cmp "$work/tool.track" "$work/shared-plugin.track" || fail "the plugin on the shared library gives another text"

echo "-- tracksmith_add_documents, built twice"
cp -r tests/package/documents "$work/documents"
mkdir -p "$work/documents/songs"
cp "$example" "$work/documents/first.mid"
cp "$example" "$work/documents/songs/second.mid"
cmake -S "$work/documents" -B "$work/documents-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/documents-build" >"$work/first-build.log" 2>&1
cmp "$work/tool.track" "$work/documents-build/first.track" || fail "first.track differs from the tool's"
cmp "$work/tool.track" "$work/documents-build/songs/second.track" || fail "songs/second.track differs"
cmake --build "$work/documents-build" >"$work/second-build.log" 2>&1
grep -q "no work to do" "$work/second-build.log" || { cat "$work/second-build.log"; fail "the second build converted again"; }
touch "$work/documents/songs/second.mid"
cmake --build "$work/documents-build" >"$work/third-build.log" 2>&1
[ "$(grep -c "Converting" "$work/third-build.log")" = 1 ] || { cat "$work/third-build.log"; fail "a touched file did not convert alone"; }

grep -q "make_directory" "$work/documents-build/build.ninja" &&
  fail "tracksmith_add_documents makes a folder in every build rule instead of once at configure time"
cp "$example" "$work/documents/songs/clash.mid"
cp "$example" "$work/documents/songs/clash.midi"
if cmake -S "$work/documents" -B "$work/clash-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DTWO_INPUTS_ONE_OUTPUT=ON >"$work/clash.log" 2>&1; then
  fail "two inputs that become one document configure without an error"
fi
grep -q "songs/clash.mid and songs/clash.midi both" "$work/clash.log" ||
  { cat "$work/clash.log"; fail "the error for two inputs with one document does not name both"; }

echo "-- host project with add_subdirectory"
cmake -S tests/package/host -B "$work/host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRACKSMITH_SOURCE="$source" >/dev/null
if cmake --build "$work/host" -- -t targets all | grep -qE '_tests:|fuzz_|bench_'; then
  fail "a host build includes tracksmith's tests, fuzzers or benchmarks"
fi
grep -q -- "-Werror" "$work/host/build.ninja" && fail "a host build compiles with -Werror"
cmake --build "$work/host" >"$work/host.log" 2>&1 || { cat "$work/host.log"; fail "the host project does not build"; }
"$work/host/consumer" "$example" "$work/host.track" >/dev/null
cmp "$work/tool.track" "$work/host.track" || fail "the host's text differs"
cmp "$work/tool.track" "$work/host/example.track" || fail "the host's example.track differs"
cmake --install "$work/host" --prefix "$work/host-prefix" >/dev/null
[ -z "$(find "$work/host-prefix" -type f 2>/dev/null)" ] ||
  { find "$work/host-prefix" -type f; fail "a host project's install holds tracksmith's files"; }

echo "-- Debian packages, as a packager makes them (prefix /usr), through lintian"
cmake -S . -B "$work/package" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRACKSMITH_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$work/package" >/dev/null
(cd "$work/package" && cpack -G DEB >/dev/null)
tool_deb="$(ls "$work"/package/tracksmith_*.deb)"
dev_deb="$(ls "$work"/package/tracksmith-dev_*.deb)"
dpkg-deb -c "$tool_deb" >"$work/tool.list"
dpkg-deb -c "$dev_deb" >"$work/dev.list"
cat "$work/tool.list"
awk '{print $6}' "$work/dev.list" | grep -E '\.(hpp|cmake|pc|a)$' | sort
grep -q '\./usr/bin/tracksmith$' "$work/tool.list" || fail "the package has no binary"
grep -q 'man1/tracksmith\.1\.gz' "$work/tool.list" || fail "the package has no compressed manual page"
grep -q 'include/tracksmith/tracksmith\.hpp' "$work/dev.list" || fail "the -dev package has no headers"
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
grep -q "usr/lib/$multiarch/cmake/tracksmith/tracksmith-config\.cmake" "$work/dev.list" ||
  fail "the -dev package has no CMake files below usr/lib/$multiarch"
dpkg-deb -x "$dev_deb" "$work/dev-root"
pc_cflags="$(PKG_CONFIG_PATH= PKG_CONFIG_LIBDIR="$work/dev-root/usr/lib/$multiarch/pkgconfig" \
  pkg-config --cflags tracksmith)"
grep -q "^prefix=/usr$" "$work/dev-root/usr/lib/$multiarch/pkgconfig/tracksmith.pc" ||
  fail "the packaged pkg-config file does not name /usr as its prefix"
case "$pc_cflags" in *..*) fail "the packaged pkg-config file gives \"$pc_cflags\"" ;; esac
lintian --fail-on error,warning --tag-display-limit 0 "$tool_deb" "$dev_deb" ||
  fail "lintian finds errors or warnings in the packages"

echo "package checks passed"

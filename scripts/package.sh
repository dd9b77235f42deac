#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages (libqorvfndl0, libqorvfndl-dev, fndl) with
# dpkg-buildpackage in build-deb/, unpacks them into a clean tree
# (build-deb/root) and proves them there: the library exports its calls
# and nothing else, fndl from the tree writes a job that fndl dump reads, and
# the README's example builds against the tree through pkg-config and through
# find_package(qorvfndl). The test suite is not rerun in the package build
# (nocheck): scripts/test.sh runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
root_dir=$PWD
bash scripts/deps.sh test
# dpkg-buildpackage checks the build dependencies, build-essential among them.
bash scripts/install-packages.sh build-essential debhelper dpkg-dev fakeroot

out=$root_dir/build-deb
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
src=$out/qorvfndl-$version
rm -rf "$out"
mkdir -p "$src"
tar --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C "$src"
(cd "$src" && DEB_BUILD_OPTIONS="nocheck parallel=2" DEB_BUILD_PROFILES=nocheck dpkg-buildpackage -us -uc -b >"$out/dpkg-buildpackage.log" 2>&1) \
  || { tail -n 60 "$out/dpkg-buildpackage.log"; echo "package: dpkg-buildpackage failed" >&2; exit 1; }

tree=$out/root
for package in libqorvfndl0 libqorvfndl-dev fndl; do
  deb=$(ls "$out"/${package}_"$version"_*.deb)
  dpkg -x "$deb" "$tree"
  echo "$(basename "$deb"):"
  dpkg-deb -c "$deb" | awk '$NF !~ /\/$/ {print "  " $6, $7, $8}'
done
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=$tree/usr/lib/$multiarch
fail() { echo "package: FAILED: $*" >&2; exit 1; }

[ "$(readlink "$libdir/libqorvfndl.so")" = libqorvfndl.so.0 ] || fail "libqorvfndl.so does not point at libqorvfndl.so.0"
[ -f "$libdir/libqorvfndl.so.0.2.0" ] || fail "no libqorvfndl.so.0.2.0"
exports=$(nm -D --defined-only "$libdir/libqorvfndl.so.0" | awk '{print $3}' | sort | tr '\n' ' ')
[ "$exports" = "$(bash scripts/exports.sh)" ] \
  || fail "the library exports: $exports"

[ -f "$libdir/libqorvfndl.a" ] || fail "libqorvfndl-dev has no libqorvfndl.a"
nm -g --defined-only "$libdir/libqorvfndl.a" | grep ' T FNDLFontDownloadW$' >/dev/null || fail "libqorvfndl.a lacks the calls"
[ -f "$tree/usr/share/ppd/qorvfndl/qorvfndl-pclxl.ppd" ] || fail "fndl has no PPD"

# fndl from the tree, with the tree's library.
export LD_LIBRARY_PATH=$libdir
fndl=$tree/usr/bin/fndl
ldd "$fndl" | grep "libqorvfndl.so.0 => $tree/" >/dev/null || fail "fndl does not load the tree's library"
"$fndl" job -o "$out/job.pxl"
"$fndl" dump --summary "$out/job.pxl"
gzip -dc "$tree/usr/share/man/man1/fndl.1.gz" | grep -q '^\.TH FNDL 1' || fail "no man page"

# The README's example against the development package.
example=$out/example
mkdir -p "$example"
awk '/^```c$/ {on = 1; next} /^```$/ {on = 0} on' README.md >"$example/example.c"
# qorvfndl.pc names fontconfig and freetype2 for pkg-config --static (the
# static library beside the shared one): theirs come from the system, as
# libqorvfndl-dev depends on their -dev packages.
PKG_CONFIG_SYSROOT_DIR=$tree \
  PKG_CONFIG_LIBDIR=$libdir/pkgconfig:/usr/lib/$multiarch/pkgconfig:/usr/share/pkgconfig \
  pkg-config --cflags --libs qorvfndl >"$example/flags"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -pedantic -Werror -o "$example/with-pkg-config" "$example/example.c" $(cat "$example/flags")
(cd "$example" && ./with-pkg-config) || fail "the example built with pkg-config failed"
cat >"$example/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(example C)
find_package(qorvfndl 0.2 REQUIRED)
add_executable(with-cmake example.c)
target_link_libraries(with-cmake PRIVATE qorvfndl::qorvfndl)
CMAKE
cmake -S "$example" -B "$example/build" -DCMAKE_PREFIX_PATH="$tree/usr" >/dev/null
cmake --build "$example/build" >/dev/null
(cd "$example" && build/with-cmake) || fail "the example built with find_package failed"
"$fndl" dump --summary "$example/job.pxl" >/dev/null
echo "package: libqorvfndl0, libqorvfndl-dev and fndl $version built and proven in $tree"

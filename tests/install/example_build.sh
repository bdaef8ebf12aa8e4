#!/bin/sh
# Builds the example out of tree against the engine's developer files, once
# through the CMake package and once through pkg-config, and runs each build
# headless for a few passes. The files come either from the build, staged with
# DESTDIR, or from the development package that CPack made, unpacked anywhere.
#   example_build.sh staged BUILD_DIR PREFIX LIBDIR SOURCE_DIR DATA_DIR WORK_DIR
#   example_build.sh package PACKAGE_DIR LIBDIR SOURCE_DIR DATA_DIR WORK_DIR
set -eu
mode=$1
case "$mode" in
  staged) build=$2 prefix=$3 libdir=$4; shift 4 ;;
  package) packages=$2 prefix=/usr libdir=$3; shift 3 ;;
  *) echo "example_build.sh: unknown mode $mode" >&2; exit 2 ;;
esac
# Each SDL library's copy of the test works in a folder of its own.
source=$1 data=$2 work=$3/${VELMORA_SDL:-sdl}

rm -rf "$work"
mkdir -p "$work"
if [ "$mode" = staged ]; then
  DESTDIR="$work/stage" cmake --install "$build" --component dev >"$work/install.log"
else
  set -- "$packages"/libvelmora-sprite-dev_*.deb
  [ -f "$1" ] || { echo "no libvelmora-sprite-dev package in $packages" >&2; exit 1; }
  dpkg-deb --extract "$1" "$work/stage"
fi
stage="$work/stage$prefix"
libdir="$stage/$libdir"

for file in "$stage/include/velmora/sprite.h" "$libdir/libvelmora-sprite.a" \
            "$libdir/cmake/Velmora/VelmoraConfig.cmake" "$libdir/pkgconfig/velmora-sprite.pc"; do
  ls "$file" >/dev/null
done
# Nothing installed may point back into the source tree or the build.
if grep -rlF -e "$source" -e "${build:-$source}" "$stage" --exclude='*.a'; then
  echo "installed files name the source or build directory" >&2
  exit 1
fi

# CMake: find_package(Velmora) from the staged prefix.
cmake -S "$source/examples" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$stage" >"$work/cmake.log"
grep -q "^Velmora_DIR:PATH=$stage/" "$work/cmake/CMakeCache.txt"
cmake --build "$work/cmake" >>"$work/cmake.log"

# pkg-config: the same program through velmora-sprite.pc.
mkdir -p "$work/pkg-config"
(cd "$work/pkg-config" &&
 PKG_CONFIG_PATH="$libdir/pkgconfig" make -f "$source/examples/Makefile" >"$work/make.log")

for program in "$work/cmake/velmora-sprites" "$work/pkg-config/velmora-sprites"; do
  SDL_VIDEODRIVER=dummy "$program" "$data" 30
  echo "$program: 30 passes, status 0"
done

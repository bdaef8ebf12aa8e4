#!/bin/sh
# Stages the engine's developer files with DESTDIR, builds the example out of
# tree against them, once through the CMake package and once through pkg-config,
# and runs each build headless for a few passes.
#   example_build.sh BUILD_DIR SOURCE_DIR WORK_DIR DATA_DIR PREFIX LIBDIR
set -eu
build=$1 source=$2 work=$3 data=$4 prefix=$5 libdir=$6

rm -rf "$work"
mkdir -p "$work"
DESTDIR="$work/stage" cmake --install "$build" --component dev >"$work/install.log"
stage="$work/stage$prefix"
case "$libdir" in /*) ;; *) libdir="$stage/$libdir" ;; esac

for file in include/velmora/sprite.h lib*/libvelmora-sprite.a \
            lib*/cmake/Velmora/VelmoraConfig.cmake lib*/pkgconfig/velmora-sprite.pc; do
  ls "$stage"/$file >/dev/null
done
# Nothing installed may point back into the source or build tree.
if grep -rlF -e "$source" -e "$build" "$stage" --exclude='*.a'; then
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

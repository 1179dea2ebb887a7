#!/usr/bin/env bash
# The installed API as a user meets it. Installs the control module twice into staging
# directories: this build tree with its own prefix, and a tree configured for /usr (its
# multiarch library directory; NORV_USR_BUILD, or a fresh one) installed with DESTDIR. Against each, with nothing but
# `pkg-config --cflags --libs norvview`, it
#   - compiles every installed header alone as C99,
#   - builds and runs tests/install/api_<header>.c, which must call every function the header
#     declares (checked here by name),
#   - checks that every symbol the library exports is declared in an installed header,
#   - compiles the host interface (host/norv_host.h, C++) alone with `pkg-config norvview-host`,
# and builds the examples against the package with find_package(Norvview) and runs them;
# example_host's pages (converted documents rendered through the dispatch interface) must have
# the source pages' sizes and the pixels of the control's own export. The viewer comes with its
# help page, and its first start registers the installed control module into an empty registry
# file, where example_host finds it.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR SANITIZE(ON/OFF)
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
sanitize=$3
work="$build/install-check"
rm -rf "$work"
mkdir -p "$work"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}

fail() {
  echo "installed API: $*" >&2
  exit 1
}

# The NORV_API function names a header declares.
declared() {
  grep -o '^NORV_API[^(]*(' "$1" | sed -E 's/.*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)\($/\1/'
}

check_root() {
  local root=$1 label=$2 libdir=$3 sanitized=$4
  local cflags=(-std=c99 -D_POSIX_C_SOURCE=200809L -Wall -Wextra -Werror) runtime=()
  if [ "$sanitized" = ON ]; then
    # A sanitized library needs the sanitizer runtimes loaded first: the programs carry them
    # (with the C++ part of the undefined-behaviour runtime, which the library's C++ checks use).
    cflags+=(-fsanitize=address,undefined -fno-omit-frame-pointer)
    if "$cc" --version | grep -q clang; then
      cflags+=(-fsanitize-link-c++-runtime)
      runtime=(-lstdc++)
    fi
  fi
  echo "== $label: $root"
  local pcdir="$root/$libdir/pkgconfig"
  [ -f "$pcdir/norvview.pc" ] || fail "$label: no norvview.pc in $pcdir"
  local pc
  read -r -a pc <<<"$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs norvview)"
  local out="$work/$label"
  mkdir -p "$out"
  local headers=("$root"/include/norvview/*.h)
  [ ${#headers[@]} -gt 0 ] || fail "$label: no headers installed"
  local all_declared=()
  for header in "${headers[@]}"; do
    local name
    name=$(basename "$header" .h)
    printf '#include "%s.h"\nint main(void) { return 0; }\n' "$name" >"$out/alone_$name.c"
    "$cc" "${cflags[@]}" "$out/alone_$name.c" "${pc[@]}" "${runtime[@]}" -o "$out/alone_$name" ||
      fail "$label: $name.h does not compile alone"
    mapfile -t functions < <(declared "$header")
    [ ${#functions[@]} -eq 0 ] && continue
    all_declared+=("${functions[@]}")
    local program="$source/tests/install/api_$name.c"
    [ -f "$program" ] || fail "$label: $name.h declares functions but there is no $program"
    for f in "${functions[@]}"; do
      grep -q "\b$f(" "$program" || fail "$label: $(basename "$program") does not call $f"
    done
    "$cc" "${cflags[@]}" -I"$source/tests/install" "$program" "${pc[@]}" "${runtime[@]}" -o "$out/api_$name" ||
      fail "$label: api_$name.c does not build against the package"
    mkdir -p "$out/files_$name"
    LD_LIBRARY_PATH="$root/$libdir" "$out/api_$name" "$out/files_$name" ||
      fail "$label: api_$name failed"
  done
  # Every exported function is declared in an installed header.
  local exported
  exported=$(nm -D --defined-only "$root/$libdir/libNorvviewCtl.so" | awk '$2 == "T" {print $3}')
  local -A is_declared=()
  for f in "${all_declared[@]}"; do is_declared[$f]=1; done
  for symbol in $exported; do
    [ -n "${is_declared[$symbol]:-}" ] ||
      fail "$label: $symbol is exported but no installed header declares it"
  done
  # The host interface: a C++ header that compiles alone, and its pkg-config file.
  [ -f "$pcdir/norvview-host.pc" ] || fail "$label: no norvview-host.pc in $pcdir"
  local host_pc
  read -r -a host_pc <<<"$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs norvview-host)"
  printf '#include "host/norv_host.h"\nint main() { return comp::S_OK; }\n' >"$out/alone_host.cpp"
  "$cxx" -Wall -Wextra -Werror "$out/alone_host.cpp" "${host_pc[@]}" -o "$out/alone_host" ||
    fail "$label: host/norv_host.h does not compile alone"
  echo "   ${#all_declared[@]} functions, $(printf '%s\n' $exported | wc -l) exports: ok"
}

# The examples, built as a user would with find_package(Norvview) and run with the registry
# file in which the viewer's first start registered this install's module (example_host finds
# the control there).
check_examples() {
  local root=$1 label=$2 libdir=$3 sanitized=$4
  local cxxflags=""
  [ "$sanitized" = ON ] && cxxflags="-fsanitize=address,undefined -fno-omit-frame-pointer"
  local out="$work/$label" examples="$work/$label/examples"
  cmake -S "$source/examples" -B "$examples" -G Ninja -DCMAKE_PREFIX_PATH="$root" \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$cxxflags" >/dev/null ||
    fail "$label: examples do not configure"
  cmake --build "$examples" >/dev/null || fail "$label: examples do not build"
  local results="$out/example-output"
  mkdir -p "$results"
  for example in "$examples"/example_*; do
    [ -x "$example" ] || continue
    NORVVIEW_REGISTRY="$work/$label-registry.ini" QT_QPA_PLATFORM=offscreen \
      LD_LIBRARY_PATH="$root/$libdir" "$example" "$source/data" "$results" >/dev/null ||
      fail "$label: $(basename "$example") failed"
  done
  check_host_pages "$label" "$results"
  echo "   examples: ok"
}

# What example_host rendered through the dispatch interface: every page of each converted
# document, of the source page's exact pixel size, with the pixels of the control's own export
# of the page.
check_host_pages() {
  local label=$1 results=$2 name pages page ppm size want
  for name in sample_scan sample_colour; do
    pages=$(tiffinfo "$source/data/$name.tif" 2>/dev/null | grep -c '^TIFF Directory')
    [ "$pages" -gt 0 ] || fail "$label: no pages in $name.tif"
    for page in $(seq 1 "$pages"); do
      ppm="$results/host-$name-$page.ppm"
      [ -f "$ppm" ] || fail "$label: example_host rendered no page $page of $name"
      want=$(tiffinfo "$source/data/$name.tif" 2>/dev/null |
        sed -n 's/.*Image Width: \([0-9]*\) Image Length: \([0-9]*\).*/\1 \2/p' | sed -n "${page}p")
      size=$(pnmfile "$ppm" | sed -n 's/.* \([0-9]*\) by \([0-9]*\) .*/\1 \2/p')
      [ "$size" = "$want" ] || fail "$label: $name page $page rendered $size, the page is $want"
      ppmtoppm <"$ppm" >"$results/a.ppm" 2>/dev/null
      bmptopnm "${ppm%.ppm}.bmp" 2>/dev/null | ppmtoppm >"$results/b.ppm" 2>/dev/null
      cmp -s "$results/a.ppm" "$results/b.ppm" ||
        fail "$label: $name page $page differs from the control's own render"
    done
  done
  rm -f "$results/a.ppm" "$results/b.ppm"
}

# The installed viewer: the program, its help page beside it, and a first start (on Qt's
# offscreen platform, with a registry file of its own) that registers the module of the
# library directory, named by its soname.
check_viewer() {
  local root=$1 label=$2 libdir=$3
  [ -x "$root/bin/norvview" ] || fail "$label: no bin/norvview"
  [ -f "$root/bin/help/Norvview.html" ] || fail "$label: no bin/help/Norvview.html"
  local registry="$work/$label-registry.ini" pid tries=0
  rm -f "$registry"
  NORVVIEW_REGISTRY="$registry" QT_QPA_PLATFORM=offscreen "$root/bin/norvview" &
  pid=$!
  while ! grep -qs '^ProgID=NORVVIEW.NorvviewCtrl.1$' "$registry" && [ $tries -lt 100 ]; do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
    tries=$((tries + 1))
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  grep -qs '^ProgID=NORVVIEW.NorvviewCtrl.1$' "$registry" ||
    fail "$label: the viewer's first start registered no control"
  grep -qx "Module=$root/$libdir/libNorvviewCtl.so.0" "$registry" ||
    fail "$label: the control is registered with another module: $(grep '^Module=' "$registry")"
  echo "   viewer, help page and first-start registration: ok"
}

# This build tree, installed under its configured prefix into a staging directory.
# Programs built against the sanitized tree use its compilers: the sanitizer runtimes of two
# compilers do not mix.
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
if [ "$sanitize" = ON ]; then
  cc=$(cached CMAKE_C_COMPILER)
  cxx=$(cached CMAKE_CXX_COMPILER)
else
  cc=cc
  cxx=c++
fi
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
DESTDIR="$work/stage-default" cmake --install "$build" >/dev/null
check_root "$work/stage-default$prefix" default "$libdir" "$sanitize"
check_viewer "$work/stage-default$prefix" default "$libdir"
check_examples "$work/stage-default$prefix" default "$libdir" "$sanitize"

# A tree configured for /usr: the library goes to lib/<multiarch>, the viewer to bin.
# NORV_USR_BUILD names one already built (the test command's release tree, without sanitizers);
# else one is made here, unoptimised and without debug information, so that it builds quickly.
if [ -n "${NORV_USR_BUILD:-}" ]; then
  usr_build=$NORV_USR_BUILD
  grep -qx 'CMAKE_INSTALL_PREFIX:PATH=/usr' "$usr_build/CMakeCache.txt" ||
    fail "$usr_build is not configured for /usr"
  grep -qx 'NORV_SANITIZE:BOOL=OFF' "$usr_build/CMakeCache.txt" ||
    fail "$usr_build is a sanitizer build"
else
  usr_build="$work/build-usr"
  cmake -S "$source" -B "$usr_build" -G Ninja -DCMAKE_BUILD_TYPE= -DCMAKE_INSTALL_PREFIX=/usr \
    -DNORV_TESTS=OFF -DNORV_BENCH=OFF -DNORV_SANITIZE=OFF >/dev/null
fi
cmake --build "$usr_build" --target NorvviewCtl norvview >/dev/null
usr_libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$usr_build/CMakeCache.txt")
multiarch=$(cc -print-multiarch)
[ "$usr_libdir" = "lib/$multiarch" ] || fail "/usr install uses $usr_libdir, not lib/$multiarch"
DESTDIR="$work/stage-usr" cmake --install "$usr_build" >/dev/null
check_root "$work/stage-usr/usr" usr "$usr_libdir" OFF
check_viewer "$work/stage-usr/usr" usr "$usr_libdir"
check_examples "$work/stage-usr/usr" usr "$usr_libdir" OFF

#!/usr/bin/env bash
# The Debian packages on this machine, for CI:
#   build OUT    builds printer-driver-tq58, tq58-status, tq58-tools and tq58-printer-app (and
#                their -dbgsym packages) with dpkg-buildpackage in a temporary
#                copy of the tree, copies them to OUT and runs lintian on
#                them: an error fails the step.
#   install OUT  installs the four packages from OUT with apt-get (so that the
#                suite runs beside an installed driver); with cupsd running,
#                checks that it lists the driver's PPD.
#   verify       checks with dpkg -V that no test changed an installed file.
#   purge        purges the four packages and checks that nothing of theirs
#                is left: no file, no cache folder of the model (the maker's
#                only when other models' files are in it), no state folder or
#                control socket of the printer application, no queue of ours.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
repo=$(cd "$(dirname "$0")/.." && pwd)
packages=(printer-driver-tq58 tq58-status tq58-tools tq58-printer-app)
ppd_model=pellori/TQ-58.ppd.gz
model_cache=/var/cache/pellori/TQ-58
maker_cache=/var/cache/pellori
app_leftovers=(/var/lib/tq58-printer-app /run/tq58-printer-app.sock)

usage() {
  echo "usage: $0 build OUT | install OUT | verify | purge" >&2
  exit 2
}

# The tree's files as git knows them (tracked, or new and not ignored), so
# that no build folder is copied; a tree without git is copied whole but for
# its build folders.
copy_tree() {
  local to=$1
  mkdir -p "$to"
  if git -C "$repo" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$repo" && git ls-files -z --cached --others --exclude-standard |
       while IFS= read -r -d '' f; do
         if [ -e "$f" ] || [ -L "$f" ]; then printf '%s\0' "$f"; fi
       done | tar --null -T - -cf -) | tar -xf - -C "$to"
  else
    tar -C "$repo" --exclude='./build' --exclude='./build-*' --exclude='./.git' -cf - . | tar -xf - -C "$to"
  fi
}

build() {
  local out=$1 version
  version=$(dpkg-parsechangelog -l "$repo/debian/changelog" -S Version)
  # Global: the EXIT trap runs after the function has returned.
  work=$(mktemp -d "${TMPDIR:-/tmp}/tq58-deb-XXXXXX")
  trap 'rm -rf "$work"' EXIT
  copy_tree "$work/tq58-driver-$version"
  export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-parallel=$(nproc)}
  if command -v ccache >/dev/null 2>&1; then
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
    # debhelper gives the build a HOME of its own: name the user's cache.
    CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)}
    export CCACHE_DIR CCACHE_BASEDIR=$work
  fi
  local start=$SECONDS
  (cd "$work/tq58-driver-$version" && dpkg-buildpackage -us -uc -b) >"$work/build.log" 2>&1 ||
    { tail -n 80 "$work/build.log"; echo "dpkg-buildpackage failed"; exit 1; }
  echo "dpkg-buildpackage: $((SECONDS - start)) s"
  mkdir -p "$out"
  cp "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$out"/
  (cd "$out" && ls -l ./*.deb)
  # lintian: every tag line (errors, warnings, information), then a count;
  # an error fails the step.
  local changes lint status=0
  changes=$(ls "$out"/tq58-driver_"${version}"_*.changes)
  lint=$(lintian --display-info --fail-on error "$changes" 2>&1) || status=$?
  printf '%s\n' "$lint" | grep -E '^[EWIP]: ' || true
  echo "lintian: $(printf '%s\n' "$lint" | grep -c '^E: ' || true) errors," \
       "$(printf '%s\n' "$lint" | grep -c '^W: ' || true) warnings," \
       "$(printf '%s\n' "$lint" | grep -c '^I: ' || true) information"
  [ "$status" -eq 0 ] || { echo "lintian failed (status $status)"; exit 1; }
}

deb_of() {
  local dir=$1 package=$2 debs
  debs=("$dir/${package}_"*"_$(dpkg --print-architecture).deb")
  [ -f "${debs[0]}" ] || { echo "no $package package in $dir" >&2; exit 1; }
  readlink -f "${debs[-1]}"
}

is_cupsd_running() {
  LC_ALL=C lpstat -r 2>/dev/null | grep -qx 'scheduler is running'
}

install() {
  local dir=$1 debs=() package
  for package in "${packages[@]}"; do debs+=("$(deb_of "$dir" "$package")"); done
  apt-get install -y -qq "${debs[@]}" >/dev/null
  dpkg-query -W "${packages[@]}"
  if is_cupsd_running; then
    lpinfo -m | grep -q "^$ppd_model " || { echo "lpinfo -m does not list $ppd_model"; exit 1; }
    echo "lpinfo -m lists $ppd_model"
  else
    echo "cupsd is not running: the PPD's listing is not checked"
  fi
}

verify() {
  local changed
  changed=$(dpkg -V "${packages[@]}" || true)
  if [ -n "$changed" ]; then
    echo "dpkg -V: the tests changed installed files:"
    echo "$changed"
    exit 1
  fi
  echo "dpkg -V ${packages[*]}: nothing changed"
}

# The queues left whose device URI is this driver's and whose PPD sends the
# raster through its filter (what the driver's prerm deletes).
our_queues() {
  is_cupsd_running || return 0
  { LC_ALL=C lpstat -v 2>/dev/null || true; } | while IFS= read -r line; do
    local rest=${line#device for } name uri
    [ "$rest" != "$line" ] || continue
    name=${rest%%: *} uri=${rest#*: }
    [[ $uri == fyxbackend:* && $uri == *TQ-58* && $uri == *serial=* ]] || continue
    if grep -Eqs '^\*cupsFilter2?:.*[[:space:]/]rastertotq58"' "/etc/cups/ppd/$name.ppd"; then echo "$name"; fi
  done
}

purge() {
  local installed=() package path fail=0 queues
  listed=$(mktemp)  # global, for the EXIT trap
  trap 'rm -f "$listed"' EXIT
  for package in "${packages[@]}"; do
    if dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed; then
      installed+=("$package")
      dpkg-query -L "$package" >>"$listed"
    fi
  done
  [ ${#installed[@]} -gt 0 ] || { echo "none of ${packages[*]} is installed"; exit 1; }
  apt-get purge -y -qq "${installed[@]}" >/dev/null
  # A file or link must be gone; a folder may stay while another package owns
  # it or something else is in it. A folder of the list may be a link to one
  # (/lib on a merged-/usr system): the paths listed below it tell.
  local paths
  mapfile -t paths <"$listed"
  for path in "${paths[@]}"; do
    if [ -z "$path" ] || [ "$path" = /. ]; then continue; fi
    if [ -d "$path" ] && { [ ! -L "$path" ] || grep -Fq "$path/" "$listed"; }; then
      if ! dpkg-query -S "$path" >/dev/null 2>&1 && [ -z "$(ls -A "$path")" ]; then
        echo "left empty: $path"; fail=1
      fi
    elif [ -e "$path" ] || [ -L "$path" ]; then
      echo "left: $path"; fail=1
    fi
  done
  if [ -e "$model_cache" ] || [ -L "$model_cache" ]; then echo "left: $model_cache"; fail=1; fi
  if [ -d "$maker_cache" ] && [ -z "$(ls -A "$maker_cache")" ]; then echo "left empty: $maker_cache"; fail=1; fi
  for path in "${app_leftovers[@]}"; do
    if [ -e "$path" ] || [ -L "$path" ]; then echo "left: $path"; fail=1; fi
  done
  queues=$(our_queues)
  if [ -n "$queues" ]; then printf 'queues left:\n%s\n' "$queues"; fail=1; fi
  [ "$fail" -eq 0 ] || exit 1
  echo "purged ${installed[*]}: no file, cache folder, state folder or queue of theirs is left"
}

case "${1:-}" in
  build) [ $# -eq 2 ] || usage; build "$2" ;;
  install) [ $# -eq 2 ] || usage; install "$2" ;;
  verify) [ $# -eq 1 ] || usage; verify ;;
  purge) [ $# -eq 1 ] || usage; purge ;;
  *) usage ;;
esac

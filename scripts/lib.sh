# Shared by the scripts: installing what is missing, where things are, and
# apt configurations of the project's own.
# shellcheck shell=bash
# shellcheck disable=SC2034 # names for the scripts that source this one

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the named Debian packages (name or name:arch) that are not
# installed yet, waiting for another apt run's lock rather than failing.
need_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  as_root apt-get -o DPkg::Lock::Timeout=600 update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
    --no-install-recommends "${missing[@]}" >/dev/null
}

# need_packages_without_services <package...>: as need_packages, without
# starting the services the packages bring (Debian starts a server it
# installs): a test starts its own, on its own terms, and no other.
need_packages_without_services() {
  local policy=/usr/sbin/policy-rc.d made="" status
  if [ ! -e "$policy" ]; then
    as_root sh -c "printf '#!/bin/sh\\nexit 101\\n' >$policy && chmod 0755 $policy" && made=1
  fi
  need_packages "$@"
  status=$?
  [ -z "$made" ] || as_root rm -f "$policy"
  return $status
}

host_build_packages=(cmake make g++ libjsoncpp-dev pkg-config)

# The Linux machines of packaging/architectures: `architectures` lists their
# Debian names, `arch_field <Debian name> <column>` gives one of a machine's
# values (a column named in the table's heading), and `arch_of_this_machine`
# names the machine these scripts run on.
architectures() { awk '!/^#/ && NF { print $1 }' "$repo_root/packaging/architectures"; }
arch_field() {
  local value
  value=$(awk -v arch="$1" -v column="$2" '
    /^#debian / { for (i = 1; i <= NF; i++) at[i == 1 ? "debian" : $i] = i; next }
    !/^#/ && $1 == arch && (column in at) { print $(at[column]); found = 1 }
    END { exit !found }' "$repo_root/packaging/architectures") ||
    { echo "no $2 for the machine '$1' in packaging/architectures" >&2; return 1; }
  echo "$value"
}
arch_of_this_machine() { dpkg --print-architecture; }

# need_toolchains <machine...>: the compilers for those machines: the build
# machine's own triplet is its native compiler's, another's comes with
# Debian's cross package (whose name spells "_" as "-").
need_toolchains() {
  local machine triplet missing=()
  for machine in "$@"; do
    triplet=$(arch_field "$machine" triplet) || return 1
    command -v "$triplet-g++" >/dev/null || missing+=("g++-${triplet//_/-}")
  done
  need_packages "${missing[@]}"
}

# configure_for <machine> <build directory> [cmake option...]: a build for
# that machine with Debian's toolchain for it, -Werror, and JsonCpp from the
# release's own source (scripts/fetch-jsoncpp).
configure_for() {
  local machine=$1 dir=$2
  shift 2
  cmake -S "$repo_root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$repo_root/cmake/linux-gnu.cmake" \
    -DCAMERA_INFO_TRIPLET="$(arch_field "$machine" triplet)" -DCAMERA_INFO_WERROR=ON \
    -DCAMERA_INFO_JSONCPP_SOURCE_DIR="$repo_root/build/third_party/jsoncpp" "$@" >/dev/null
}

# package_version <script> <kind> <version>: stops the script unless the
# version is one both Debian (a native package's) and RPM take: a digit
# first, then letters, digits, ".", "+" or "~".
package_version() {
  [[ "$3" =~ ^[0-9][A-Za-z0-9.+~]*$ ]] && return 0
  echo "$1: version '$3' cannot be $2 version (a digit first, then letters, digits, '.', '+' or '~')" >&2
  exit 1
}

# Who the packages name as their maintainer: the address the project's own
# commits are made under.
project_maintainer="camera-info developers <maintainers@users.noreply.c-seed-0f9ad2fd.example>"

# The machine's own sources of this release's packages (its main suite and,
# where it has them, the updates and security suites), one "<uri> <suite>" a
# line, as its apt sources name them.
release_suites() {
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT) $(TARGET_OF)' 2>/dev/null |
    awk -v suite="$(. /etc/os-release && echo "$VERSION_CODENAME")" \
      '($2 == suite || $2 == suite "-updates" || $2 == suite "-security") && $3 == "main" && $4 == "deb" { print $1, $2 }' |
    sort -u
}

# The archive that serves this release's main component, as the machine's own
# apt sources name it: private configurations are built from it, so that no
# host name is written anywhere.
release_archive() { release_suites | awk -v suite="$(. /etc/os-release && echo "$VERSION_CODENAME")" '$2 == suite { print $1; exit }'; }

# private_apt <name> <sources.list line>...: an apt configuration of its own
# under build/apt/<name> (source list, lists and cache), updated; leaves the
# options that select it in the array `private_apt`, with those the caller
# put in the array `apt_options` (another architecture, say). The system's
# sources and state are never touched, and apt still checks the archive's
# signed index against the machine's keyrings. An index that cannot be
# fetched is said and left out; the update fails only where none could be.
private_apt() {
  local dir="$repo_root/build/apt/$1"
  shift
  mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial" "$dir/parts"
  printf '%s\n' "$@" >"$dir/sources.list"
  private_apt=(
    -o "Dir::Etc::SourceList=$dir/sources.list"
    -o "Dir::Etc::SourceParts=$dir/parts"
    -o "Dir::State::Lists=$dir/lists"
    -o "Dir::Cache=$dir/cache"
    -o "Debug::NoLocking=1"
    -o "APT::Sandbox::User=root"
    ${apt_options[@]+"${apt_options[@]}"}
  )
  { apt-get "${private_apt[@]}" -qq update 2>&1 || true; } | { grep '^E: ' || true; } |
    grep -v 'Some index files failed' | sed 's/^E: /apt: /; s#//[^/ ]*/#//<archive>/#' >&2 || true
  find "$dir/lists/" -maxdepth 1 -regextype posix-basic -regex '.*_\(Packages\|Sources\)\(\.[a-z0-9]*\)\{0,1\}$' | grep -q .
}

# The environment every Wine of the tests runs in, whoever started them (a
# desktop session, cron, CI, a chroot), so that nothing but the programs
# under test writes to their streams: Wine's debug channels off, and no
# display to probe. Wine's display drivers look for one when a process starts
# Wine's desktop; without XDG_RUNTIME_DIR, the Wayland client library that
# Wine 10's driver loads prints an error line into that process's error
# stream (seen on Debian 13 in a chroot), whichever program started it.
wine_environment() {
  export WINEDEBUG=-all
  unset DISPLAY WAYLAND_DISPLAY
  export XDG_RUNTIME_DIR="$repo_root/build/wine-runtime"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 0700 "$XDG_RUNTIME_DIR"
}

# wine_prefix <loader>: makes $WINEPREFIX with the loader, with Wine's null
# display driver chosen, so that no later process of the prefix looks for a
# display at all.
#
# Wine copies every library into a prefix (about 1.3 GB), and the tests make
# several; so the first is made once as a template (build/wine-templates,
# one for each Wine and each set of its architectures present) and each
# prefix is that template: its libraries, which Wine only writes when it
# updates a prefix to a new version, hard links; everything Wine may write in
# place (registry, ini files, the update stamp) a copy of its own. Wine links
# the user's folders (Desktop, Documents...) to $HOME; the template's link to
# a folder in the build folder instead, so that nothing under a prefix leads
# out of the build folder.
wine_prefix() {
  local loader=$1 key template
  key=$({ "$loader" --version; ls -d /usr/lib/*/wine/*-unix /usr/lib/*/wine/*-windows; } 2>/dev/null | sha256sum | cut -c1-16)
  template="$repo_root/build/wine-templates/$key"
  if [ ! -f "$template/system.reg" ]; then
    local making="$template.$$"
    rm -rf "$making" && mkdir -p "$repo_root/build/wine-home" "$(dirname "$template")" || return
    HOME="$repo_root/build/wine-home" WINEPREFIX="$making" "$loader" wineboot --init >/dev/null 2>&1 &&
      WINEPREFIX="$making" "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 &&
      WINEPREFIX="$making" "$(dirname "$loader")/wineserver" -w || { rm -rf "$making"; return 1; }
    # Another test may have made it meanwhile: either is the same prefix.
    mv -T "$making" "$template" 2>/dev/null || rm -rf "$making"
  fi
  rm -rf "$WINEPREFIX" && mkdir -p "$(dirname "$WINEPREFIX")" || return
  # A prefix on another file system than the build folder gets whole copies.
  cp -a --link "$template" "$WINEPREFIX" 2>/dev/null || { rm -rf "$WINEPREFIX" && cp -a "$template" "$WINEPREFIX"; } || return
  (cd "$template" && find . -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' \
    -o -iname '*.nls' -o -iname '*.acm' -o -iname '*.cpl' -o -iname '*.ocx' -o -iname '*.vxd' -o -iname '*.tlb' \
    -o -iname '*.ds' -o -iname '*.manifest' \) -exec cp -p --remove-destination -t "$WINEPREFIX" --parents {} +)
}

# Shared by the scripts: installing what is missing, where things are, and
# apt configurations of the project's own.
# shellcheck shell=bash

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

host_build_packages=(cmake make g++ libjsoncpp-dev pkg-config)

# The archive that serves this release's main component, as the machine's own
# apt sources name it: private configurations are built from it, so that no
# host name is written anywhere.
release_archive() {
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT) $(TARGET_OF)' 2>/dev/null |
    awk -v suite="$(. /etc/os-release && echo "$VERSION_CODENAME")" \
      '$2 == suite && $3 == "main" && $4 == "deb" { print $1; exit }'
}

# private_apt <name> <sources.list line>...: an apt configuration of its own
# under build/apt/<name> (source list, lists and cache), updated; leaves the
# options that select it in the array `private_apt`. The system's sources and
# state are never touched, and apt still checks the archive's signed index
# against the machine's keyrings.
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
  )
  apt-get "${private_apt[@]}" -qq update
}

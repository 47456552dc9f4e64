# shellcheck shell=bash
# Sourced by the scripts: the Debian packages each kind of work needs, installed
# (as root) when missing, so that every command runs on a fresh machine.
#   prerequisites KIND...   install what those kinds need; fail loudly otherwise
#   prerequisites_check     every program the scripts call comes from a package named here
declare -A ENGINE_PACKAGES=(
  [build]="cmake ninja-build g++ googletest libgtest-dev git"
  [fuzz]="clang"
  [package]="mingw-w64 binutils-mingw-w64-x86-64 zip unzip"
  [sign]="osslsigncode openssl"
  [windows]="wine wine64 xvfb xauth locales libxml2-utils"
  [bench]="libbenchmark-dev hyperfine"
  [lint]="shellcheck"
)
# shellcheck disable=SC2034 # a display of its own for a command that runs Windows programs
ENGINE_XVFB=(xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp')

prerequisites() {
  local kind missing=() pkg loc
  for kind in "$@"; do
    for pkg in ${ENGINE_PACKAGES[$kind]:?"no package list for $kind"}; do
      [[ $(dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null) == ii* ]] || missing+=("$pkg")
    done
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "prerequisites: installing ${missing[*]}" >&2
    [ "$(id -u)" -eq 0 ] || { echo "prerequisites: run as root, or: apt-get install ${missing[*]}" >&2; return 1; }
    DEBIAN_FRONTEND=noninteractive apt-get update -q >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >&2
  fi
  [[ " $* " == *" windows "* ]] || return 0
  grep '^[a-z]' "${BASH_SOURCE[0]%/*}/../tests/win32/locales" | while read -r loc; do  # the tests' locales
    locale -a | grep -qix "$loc.utf-\?8" || localedef -i "$loc" -f UTF-8 "$loc.UTF-8" >&2
  done
}

# Each word of the scripts that names a program on PATH must belong to an
# essential package or to one of the lists above: a fresh machine has only those.
prerequisites_check() {
  local word path pkg named=" ${ENGINE_PACKAGES[*]} " bad=0 repo=${BASH_SOURCE[0]%/*}/.. words=() paths=()
  local -A owner=()
  # The words in command position: at a line's start, after | ; & ( ! { $( or a keyword.
  mapfile -t words < <(sed -e 's/^[[:space:]]*#.*//' -e 's/[[:space:]]#.*//' "$repo"/scripts/* \
    "$repo"/.ci/run "$repo"/tests/win32/check-image "$repo"/tests/release/check-* |
    grep -oE '(^|[|;&(!{]|\b(then|do|else|exec|if|while|until|xargs|setsid|timeout [0-9.]+))[[:space:]]*[A-Za-z][A-Za-z0-9_.+-]*' |
    grep -oE '[A-Za-z][A-Za-z0-9_.+-]*$' | sort -u)
  for word in "${words[@]}"; do
    [ "$(type -t "$word")" != file ] || paths+=("$(command -v "$word")" "$(realpath "$(command -v "$word")")" "/bin/$word")
  done
  # Merged /usr: dpkg may know a file under /bin, or only its link's target. One query for all.
  while IFS=: read -r pkg path; do owner[${path# }]=${pkg%%,*}; done < <(dpkg -S "${paths[@]}" 2>/dev/null || true)
  for word in "${words[@]}"; do
    [ "$(type -t "$word")" = file ] || continue; path=$(command -v "$word")
    pkg=${owner[$path]:-${owner[$(realpath "$path")]:-${owner[/bin/$word]:-}}}
    case $pkg:$(dpkg-query -W -f='${Essential} ${Priority}' "$pkg" 2>/dev/null) in
      :*) echo "prerequisites: $word ($path) comes from no Debian package" >&2 && bad=1 ;;
      *:yes* | *required) ;;
      *) [[ $named == *" $pkg "* ]] ||
        { echo "prerequisites: $word comes from $pkg, which no install list names" >&2 && bad=1; } ;;
    esac
  done
  return "$bad"
}

# Sourced by the other scripts: installs the Debian packages the build and tests need.
# Usage: need_packages PKG...   (only the missing ones are installed; sudo when not root)
need_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  echo "Installing: ${missing[*]}" >&2
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What building and running the programs needs.
BUILD_PACKAGES=(cmake make g++ pkg-config libncurses-dev libuchardet-dev)
# What the tests need on top.
TEST_PACKAGES=(libgtest-dev tmux python3 mandoc man-db dpkg-dev lintian tidy asciinema chromium)
# The sanitizer build and the fuzzers (clang with its runtime libraries).
SANITIZE_PACKAGES=(clang libclang-rt-14-dev)
# scripts/lint.sh.
LINT_PACKAGES=(clang-format clang-tidy)

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
BUILD_PACKAGES=(cmake make g++ pkg-config libncurses-dev libutf8proc-dev libuchardet-dev)
# What configuring the tests needs: GoogleTest, and Python for the end-to-end tests.
TEST_BUILD_PACKAGES=(libgtest-dev python3)
# Running them, with the outside programs they drive (a test whose program is missing is
# skipped, and fails under CI=true).
TEST_PACKAGES=("${TEST_BUILD_PACKAGES[@]}" tmux mandoc man-db dpkg-dev lintian tidy asciinema
               chromium strace)
# npm installs the asciinema web player for the tests; a Node.js install of its own may bring
# npm without the Debian package.
command -v npm >/dev/null || TEST_PACKAGES+=(npm)
# The sanitizer build and the fuzzers (clang with its runtime libraries).
SANITIZE_PACKAGES=(clang libclang-rt-14-dev)
# scripts/lint.sh.
LINT_PACKAGES=(clang-format clang-tidy)
# The benchmarks under bench/: the exporters' peers and the profiler; not needed to build or test.
BENCH_PACKAGES=(aha colorized-logs valgrind)

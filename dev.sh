#!/usr/bin/env bash
# Set-up, build and run on Debian 12:
#   ./dev.sh window   installs what is missing, builds, opens the window on the virtual transmitter
#   ./dev.sh test     installs what is missing, builds, runs every test (and the
#                     fuzz and soak smoke under the sanitizers, in build-sanitize/)
#   ./dev.sh mutants  the mutation check (not in CI): tools/mutants.sh
#   ./dev.sh coverage line and branch coverage of the suite (not in CI), in
#                     build-coverage/: tools/coverage.sh
#   ./dev.sh windows  the Windows programs (MinGW-w64 cross build, in
#                     build-windows/), their installer and portable zip; Qt
#                     for Windows is built once into ~/.cache/quorva
#   ./dev.sh windows-test  the same, then its tests under wine (CI runs it
#                     after the Linux suite: .ci/run)
# Installing needs root (or sudo).
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev
          fonts-liberation tzdata socat python3-pymodbus mbpoll dpkg-dev desktop-file-utils
          clang libclang-rt-14-dev lintian help2man man-db libmodbus-dev
          qt6-charts-dev poppler-utils)
# Only ./dev.sh coverage needs these; CI's test path installs none of them.
coverage_packages=(gcovr)
# The Windows build and its tests under wine.
windows_packages=(g++-mingw-w64-x86-64-posix wine wine64 nsis ninja-build xz-utils
                  xvfb xauth xdotool imagemagick)

# install_missing [PACKAGE...]: the packages above and any given.
install_missing() {
    local missing=()
    for p in "${packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y "${missing[@]}"
}

build() {
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build -j"$(nproc)"
}

# The link under AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer
# (clang), in a tree of its own: a smoke of each fuzz target
# (QUORVA_FUZZ_SECONDS each) and a shorter soak.
sanitized_checks() {
    CC=clang CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUORVA_FUZZ=ON -DQUORVA_FUZZ_SECONDS="${QUORVA_FUZZ_SECONDS:-30}"
    cmake --build build-sanitize -j"$(nproc)" --target fuzz_reply fuzz_exchange fuzz_ptyframing quorva_soak
    (cd build-sanitize && ctest -R '^(fuzz_.*_smoke|soak_sanitized)$' --output-on-failure)
}

# The Windows programs from the same tree: Qt for Windows from its source
# archives (cached, tools/windows/build-qt.sh), the cross build, the folder
# as installed, the installer and the zip.
windows_build() {
    install_missing "${windows_packages[@]}"
    local qt
    qt=$(tools/windows/build-qt.sh)
    cmake -G Ninja -S . -B build-windows -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DQUORVA_LINUX_BUILD="$PWD/build"
    cmake --build build-windows -j"$(nproc)"
    cmake --build build-windows --target windows_package
}

case "${1:-}" in
window)
    install_missing
    build
    exec ./build/src/ui/quorva --simulate
    ;;
test)
    install_missing
    build
    sanitized_checks
    cd build
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure
    ;;
mutants)
    install_missing
    exec tools/mutants.sh "${@:2}"
    ;;
coverage)
    install_missing "${coverage_packages[@]}"
    cmake -S . -B build-coverage -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ -DQUORVA_COVERAGE=ON
    cmake --build build-coverage -j"$(nproc)"
    exec tools/coverage.sh
    ;;
windows)
    windows_build
    ;;
windows-test)
    windows_build
    build # its simulator serves the programs end to end
    cd build-windows
    ctest --output-on-failure
    ;;
*)
    echo "usage: $0 window|test|mutants|coverage|windows|windows-test" >&2
    exit 2
    ;;
esac

#!/usr/bin/env bash
# Builds Qt 6.4.2 for 64-bit Windows (MinGW-w64) once, into a cache outside
# the tree, and prints the prefix it lives in. A second run with the same
# options finds it and builds nothing.
#
#   tools/windows/build-qt.sh [--print-prefix | --check-archives]
#
# The sources are the archives named in qt-sources.sha256, looked for in
# $QUORVA_QT_ARCHIVES (default /work/shared/third-party). They are Qt's
# official 6.4.2 source archives (download.qt.io/archive/qt/6.4/6.4.2/submodules/:
# qtserialport-everywhere-src-6.4.2.tar.xz, qtcharts-everywhere-src-6.4.2.tar.xz)
# and Debian's original archive of qt6-base (`apt-get source qt6-base` on
# Debian 12: qt6-base_6.4.2+dfsg.orig.tar.xz); their sums are checked first.
#
# The host's moc, rcc and uic (Debian's Qt 6.4.2, qt6-base-dev) serve the
# cross build. Only what QUORVA needs is built: Core, Gui (with the PDF
# writer), Widgets, Test, the Windows platform plugin and styles, Serial Port
# and Charts. The build runs at the lowest priority (QUORVA_QT_JOBS jobs, 2 by
# default).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
archives="${QUORVA_QT_ARCHIVES:-/work/shared/third-party}"
cache_root="${QUORVA_CACHE:-$HOME/.cache/quorva}"
jobs="${QUORVA_QT_JOBS:-2}"
qt_version=6.4.2

# Only the modules and features the programs and their tests use. OpenGL
# stays on: the Windows platform plugin of 6.4.2 does not compile without it.
# The tablet header (wintab.h) is not in Debian's archive, so no tablet events.
qtbase_options=(
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_vulkan=OFF -DINPUT_openssl=no
    -DFEATURE_tabletevent=OFF -DFEATURE_network=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_pkg_config=OFF
    -DFEATURE_testlib=ON -DFEATURE_widgets=ON
    -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release
)
module_options=(-DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DCMAKE_BUILD_TYPE=Release)

# The cache is keyed by the version, the options, the toolchain and the
# archives: a change to any of them builds a new one beside the old.
key=$( { echo "$qt_version"; printf '%s\n' "${qtbase_options[@]}" "${module_options[@]}";
         cat "$here/../../cmake/mingw-w64-x86_64.cmake" "$here/qt-sources.sha256"; } |
       sha256sum | cut -c1-12)
prefix="$cache_root/qt-$qt_version-mingw-$key"
stamp="$prefix/.quorva-qt-complete"

if [ "${1:-}" = --print-prefix ]; then
    echo "$prefix"
    exit 0
fi

# The archives are all there and as published; status 3 otherwise.
check_archives() {
    for archive in $(awk '{print $2}' "$here/qt-sources.sha256"); do
        if [ ! -f "$archives/$archive" ]; then
            echo "build-qt.sh: $archives/$archive is missing; set QUORVA_QT_ARCHIVES to the folder holding" \
                 "the archives named in tools/windows/qt-sources.sha256 (see the head of this script)" >&2
            exit 3
        fi
    done
    (cd "$archives" && sha256sum --quiet -c "$here/qt-sources.sha256") || {
        echo "build-qt.sh: the Qt source archives in $archives do not match tools/windows/qt-sources.sha256" >&2
        exit 3
    }
}
if [ "${1:-}" = --check-archives ]; then
    check_archives
    exit 0
fi

# The licence texts and third-party notices the package must carry, from the
# same archives: Qt's licences, and each library bundled in Qt Base with its
# attribution (src/**/qt_attribution.json and the files beside it).
collect_licences() {
    local unpacked="$cache_root/licences-$key"
    rm -rf "$unpacked" "$prefix/licenses.new"
    mkdir -p "$unpacked" "$prefix/licenses.new"
    tar -C "$unpacked" -xJf "$archives/qt6-base_$qt_version+dfsg.orig.tar.xz" --wildcards \
        '*/LICENSES/*' '*/src/*qt_attribution.json' '*/src/*LICEN[CS]E*' '*/src/*COPYING*' \
        '*/3rdparty/freetype/docs/FTL.TXT' '*/3rdparty/freetype/docs/GPLv2.TXT'
    for module in qtserialport qtcharts; do
        tar -C "$unpacked" -xJf "$archives/$module-everywhere-src-$qt_version.tar.xz" --wildcards \
            '*/LICENSES/*'
    done
    local base="$unpacked/qtbase-everywhere-src-$qt_version"
    cp "$base"/LICENSES/{LGPL-3.0-only,GPL-3.0-only,GPL-2.0-only}.txt "$prefix/licenses.new/"
    cp -r "$base/src" "$prefix/licenses.new/qtbase" # only these files were unpacked
    for module in qtserialport qtcharts; do
        cp -r "$unpacked/$module-everywhere-src-$qt_version/LICENSES" "$prefix/licenses.new/$module"
    done
    rm -rf "$unpacked" "$prefix/licenses"
    mv "$prefix/licenses.new" "$prefix/licenses"
}

mkdir -p "$cache_root"
exec 9>"$cache_root/qt-$qt_version-mingw-$key.lock"
flock 9    # one build at a time; a second run waits and then finds the cache
# Qt's own texts in Portuguese: Debian's translation of the same Qt version
# (qt6-translations-l10n), where the Windows Qt looks for its translations.
add_translations() {
    mkdir -p "$prefix/translations"
    cp /usr/share/qt6/translations/qtbase_pt_BR.qm "$prefix/translations/"
}

if [ -f "$stamp" ]; then
    [ -d "$prefix/licenses" ] || collect_licences
    [ -f "$prefix/translations/qtbase_pt_BR.qm" ] || add_translations
    echo "Qt $qt_version for Windows: $prefix (cached)" >&2
    echo "$prefix"
    exit 0
fi

check_archives
# The build's own output goes to standard error: standard output carries
# only the prefix, for the caller to take.
exec 3>&1 1>&2

work="$cache_root/work-qt-$qt_version-mingw-$key"
rm -rf "$work" "$prefix"
mkdir -p "$work"
# The toolchain file goes with the cache: Qt's own toolchain file, which every
# later build loads, names it by its path.
cp "$here/../../cmake/mingw-w64-x86_64.cmake" "$prefix.toolchain.cmake"
start=$(date +%s)
for archive in $(awk '{print $2}' "$here/qt-sources.sha256"); do
    tar -C "$work" -xJf "$archives/$archive"
done

nice -n 19 cmake -G Ninja -S "$work/qtbase-everywhere-src-$qt_version" -B "$work/build-qtbase" \
    -DCMAKE_TOOLCHAIN_FILE="$prefix.toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    "${qtbase_options[@]}"
nice -n 19 cmake --build "$work/build-qtbase" -j"$jobs"
cmake --install "$work/build-qtbase"

for module in qtserialport qtcharts; do
    nice -n 19 cmake -G Ninja -S "$work/$module-everywhere-src-$qt_version" -B "$work/build-$module" \
        -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/Qt6/qt.toolchain.cmake" "${module_options[@]}"
    nice -n 19 cmake --build "$work/build-$module" -j"$jobs"
    cmake --install "$work/build-$module"
done

collect_licences
add_translations
echo "built in $(( $(date +%s) - start )) s on $(nproc) cores, $jobs jobs, $(date -u +%FT%TZ)" > "$stamp"
rm -rf "$work"
echo "Qt $qt_version for Windows: $prefix ($(cat "$stamp"))"
echo "$prefix" >&3

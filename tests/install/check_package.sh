#!/bin/sh
# Builds the Debian package of the build with CPack and checks that it holds every installed file
# under /usr and names its dependencies. With TAVLO_TEST_PACKAGE_INSTALL=1 (as root, on Debian) it
# also installs the package with apt, runs the installed programs, removes the package and checks
# that nothing of it is left.
# usage: check_package.sh BUILD_DIR        (exit 77, skipped, without dpkg-deb)
set -eu
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
problem() { echo "FAIL: $*"; fail=1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/tavlo_*.deb)

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\/usr\//, "", $6); print $6 }' | LC_ALL=C sort >"$work/found"
LC_ALL=C sort "$here/installed-files" >"$work/expected"
diff -u "$work/expected" "$work/found" || problem "the package's files differ from the installed tree"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libstdc++6 libqt5core5a libqt5gui5 libqt5widgets5; do
    echo "$depends" | grep -q "$package" || problem "Depends lacks $package: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = qttranslations5-l10n ] || problem "Recommends"
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $depends"

if [ "${TAVLO_TEST_PACKAGE_INSTALL:-0}" = 1 ]; then
    [ "$(id -u)" = 0 ] || { echo "TAVLO_TEST_PACKAGE_INSTALL needs root"; exit 1; }
    DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" || problem "apt-get install"
    [ "$(/usr/bin/tavlo-engine version)" = "$("$build/tavlo-engine" version)" ] ||
        problem "installed tavlo-engine version"
    grep -qx application/x-tavlo-observations /usr/share/mime/types ||
        problem "the MIME database did not take the package's types"
    DEBIAN_FRONTEND=noninteractive apt-get remove -y tavlo || problem "apt-get remove"
    while read -r file; do
        [ ! -e "/usr/$file" ] || problem "/usr/$file left after removal"
    done <"$here/installed-files"
    for folder in /usr/lib/tavlo /usr/share/tavlo /usr/share/doc/tavlo; do
        [ ! -e "$folder" ] || problem "$folder left after removal"
    done
    ! grep -q x-tavlo /usr/share/mime/types || problem "MIME types left after removal"
    # Removal keeps dpkg's record of the package's scripts; purging drops that too.
    dpkg --purge tavlo >/dev/null || problem "dpkg --purge"
fi
[ $fail -eq 0 ] && echo "package OK"
exit $fail

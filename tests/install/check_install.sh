#!/bin/sh
# Installs the build into a temporary DESTDIR under /usr and checks the tree: exactly the files of
# installed-files, runnable programs, the engine library with its entry points where the workbench
# looks for it (../lib/tavlo from bin/), readable manual pages, MIME types the desktop's database
# accepts, and, when their validators are installed, the desktop entry and the AppStream metainfo.
# usage: check_install.sh BUILD_DIR
set -eu
build=$1
here=$(cd "$(dirname "$0")" && pwd)
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
fail=0
problem() { echo "FAIL: $*"; fail=1; }

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
root=$dest/usr

(cd "$root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) >"$dest/found"
LC_ALL=C sort "$here/installed-files" >"$dest/expected"
diff -u "$dest/expected" "$dest/found" >"$dest/diff" || problem "installed tree differs:
$(cat "$dest/diff")"

for program in tavlo tavlo-engine; do
    [ -x "$root/bin/$program" ] || problem "bin/$program is not executable"
done
[ "$("$root/bin/tavlo-engine" version)" = "$("$build/tavlo-engine" version)" ] ||
    problem "the installed tavlo-engine does not print the built version"
version=$(QT_QPA_PLATFORM=offscreen "$root/bin/tavlo" --version)
case $version in *5.6.2*) ;; *) problem "tavlo --version printed '$version'" ;; esac

engine="$root/bin/../lib/tavlo/libtavlo.so"
for entry in tavlodll_process tavlodll_convert tavlodll_geoid tavlodll_newcfg tavlodll_version; do
    nm -D --defined-only "$engine" | grep -qw "$entry" || problem "libtavlo.so does not export $entry"
done

for page in tavlo tavlo-engine; do
    gzip -t "$root/share/man/man1/$page.1.gz" || problem "$page.1.gz is not gzip"
    if command -v man >/dev/null; then
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=100 man --warnings -l "$root/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
        [ -z "$warnings" ] || problem "man $page: $warnings"
    fi
done

if command -v update-mime-database >/dev/null; then
    mkdir -p "$dest/mime/packages"
    cp "$root/share/mime/packages/fr.tavlo.Tavlo.xml" "$dest/mime/packages/"
    update-mime-database "$dest/mime" >"$dest/mime.log" 2>&1 ||
        problem "update-mime-database refused the MIME types: $(cat "$dest/mime.log")"
    for type in observations configuration results drawing; do
        grep -qx "application/x-tavlo-$type" "$dest/mime/types" ||
            problem "MIME type application/x-tavlo-$type not registered"
    done
fi
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/share/applications/fr.tavlo.Tavlo.desktop" ||
        problem "desktop-file-validate"
else
    echo "desktop-file-validate is not installed (desktop-file-utils): desktop entry not validated"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/share/metainfo/fr.tavlo.Tavlo.metainfo.xml" ||
        problem "appstreamcli validate"
else
    echo "appstreamcli is not installed (appstream): metainfo not validated"
fi

[ $fail -eq 0 ] && echo "installed tree OK"
exit $fail

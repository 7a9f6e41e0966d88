#!/usr/bin/env bash
# Builds the Debian package from the build tree (nothing is rebuilt that is up to date) and
# checks it as Debian's tools see it: lintian finds no error, the menu entry and the
# software-centre metadata validate, the control fields, versions and files are where a system
# and a desktop look for them. Leaves the package at OUTPUT_DEB for the tests that run it.
#   package_test.sh CPACK BUILD_DIR PROJECT_VERSION OUTPUT_DEB
set -euo pipefail
cpack=$1 build=$2 version=$3 out=$4
command -v dpkg-deb >/dev/null || { echo "not a Debian system: dpkg-deb is missing"; exit 77; }
for tool in dpkg-shlibdeps lintian desktop-file-validate appstreamcli identify file objdump; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/test installs it)"; exit 1; }
done

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
(cd "$build" && "$cpack" -G DEB -B "$dir" >"$dir/cpack.log" 2>&1) || { cat "$dir/cpack.log"; exit 1; }
debs=("$dir"/tarv_*.deb)
deb=${debs[0]}
root=$dir/root
dpkg-deb -x "$deb" "$root"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
field() { dpkg-deb --field "$deb" "$1"; }
expect_field() {   # expect_field NAME VALUE
    [ "$(field "$1")" = "$2" ] || fail "$1 is '$(field "$1")', expected '$2'"
}

expect_field Package tarv
expect_field Version "$version-1"
expect_field Section sound
expect_field Recommends "fluid-soundfont-gm | timgm6mb-soundfont"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
# Computed by dpkg-shlibdeps from the libraries the program and its synthesizer module link.
depends=$(field Depends)
for package in libfluidsynth3 librtmidi libqt6gui6 libqt6widgets6 libqt6svg6; do
    [[ $depends == *"$package"* ]] || fail "Depends lacks $package: $depends"
done

# A new version needs its own entries in the changelog and in the software centre's releases.
zcat "$root/usr/share/doc/tarv/changelog.Debian.gz" | sed -n 1p | grep -q "^tarv ($version-1) " \
    || fail "changelog.Debian.gz does not start with version $version-1"
metainfo=$root/usr/share/metainfo/io.github.tarv_keys.tarv.metainfo.xml
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
grep -q '^License: GPL-3+$' "$root/usr/share/doc/tarv/copyright" || fail "the copyright file names no GPL-3+"

file "$root/usr/bin/tarv" | grep -q ', stripped' || fail "usr/bin/tarv is not stripped"
# The synthesizer is a module where the program looks for it (../lib/tarv beside usr/bin), and
# only the module needs FluidSynth: the program starts without it.
module=$root/usr/lib/tarv/tarv-synth.so
file "$module" | grep -q 'shared object.*, stripped' || fail "usr/lib/tarv/tarv-synth.so is missing or not stripped"
objdump -p "$root/usr/bin/tarv" | grep -q 'NEEDED.*libfluidsynth' && fail "usr/bin/tarv links FluidSynth"
objdump -p "$module" | grep -q 'NEEDED.*libfluidsynth' || fail "the synthesizer module does not link FluidSynth"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/tarv.svg" ] || fail "no scalable icon"
for size in 48 128 256; do
    png=$root/usr/share/icons/hicolor/${size}x$size/apps/tarv.png
    [ "$(identify -format '%wx%h' "$png" 2>/dev/null)" = "${size}x$size" ] || fail "no ${size}x$size icon"
done

desktop-file-validate "$root/usr/share/applications/tarv.desktop" || fail "desktop-file-validate"
# validate-tree also checks that the metainfo's launchable and icon exist in the tree.
appstream=$(appstreamcli validate-tree --no-net "$root" 2>&1) || fail "appstreamcli validate-tree"
echo "$appstream"
if grep -E '^[EW]: ' <<<"$appstream"; then fail "appstreamcli reports errors or warnings"; fi

# lintian's warnings are printed for the record; only errors fail.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

[ "$failures" -eq 0 ] || exit 1
cp "$deb" "$out"
echo "$(basename "$deb") checked and saved to $out"

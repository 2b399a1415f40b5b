#!/usr/bin/env bash
# Builds the Debian package into a temporary folder and checks it: its name,
# version and architecture, dependencies computed from the programs' libraries,
# the files it carries, and that the programs inside run.
#
# Usage: check-deb.sh BUILD_DIR HAVE_WINDOW CPACK
set -euo pipefail
source "$(dirname "$0")/common.sh"

build=$1
window=$(is_on "$2")
cpack=$3
for tool in "$cpack" dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/sga-*.deb)
((${#debs[@]} == 1)) && [[ -f ${debs[0]} ]] || fail "expected one sga-*.deb, found: $(ls "$work")"
deb=${debs[0]}
field() { dpkg-deb -f "$deb" "$1"; }

arch=$(dpkg --print-architecture)
[[ $(basename "$deb") == sga-*-"$arch".deb ]] || fail "file name $(basename "$deb")"
[[ $(field Package) == sga ]] || fail "package name $(field Package)"
[[ $(field Architecture) == "$arch" ]] || fail "architecture $(field Architecture)"
version=$("$build/cli/sga" --version)
[[ $(field Version) == "$version".* || $(field Version) == "$version" ]] ||
    fail "package version $(field Version) does not match sga --version $version"
[[ -n $(field Maintainer) && -n $(field Description) ]] || fail "maintainer or description missing"

# Dependencies come from the libraries the programs link (dpkg-shlibdeps):
# the C++ runtime always, Qt for the window, and nothing but packages that
# Debian knows.
depends=$(field Depends)
needed=(libc6 libstdc++6)
((window)) && needed+=(libqt6core6 libqt6widgets6)
for package in "${needed[@]}"; do
    [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] ||
        fail "Depends lacks $package: $depends"
done
for package in $(sed 's/([^)]*)//g; s/[,|]/ /g' <<<"$depends"); do
    apt-cache show "$package" >/dev/null 2>&1 || dpkg-query -W "$package" >/dev/null 2>&1 ||
        fail "Depends names $package, which is no Debian package"
done

dpkg-deb -c "$deb" | awk '{ print $NF }' | sed 's,^\./,/,' >"$work/contents"
carries() { grep -q -x -- "$1" "$work/contents" || fail "package lacks $1"; }
carries /usr/bin/sga
carries /usr/share/mime/packages/sga-archives.xml
carries /usr/share/man/man1/sga.1.gz
if ((window)); then
    carries /usr/bin/sgaview
    carries /usr/share/man/man1/sgaview.1.gz
    carries /usr/share/applications/sgaview.desktop
    carries /usr/share/icons/hicolor/scalable/apps/sgaview.svg
    carries /usr/share/icons/hicolor/48x48/apps/sgaview.png
fi
outside=$(grep -v -x -E '/|/usr(/.*)?' "$work/contents" || true)
[[ -z $outside ]] || fail "files outside /usr: $(xargs <<<"$outside")"

# The programs inside are stripped and run.
dpkg-deb -x "$deb" "$work/unpacked"
file -b "$work/unpacked/usr/bin/sga" | grep -q ', stripped' || fail "sga is not stripped"
[[ $("$work/unpacked/usr/bin/sga" --version) == "$version" ]] || fail "packaged sga does not run"

echo "package OK: $(basename "$deb"), $(stat -c %s "$deb") bytes; Depends: $depends"

#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a desktop needs:
# the programs, the manual pages, the desktop entry (valid, pointing at files
# that were installed), the icon in every size, and MIME types that the shared
# database built from the installed definition gives to archive files.
#
# Usage: check-install.sh BUILD_DIR HAVE_WINDOW MIME_QUERY "ICON SIZES"
#   HAVE_WINDOW  ON when sgaview is built
#   MIME_QUERY   a program printing the MIME type of each file argument,
#                or empty to ask gio instead
set -euo pipefail
source "$(dirname "$0")/common.sh"

build=$1
window=$(is_on "$2")
mimeQuery=$3
read -r -a iconSizes <<<"$4"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dest=$work/root
DESTDIR=$dest "${CMAKE:-cmake}" --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install failed"; }
usr=$dest/usr
share=$usr/share

# --- programs and manual pages
expect_executable "$usr/bin/sga"
version=$("$usr/bin/sga" --version) || fail "installed sga --version failed"
[[ $version =~ ^[0-9]+\.[0-9]+$ ]] || fail "installed sga --version printed \"$version\""
pages=(sga)
if ((window)); then
    expect_executable "$usr/bin/sgaview"
    pages+=(sgaview)
else
    [[ ! -e $usr/bin/sgaview ]] || fail "sgaview installed although it is not built"
fi
for page in "${pages[@]}"; do
    installed=$(compgen -G "$share/man/man1/$page.1*" | head -n 1 || true)
    [[ -n $installed ]] || fail "manual page $page(1) not installed"
    # The installed page, compressed or not, holds the page's source.
    text=$(gzip -dcf "$installed") || fail "$installed is not a valid gzip file"
    [[ $text == "$(cat "$(dirname "$0")/../../packaging/man/$page.1")" ]] ||
        fail "$installed differs from its source"
done

# --- MIME definition
mimeXml=$share/mime/packages/sga-archives.xml
expect_file "$mimeXml"
if command -v xmllint >/dev/null; then
    xmllint --noout "$mimeXml" || fail "$mimeXml is not well-formed"
fi
mapfile -t definedTypes < <(grep -o 'mime-type type="[^"]*"' "$mimeXml" | cut -d'"' -f2)
((${#definedTypes[@]} == 2)) || fail "expected two archive types, found: ${definedTypes[*]}"

if ((window)); then
    # --- desktop entry: valid, and everything it names is installed
    desktop=$share/applications/sgaview.desktop
    expect_file "$desktop"
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
    entry() { sed -n "s/^$1=//p" "$desktop"; }
    [[ $(entry Exec) == "sgaview %f" ]] || fail "Exec is \"$(entry Exec)\""
    [[ -x $usr/bin/$(entry TryExec) ]] || fail "TryExec names no installed program"
    IFS=';' read -r -a handled <<<"$(entry MimeType)"
    for type in "${definedTypes[@]}"; do
        [[ " ${handled[*]} " == *" $type "* ]] || fail "desktop entry does not handle $type"
    done
    for type in "${handled[@]}"; do
        [[ " ${definedTypes[*]} " == *" $type "* ]] || fail "desktop entry names unknown type $type"
    done

    # --- icon: SVG and every PNG size, each PNG exactly its size
    icon=$(entry Icon)
    expect_file "$share/icons/hicolor/scalable/apps/$icon.svg"
    if command -v xmllint >/dev/null; then
        xmllint --noout "$share/icons/hicolor/scalable/apps/$icon.svg" ||
            fail "icon SVG is not well-formed"
    fi
    for n in "${iconSizes[@]}"; do
        png=$share/icons/hicolor/${n}x${n}/apps/$icon.png
        expect_file "$png"
        described=$(file -b "$png")
        [[ $described == "PNG image data, $n x $n,"* ]] || fail "$png: $described"
    done
fi

# --- the MIME database built from the installed definition
update-mime-database "$share/mime" || fail "update-mime-database failed"
samples=$work/samples
mkdir -p "$samples" "$work/empty-home"
version2='_ARCHIVE\002\000\000\000'
version1='_ARCHIVE\001\000\000\000'
printf "$version2"'Data\000' >"$samples/mod.big"          # by name and content
printf "$version2"'Data\000' >"$samples/no-extension-v2"   # content only
printf "$version1"'Data\000' >"$samples/no-extension-v1"
printf 'not an archive\n' >"$samples/UPPER.BIG"          # a name alone is enough
printf 'not an archive\n' >"$samples/creatures.sga"
printf 'just some text\n' >"$samples/notes"
printf 'x_ARCHIVE\002\000\000\000' >"$samples/magic-not-at-start"

if [[ -n $mimeQuery ]]; then
    query() { "$mimeQuery" "$@"; }
elif command -v gio >/dev/null; then
    query() {
        for f in "$@"; do
            gio info -a standard::content-type "$f" | sed -n 's/^ *standard::content-type: //p'
        done
    }
else
    echo "no way to query the MIME database (neither a Qt query program nor gio)"
    exit 77
fi
# Only the temporary tree: neither the machine's nor the user's database.
mapfile -t types < <(XDG_DATA_HOME=$work/empty-home XDG_DATA_DIRS=$share query \
    "$samples/mod.big" "$samples/no-extension-v2" "$samples/no-extension-v1" \
    "$samples/UPPER.BIG" "$samples/creatures.sga" "$samples/notes" \
    "$samples/magic-not-at-start")
big=application/x-hw2-big-archive
sga=application/x-ic-sga-archive
expected=("$big" "$big" "$sga" "$big" "$sga")
names=(mod.big no-extension-v2 no-extension-v1 UPPER.BIG creatures.sga)
for i in "${!expected[@]}"; do
    [[ ${types[i]:-} == "${expected[i]}" ]] ||
        fail "MIME type of ${names[i]} is \"${types[i]:-}\", expected ${expected[i]}"
done
for i in 5 6; do
    [[ ${types[i]:-} != "$big" && ${types[i]:-} != "$sga" ]] ||
        fail "a file that is no archive was typed ${types[i]}"
done

echo "installed layout OK (window: $window, icon sizes: ${iconSizes[*]})"

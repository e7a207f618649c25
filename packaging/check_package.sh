#!/bin/bash
# Checks a built plmview .deb the way a fresh installation would meet it:
# its contents, lintian, the desktop entry and AppStream data, the file types
# a file manager derives from it, and the programs unpacked into a throw-away
# root (as root such a bin folder is writable, like /usr/bin).
#   packaging/check_package.sh build/plmview_1.0.0_amd64.deb [examples/sample_capture.txt]
set -euo pipefail

deb=$1
capture=${2:-$(dirname "$0")/../examples/sample_capture.txt}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

step() { printf '== %s\n' "$*"; }
fail() {
    printf 'FAILED: %s\n' "$*" >&2
    failures=$((failures + 1))
}

step "contents of $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb" | awk '{print $6}' | tee "$work/contents"
expected=(
    ./usr/bin/PLMView ./usr/bin/plmtool
    ./usr/share/applications/plmview.desktop
    ./usr/share/metainfo/org.plmview.plmview.metainfo.xml
    ./usr/share/mime/packages/plmview.xml
    ./usr/share/man/man1/PLMView.1.gz ./usr/share/man/man1/plmtool.1.gz
    ./usr/share/bash-completion/completions/plmtool
    ./usr/share/doc/plmview/copyright ./usr/share/doc/plmview/changelog.gz
    ./usr/share/icons/hicolor/scalable/apps/plmview.svg
)
for size in 16 24 32 48 64 128 256; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/plmview.png")
done
for path in "${expected[@]}"; do
    grep -qxF "$path" "$work/contents" || fail "missing $path"
done
depends=$(dpkg-deb --field "$deb" Depends)
for package in fonts-ipafont-gothic qt6-translations-l10n libqt6widgets6 libqt6printsupport6 libpq5; do
    grep -qw "$package" <<<"$depends" || fail "Depends lacks $package"
done

step "lintian"
# Errors fail the package; warnings and notes are shown. The time limit keeps a
# stuck run from holding the whole test.
timeout 300 lintian --fail-on error "$deb" >"$work/lintian" 2>&1 || fail "lintian found errors"
grep -v 'running with root privileges' "$work/lintian" || true

root=$work/root
dpkg-deb --extract "$deb" "$root"

step "desktop entry and AppStream data"
desktop-file-validate "$root/usr/share/applications/plmview.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.plmview.plmview.metainfo.xml" ||
    fail "appstreamcli validate"

step "plmtool --help from the unpacked package"
usage=$("$root/usr/bin/plmtool" --help) || fail "plmtool --help"
grep -q '^usage: plmtool' <<<"$usage" || fail "plmtool --help printed no usage"

step "first run of the unpacked plmtool keeps its files per user"
home=$work/home
mkdir -p "$home"
run() { env -u PLMVIEW_HOME -u XDG_DATA_HOME HOME="$home" "$root/usr/bin/plmtool" "$@"; }
run register "$capture" 顧客 回路 測定 >/dev/null || fail "plmtool register"
run export 顧客 "$work/customer.QBX" || fail "plmtool export"
[[ -f $home/.local/share/PLMView/DATA/QBX.DAT ]] || fail "no data file in ~/.local/share/PLMView"
leftovers=$(find "$root/usr/bin" -mindepth 1 ! -name PLMView ! -name plmtool)
[[ -z $leftovers ]] || fail "files written beside the installed programs: $leftovers"

step "file types and the program that opens them"
share=$work/share
mkdir -p "$share/mime" "$share/applications"
cp -r "$root/usr/share/mime/packages" "$share/mime/"
cp "$root/usr/share/applications/plmview.desktop" "$share/applications/"
update-mime-database "$share/mime" 2>/dev/null
update-desktop-database "$share/applications"
cp "$work/customer.QBX" "$work/noname"
cp "$capture" "$work/capture"
content_type() {
    XDG_DATA_HOME=$share gio info --attributes=standard::content-type "$1" | awk '/content-type/ {print $2}'
}
for pair in customer.QBX:application/x-plmview-export noname:application/x-plmview-export \
    capture:application/x-plmview-capture; do
    file=${pair%%:*} type=${pair#*:}
    actual=$(content_type "$work/$file")
    [[ $actual == "$type" ]] || fail "$file is '$actual', not $type"
done
for type in application/x-plmview-export application/x-plmview-capture; do
    # A desktop entry counts only while its program is found on the PATH.
    offered=$(PATH=$root/usr/bin:$PATH XDG_DATA_HOME=$share gio mime "$type")
    grep -q plmview.desktop <<<"$offered" || fail "plmview.desktop is not offered for $type"
done

step "bash completion"
# bash_completion itself does not run under set -u, hence a shell of its own.
completion=$(COMPLETION=$root/usr/share/bash-completion/completions/plmtool bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$COMPLETION"
    COMP_WORDS=(plmtool --home /tmp re) COMP_CWORD=3 COMP_LINE="plmtool --home /tmp re" COMP_POINT=22
    _plmtool plmtool re /tmp
    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "')
[[ $completion == "receive register report restore " ]] || fail "completion of 're' gave '$completion'"

if ((failures > 0)); then
    printf '%d package check(s) failed\n' "$failures" >&2
    exit 1
fi
echo "package checks passed"

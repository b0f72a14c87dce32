#!/usr/bin/env bash
# The packages as a Windows user gets them, each in a fresh Wine prefix:
#  - setup.exe /S installs for the user alone: programs, README and licence in the user's
#    programs folder, Start-menu shortcuts, an entry among the installed programs; the
#    installed programs start and show their main windows. Uninstall.exe /S then removes
#    programs, shortcuts and the entry, and keeps the saved sites (silently it does not ask);
#    run with its pages, it removes them when the user answers Yes.
#  - the zip, unpacked into a folder whose name has a blank and a letter outside ASCII:
#    every program in it starts from there and shows its main window.
#   PackageTest.sh BUILD_DIR
# BUILD_DIR is a Windows build tree; tools/package packs its programs into BUILD_DIR/dist.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
export WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES="mscoree=;mshtml="
window_wait=60

# Inside xvfb-run: start the program and wait for a window of its executable whose title
# holds the text.
if [[ ${1:-} == --show-inside ]]; then
    exe=$2 title=$3
    cd "$(dirname "$exe")"
    wine "$exe" >/dev/null 2>&1 &
    deadline=$((SECONDS + window_wait))
    name=$(basename "$exe")
    until xwininfo -root -tree 2>/dev/null | grep -iF "(\"$name\"" | grep -qF -- "$title"; do
        if ((SECONDS >= deadline)); then
            echo "no window \"$title\" of $name within $window_wait s; its windows:"
            xwininfo -root -tree 2>/dev/null | grep -iF "(\"$name\"" || echo "none"
            import -window root "$4" 2>/dev/null && echo "the screen: $4"
            wineserver -k || true
            exit 1
        fi
        sleep 0.5
    done
    wineserver -k || true
    exit 0
fi

# Inside xvfb-run: the uninstaller with its pages, answering Yes to removing the settings.
if [[ ${1:-} == --uninstall-inside ]]; then
    uninstaller=$2 press=$3
    wine "$uninstaller" >/dev/null 2>&1 &
    for button in Uninstall Yes Close; do
        wine "$press" "Uninstall" "$button" || { wineserver -k; exit 1; }
    done
    wineserver -w
    exit 0
fi

build=$(realpath "$1")
work=$build/package-test
dist=$build/dist
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# The programs in the packages and a text of each one's main window title.
programs=(
    "Orvid.exe|Vantrel FTP Client"
    "Orlet.exe|- Orlet"
)

# A Wine server still running from a command without a display would keep the program's
# windows off this X server; it ends first.
shows_window() {
    wineserver -w
    xvfb-run -a -s "-screen 0 1024x768x24" "$0" --show-inside "$1" "$2" "$work/screen-$(basename "$1" .exe).png" 2>&1
}

# every_program_shows_window DIR HOW: each program in DIR starts and shows its window.
every_program_shows_window() {
    local entry exe title why
    for entry in "${programs[@]}"; do
        IFS='|' read -r exe title <<<"$entry"
        if why=$(shows_window "$1/$exe" "$title"); then
            pass "$exe $2 shows its main window"
        else
            fail "$exe $2: $why"
        fi
    done
}

fresh_prefix() {
    export WINEPREFIX=$work/$1
    rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
    "$root/tests/support/wine-prefix" "$WINEPREFIX"
    profile=$WINEPREFIX/drive_c/users/$(id -un)
}

rm -rf "$work"
mkdir -p "$work"
"$root/tools/package" --build-dir "$build" --out "$dist" >"$work/package.log" 2>&1 ||
    { cat "$work/package.log"; exit 1; }
version=$(head -n 1 "$root/VERSION")
setup=$dist/orvid-$version-setup.exe
zip=$dist/orvid-$version-win32.zip

echo "== setup /S in a fresh prefix"
fresh_prefix setup-prefix
installed=$profile/AppData/Local/Programs/Orvid
menu=$profile/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Orvid
wine "$setup" /S
wineserver -w
for entry in "${programs[@]}"; do
    IFS='|' read -r exe title <<<"$entry"
    [[ -f $installed/$exe ]] && pass "installed $exe" || fail "no $installed/$exe"
    [[ -f $menu/${exe%.exe}.lnk ]] && pass "shortcut for $exe" || fail "no Start-menu shortcut ${exe%.exe}.lnk in $menu"
done
for file in README.txt LICENSE.txt Uninstall.exe; do
    [[ -f $installed/$file ]] || fail "no $installed/$file"
done
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvid'
wine reg query "$uninstall_key" /v DisplayVersion 2>/dev/null | grep -q "$version" &&
    pass "listed among the installed programs as $version" || fail "no uninstall entry with version $version"
[[ ! -e $WINEPREFIX/drive_c/Program\ Files/Orvid ]] || fail "installed into Program Files"
every_program_shows_window "$installed" "installed"

# A saved site, which a silent uninstall must keep.
wine "$build/tools/demosite.exe" add "My server" ftp.example.org 21 me secret >/dev/null
wine "$installed/Uninstall.exe" /S
# The uninstaller runs from a copy of itself in the temporary folder and returns at once.
wineserver -w
[[ -z $(ls -A "$installed" 2>/dev/null) ]] && pass "uninstall removed the program folder" ||
    fail "left in $installed: $(ls -A "$installed")"
[[ ! -e $menu ]] && pass "uninstall removed the shortcuts" || fail "left in the Start menu: $(ls -A "$menu")"
wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "the uninstall entry is left" || pass "uninstall entry removed"
wine reg query 'HKCU\Software\FTPClient\Sites' /v "My server" >/dev/null 2>&1 &&
    pass "the saved site is kept by a silent uninstall" || fail "a silent uninstall removed the saved sites"

wine "$setup" /S
wineserver -w
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --uninstall-inside "$installed/Uninstall.exe" "$build/tools/pressbutton.exe" ||
    fail "could not go through the uninstaller's pages"
[[ -z $(ls -A "$installed" 2>/dev/null) ]] || fail "the uninstaller's pages left $(ls -A "$installed")"
wine reg query 'HKCU\Software\FTPClient' >/dev/null 2>&1 && fail "Yes to removing the settings kept them" ||
    pass "Yes to removing the settings removes them"

echo "== the zip in a fresh prefix"
fresh_prefix zip-prefix
folder="$WINEPREFIX/drive_c/Tools für FTP"
mkdir -p "$folder"
unzip -q "$zip" -d "$folder"
every_program_shows_window "$folder/orvid-$version" "unpacked from the zip"
wineserver -w

((failures == 0)) || { echo "$failures failed"; exit 1; }

#!/bin/sh
# Builds the Debian package from ./build, installs it with apt-get as a user
# would, checks the installed program, desktop entry and metainfo as a
# non-root user, and removes the package again. Run as root or with sudo,
# after scripts/test.sh.
set -e
cd "$(dirname "$0")/.."
SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

(cd build && cpack -G DEB)
deb=$(ls build/trapezon_*_amd64.deb)
[ "$(basename "$deb")" = trapezon_2.1.0_amd64.deb ]

user=trapezon-ci
cleanup() {
    $SUDO apt-get remove -y trapezon >/dev/null 2>&1 || true
    id "$user" >/dev/null 2>&1 && $SUDO userdel -r "$user" 2>/dev/null || true
}
trap cleanup EXIT

$SUDO apt-get install -y --no-install-recommends "./$deb"

# Everything the program needs at run time is found without LD_LIBRARY_PATH.
if ldd /usr/bin/trapezon | grep -q 'not found'; then
    ldd /usr/bin/trapezon
    exit 1
fi
desktop-file-validate /usr/share/applications/ru.trapezon.Trapezon.desktop
appstreamcli validate --no-net /usr/share/metainfo/ru.trapezon.Trapezon.metainfo.xml
man -l /usr/share/man/man1/trapezon.1.gz >/dev/null
test -f /usr/share/trapezon/trapezon.qss
test -f /usr/share/icons/hicolor/scalable/apps/ru.trapezon.Trapezon.svg
test -f /usr/share/icons/hicolor/48x48/apps/ru.trapezon.Trapezon.png

# A non-root user brings a fresh file up to the structure; the installed
# program's folder is not writable, so its files go to ~/.local/share/trapezon.
id "$user" >/dev/null 2>&1 || $SUDO useradd -m "$user"
home=$(getent passwd "$user" | cut -d: -f6)
if [ "$(id -u)" -eq 0 ]; then AS_USER="runuser -u $user --"; else AS_USER="sudo -u $user"; fi
$AS_USER env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 sh -e -c '
    cd "$HOME"
    : > fresh.db
    out=$(trapezon --check-db "$HOME/fresh.db")
    echo "$out" | grep -q "Создана таблица SpisokDoc"
    sqlite3 fresh.db "SELECT NMNam FROM BPTools" | grep -qx SppS
    trapezon --check-db "$HOME/fresh.db" | grep -c . | grep -qx 0
' 2>&1 || { echo "check-db as $user failed"; exit 1; }

$SUDO apt-get remove -y trapezon
test ! -e /usr/bin/trapezon
echo "package test passed: $deb"

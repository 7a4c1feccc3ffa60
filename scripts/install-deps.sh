#!/bin/sh
# Installs every Debian 12 package the program and its tests need.
set -e
SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  build-essential cmake pkg-config \
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6sql6-sqlite libqt6svg6 \
  libsqlite3-dev sqlite3 \
  libqt6sql6-psql libpq-dev postgresql-15 postgresql-client-15 \
  libxlsxwriter-dev libzip-dev libpugixml-dev libfreexl-dev \
  libcanberra-dev sound-theme-freedesktop \
  qt6-translations-l10n \
  mdbtools-dev mdbtools \
  fonts-dejavu-core zbar-tools \
  libreoffice-calc-nogui libreoffice-writer-nogui \
  desktop-file-utils appstream dpkg-dev librsvg2-bin man-db \
  xvfb xauth

#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12, when something is missing.
set -euo pipefail
pkgs=(cmake g++ make pkg-config python3 qt6-base-dev libqt6sql6-mysql qt6-webengine-dev
      mariadb-server mariadb-client libmariadb-dev poppler-utils xxd x11-utils libxlsxwriter-dev
      python3-openpyxl fonts-liberation2 qt6-translations-l10n galera-4 mariadb-backup haproxy
      libsodium-dev libssl-dev openssl libzstd-dev iproute2 xvfb xdotool x11-apps imagemagick
      libjs-chart.js "$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

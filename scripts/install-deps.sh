#!/bin/sh
# Installs the Debian packages that building and testing need.
set -e
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
  cmake make g++ libgtest-dev \
  clang-14 libclang-rt-14-dev \
  qt6-base-dev qt6-translations-l10n fonts-dejavu-core \
  python3 fortunes-ru

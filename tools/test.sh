#!/bin/sh
# The whole test suite, from a fresh Debian or Ubuntu machine: the packages
# the build and the tests need (the README's apt-get line) installed where
# missing, then the build and every test, the long exhaustive comparisons
# included (cmake --workflow --preset test).
set -eu
cd "$(dirname "$0")/.."

missing=""
for header in zlib.h:zlib1g-dev lzma.h:liblzma-dev bzlib.h:libbz2-dev gtest/gtest.h:libgtest-dev; do
  [ -e "/usr/include/${header%%:*}" ] || missing="$missing ${header#*:}"
done
command -v gnuplot > /dev/null || missing="$missing gnuplot-nox"
command -v mandoc > /dev/null || missing="$missing mandoc"
for package in pybind11-dev python3-dev python3-numpy python3-pytest python3-pymatgen; do
  dpkg -s "$package" > /dev/null 2>&1 || missing="$missing $package"
done
if [ -n "$missing" ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get install -y -q $missing > /dev/null ||
    { $sudo apt-get update -q > /dev/null && $sudo apt-get install -y -q $missing > /dev/null; }
fi

exec cmake --workflow --preset test

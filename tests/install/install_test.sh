#!/usr/bin/env bash
# Installs the build into a temporary prefix and starts the installed program
# (offscreen): it must find its automaton library there and keep running.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

for file in bin/cvd-operator lib/cvd-operator/libgrafcet.so share/applications/cvd-operator.desktop \
            share/icons/hicolor/scalable/apps/cvd-operator.svg share/man/man1/cvd-operator.1 \
            bin/cvd-probe share/man/man1/cvd-probe.1 share/bash-completion/completions/cvd-probe; do
  [ -e "$prefix/$file" ] || { echo "FAIL: $file was not installed"; find "$prefix"; exit 1; }
done
[ ! -e "$prefix/bin/cvd-sim" ] || { echo "FAIL: the simulator is not for installation"; exit 1; }
cmake --install "$build" --prefix "$prefix/tools" --component tools >/dev/null
[ -x "$prefix/tools/bin/cvd-sim" ] || { echo "FAIL: the component tools installs no simulator"; exit 1; }

# The installed program, started from elsewhere, must load the installed library.
errors=$prefix/errors
(cd / && QT_QPA_PLATFORM=offscreen timeout 2 "$prefix/bin/cvd-operator" 2>"$errors") && status=0 || status=$?
if [ "$status" -ne 124 ]; then
  echo "FAIL: the installed program ended with status $status instead of running:"
  cat "$errors"
  exit 1
fi
grep -q "error" "$errors" && { echo "FAIL:"; cat "$errors"; exit 1; }
echo "PASS: installed into a temporary prefix, and the installed program runs"

# cvd-probe, installed beside it, names the same library and finds it sound.
report=$("$prefix/bin/cvd-probe" library) || { echo "FAIL: cvd-probe library: $report"; exit 1; }
grep -qF "library: $prefix/lib/cvd-operator/libgrafcet.so" <<<"$report" || { echo "FAIL: cvd-probe names another library: $report"; exit 1; }
echo "PASS: cvd-probe names the installed library"

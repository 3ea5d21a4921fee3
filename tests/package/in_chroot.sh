#!/usr/bin/env bash
# Runs inside a clean Debian chroot: the package's life on a desk, with the
# site's own automaton library in place. Expects /tmp/debs/old and
# /tmp/debs/new (the same package, the second with a higher version) and the
# site's library at /tmp/site/libgrafcet.so.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
site=/usr/local/lib/cvd-operator/libgrafcet.so

fail() {
  echo "FAIL ($(cat /etc/debian_version)): $*" >&2
  exit 1
}
apt_get() { apt-get -y -qq -o Dpkg::Use-Pty=0 "$@" >/tmp/apt.log 2>&1 || { cat /tmp/apt.log >&2; fail "apt-get $*"; }; }

# loads LIBRARY: the installed program starts offscreen, shows its window and
# names LIBRARY as the one it loads.
loads() {
  rm -f /tmp/site-library-calls
  local status=0
  QT_QPA_PLATFORM=offscreen timeout 3 cvd-operator 2>/tmp/errors || status=$?
  [ "$status" -eq 124 ] || fail "the program ended with status $status: $(cat /tmp/errors)"
  cvd-probe library | grep -qxF "library: $1" || fail "cvd-probe names another library: $(cvd-probe library)"
}

site_loaded_and_intact() {
  loads "$site"
  grep -qx init_grafcet /tmp/site-library-calls || fail "the site's library was not the one called"
  sha256sum --quiet -c /tmp/site.sha256 || fail "the site's library was changed"
}

echo "== install"
apt_get update
apt_get install /tmp/debs/old/cvd-operator_*.deb
loads "$(dpkg-query -L cvd-operator | grep '/cvd-operator/libgrafcet.so$')"
[ ! -e /usr/local/lib/cvd-operator ] || fail "the package wrote to /usr/local"
for shipped in /usr/share/metainfo/cvd-operator.metainfo.xml /usr/share/doc/cvd-operator/examples/70-cvd.rules; do
  [ -f "$shipped" ] || fail "$shipped is not installed"
done

echo "== the site's library"
install -D -m 0644 /tmp/site/libgrafcet.so "$site"
sha256sum "$site" >/tmp/site.sha256
site_loaded_and_intact

echo "== upgrade"
apt_get install /tmp/debs/new/cvd-operator_*.deb
[ "$(dpkg-query -W -f '${Version}' cvd-operator)" = "$(dpkg-deb -f /tmp/debs/new/cvd-operator_*.deb Version)" ] ||
  fail "not upgraded"
site_loaded_and_intact

echo "== reinstall"
apt_get install --reinstall /tmp/debs/new/cvd-operator_*.deb
site_loaded_and_intact

echo "== remove, install again"
apt_get remove cvd-operator
sha256sum --quiet -c /tmp/site.sha256 || fail "removing the package changed the site's library"
apt_get install /tmp/debs/new/cvd-operator_*.deb
site_loaded_and_intact

echo "== purge"
files=$(dpkg-query -L cvd-operator)
dpkg --purge cvd-operator >/tmp/apt.log 2>&1 || { cat /tmp/apt.log; fail "dpkg --purge"; }
while read -r file; do
  [ -d "$file" ] || [ ! -e "$file" ] || fail "$file is left after the purge"
done <<<"$files"
sha256sum --quiet -c /tmp/site.sha256 || fail "the purge changed the site's library"
echo "PASS on Debian $(cat /etc/debian_version): install, site library, upgrade, reinstall, remove, purge"

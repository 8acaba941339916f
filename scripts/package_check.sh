#!/usr/bin/env bash
# Checks the Debian package as a user meets it, on this machine (as root):
# lintian (no error, no warning), then apt-get install, the manual page, the installed viewer on the
# installed sample under a private X server (frames, Escape, exit 0), and the
# package purged again with whatever it pulled in, so that the machine's
# packages are as they were.
#
#   scripts/package_check.sh [PACKAGE.deb]   (default: the one scripts/package.sh builds)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
fail() { echo "package_check.sh: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "it installs the package, so it runs as root"
deb="$(realpath -- "${1:-$("$root/scripts/package.sh")}")"

# The packages installed now, a name a line.
installed() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 ~ /^.i/ { print $2 }' | sort; }
is_installed() { dpkg-query -W -f='${Status}' terrain-viewer 2>/dev/null | grep -q ' installed$'; }
is_installed && fail "terrain-viewer is installed already; this check would remove it (apt-get purge terrain-viewer first)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

echo "lintian $(dpkg-query -W -f='${Version}' lintian):"
status=0
# It warns, needlessly here, that it runs as root.
lintian --fail-on error,warning --display-info "$deb" >"$work/lintian" 2>/dev/null || status=$?
sed 's/^/  /' "$work/lintian"
[ "$status" -eq 0 ] || fail "lintian found errors or warnings"
echo "  (end of lintian's output: no error, no warning)"

installed >"$work/before"
# Purges the package and the packages it pulled in: every one not there before.
purge() {
  local added
  added=$(installed | comm -13 "$work/before" -)
  # shellcheck disable=SC2086  # package names
  [ -z "$added" ] || DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq $added >/dev/null
}
. "$root/scripts/xvfb.sh"
trap 'stop_xvfb; purge; rm -rf "$work"' EXIT

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null 2>"$work/apt" ||
  fail "apt-get install failed: $(cat "$work/apt")"
echo "installed: $(installed | comm -13 "$work/before" - | tr '\n' ' ')"

page=$(man -w terrain-viewer) || fail "man does not find terrain-viewer(1)"
echo "manual page: $page"
text=$(MANWIDTH=80 man --warnings terrain-viewer 2>"$work/man")
[ ! -s "$work/man" ] || fail "man warns about the page: $(cat "$work/man")"
grep -q '^EXIT STATUS' <<<"$text" || fail "the manual page has no EXIT STATUS: $text"

# The installed viewer on the installed sample, in the sample's own folder.
start_xvfb
(cd /usr/share/terrain-viewer && exec stdbuf -oL /usr/bin/terrain-viewer >"$work/out" 2>"$work/err") &
viewer=$!
frames() { local n; n=$(grep -c '^yaw=' "$work/out" 2>/dev/null) || true; echo "${n:-0}"; }
viewer_window "$viewer" >/dev/null || fail "the installed viewer did not open its window: $(cat "$work/err")"
for _ in $(seq 100); do
  [ "$(frames)" -ge 3 ] && break
  sleep 0.1
done
counted=$(frames)
status=0
end_viewer "$viewer" || status=$?
echo "the installed viewer on the installed sample: $counted frames, then Escape: exit code $status"
[ "$counted" -ge 3 ] || fail "it drew fewer than 3 frames: $(cat "$work/err")"
[ "$status" -eq 0 ] || fail "it ended with $status: $(cat "$work/err")"
grep -q '^Creating hmap: scanline 255/256$' "$work/out" || fail "it did not build the sample's mesh"

stop_xvfb
purge
is_installed && fail "terrain-viewer is still installed"
installed | cmp -s - "$work/before" || fail "the installed packages differ from before: $(installed | diff "$work/before" -)"
echo "purged: the installed packages are as before"

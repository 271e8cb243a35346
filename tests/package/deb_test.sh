#!/usr/bin/env bash
# The Debian package made from this build (scripts/make-deb.sh --build-dir): what it holds and
# declares, that its systemd unit starts a program of the package with settings the settings
# file gives, and that the program run from the unpacked package shows a folder of photos'
# main page as the build's own program does, headless and as the unit starts it.
#   deb_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d /tmp/vellumet-deb-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$source_dir/scripts/make-deb.sh" --out "$work" --build-dir "$build_dir" >/dev/null
deb=$(echo "$work"/vellumet_*_"$(dpkg --print-architecture)".deb)
[ -f "$deb" ] || fail "no package made"

# The files: the programs (and no test or benchmark), the unit, its settings, the documents.
files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
programs="vellumet vellumet-launcher vellumet-photo vellumet-jpeg vellumet-make-demo"
for f in $(printf '/usr/bin/%s ' $programs) /lib/systemd/system/vellumet.service /etc/default/vellumet \
  /usr/share/doc/vellumet/{copyright,changelog.gz,README.md.gz,device.md.gz}; do
  grep -qx "$f" <<<"$files" || fail "the package has no $f"
done
[ "$(grep -c '^/usr/bin/.' <<<"$files")" -eq 5 ] || fail "other programs in /usr/bin: $(grep '^/usr/bin/.' <<<"$files")"

# The control data: the libraries the programs load, the fonts, the settings kept as a conffile.
depends=$(dpkg-deb -f "$deb" Depends)
for d in 'libc6 (>= ' 'libsdl2-2.0-0' 'libavcodec' 'libfreetype6' 'adduser' 'fonts-liberation |'; do
  grep -qF "$d" <<<"$depends" || fail "Depends lacks $d: $depends"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/default/vellumet || fail "no conffile"

root=$work/root
dpkg-deb -x "$deb" "$root"

# The unit's command: its program is in the package, and each variable it takes is set.
unit=$root/lib/systemd/system/vellumet.service
exec_start=$(sed -e ':a' -e '/\\$/N; s/\\\n//; ta' "$unit" | sed -n 's/^ExecStart=//p')
program=${exec_start%% *}
[ -x "$root$program" ] || fail "ExecStart runs $program, which the package lacks"
for var in $(grep -o '\${\?[A-Z_]*' <<<"$exec_start" | tr -d '${'); do
  grep -q "^$var=" "$root/etc/default/vellumet" || fail "ExecStart takes \$$var, which /etc/default/vellumet lacks"
done

# The main page of a demo card (made by the package's own tool) from the unpacked program
# and from the build's: the same picture.
"$root/usr/bin/vellumet-make-demo" "$work/demo" >/dev/null
card=$work/demo/SDMMC
echo "shot main" > "$work/script"
run() {  # PROGRAM NAME: status 4, the script ran out
  local status=0
  "$1" --card "$card" --state "$work/state-$2" --headless --script "$work/script" --shots "$work/$2" \
    --log "$work/$2.log" 2>"$work/$2.err" || status=$?
  [ $status -eq 4 ] || fail "$1 ended with status $status: $(cat "$work/$2.err")"
}
run "$root/usr/bin/vellumet" package
run "$build_dir/bin/vellumet" build
cmp -s "$work/package/main.png" "$work/build/main.png" || fail "the packaged program's main page differs"

# The unit's command as systemd runs it, with the settings file's variables, a regular file as
# the panel and a FIFO as the touch screen: it draws on the panel, and SIGTERM ends it (4).
set -a
. "$root/etc/default/vellumet"
set +a
VELLUMET_CARD=$card VELLUMET_FB=$work/panel.raw VELLUMET_TOUCH=$work/touch
mkfifo "$work/touch"
exec 9<>"$work/touch"
mkdir -p "$work/var/log/vellumet"
command=${exec_start//%S/$work/var/lib}
command=${command//%L/$work/var/log}
eval "set -- $root$command"
"$@" 2>"$work/unit.err" &
pid=$!
for _ in $(seq 600); do
  [ -s "$work/panel.raw" ] && [ -n "$(tr -d '\0' < "$work/panel.raw" | head -c1)" ] && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
kill -TERM $pid 2>/dev/null || true
status=0
wait $pid || status=$?
[ $status -eq 4 ] || fail "the unit's command ended with status $status: $(cat "$work/unit.err")"
[ -n "$(tr -d '\0' < "$work/panel.raw" | head -c1)" ] || fail "the unit's command showed nothing on the panel"
[ -d "$work/var/lib/vellumet" ] || fail "the unit's command kept no state in %S/vellumet"
echo "package test passed: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"

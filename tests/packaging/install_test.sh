#!/usr/bin/env bash
# Builds both Debian packages from a built tree, installs them on this
# machine, uses everything from the installed paths, and removes them again:
#   tests/packaging/install_test.sh <build folder>
# It changes the system (dpkg -i, dpkg --purge), so it runs only as root and
# skips with a message otherwise. Works without systemd running (containers,
# CI): units are checked with systemd-analyze verify, which needs no manager.
set -euo pipefail

build=${1:?usage: install_test.sh <build folder>}
build=$(cd "$build" && pwd)
packages=(nvx-depotrium nvx-depot)

if [[ $(id -u) -ne 0 ]]; then
  echo "packaging test skipped: it installs and removes packages, run it as root"
  exit 0
fi
for tool in dpkg apt-get cpack lintian desktop-file-validate appstreamcli systemd-analyze; do
  command -v "$tool" >/dev/null || { echo "packaging test: $tool is missing (scripts/bootstrap test installs it)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/nvx-packaging-XXXXXX")
depot_pid=""
installed_by_us=0
failures=0

installed() { [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true)" == "install ok installed" ]]; }
purge_ours() { dpkg --purge "${packages[@]}" >"$work/purge.log" 2>&1; }

cleanup() {
  if [[ -n "$depot_pid" ]]; then
    kill -TERM "$depot_pid" 2>/dev/null || true
    wait "$depot_pid" 2>/dev/null || true
  fi
  if ((installed_by_us)); then purge_ours || cat "$work/purge.log" >&2; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
step() { echo "-- $*"; }

for p in "${packages[@]}"; do
  if installed "$p" || dpkg-query -W "$p" >/dev/null 2>&1; then
    echo "packaging test: $p is already on this machine; purging it first"
    dpkg --purge "$p" >/dev/null
  fi
done

step "cpack: both .deb files"
nice -n 10 cmake --build "$build" -j "$(nproc)" --target depotrium nvx-depot nvx_packaging_files >"$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; exit 1; }
(cd "$build" && cpack -G DEB -B "$work/debs" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; exit 1; }
debs=()
for p in "${packages[@]}"; do
  deb=$(find "$work/debs" -maxdepth 1 -name "${p}_*.deb" | head -n1)
  [[ -n "$deb" ]] || { cat "$work/cpack.log" >&2; echo "FAIL: no package $p" >&2; exit 1; }
  debs+=("$deb")
done

step "package metadata: computed dependencies and the OpenCL driver recommendation"
program_depends=$(dpkg-deb -f "${debs[0]}" Depends)
depot_depends=$(dpkg-deb -f "${debs[1]}" Depends)
for library in libc6 libqt6gui6 libcurl4 libssl3 ocl-icd-libopencl1; do
  grep -q "\b$library\b" <<<"$program_depends" || fail "nvx-depotrium does not depend on $library: $program_depends"
done
for library in libc6 libsqlite3-0 libssl3; do
  grep -q "\b$library\b" <<<"$depot_depends" || fail "nvx-depot does not depend on $library: $depot_depends"
done
[[ "$(dpkg-deb -f "${debs[0]}" Recommends)" == *"mesa-opencl-icd | intel-opencl-icd"* ]] ||
  fail "nvx-depotrium does not recommend an OpenCL driver"

step "lintian"
if ! lintian --fail-on error --tag-display-limit 0 "${debs[@]}" >"$work/lintian.log" 2>&1; then
  cat "$work/lintian.log" >&2
  fail "lintian reports errors"
else
  sed 's/^/   /' "$work/lintian.log"
fi

step "dpkg -i"
installed_by_us=1
if ! dpkg -i "${debs[@]}" >"$work/dpkg.log" 2>&1; then
  # Dependencies that this machine lacks come from the archive.
  echo "   installing missing dependencies with apt-get"
  DEBIAN_FRONTEND=noninteractive apt-get install -f -y -qq --no-install-recommends >>"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log" >&2; exit 1; }
fi
for p in "${packages[@]}"; do installed "$p" || { cat "$work/dpkg.log" >&2; echo "FAIL: $p not installed" >&2; exit 1; }; done
dpkg -L "${packages[@]}" | sort -u >"$work/files"

step "installed layout"
for path in /usr/bin/depotrium /usr/bin/nvx-depot; do
  [[ -x "$path" ]] || fail "$path is not installed"
done
for path in /usr/share/nvx-depotrium/models.json /usr/share/nvx-depotrium/burko.png \
  /usr/share/applications/org.nvx.Depotrium.desktop /usr/share/metainfo/org.nvx.Depotrium.metainfo.xml \
  /usr/share/man/man1/depotrium.1.gz /usr/share/man/man8/nvx-depot.8.gz \
  /lib/systemd/system/nvx-depot.service /lib/systemd/system/nvx-depotrium-report.service \
  /lib/systemd/system/nvx-depotrium-report.timer /etc/default/nvx-depot \
  /usr/share/doc/nvx-depotrium/examples/report.conf; do
  [[ -f "$path" ]] || fail "$path is not installed"
done
for size in 16 24 32 48 64 128 256; do
  icon=/usr/share/icons/hicolor/${size}x${size}/apps/org.nvx.Depotrium.png
  file "$icon" 2>/dev/null | grep -q "PNG image data, $size x $size" || fail "no ${size}px icon at $icon"
done
[[ ! -e /etc/nvx-depotrium/report.conf ]] || fail "the scheduled inventory is configured on installation"

step "the installed depotrium"
mkdir -p "$work/run"
clean_env=(env -i PATH=/usr/bin:/bin HOME="$work/run" TMPDIR="$work/run" LANG=C.UTF-8)
(cd "$work/run" && "${clean_env[@]}" /usr/bin/depotrium --check-core) >"$work/check-core.log" 2>&1 ||
  { cat "$work/check-core.log" >&2; fail "depotrium --check-core"; }
grep -q '^CORE CHECKS OK' "$work/check-core.log" || fail "depotrium --check-core did not pass: $(cat "$work/check-core.log")"
(cd "$work/run" && "${clean_env[@]}" /usr/bin/depotrium --help) | grep -q -- '--self-test' || fail "depotrium --help"

step "the installed nvx-depot, and a verified submission to it"
"${clean_env[@]}" /usr/bin/nvx-depot --listen 127.0.0.1:0 --db "$work/depot/depot.sqlite" \
  >"$work/depot.out" 2>"$work/depot.err" &
depot_pid=$!
depot_url=""
for _ in $(seq 1 300); do
  depot_url=$(sed -n 's/^nvx-depot слушает //p' "$work/depot.out")
  [[ -n "$depot_url" ]] && break
  kill -0 "$depot_pid" 2>/dev/null || break
  sleep 0.1
done
if [[ -z "$depot_url" ]]; then
  cat "$work/depot.err" >&2
  fail "the installed nvx-depot did not start"
else
  # The model catalog is read from the installed data files: the trace shows
  # that it came from /usr/share/nvx-depotrium. Where tracing is not allowed
  # (some containers), the run itself is still checked.
  tracer=()
  if command -v strace >/dev/null && strace -f -qq -o /dev/null true 2>/dev/null; then
    tracer=(strace -f -qq -e trace=openat -o "$work/trace")
  else
    echo "   strace cannot trace here: the data file lookup is not traced"
  fi
  if ! (cd "$work/run" && "${tracer[@]}" "${clean_env[@]}" /usr/bin/depotrium --self-test --no-disk \
      --output "$work/run/report.json" --submit "$depot_url") >"$work/self-test.log" 2>&1; then
    cat "$work/self-test.log" >&2
    fail "the installed depotrium --self-test --submit"
  fi
  grep -q '^SAVED ' "$work/self-test.log" || fail "no SAVED line: $(cat "$work/self-test.log")"
  if ((${#tracer[@]})); then
    grep -q '"/usr/share/nvx-depotrium/models.json", O_RDONLY[^)]*) = [0-9]' "$work/trace" ||
      fail "depotrium did not read its model catalog from /usr/share/nvx-depotrium"
  fi
  record=$(sed -n 's/^SAVED //p' "$work/self-test.log")
  [[ -n "$record" ]] && { curl -fsS --max-time 30 -o "$work/record.html" "$record" || fail "record page $record"; }
  kill -TERM "$depot_pid"
  wait "$depot_pid" || fail "nvx-depot did not stop cleanly on SIGTERM"
  depot_pid=""
fi

step "desktop entry, metainfo, man pages"
desktop-file-validate /usr/share/applications/org.nvx.Depotrium.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net /usr/share/metainfo/org.nvx.Depotrium.metainfo.xml >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log" >&2; fail "appstreamcli validate"; }
if command -v man >/dev/null; then
  for page in /usr/share/man/man1/depotrium.1.gz /usr/share/man/man8/nvx-depot.8.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
    [[ -z "$warnings" ]] || fail "$page: $warnings"
  done
fi

step "systemd units"
units=(/lib/systemd/system/nvx-depot.service /lib/systemd/system/nvx-depotrium-report.service
  /lib/systemd/system/nvx-depotrium-report.timer)
systemd-analyze verify --man=no "${units[@]}" >"$work/verify.log" 2>&1 || { cat "$work/verify.log" >&2; fail "systemd-analyze verify"; }
# Anything said about our units is a fault, even where verify passes.
if grep -q 'nvx-' "$work/verify.log"; then cat "$work/verify.log" >&2; fail "systemd-analyze verify warns about our units"; fi
for unit in nvx-depot.service nvx-depotrium-report.service; do
  level=$(systemd-analyze security --offline=yes "/lib/systemd/system/$unit" 2>/dev/null |
    sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\) \([A-Z]*\).*/\1 \2/p')
  echo "   $unit: exposure $level"
  [[ "$level" == *" OK" || "$level" == *" SAFE" ]] || fail "$unit is exposed: '$level'"
done
[[ -L /etc/systemd/system/multi-user.target.wants/nvx-depot.service ]] || fail "nvx-depot.service is not enabled"
[[ -L /etc/systemd/system/timers.target.wants/nvx-depotrium-report.timer ]] || fail "the report timer is not enabled"

step "dpkg --purge leaves nothing of ours"
installed_by_us=0
purge_ours || { cat "$work/purge.log" >&2; fail "dpkg --purge"; }
while IFS= read -r path; do
  # Shared folders (/usr/bin, /usr/share/man/man1, …) stay; our own go.
  if [[ -e "$path" || -L "$path" ]] && { [[ ! -d "$path" ]] || [[ "$path" == *nvx* || "$path" == *Depotrium* ]]; }; then
    fail "left after purge: $path"
  fi
done <"$work/files"
leftovers=$(find /etc /lib/systemd /usr/share /var/lib/dpkg/info /var/lib/systemd/deb-systemd-helper-enabled \
  \( -name '*nvx-depot*' -o -name '*Depotrium*' \) 2>/dev/null || true)
[[ -z "$leftovers" ]] || fail "left after purge: $leftovers"

if ((failures)); then
  echo "packaging test: $failures failure(s)" >&2
  exit 1
fi
echo "packaging test passed"

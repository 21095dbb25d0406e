#!/usr/bin/env bash
# Builds the Debian package of a configured build (ci by default) and checks
# that a copy extracted into a scratch folder runs a demo scenario headless
# from its own install prefix.
# Usage: scripts/package.sh [preset]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-ci}"
build="build/$preset"
cmake --build --preset "$preset"
(cd "$build" && cpack -G DEB)
deb=$(ls -t "$build"/quill-host_*.deb | head -n 1)
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Depends
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
prefix="$scratch/root/usr"
"$prefix/bin/quill-host" --version
for f in bin/quill-host lib/quill-host/QuillComponents.so share/quill-host/Partdescriptionfiles/ATmega16.xml \
    share/applications/quill-host.desktop share/icons/hicolor/scalable/apps/quill-host.svg; do
  test -e "$prefix/$f" || { echo "package: $f is missing" >&2; exit 1; }
done
# The installed host finds its part files, module and demo firmware itself;
# the module registers in a registry of this check only, and the scenario's
# screenshots land in the scratch folder.
(cd "$scratch" && QUILL_REGISTRY="$scratch/registry.reg" QT_QPA_PLATFORM=offscreen \
  "$prefix/bin/quill-host" --headless --quiet \
  --scenario "$prefix/share/quill-host/examples/running_light.scn" --junit "$scratch/report.xml")
grep -q 'failures="0"' "$scratch/report.xml"
echo "package: the extracted copy ran running_light.scn and passed"

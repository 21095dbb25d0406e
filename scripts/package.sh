#!/usr/bin/env bash
# Builds the Debian package of a configured build (ci by default) and checks
# that a copy extracted into a scratch folder runs a demo scenario headless
# from its own install prefix.
# Usage: scripts/package.sh [preset]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-ci}"
build="$PWD/build/$preset"
cmake --build --preset "$preset"
(cd "$build" && cpack -G DEB)
deb=$(ls -t "$build"/quill-host_*.deb | head -n 1)
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Depends
fail() { echo "package: $*" >&2; exit 1; }
# The dependencies are Debian's runtime packages of what the binaries link.
depends=$(dpkg-deb --field "$deb" Depends)
for package in libqt6widgets6 libqt6gui6 libqt6core6 libsimavr2 libtinyxml2.6.2v5 libdw1 libelf1; do
  grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package"
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
prefix="$scratch/root/usr"
# The run path, not the build tree, leads to the package's own library.
unset LD_LIBRARY_PATH
# ldd's output is taken whole before it is searched: piped into grep -q, ldd
# could be cut off by SIGPIPE once grep had its match, and pipefail then
# failed a correct package.
linked=$(ldd "$prefix/bin/quill-host")
grep -qF "$prefix/bin/../lib/quill-host/libquill_platform.so" <<<"$linked" ||
  fail "the installed quill-host does not find its own libquill_platform.so; ldd says:
$linked"
version=$("$prefix/bin/quill-host" --version)
[[ $version == "quill-host $(dpkg-deb --field "$deb" Version)" ]] ||
  fail "quill-host --version printed \"$version\", not the package's version"
for f in bin/quill-host lib/quill-host/QuillComponents.so share/quill-host/Partdescriptionfiles/ATmega16.xml \
    share/quill-host/examples/lcd_glyphs.png \
    share/applications/quill-host.desktop share/icons/hicolor/scalable/apps/quill-host.svg \
    share/mime/packages/quill-host.xml; do
  test -e "$prefix/$f" || { echo "package: $f is missing" >&2; exit 1; }
done
# The desktop entry opens lab files, and the type it names is defined.
grep -qF 'type="application/x-quill-lab"' "$prefix/share/mime/packages/quill-host.xml" ||
  fail "the lab files' MIME type is not installed"
grep -qF 'MimeType=application/x-quill-lab;' "$prefix/share/applications/quill-host.desktop" ||
  fail "the desktop entry does not name the lab files' MIME type"
# The installed host finds its part files, module and demo firmware itself;
# the module registers in a registry of this check only, and the scenario's
# screenshots land in the scratch folder. That registry first names the
# build tree's module, as a developer's earlier run leaves it: the installed
# host must register and run its own.
(cd "$scratch" && QUILL_REGISTRY="$scratch/registry.reg" QT_QPA_PLATFORM=offscreen \
  "$build/bin/quill-host" --headless --quiet \
  --scenario "$prefix/share/quill-host/examples/running_light.scn") >/dev/null
grep -qF "$build/bin/QuillComponents.so" "$scratch/registry.reg" ||
  fail "the build tree's host did not register its module"
(cd "$scratch" && QUILL_REGISTRY="$scratch/registry.reg" QT_QPA_PLATFORM=offscreen \
  "$prefix/bin/quill-host" --headless --quiet \
  --scenario "$prefix/share/quill-host/examples/running_light.scn" --junit "$scratch/report.xml")
grep -q 'failures="0"' "$scratch/report.xml"
grep -qF "@=\"$prefix/lib/quill-host/QuillComponents.so\"" "$scratch/registry.reg" ||
  fail "the installed host ran a module other than its own"
echo "package: the extracted copy ran running_light.scn and passed"

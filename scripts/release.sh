#!/usr/bin/env bash
# Makes the release: a fresh 32-bit Windows build of Lumenhop.exe, zipped with res/README.txt as
#   build/release/Lumenhop-<version>-win32.zip
#   build/release/Lumenhop-<version>-win32.zip.sha256   (sha256sum -c reads it)
# <version> is the project's version in CMakeLists.txt, which the exe's version block carries.
#
# The same sources give the same bytes, whatever the directory or the time of the build: the
# link puts no time stamp in the exe, and the zip holds its two entries in a fixed order, with
# fixed attributes and the time of the last commit (SOURCE_DATE_EPOCH when set; 1980-01-01,
# the earliest a zip can hold, outside a git checkout).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

version=$(sed -n 's/^project(Lumenhop VERSION \([0-9][0-9.]*\)[ )].*/\1/p' CMakeLists.txt)
if ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "release: no four-part project version in CMakeLists.txt" >&2
  exit 1
fi
stamp=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}

out=build/release
scratch=build/release-build
name=Lumenhop-$version-win32.zip
rm -rf "$out" "$scratch"
mkdir -p "$out"

echo "--- building Lumenhop.exe $version in $scratch; zip entries dated $(date -u -d "@$stamp" '+%Y-%m-%d %H:%M:%S') UTC"
if ! { cmake --preset windows -B "$scratch" && cmake --build "$scratch" --target Lumenhop -j "$(nproc)"; } \
  >"$out/build.log" 2>&1; then
  cat "$out/build.log" >&2
  exit 1
fi
rm "$out/build.log"

# Debian's own Python, so that the compressed bytes come from the system's zlib.
/usr/bin/python3 - "$scratch/app/Lumenhop.exe" res/README.txt "$out/$name" "$version" "$stamp" <<'PYTHON'
import sys
import time
import zipfile

exe, readme, target, version, stamp = sys.argv[1:]
with open(exe, "rb") as f:
    program = f.read()
with open(readme, "rb") as f:
    text = f.read().replace(b"@VERSION@", version.encode())
# CR LF line ends, however the checkout stored the file.
text = text.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
when = time.gmtime(max(int(stamp), 315532800))[:6]
with zipfile.ZipFile(target, "w") as archive:
    for entry_name, data in (("Lumenhop.exe", program), ("README.txt", text)):
        entry = zipfile.ZipInfo(entry_name, date_time=when)
        entry.compress_type = zipfile.ZIP_DEFLATED
        # Made as on Windows: no Unix owner or permission bits, only the archive attribute
        # (zipfile would put Unix permission bits in place of none at all).
        entry.create_system = 0
        entry.external_attr = 0x20
        archive.writestr(entry, data, compresslevel=9)
PYTHON

(cd "$out" && sha256sum "$name" >"$name.sha256")
echo "--- $out/$name ($(stat -c %s "$out/$name") bytes)"
cat "$out/$name.sha256"

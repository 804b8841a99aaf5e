#!/usr/bin/env bash
# The release is reproducible: scripts/build in two fresh clones of the
# committed tree (HEAD), at paths of different lengths, gives the same DLL,
# the same zip and the same checksums.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for clone in one another-and-longer; do
    git clone -q "$root" "$work/$clone"
    "$work/$clone/scripts/build" "$work/$clone-dist" >/dev/null
done
for file in Quillmark.dll SHA256SUMS $(cd "$work/one-dist" && ls Quillmark-*.zip); do
    cmp "$work/one-dist/$file" "$work/another-and-longer-dist/$file" || {
        echo "FAILED: two builds of $(git -C "$root" rev-parse --short HEAD) differ in $file"
        exit 1
    }
done
(cd "$work/one-dist" && sha256sum -c --quiet SHA256SUMS) || { echo "FAILED: SHA256SUMS does not match"; exit 1; }
echo "ok: two builds are identical"
cat "$work/one-dist/SHA256SUMS"

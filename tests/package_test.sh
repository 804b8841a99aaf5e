#!/usr/bin/env bash
# The release package: its files, their encodings and line ends, and a sample
# settings file that the plug-in reads as the guide says.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

"$root/scripts/build" "$out" >/dev/null
zip_file=$(ls "$out"/Quillmark-*.zip)
mkdir "$out/unpacked"
unzip -q "$zip_file" -d "$out/unpacked"
cd "$out/unpacked"

fail() {
    echo "FAILED: $*"
    exit 1
}
[ "$(ls | sort | tr '\n' ' ')" = "Quillmark.dll Quillmark.ini readme-en.txt readme.txt " ] ||
    fail "the package holds $(ls | tr '\n' ' ')"
cmp -s Quillmark.dll "$out/Quillmark.dll" || fail "the packaged DLL is not the release DLL"
i686-w64-mingw32-objdump -h Quillmark.dll | grep -q '\.debug' && fail "the DLL is not stripped"
for f in Quillmark.ini readme.txt readme-en.txt; do
    [ "$(grep -c $'\r$' "$f")" -eq "$(wc -l <"$f")" ] || fail "$f has lines without CR LF"
done
iconv -f CP932 -t UTF-8 readme.txt | grep -q 'インストール' || fail "readme.txt is not Japanese in code page 932"

# The sample settings read as the guide says: whole, decoded fields of the
# patterns it names, the separator's blank kept.
printf 'received: from a\n\tby b\nX-UIDL: 1\nX-Note: =?UTF-8?B?44OG44K544OI?=\nSubject: s\n\nbody\n' >mail.eml
[ "$("$root/scripts/preview" --ini Quillmark.ini mail.eml)" = $'received: from a\tby b\nX-Note: テスト\n-- ' ] ||
    fail "the sample settings file does not give the view it describes"
echo "ok: package $(basename "$zip_file")"

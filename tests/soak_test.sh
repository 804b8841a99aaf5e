#!/usr/bin/env bash
# The released DLL opens one mail with 300 folded Received fields, trusted
# authentication results and a DKIM signature 20,000 times in the stand-in
# host under Wine, every opt-in view on (keys from the test DNS server), so
# the view outgrows the room kept inside the call and takes the heap, and
# every source is handed over and given back. Whatever it allocates per mail must be given back:
# the host's private bytes may grow by less than 512 KiB. The time per mail
# is printed, not judged. Run by CTest in its Wine session.
#   soak_test.sh HOST DLL   the built stand-in host and Quillmark.dll
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
host=${1:?the stand-in host}
dll=${2:?Quillmark.dll}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$dll" "$work/Quillmark.dll"
printf '[Setting]\r\nSort=1\r\nWholeFields=2\r\nDecode=1\r\nHops=1\r\nAuth=1\r\nDkim=1\r\nDnsServers=127.0.0.1\r\n[ShowHeader]\r\n01=Received\r\n02=X-\r\n[AuthServers]\r\n01=mx.example.net\r\n' \
    >"$work/Quillmark.ini"
{
    sed '/^From:/,$d' "$root/tests/dkim/mails/relaxed.eml"
    printf 'Authentication-Results: mx.example.net; dkim=pass header.d=example.net;\r\n\tspf=pass smtp.mailfrom=a@example.net; dmarc=pass header.from=example.net\r\n'
    for hop in $(seq 1 300); do
        printf 'Received: from relay%d.example.net (relay%d.example.net [192.0.2.%d])\r\n' "$hop" "$hop" "$((hop % 256))"
        printf '\tby relay%d.example.net with ESMTP id %08X; Mon, 7 Dec 2026 09:%02d:00 +0900\r\n' \
            "$((hop + 1))" "$((hop * 7919))" "$((hop % 60))"
    done
    printf 'From: a@example.net\r\nSubject: =?UTF-8?B?44OG44K544OI?=\r\nX-Mailer: soak\r\nX-UIDL: 1\r\n\r\nbody\r\n'
} >"$work/many_received.eml"

report=$(cd "$work" && wine "$host" --plugin Quillmark.dll \
    --soak 20000 many_received.eml)
echo "$report"
growth=$(sed -n 's/.*(\([+-][0-9]*\) KiB)$/\1/p' <<<"$report")
[ -n "$growth" ] || { echo "FAILED: no memory figure in the report"; exit 1; }
grep -q ' 20000 views' <<<"$report" || { echo "FAILED: not every open was shown"; exit 1; }
[ "$growth" -lt 512 ] || { echo "FAILED: private bytes grew by $growth KiB"; exit 1; }

#!/usr/bin/env bash
# The preview as a user runs it, through the program behind scripts/preview:
# views in UTF-8 or raw, several mails, a signed mail checked with the test
# DNS server, the information and settings boxes, and one-line errors. Run by
# CTest in its Wine session.
#   preview_test.sh HOST DLL   the built stand-in host and Quillmark.dll
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mails="$root/tests/mails"
built=("${1:?the stand-in host}" "${2:?Quillmark.dll}")
preview() { "$root/tools/preview" "${built[@]}" "$@"; }
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err" "$out.ini"' EXIT
failures=0

check() {  # description, then a test command
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        echo "--- stdout"; cat "$out"; echo "--- stderr"; cat "$err"
        failures=$((failures + 1))
    fi
}

run() { preview "$@" >"$out" 2>"$err"; }
same_as_view() { iconv -f CP932 -t UTF-8 "$mails/$1" | cmp -s - "$out"; }

run "$mails/received_chain.eml"
check "default settings, converted to UTF-8" same_as_view received_chain.default.view

run --ini "$mails/custom.ini" "$mails/japanese_subject_sjis.eml"
check "custom settings, Shift-JIS shown in UTF-8" same_as_view japanese_subject_sjis.custom.view

run --ini "$mails/readable.ini" "$mails/folded_encoded.eml"
check "whole fields, decoded" same_as_view folded_encoded.readable.view

run --ini "$mails/hops.ini" "$mails/hop_chain.eml"
check "whole Received fields with their hops' delays" same_as_view hop_chain.hops.view

run --ini "$mails/auth.ini" "$mails/authentication.eml"
check "the authentication digest first" same_as_view authentication.auth.view

printf '[Setting]\r\nDkim=1\r\nDkimWait=10000\r\nDnsServers=127.0.0.1\r\n[ShowHeader]\r\n01=Subject\r\n' >"$out.ini"
# Opened four times, so that the host calls at each stack offset in turn.
signed="$root/tests/dkim/mails/two_signatures.eml"
run --ini "$out.ini" "$signed" "$signed" "$signed" "$signed"
check "a signed mail's signatures checked with keys from the test DNS server, at every stack offset" \
    diff <(for _ in 1 2 3 4; do
        printf '==> %s <==\n[DKIM] PASS example.com | pass example.com, pass example.net (not From)\nSubject: Lunch on Friday\n--\n' "$signed"
    done) "$out"

run --raw --ini "$mails/custom.ini" "$mails/japanese_subject_sjis.eml"
check "--raw gives the bytes handed to the host" cmp -s "$mails/japanese_subject_sjis.custom.view" "$out"

(cd "$mails" && preview folded_lines.eml x_headers_with_uidl.eml >"$out" 2>"$err")
check "several mails, each under its name" bash -c '
    diff <({ echo "==> folded_lines.eml <=="; cat "$1/folded_lines.default.view"
             echo "==> x_headers_with_uidl.eml <=="; cat "$1/x_headers_with_uidl.default.view"; }) "$0"' \
    "$out" "$mails"

run --info
check "--info prints the information record" grep -qx "name: Tavisel Plugin" "$out"

run --setup
check "--setup prints the box, caption first and the settings file last" bash -c '
    head -1 "$0" | grep -qx "Tavisel Plugin のﾊﾞｰｼﾞｮﾝ情報" && tail -1 "$0" | grep -q "\\\\Quillmark\.ini$"' "$out"

one_line_error() {  # expected status, then the arguments
    local status=$1
    shift
    preview "$@" >"$out" 2>"$err"
    [ $? -eq "$status" ] && [ ! -s "$out" ] && [ "$(wc -l <"$err")" -eq 1 ] && grep -q '^preview: ' "$err"
}
check "a missing mail is a one-line error" one_line_error 2 "$mails/no_such_mail.eml"
check "no mail at all is a one-line error" one_line_error 2
check "an unreadable settings file is a one-line error" one_line_error 2 --ini "$mails" "$mails/folded_lines.eml"
check "an unknown option is a one-line error" one_line_error 2 --frobnicate "$mails/folded_lines.eml"

[ "$failures" -eq 0 ]

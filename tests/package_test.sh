#!/usr/bin/env bash
# The release package of the built DLL: its files, their encodings and line
# ends, the DLL's size and imports, and a sample settings file that the
# plug-in reads as the guide says. Run by CTest in its Wine session.
#   package_test.sh HOST DLL   the built stand-in host and Quillmark.dll
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
host=${1:?the stand-in host}
dll=${2:?Quillmark.dll}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

"$root/scripts/lib/package" "$dll" "$out"
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
# Whole outputs are read before they are searched: under pipefail, a grep -q
# that stops early fails the pipe whenever the writer is not done yet.
sections=$(LC_ALL=C i686-w64-mingw32-objdump -h Quillmark.dll)
grep -q '\.debug' <<<"$sections" && fail "the DLL is not stripped"
size=$(stat -c %s Quillmark.dll)
[ "$size" -le 368640 ] || fail "the DLL is $size bytes, more than 360 KiB"

# Every function the DLL imports is one that Windows 7 exports. A new import
# fails here until it has been checked against Windows 7 and added.
allowed=$(while read -r dll functions; do
    for function in $functions; do echo "$dll!$function"; done
done <<'WINDOWS7'
KERNEL32.dll AddVectoredExceptionHandler CloseHandle CreateEventA CreateFileA CreateSemaphoreA
KERNEL32.dll DeleteCriticalSection DuplicateHandle EnterCriticalSection FreeLibrary
KERNEL32.dll GetCurrentProcess GetCurrentProcessId GetCurrentThread GetCurrentThreadId
KERNEL32.dll GetHandleInformation GetLastError GetModuleFileNameA GetModuleHandleA GetModuleHandleW
KERNEL32.dll GetPrivateProfileIntA GetPrivateProfileStringA GetProcAddress GetProcessAffinityMask
KERNEL32.dll GetSystemDirectoryA GetSystemTimeAsFileTime GetThreadContext GetThreadPriority
KERNEL32.dll GetTickCount64 InitializeCriticalSection IsDBCSLeadByte IsDebuggerPresent
KERNEL32.dll LeaveCriticalSection LoadLibraryA LoadLibraryW MultiByteToWideChar OpenProcess
KERNEL32.dll OutputDebugStringA RaiseException ReleaseSemaphore RemoveVectoredExceptionHandler
KERNEL32.dll ResetEvent ResumeThread SetEvent SetLastError SetProcessAffinityMask SetThreadContext
KERNEL32.dll SetThreadPriority Sleep SuspendThread TlsAlloc TlsGetValue TlsSetValue
KERNEL32.dll TryEnterCriticalSection VirtualProtect VirtualQuery WaitForMultipleObjects
KERNEL32.dll WaitForSingleObject WideCharToMultiByte WritePrivateProfileStringA lstrcpyA
msvcrt.dll _amsg_exit _beginthreadex _endthreadex _errno _initterm _iob _lock _setjmp3 _ultoa
msvcrt.dll _unlock abort calloc exit fprintf free fwrite malloc memchr memcmp memcpy memmove
msvcrt.dll memset printf realloc strcmp strlen strncmp vfprintf wcslen longjmp _strdup _read _close
KERNEL32.dll CreateThread FreeLibraryAndExitThread GetModuleHandleExA InitializeConditionVariable LocalFree
KERNEL32.dll SleepConditionVariableCS WakeAllConditionVariable
msvcrt.dll clock
KERNEL32.dll DeleteFileA FlushFileBuffers GetFileSizeEx GetLocalTime GetTickCount MoveFileExA ReadFile WriteFile
KERNEL32.dll GetFileAttributesExA GetSystemTime
msvcrt.dll qsort
USER32.dll GetMenuItemCount GetSubMenu InsertMenuItemA MessageBoxA wsprintfA
bcrypt.dll BCryptCloseAlgorithmProvider BCryptCreateHash BCryptDestroyHash BCryptDestroyKey BCryptExportKey
bcrypt.dll BCryptFinishHash BCryptGetProperty BCryptHashData BCryptOpenAlgorithmProvider BCryptVerifySignature
CRYPT32.dll CryptDecodeObjectEx CryptImportPublicKeyInfoEx2
DNSAPI.dll DnsFree DnsQuery_A
VERSION.dll GetFileVersionInfoA GetFileVersionInfoSizeA VerQueryValueA
WINDOWS7
)
imports=$(LC_ALL=C i686-w64-mingw32-objdump -p Quillmark.dll | sed -n '/Import Tables/,/Export Table/p' |
    awk '/DLL Name:/ { dll = $3 } /^\t[0-9a-f]+\t +[0-9]+ / { print dll "!" $3 }')
[ -n "$imports" ] || fail "no imports read from the DLL"
for import in $imports; do
    grep -qxF "$import" <<<"$allowed" || fail "$import is not known to be in Windows 7"
done
for f in Quillmark.ini readme.txt readme-en.txt; do
    [ "$(grep -c $'\r$' "$f")" -eq "$(wc -l <"$f")" ] || fail "$f has lines without CR LF"
done
readme=$(iconv -f CP932 -t UTF-8 readme.txt)
grep -q 'インストール' <<<"$readme" || fail "readme.txt is not Japanese in code page 932"
# Both guides give the date of the Public Suffix List the table was made from.
list_date=$(dpkg-query -W -f='${Version}' publicsuffix | sed -n 's/^\([0-9]\{4\}\)\([0-9]\{2\}\)\([0-9]\{2\}\).*/\1-\2-\3/p')
[ -n "$list_date" ] || fail "no date read from the publicsuffix package's version"
for guide in "$readme" "$(cat readme-en.txt)" "$(cat "$root/README.md")"; do
    grep -qF "$list_date" <<<"$guide" || fail "a guide does not give the list's date, $list_date"
done

# The sample settings read as the guide says: the digest and the DKIM line
# first, whole, decoded fields of the patterns it names, the separator's
# blank kept.
printf 'received: from a\n\tby b\nX-UIDL: 1\nX-Note: =?UTF-8?B?44OG44K544OI?=\nSubject: s\n\nbody\n' >mail.eml
[ "$("$root/tools/preview" "$host" "$dll" --ini Quillmark.ini mail.eml)" = \
    $'[Auth] ? no Authentication-Results\n[DKIM] NONE (no From)\nreceived: from a\tby b  [?]\nX-Note: テスト\n-- ' ] ||
    fail "the sample settings file does not give the view it describes"
echo "ok: package $(basename "$zip_file")"

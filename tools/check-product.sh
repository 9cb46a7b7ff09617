#!/usr/bin/env bash
# Checks the shipped 32-bit service.exe: a PE32 GUI program for Intel 80386
# that imports only system DLLs and carries its manifest.
set -u
exe=${1:?path to the i686 service.exe}
fail=0

kind=$(file -b "$exe")
echo "file: $kind"
case "$kind" in
    "PE32 executable (GUI) Intel 80386"*) ;;
    *) echo "FAIL: not a 32-bit GUI executable"; fail=1 ;;
esac

system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|comctl32|comdlg32|ole32|oleaut32|ws2_32|msvcrt|version|winmm|uxtheme|dbghelp|shcore)\.dll$'
dlls=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
echo "imports: $(echo $dlls)"
for d in $dlls; do
    if ! echo "$d" | tr 'A-Z' 'a-z' | grep -Eq "$system_dlls"; then
        echo "FAIL: imports $d, which is not a system DLL"
        fail=1
    fi
done

# The manifest is stored as plain text in the resource section.
for needle in 'requireAdministrator' '<dpiAware' '{e2011457-1546-43c5-a5fe-008deee3d3f0}' \
              '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
    if ! grep -aqF "$needle" "$exe"; then
        echo "FAIL: manifest lacks $needle"
        fail=1
    fi
done

[ $fail -eq 0 ] && echo "service.exe is a 32-bit GUI program with only system imports and its manifest"
exit $fail

#!/bin/sh
# Checks the Windows release package of a Windows build folder: unpacks the ZIP into a temporary
# folder, checks its files and the DLLs the programs need, and runs the unpacked karvex.exe
# under wine (the build's own wrapper and prefix): compress and decompress one member, the
# main menu on the packaged "游戏信息.txt", and an export of the sample game with textures.
set -eu
build=$(cd "$1" && pwd)
export LC_ALL=C.UTF-8 # the package's file names are Chinese
zip=$(ls "$build"/package/karvex-*-win64.zip)
wine="$build/wine-run.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "package: $*" >&2
    exit 1
}

unzip -q "$zip" -d "$work"
dir=$(ls -d "$work"/karvex-*-win64)
for f in karvex.exe karvcore.dll 游戏信息.txt 使用说明.txt 样例游戏/357-PC/VOXBANK.IDX \
    样例游戏/Z54-PC/VOXDATA_A.BIN 样例游戏/358-PS3/VOXPACK_A.IDX; do
    [ -f "$dir/$f" ] || fail "missing $f"
done
[ "$(head -c 2 "$dir/游戏信息.txt" | od -An -tx1 | tr -d ' ')" = fffe ] ||
    fail "游戏信息.txt is not UCS-2 little-endian with its mark"

# Only DLLs that every Windows has, besides our own.
for f in karvex.exe karvcore.dll; do
    x86_64-w64-mingw32-objdump -p "$dir/$f" | sed -n 's/^\s*DLL Name: //p' | while read -r dll; do
        case $(echo "$dll" | tr 'A-Z' 'a-z') in
        kernel32.dll | msvcrt.dll | shell32.dll | user32.dll | advapi32.dll | karvcore.dll) ;;
        *) fail "$f needs $dll" ;;
        esac
    done
done

# The fault switch of the tests stays out of what ships.
if x86_64-w64-mingw32-objdump -p "$dir/karvcore.dll" | grep -q KarvFaultSwitchQX; then
    fail "karvcore.dll exports the test fault switch"
fi

cd "$dir"
i=0
while [ $i -lt 3000 ]; do
    echo "item_$i 名称=样例 hp=$((i % 97))"
    i=$((i + 1))
done > member.bin
out=$("$wine" ./karvex.exe PC C 357 member.bin)
echo "$out" | grep -q "压缩文件成功！" || fail "compress: $out"
mv member.bin.cdata packed.bin
out=$("$wine" ./karvex.exe PC U 357 packed.bin)
echo "$out" | grep -q "解压文件成功！" || fail "decompress: $out"
cmp -s packed.bin.udata member.bin || fail "decompressed member differs"

# The main menu lists the six sample games; 0 leaves.
out=$(echo 0 | "$wine" ./karvex.exe PC N)
echo "$out" | grep -q "6\. 样例 358（PS3）" || fail "main menu: $out"

# Game 3 (Z54, PC), file 1, export entries 0 to 2 with their textures.
out=$(printf '3\n1\n1\n0\n2\n1\n' | "$wine" ./karvex.exe PC N)
exported=样例游戏/Z54-PC/Extracted/VOXDATA_A
[ "$(head -c 17 $exported/000000.data)" = "# 角色参数表" ] || fail "export: $out"
ls $exported/Textures/1/*.dds >/dev/null 2>&1 || fail "no textures exported: $out"
echo "package: $(basename "$zip") unpacked and checked under wine"

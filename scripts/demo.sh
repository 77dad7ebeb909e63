#!/bin/sh
# The demo: compresses a generated sample member in each of the three containers, for PC and
# PS3 data, decompresses it again and shows that nothing changed.
set -eu
bin=$(cd "$1" && pwd)
out=demo-out
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# A sample member: text-like lines mixed with bytes that do not compress.
i=0
while [ $i -lt 4000 ]; do
    echo "item_$i name=Orvane-$((i * 7919 % 1000)) hp=$((i % 97)) atk=$((i % 31))"
    i=$((i + 1))
done > sample.txt
head -c 65536 /dev/urandom > noise.bin
cat sample.txt noise.bin sample.txt > member.bin
echo "样本文件 member.bin: $(wc -c < member.bin) 字节, sha256 $(sha256sum member.bin | cut -c1-16)"

for mode in PC PS3; do
    for type in 357 Z54 358; do
        echo "== $mode $type"
        cp member.bin m.bin
        "$bin/karvex" "$mode" C "$type" m.bin
        echo "   压缩后: $(wc -c < m.bin.cdata) 字节"
        mv m.bin.cdata packed.bin
        "$bin/karvex" "$mode" U "$type" packed.bin
        if cmp -s packed.bin.udata member.bin; then
            echo "   解压结果与原文件一致"
        else
            echo "   解压结果与原文件不同！" >&2
            exit 1
        fi
    done
done

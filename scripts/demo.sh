#!/bin/sh
# The demo: karvex's main job on the sample game, without a person at the keyboard. It writes the
# sample game, exports members with their textures, edits one member, backs the archive up,
# imports the edited member, exports it again to show the change, restores the archive and
# shows with checksums that the archive files are byte for byte what they were.
# The menus read their answers from a pipe; the transcript shows each answer after its prompt.
set -eu
bin=$(cd "$1" && pwd)
out=demo-out
rm -rf "$out"
mkdir -p "$out"
cd "$out"

game=样例游戏/357-PC
member=000012.data
step=0

title() {
    step=$((step + 1))
    echo
    echo "==== 第 $step 步：$* ===="
}

fail() {
    echo "演示失败：$*"
    exit 1
}

# Puts each answer behind the prompt that asked for it, as a terminal would show it.
transcript() {
    awk -v answers="$1" '
    BEGIN {
        n = split(answers, a, " "); k = 1
        p[1] = "请选择要操作的游戏："; p[2] = "请选择要操作的文件："; p[3] = "请选择要执行的操作："
        p[4] = "请输入需要提取的文件起始序号："; p[5] = "请输入需要提取的文件终止序号："
    }
    {
        line = $0
        while (1) {
            best = 0; len = 0
            for (i = 1; i <= 5; i++) {
                j = index(line, p[i])
                if (j > 0 && (best == 0 || j < best)) { best = j; len = length(p[i]) }
            }
            if (best == 0) break
            print substr(line, 1, best + len - 1) (k <= n ? a[k] : ""); k++
            line = substr(line, best + len)
        }
        if (line != "") print line
    }'
}

# Runs the menus of karvex with the answers (separated by blanks). "full" shows every screen;
# otherwise only the answered prompts and the outcome lines.
menus() {
    answers=$1
    shown=${2:-brief}
    echo "  运行 karvex PC N，依次输入：$answers"
    # shellcheck disable=SC2086
    printf '%s\n' $answers | "$bin/karvex" PC N > session.txt
    if [ "$shown" = full ]; then
        transcript "$answers" < session.txt | sed 's/^/  │ /'
    else
        transcript "$answers" < session.txt | grep -E '：[0-9]+$|！|？' | sed 's/^/  │ /'
    fi
}

title "生成样例游戏（karvsample）"
"$bin/karvsample" . | sed 's/^/  /'
echo "  本演示操作第 1 个游戏：357 类型、PC 数据，一个 IDX 文件加三个 Voxbank 文件。"

title "记下原始文件的校验和"
sha256sum "$game"/VOXBANK*.BIN "$game"/VOXBANK.IDX > 原始校验和.txt
sed 's/^\(................\)[0-9a-f]*/  \1…/' 原始校验和.txt

title "导出第 0 到 15 号成员，并提取其中的贴图"
echo "  （游戏 1 → 操作 1 导出数据 → 起始序号 0 → 终止序号 15 → 1 提取贴图）"
menus "1 1 0 15 1" full
exported=$game/Extracted
count=$(ls "$exported"/*.data | wc -l)
textures=$(find "$exported/Textures" -name '*.dds' | wc -l)
[ "$count" -gt 10 ] && [ "$textures" -gt 0 ] || fail "导出结果不对"
echo "  导出了 $count 个成员文件（未使用的条目被跳过）和 $textures 个 DDS 贴图，例如："
find "$exported/Textures" -name '*.dds' | sort | head -4 | sed 's/^/    /'
echo "  357 游戏的提示行总写第一个 Voxbank 文件的名字；第 12 号起的成员其实来自 VOXBANK1.BIN，"
echo "  程序按配置中的切分地址（Voxbank 地址）选择文件。第 12 号成员是一张角色参数表："
head -3 "$exported/$member" | sed 's/^/    /'
cp "$exported/$member" 第一次导出-$member

title "修改第 12 号成员：把 1 号角色的生命改为 9999"
mkdir -p "$game/Import"
sed '2s/生命=[0-9]*/生命=9999/' "$exported/$member" > "$game/Import/$member"
diff "$exported/$member" "$game/Import/$member" | sed 's/^/    /' || true
echo "  修改后的文件放进导入文件夹 $game/Import/"

title "备份（导入前必须先备份）"
echo "  （游戏 1 → 操作 3 备份数据 → 1 备份 → 回到主菜单后 0 退出）"
menus "1 3 1 0"
echo "  备份文件：$(cd "$game" && ls *.idxbak *.qxdata | tr '\n' ' ')"
for f in "$game"/VOXBANK*.BIN; do
    printf '  %s：%s 字节\n' "$(basename "$f")" "$(wc -c < "$f")"
done

title "导入修改后的成员"
echo "  （游戏 1 → 操作 2 导入数据）"
menus "1 2"
echo "  导入把新数据追加到成员所在的 VOXBANK1.BIN 末尾，并改写 IDX 中的条目，原有数据不动："
for f in "$game"/VOXBANK*.BIN; do
    printf '  %s：%s 字节\n' "$(basename "$f")" "$(wc -c < "$f")"
done

title "再次导出第 12 号成员，看到修改"
rm -rf "$exported"
echo "  （游戏 1 → 操作 1 导出数据 → 起始序号 12 → 终止序号 12 → 2 不提取贴图）"
menus "1 1 12 12 2"
cmp -s "$exported/$member" "$game/Import/$member" || fail "再次导出的成员与导入的文件不同"
echo "  再次导出的 $member 与导入的文件完全相同。与第一次导出相比："
diff 第一次导出-$member "$exported/$member" | sed 's/^/    /' || true

title "恢复到备份时的状态"
echo "  （游戏 1 → 操作 4 恢复数据 → 1 恢复 → 回到主菜单后 0 退出）"
menus "1 4 1 0"

title "比较校验和"
if sha256sum -c --quiet 原始校验和.txt; then
    echo "  所有 Voxbank 文件和 IDX 文件与原始文件逐字节相同："
    sed 's/^\(................\)[0-9a-f]*/  \1…/' 原始校验和.txt
else
    fail "恢复后的文件与原始文件不同"
fi
echo
echo "演示完成。所有文件都在 $(pwd) 中。"

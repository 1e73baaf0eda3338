#!/usr/bin/env bash
# festoonery-tool as a production maker uses it: pack a tree, list it, extract it and
# get every byte back; the build's own archive holds data/common byte for byte.
source "$(dirname "$0")/lib_tool.sh"

cd "$WORK"
mkdir -p data/common/fonts data/common/shaders/sub data/common/music "data/common/with space"
head -c 300000 /dev/urandom >data/common/music/noise.ogg
for i in $(seq 1 400); do echo "line $i of the birthday greeting"; done >data/common/greeting.txt
printf 'void main() { gl_FragColor = vec4(1.0); }\n' >data/common/shaders/sub/plain.frag
printf 'x' >data/common/shaders/one_byte.vert
printf 'AAAAAAAAAAAAAAAA' >data/common/fonts/single_value.bin
cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf data/common/fonts/ 2>/dev/null || true
echo 'spaced' >"data/common/with space/file name.txt"
: >data/common/.gitkeep

check "pack the default tree" 0 "skipping empty file data/common/.gitkeep" -- "$TOOL" pack
[ -s data.mvt ] && pass "data.mvt written" || fail "no data.mvt"
files=$(find data/common -type f ! -empty | wc -l)
grep -Eq "^Packed $files files \([0-9]+ bytes\) into data\.mvt: [0-9]+ bytes, [0-9.]+ % smaller; 1 empty files skipped\.$" "$OUT" \
    && pass "pack summary" || fail "pack summary: $(cat "$OUT")"

# list: one line per entry, in name order, with the file's size.
expected=$(cd "$WORK" && find data/common -type f ! -empty -printf '%s %p\n' | LC_ALL=C sort -k2)
"$TOOL" list >"$WORK/list" 2>"$ERR" || fail "list failed: $(cat "$ERR")"
got=$(grep -E '^ +[0-9]+  ' "$WORK/list" | sed -E 's/^ +([0-9]+)  (.*)$/\1 \2/')
[ "$got" = "$expected" ] && pass "list shows every entry and size" \
    || fail "list entries differ:\n$got\nexpected:\n$expected"
grep -Eq '^[0-9]+ entries, [0-9]+ bytes of file data$' "$WORK/list" && grep -q '% saved' "$WORK/list" \
    && pass "list figures" || fail "list figures missing: $(cat "$WORK/list")"

check "extract everything" 0 "^$" -- "$TOOL" extract -C out data.mvt
diff -r -x .gitkeep data out/data >"$WORK/diff" && pass "extracted tree equals the packed one" \
    || fail "extracted tree differs: $(cat "$WORK/diff")"

check "extract one entry" 0 "^$" -- "$TOOL" extract -C one data.mvt data/common/shaders/sub/plain.frag
[ "$(cd one && find . -type f)" = "./data/common/shaders/sub/plain.frag" ] \
    && cmp -s one/data/common/shaders/sub/plain.frag data/common/shaders/sub/plain.frag \
    && pass "only the named entry written" || fail "extract one: $(cd one && find . -type f)"

# Packing is deterministic, and a file PATH and a sub-folder are named from the working folder.
"$TOOL" pack -o a.mvt ./data//common/ >/dev/null 2>&1 && "$TOOL" pack -o b.mvt data/common >/dev/null 2>&1
cmp -s a.mvt b.mvt && cmp -s a.mvt data.mvt && pass "packing twice gives the same bytes" \
    || fail "packing is not deterministic"
check "pack a file and a folder" 0 "^$" -- "$TOOL" pack -o part.mvt data/common/greeting.txt data/common/shaders
"$TOOL" list part.mvt | grep -E '^ +[0-9]+  ' | awk '{print $2}' >"$WORK/names"
[ "$(cat "$WORK/names")" = "$(printf 'data/common/greeting.txt\ndata/common/shaders/one_byte.vert\ndata/common/shaders/sub/plain.frag')" ] \
    && pass "entry names relative to the working folder" || fail "names: $(cat "$WORK/names")"

# An archive from an independent encoder of the format reads back exactly.
$CRAFT crafted.mvt data/common/a.txt "hello festoonery" data/common/b/c.xml "<sync bpm='120'/>"
check "extract a crafted archive" 0 "^$" -- "$TOOL" extract -C crafted crafted.mvt
[ "$(cat crafted/data/common/a.txt)" = "hello festoonery" ] && [ "$(cat crafted/data/common/b/c.xml)" = "<sync bpm='120'/>" ] \
    && pass "crafted archive contents" || fail "crafted archive contents differ"
# ... and the engine's encoder writes exactly what the independent one writes.
mkdir -p same/data/common/b && printf 'hello festoonery' >same/data/common/a.txt \
    && printf "<sync bpm='120'/>" >same/data/common/b/c.xml
(cd same && "$TOOL" pack -o ../same.mvt >/dev/null 2>&1)
cmp -s same.mvt crafted.mvt && pass "engine encoder matches the independent encoder" \
    || fail "engine and independent encoder differ"

# The archive the build packed holds data/common byte for byte.
if [ -s "$RUNTIME_DIR/data.mvt" ]; then
    check "extract the build's archive" 0 "^$" -- "$TOOL" extract -C built "$RUNTIME_DIR/data.mvt"
    missing=$(cd "$SOURCE_DIR" && find data/common -type f ! -empty | while read -r f; do
        cmp -s "$f" "$WORK/built/$f" || echo "$f"; done)
    [ -z "$missing" ] && pass "build archive equals data/common" || fail "differs from data/common: $missing"
    extra=$(cd built && find data -type f | while read -r f; do [ -f "$SOURCE_DIR/$f" ] || echo "$f"; done)
    [ -z "$extra" ] && pass "build archive holds nothing else" || fail "extra entries: $extra"
else
    echo "note: no $RUNTIME_DIR/data.mvt (data/common holds no files yet)"
fi
# pack -o through a link to a 0640 archive elsewhere: the link and the mode stay.
mkdir -p shipped && cp data.mvt shipped/release.mvt && chmod 0640 shipped/release.mvt
ln -s shipped/release.mvt linked.mvt
printf 'changed' >data/common/shaders/one_byte.vert
check "pack through a link" 0 "skipping empty file" -- "$TOOL" pack -o linked.mvt
[ -L linked.mvt ] && [ "$(stat -c %a shipped/release.mvt)" = 640 ] && ! cmp -s data.mvt shipped/release.mvt \
    && pass "the link and the mode kept, the archive replaced" \
    || fail "after pack -o linked.mvt: $(ls -l linked.mvt shipped/)"
# A full disk (a file-size limit): the old archive stays and no temporary file is left.
cp shipped/release.mvt before.mvt
rm data/common/.gitkeep
check "pack on a full disk" 1 "Failed to write" -- bash -c "trap '' XFSZ; ulimit -f 64; exec \"\$0\" pack -o linked.mvt" "$TOOL"
cmp -s before.mvt shipped/release.mvt && [ "$(ls shipped)" = release.mvt ] \
    && pass "a full disk leaves the old archive" || fail "after a full disk: $(ls -l shipped)"

finish

#!/usr/bin/env bash
# festoonery-tool on damaged and unusual inputs: pipes, devices, folders, sizes the
# archive cannot hold, padded archives, image bombs, a hard link in the target folder and
# a file-size limit. Each is refused with one clean line and status 1 (or done right),
# quickly, in bounded memory and without a signal.
source "$(dirname "$0")/lib_tool.sh"

cd "$WORK"
mkdir -p data/common
printf 'some asset bytes, long enough to compress a little: aaaaaaaaaaaaaaaa\n' >data/common/a.txt
"$TOOL" pack >/dev/null 2>&1 || fail "setup pack"

# Every command runs under a time limit and an address-space limit: a hang or a read
# of gigabytes fails the check instead of stalling or swapping the machine.
bounded() { (ulimit -v 1000000; exec timeout 20 "$@"); }

# Pipes and devices are never opened as if they were files.
mkfifo pipe.mvt pipe.mid pipe.png pipe.xml
mkdir folder.mvt
ln -s /dev/zero zero.xml
while IFS='|' read -r name regex args; do
    # shellcheck disable=SC2086
    check "$name" 1 "$regex" -- bounded "$TOOL" $args
done <<'EOF'
list: pipe|^festoonery-tool list: Failed to open data file pipe\.mvt for reading\. Not a regular file \(a pipe, device or socket\) \(at .*data\.cpp:[0-9]+\)$|list pipe.mvt
list: folder|Failed to open data file folder\.mvt for reading\. Is a directory|list folder.mvt
list: missing|Failed to open data file nothere\.mvt for reading\. No such file or directory|list nothere.mvt
extract: pipe|Failed to open data file pipe\.mvt for reading\. Not a regular file|extract -C out pipe.mvt
midi: /dev/zero|Failed to open file /dev/zero|midi /dev/zero
midi: pipe|Failed to open file pipe\.mid|midi pipe.mid
image: pipe|pipe\.png|image pipe.png
sync: pipe|Could not load pipe\.xml|sync pipe.xml
sync: link to /dev/zero|Could not load zero\.xml|sync zero.xml
EOF
[ ! -e out ] && pass "nothing extracted from a pipe" || fail "extract from a pipe wrote $(ls out)"
truncate -s 3G huge.mid
check "midi: 3 GiB file" 1 "MIDI file huge\.mid is larger than 2147483647 bytes" -- bounded "$TOOL" midi huge.mid
rm huge.mid

# Archives padded to gigabytes (sparse files): refused from the block header and its
# table, before the body is read.
printf 'Morvaset Data File\0\0\2' >zeros.mvt
truncate -s 3G zeros.mvt
cp data.mvt padded.mvt
truncate -s 2G padded.mvt
check "header then 3 GiB of zeros" 1 "Damaged datafile zeros\.mvt: its symbol count 0 is outside 1 to 256" -- bounded "$TOOL" list zeros.mvt
check "valid block then 2 GiB of zeros" 1 "Damaged datafile padded\.mvt: its block of 2147483627 bytes is longer than [0-9]+ bytes of [0-9]+ symbols can need" -- bounded "$TOOL" list padded.mvt

# Sizes the archive cannot hold are refused before any byte is read (sparse files, no
# gigabytes written).
mkdir -p big/data/common
printf 'x' >big/data/common/small.txt
truncate -s $((4 * 1024 * 1024 * 1024 + 5)) big/data/common/huge.bin
check "pack: 4 GiB + 5 bytes" 1 "^festoonery-tool pack: cannot pack: data/common/huge\.bin is 4294967301 bytes; an archive entry holds at most 2147483647 bytes$" -- bounded sh -c "cd big && exec \"$TOOL\" pack"
truncate -s $((2 * 1024 * 1024 * 1024 + 10)) big/data/common/huge.bin
check "pack: 2 GiB + 10 bytes" 1 "data/common/huge\.bin is 2147483658 bytes" -- bounded sh -c "cd big && exec \"$TOOL\" pack"
[ ! -e big/data.mvt ] && pass "no archive for sizes it cannot hold" || fail "an archive was written: $(ls -l big/data.mvt)"
truncate -s $((1024 * 1024 * 1024 + 1)) big/data/common/huge.bin
cp big/data/common/huge.bin big/data/common/huge2.bin
check "pack: two files of 1 GiB + 1 byte" 1 "the 3 files make 21474837[0-9]{2} bytes of archive contents; an archive holds at most 2147483647 bytes" -- bounded sh -c "cd big && exec \"$TOOL\" pack"
rm -rf big

# An archive larger than its files says so.
mkdir -p tiny/data/common && printf 'ab' >tiny/data/common/t.txt
(cd tiny && "$TOOL" pack) >"$OUT" 2>"$ERR"
grep -Eq "^Packed 1 files \(2 bytes\) into data\.mvt: [0-9]+ bytes, [0-9]+\.[0-9]{2} % larger\.$" "$OUT" \
    && pass "pack: a growing archive is 'larger'" || fail "pack: $(cat "$OUT" "$ERR")"
grep -q -- "-[0-9.]* %" "$OUT" && fail "pack: negative percentage: $(cat "$OUT")"
rm -rf tiny

# Failed writes give the system's reason, and a file-size limit is no signal. The limit
# (50 KiB) leaves room for the tool's own log capture, not for 200 KB of asset (whether
# the temporary chunk stream or the file itself hits it first).
check "pack into a missing folder" 1 "Failed to open data file no/such/x\.mvt for writing\. Gimme permissions, bitch! No such file or directory" -- "$TOOL" pack -o no/such/x.mvt
mkdir -p lim/data/common
head -c 200000 /dev/urandom >lim/data/common/noise.bin
(cd lim && "$TOOL" pack -o ../noise.mvt >/dev/null 2>&1) || fail "setup: pack noise.mvt"
check "pack past the file-size limit" 1 "Failed to write (chunk|file contents)! File too large" -- sh -c "cd lim && ulimit -f 50 && exec \"$TOOL\" pack -o limited.mvt"
ls lim/limited.mvt* >/dev/null 2>&1 && fail "pack left $(ls lim/limited.mvt*)" || pass "pack past the limit leaves nothing"
check "extract past the file-size limit" 1 "(Failed to write file contents!|cannot write limited/data/common/noise\.bin:) File too large" -- sh -c "ulimit -f 50 && exec \"$TOOL\" extract -C limited noise.mvt"
[ -z "$(find limited -type f 2>/dev/null)" ] && pass "extract past the limit leaves no file" || fail "extract left $(find limited -type f)"

# A hard link in the target folder is replaced, never written through.
$CRAFT linked.mvt h "new contents"
printf 'outside\n' >outside.txt
mkdir ex && ln outside.txt ex/h
check "extract over a hard link" 0 "^$" -- "$TOOL" extract -C ex linked.mvt
[ "$(cat outside.txt)" = outside ] && pass "the linked file outside is untouched" || fail "outside.txt now holds '$(cat outside.txt)'"
[ "$(cat ex/h)" = "new contents" ] && pass "the entry is extracted" || fail "ex/h holds '$(cat ex/h)'"
[ "$(ls ex)" = h ] && pass "no temporary file left" || fail "ex holds $(ls ex)"

# 69 bytes declaring 16384 x 16384 pixels: refused without allocating the gigabyte
# (the address-space limit would make a gigabyte allocation fail differently).
python3 - <<'EOF'
import struct, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16384, 16384, 8, 6, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"\0" * 16)) + chunk(b"IEND", b"")
open("bomb.png", "wb").write(png)
EOF
check "image: 16384 x 16384 in $(stat -c %s bomb.png) bytes" 1 "bomb\.png.*Invalid texture information" -- sh -c "ulimit -v 300000; exec \"$TOOL\" image bomb.png"
finish

#!/usr/bin/env bash
# festoonery-tool's errors: damaged archives, unsafe names, bad arguments. Each is one
# clean line on stderr with a non-zero exit, never a crash, box or stray file.
source "$(dirname "$0")/lib_tool.sh"

cd "$WORK"
mkdir -p data/common/sub emptytree/data/common
printf 'some asset bytes, long enough to compress a little: aaaaaaaaaaaaaaaa\n' >data/common/sub/a.txt
printf 'second' >data/common/b.txt
"$TOOL" pack >/dev/null 2>&1 || fail "setup pack"
size=$(stat -c %s data.mvt)

patch() {  # patch OUT OFFSET HEXBYTES: a copy of data.mvt with bytes replaced
    cp data.mvt "$1"
    printf "$(echo "$3" | sed 's/../\\x&/g')" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
patch version12.mvt 19 0102
patch version01.mvt 19 0001
patch symbols0.mvt 25 00000000
patch symbols300.mvt 25 2c010000
patch hugesize.mvt 29 ffffff7f
head -c 21 data.mvt >only21.mvt
head -c $((size - 10)) data.mvt >truncated.mvt
head -c 40 data.mvt >shortblock.mvt
head -c 4000 /dev/urandom >garbage.mvt
: >empty.mvt

check "missing archive" 1 "^festoonery-tool list: Failed to open data file nothere\.mvt for reading\. No such file or directory \(at src/util/data/data\.cpp:[0-9]+\)$" -- "$TOOL" list nothere.mvt
check "empty archive" 1 "Negative or zero file length: 0" -- "$TOOL" list empty.mvt
check "garbage" 1 "Unrecognized datafile header" -- "$TOOL" list garbage.mvt
check "version 1.2" 1 "Expected datafile format 0\.2, got 1\.2" -- "$TOOL" list version12.mvt
check "version 0.1" 1 "Expected datafile format 0\.2, got 0\.1" -- "$TOOL" list version01.mvt
check "21 bytes" 1 "Failed to read 0 bytes from only21\.mvt\." -- "$TOOL" list only21.mvt
check "symbol count 0" 1 "Damaged datafile symbols0\.mvt: its symbol count 0 is outside 1 to 256" -- "$TOOL" list symbols0.mvt
check "symbol count 300" 1 "symbol count 300 is outside 1 to 256" -- "$TOOL" list symbols300.mvt
check "size the stream cannot fill" 1 "uncompressed size of 2147483647 bytes cannot come from" -- "$TOOL" list hugesize.mvt
check "truncated archive" 1 "Damaged (datafile|chunk header)" -- "$TOOL" list truncated.mvt
check "block cut inside its table" 1 "too short for its table" -- "$TOOL" list shortblock.mvt
check "extract from a damaged archive" 1 "Damaged" -- "$TOOL" extract -C never truncated.mvt
[ ! -e never ] && pass "nothing written from a damaged archive" || fail "files written from a damaged archive"

# A name or data cut off by the end of the chunk stream.
python3 - "$SOURCE_DIR/tests/e2e" <<'PY'
import struct, sys
sys.path.insert(0, sys.argv[1])
from mvt_craft import huffman_block
def archive(out, stream):
    open(out, 'wb').write(b'Morvaset Data File\0\0\2' + huffman_block(stream))
archive('cutdata.mvt', b'MVTDFC\0' + struct.pack('<II', 17, 50) + b'data/common/a.txt' + b'ten bytes!')
archive('cutname.mvt', b'MVTDFC\0' + struct.pack('<II', 40, 5) + b'data/common/a')
PY
check "data cut off" 1 "Unexpected end of datafile! Damaged chunk header in datafile cutdata\.mvt: chunk 1 claims a 17-byte name and 50 data bytes, but only 27 bytes are left\. \(at src/util/data/data\.cpp:[0-9]+\)$" -- "$TOOL" list cutdata.mvt
check "name cut off" 1 ": Unexpected end of datafile! Damaged chunk header .* a 40-byte name" -- "$TOOL" list cutname.mvt

# Names that would leave the target folder.
$CRAFT evil.mvt data/common/ok.txt fine ../escaped.txt evil
check "'..' name refused" 1 "refusing the entry \.\./escaped\.txt: it has a '\.\.' component \(nothing written\)" -- "$TOOL" extract -C target evil.mvt
[ ! -e escaped.txt ] && [ ! -e target/data/common/ok.txt ] && pass "nothing written for an unsafe archive" \
    || fail "files written despite an unsafe name"
$CRAFT abs.mvt "$WORK/absolute.txt" evil
check "absolute name refused" 1 "it is an absolute path" -- "$TOOL" extract -C target abs.mvt
[ ! -e absolute.txt ] && pass "absolute name not written" || fail "absolute name written"
$CRAFT mid.mvt data/../../mid.txt evil
check "inner '..' refused" 1 "it has a '\.\.' component" -- "$TOOL" extract -C target mid.mvt
mkdir -p elsewhere linked && ln -s "$WORK/elsewhere" linked/data
check "symbolic link inside DIR refused" 1 "through the symbolic link" -- "$TOOL" extract -C linked data.mvt
[ -z "$(ls elsewhere)" ] && pass "nothing written through the link" || fail "written through the link"
$CRAFT dup.mvt data/common/x.txt one data/common/x.txt two
check "duplicate entries refused" 1 "holds the entry data/common/x\.txt 2 times" -- "$TOOL" extract -C dup dup.mvt
check "duplicate entries listed" 0 "^$" -- "$TOOL" list dup.mvt
check "missing entry" 1 "data\.mvt has no entry named data/common/nope\.txt \(nothing written\)" -- "$TOOL" extract -C t2 data.mvt data/common/b.txt data/common/nope.txt
[ ! -e t2 ] && pass "nothing written when an entry is missing" || fail "wrote despite a missing entry"

# Packing problems; an existing archive survives them.
cp data.mvt keep.mvt
check "pack a missing path" 1 "no such file or folder: data/nothing" -- "$TOOL" pack -o keep.mvt data/nothing
cmp -s keep.mvt data.mvt && pass "existing archive untouched" || fail "existing archive changed"
check "pack an absolute path" 1 "cannot pack '/etc': it is absolute" -- "$TOOL" pack -o keep.mvt /etc
check "pack outside the working folder" 1 "it leaves the working folder" -- "$TOOL" pack -o keep.mvt ../x
check "pack an empty tree" 1 "nothing to pack: no non-empty files under emptytree/data/common" -- "$TOOL" pack -o keep.mvt emptytree/data/common
check "pack onto a folder" 1 "the archive path 'data' is a folder" -- "$TOOL" pack -o data
check "pack into a missing folder" 1 "Failed to open data file no/such/x\.mvt for writing" -- "$TOOL" pack -o no/such/x.mvt
[ -z "$(ls -a | grep '^keep\.mvt\.')" ] && pass "no temporary files left" || fail "temporary files left: $(ls)"

# Usage.
check "no subcommand" 2 "^Usage: festoonery-tool" -- "$TOOL"
check "unknown subcommand" 2 "unknown subcommand 'pak'" -- "$TOOL" pak
check "unknown option" 2 "festoonery-tool pack: unknown option '--fast'" -- "$TOOL" pack --fast
check "-o without a value" 2 "-o needs the archive's path" -- "$TOOL" pack -o
check "extract without archive" 2 "which archive\?" -- "$TOOL" extract -C x
check "list with two archives" 2 "one archive at a time" -- "$TOOL" list a.mvt b.mvt
check "overview" 0 "^$" -- "$TOOL" --help
for sub in pack list extract; do grep -q "^  $sub " "$OUT" || fail "--help lacks $sub"; done
for sub in pack list extract; do
    check "$sub --help" 0 "^$" -- "$TOOL" "$sub" --help
    grep -q "^Usage: festoonery-tool $sub" "$OUT" || fail "$sub --help lacks its usage"
done
finish

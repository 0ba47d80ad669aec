#!/usr/bin/env bash
# End to end: a file made by dfuse-pack with a matching suffix, written by `nemora-cli flash` into a
# virtual device backed by a flash file, then read back by an unmodified dfu-util through the libusb
# stand-in: the bytes must be the same. Also `nemora-cli read` of the same range.
# Usage: flash_dfu_util_test.sh REPO_ROOT NEMORA_CLI   (NEMORA_STANDIN_DIR names the built stand-in)
set -uo pipefail
root=$1
cli=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
export NEMORA_SIM_CONTROL=$tmp/control
export NEMORA_SIM="bcd=0x004C,flash=$tmp/flash.bin"
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

head -c 20000 /dev/urandom >a.bin
head -c 3000 /dev/urandom >b.bin
dfuse-pack -b 0x08000000:a.bin -b 0x08006000:b.bin image.dfu >/dev/null || fail "dfuse-pack"
dfu-suffix -D image.dfu >/dev/null || fail "dfu-suffix -D"
dfu-suffix -v 0483 -p df11 -d 004c -S 011a -a image.dfu >/dev/null || fail "dfu-suffix -a"

"$cli" flash image.dfu 2>flash.log || { cat flash.log >&2; fail "nemora-cli flash"; }
grep -q "Verify successful !" flash.log || fail "no 'Verify successful !'"

len=$((0x6000 + 3000))
"$root/scripts/with-virtual-usb" dfu-util -a 0 -s 0x08000000:$len -U up.bin >dfu.log 2>&1 ||
    { cat dfu.log >&2; fail "dfu-util -U"; }
python3 - <<'PY' || fail "dfu-util read back other bytes than the file holds"
import sys
up = open("up.bin", "rb").read()
a = open("a.bin", "rb").read()
b = open("b.bin", "rb").read()
sys.exit(0 if up[:len(a)] == a and up[0x6000:0x6000 + len(b)] == b and up[len(a):0x6000] == b"\xff" * (0x6000 - len(a)) else 1)
PY

"$cli" read --alt 0 --address 0x08000000 --length $len -o read.bin 2>/dev/null || fail "nemora-cli read"
cmp -s read.bin up.bin || fail "nemora-cli read and dfu-util -U differ"

# A file for another model is refused and changes nothing.
cp flash.bin before.bin
dfu-suffix -D image.dfu >/dev/null && dfu-suffix -v 0483 -p df11 -d 0080 -S 011a -a image.dfu >/dev/null
"$cli" flash image.dfu 2>err.log && fail "a file for another model was flashed"
grep -qF "This file is not supposed to be used with device,ID:0x0040!!" err.log || fail "no identity message"
cmp -s before.bin flash.bin || fail "a refused file changed the flash"
echo "nemora-cli flash and dfu-util read-back: all checks passed"

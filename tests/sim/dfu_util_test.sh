#!/usr/bin/env bash
# Unmodified dfu-util against the virtual device through the libusb stand-in: list, download of a
# dfuse-pack file and of a raw file, upload, leave (seen by later processes) and detach, protection,
# injected faults (one refusing the open), a bad NEMORA_SIM, and plugging from another process through
# scripts/virtual-usb.
# Usage: dfu_util_test.sh REPO_ROOT   (NEMORA_STANDIN_DIR names the built stand-in)
set -uo pipefail
root=$1
with=$root/scripts/with-virtual-usb
vusb=$root/scripts/virtual-usb
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
export NEMORA_SIM_CONTROL=$tmp/control
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Runs dfu-util through the stand-in; output in $tmp/out, status in $rc.
dfu() {
    "$with" dfu-util "$@" >"$tmp/out" 2>&1
    rc=$?
}

expect_ok() {
    if [[ $rc -ne 0 ]]; then
        fail "$1 (exit $rc)"
        cat "$tmp/out" >&2
    fi
}

expect_in_out() {
    grep -qF -- "$1" "$tmp/out" || { fail "expected '$1' in the output of: $2"; cat "$tmp/out" >&2; }
}

flash=$tmp/flash.bin
export NEMORA_SIM="flash=$flash,serial=TEST0001"

# --- list ---
dfu -l
expect_ok "dfu-util -l"
expect_in_out 'alt=0, name="@Internal Flash  /0x08000000/64*001Kg", serial="TEST0001"' "dfu-util -l"
expect_in_out 'alt=1, name="@Option Bytes  /0x1FFFF800/01*016 e", serial="TEST0001"' "dfu-util -l"
[[ $(stat -c %s "$flash") -eq 65536 ]] || fail "flash file not created with 65536 bytes"

# --- download of a DfuSe file made by dfuse-pack ---
head -c 5000 /dev/urandom >a.bin
head -c 1500 /dev/urandom >b.bin
dfuse-pack -b 0x08000000:a.bin -b 0x08005000:b.bin image.dfu >/dev/null || fail "dfuse-pack"
# dfu-util refuses a DfuSe file together with a raw address; the device must not be touched.
dfu -a 0 -s 0x08000000 -D image.dfu
expect_in_out "This is a DfuSe file, not meant for raw download" "dfu-util -s ADDR -D image.dfu"
dfu -a 0 -D image.dfu
expect_ok "dfu-util -a 0 -D image.dfu"
python3 - "$flash" <<'PY' || fail "flash file does not hold the DfuSe file's elements at their addresses"
import sys
flash = open(sys.argv[1], "rb").read()
a = open("a.bin", "rb").read()
b = open("b.bin", "rb").read()
expected = bytearray(b"\xff" * 65536)
expected[0:len(a)] = a
expected[0x5000:0x5000 + len(b)] = b
sys.exit(0 if flash == bytes(expected) else 1)
PY

# --- raw download at an address, then read everything back ---
head -c 3000 /dev/urandom >c.bin
dfu -a 0 -s 0x08008000 -D c.bin
expect_ok "dfu-util -a 0 -s 0x08008000 -D c.bin"
cmp -s -i 0:$((0x8000)) -n 3000 c.bin "$flash" || fail "raw download not at 0x08008000 in the flash file"
cmp -s -n 5000 a.bin "$flash" || fail "raw download disturbed earlier data"

dfu -a 0 -s 0x08000000:65536 -U up.bin
expect_ok "dfu-util -U"
cmp -s up.bin "$flash" || fail "upload of 65536 bytes differs from the flash file"

dfu -a 1 -s 0x1FFFF800:16 -U ob.bin
expect_ok "dfu-util -a 1 -U option bytes"
[[ $(od -An -tx1 -N2 ob.bin | tr -d ' ') == a55a ]] || fail "option bytes do not start with A5 5A"

# --- leave ---
dfu -a 0 -s 0x08000000:leave
expect_ok "dfu-util -s 0x08000000:leave"
expect_in_out "Transitioning to dfuMANIFEST state" "leave"
# The device now runs its firmware for every later process, until a detach brings it back.
dfu -l
expect_ok "dfu-util -l after leave"
expect_in_out 'Found Runtime: [0483:df11]' "dfu-util -l after leave"
grep -q "Found DFU" "$tmp/out" && fail "still listed in DFU mode after leave"
dfu -e
expect_ok "dfu-util -e"
dfu -l
expect_in_out 'Found DFU: [0483:df11]' "dfu-util -l after detach"

# --- read protection: uploads fail ---
NEMORA_SIM="protect=1" dfu -a 0 -s 0x08000000:1024 -U prot.bin
[[ $rc -ne 0 ]] || fail "upload from a read-protected device succeeded"

# --- an injected fault: the device vanishes at the second data block ---
head -c 8192 /dev/urandom >d.bin
NEMORA_SIM="fault=unplug@write:2" dfu -a 0 -s 0x08000000 -D d.bin
[[ $rc -ne 0 ]] || fail "download to a device that vanished reported success"

# --- no permission on the device: listed by the system, refused at open ---
NEMORA_SIM="fault=access" dfu -a 0 -s 0x08000000:16 -U acc.bin
[[ $rc -ne 0 ]] || fail "upload from a device that may not be opened succeeded"
expect_in_out "LIBUSB_ERROR_ACCESS" "fault=access"

# --- a malformed NEMORA_SIM is refused with a message naming the value ---
NEMORA_SIM="vid=0xZZ" dfu -l
expect_in_out "'0xZZ' for vid" "bad NEMORA_SIM"

# --- plug and unplug from another process ---
NEMORA_SIM="" dfu -l
grep -q "Found DFU" "$tmp/out" && fail "devices listed with an empty NEMORA_SIM"
"$vusb" plug 'bcd=0x0300,serial=PLUGGED' || fail "virtual-usb plug"
"$vusb" plug 'mode=other' || fail "virtual-usb plug mode=other"
NEMORA_SIM="" dfu -l
expect_in_out 'ver=0300' "dfu-util -l after plug"
expect_in_out 'serial="PLUGGED"' "dfu-util -l after plug"
"$vusb" unplug 1 || fail "virtual-usb unplug"
NEMORA_SIM="" dfu -l
grep -q "Found DFU" "$tmp/out" && fail "device still listed after unplug"
"$vusb" plug 'colour=red' 2>/dev/null && fail "virtual-usb accepted an unknown key"
"$vusb" reset
NEMORA_SIM="" dfu -l
grep -q "Found DFU" "$tmp/out" && fail "device listed after reset"

if [[ $failures -gt 0 ]]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "dfu-util against the virtual device: all checks passed"

#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a small real input of its target's format (see the comment at the top of each target):
bitmaps as the console's artwork is stored, parameter records and logo areas of catalogued models,
settings files, NEMORA_SIM values and control-file lines, and the answers of a DfuSe bootloader to
what the protocol layer asks. Run it from anywhere; it replaces the seeds it writes and leaves others.
"""

import pathlib
import shutil
import struct
import zlib

ROOT = pathlib.Path(__file__).resolve().parent.parent
CORPUS = ROOT / "fuzz" / "corpus"


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def u8(v):
    return struct.pack("<B", v & 0xFF)


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def s16(v):
    return struct.pack("<h", v)


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def ids(model, version=12):
    return u16(0x0483) + u16(0xDF11) + u16(model << 6 | version)


# --- bitmaps -------------------------------------------------------------------------------------


def bmp(width, height, bpp, rows, palette=b"", compression=0, top_down=False, masks=b""):
    stride = (width * bpp + 31) // 32 * 4
    pixels = b"".join(row.ljust(stride, b"\0") for row in rows)
    header = 40
    offset = 14 + header + len(masks) + len(palette)
    info = struct.pack("<IiiHHIIiiII", header, width, -height if top_down else height, 1, bpp, compression,
                       len(pixels), 2835, 2835, len(palette) // 4, 0)
    return b"BM" + u32(offset + len(pixels)) + u32(0) + u32(offset) + info + masks + palette + pixels


def bitmaps():
    for name in ("335.bmp", "375.bmp", "374.bmp"):  # 1-bit 128x32, 1-bit 96x96, 4-bit 96x96
        shutil.copy(ROOT / "assets" / "screens" / name, CORPUS / "bmp" / name)
    grey = b"".join(bytes((i, i, i, 0)) for i in range(256))
    write("bmp", "grey8.bmp", bmp(16, 4, 8, [bytes(range(y * 16, y * 16 + 16)) for y in range(4)], grey))
    white, black = b"\xff\xff\xff", b"\0\0\0"
    write("bmp", "rgb24_topdown.bmp",
          bmp(5, 3, 24, [white * 2 + black + white * 2, black * 5, white * 5], top_down=True))
    write("bmp", "bitfields32.bmp",
          bmp(3, 2, 32, [b"\xff\xff\xff\0" + b"\0\0\xff\0" + b"\xff\xff\xff\0", b"\0\0\0\0" * 3],
              compression=3, masks=u32(0xFF0000) + u32(0xFF00) + u32(0xFF)))


# --- parameter records ---------------------------------------------------------------------------


def record(unit, power, temperature, params=(100, 100, 800, 305, 105, 100, 255), length=128):
    r = bytearray(b"\xff" * length)
    struct.pack_into("<H", r, 0, 0x5A5A)
    struct.pack_into("<H", r, 14, unit)
    struct.pack_into("<HH", r, 26, params[0], params[1])
    struct.pack_into("<10H", r, 36, *power)
    struct.pack_into("<10H", r, 56, *temperature)
    struct.pack_into("<5H", r, 76, *params[2:])
    return bytes(r)


def options(frame, pointer, pressed, length, delta, held_ms):
    return (b"".join(s16(v) for v in frame) + s16(pointer[0]) + s16(pointer[1]) + u8(pressed) + s16(length) +
            struct.pack("<i", delta) + struct.pack("<q", held_ms))


def box(text):
    return u8(len(text)) + text.encode()


def records():
    # A 700 x 420 chart with the pointer on point 3 and pressed: a drag within a Fahrenheit record.
    write("settings_record", "model1_fahrenheit.bin",
          ids(1) + options((0, 0, 700, 420), (61 + 3 * 63, 200), 1, 40, 13, 2500) + box("  +250") +
          record(1, [350, 400, 450, 500, 550, 600, 650, 700, 750, 800], [400, 410, 420, 430, 440, 450, 460, 470,
                                                                         480, 490]))
    # Celsius, points out of range and a frame too small for a plot.
    write("settings_record", "model12_celsius.bin",
          ids(12) + options((10, 10, 60, 40), (20, 20), 0, 20, -1, 0) + box("1200x") +
          record(0, [0, 50, 9999, 1600, 1601, 5, 49, 51, 0xFFFF, 10], [0, 99, 103, 104, 316, 600, 0xFFFF, 1, 2, 3],
                 (0, 1001, 1000, 1, 0xFFFF, 500, 256)))
    # An uncatalogued model, the frame partly off screen, a negative box value.
    write("settings_record", "uncatalogued.bin",
          ids(63, 0) + options((-200, -50, 500, 600), (-100, 400), 1, 0x7FFF, -13, 1999) + box("-42") +
          record(0xFFFF, [350] * 10, [200] * 10, length=2048))


# --- logo areas and settings files ---------------------------------------------------------------


def dfuse_file(vid, pid, bcd, images):
    targets = b""
    for alternate, name, elements in images:
        body = b"".join(u32(address) + u32(len(data)) + data for address, data in elements)
        targets += (b"Target" + u8(alternate) + u32(1) + name.encode().ljust(255, b"\0") + u32(len(body)) +
                    u32(len(elements)) + body)
    prefix = b"DfuSe\x01" + u32(11 + len(targets)) + u8(len(images))
    suffix = u16(bcd) + u16(pid) + u16(vid) + u16(0x011A) + b"UFD" + u8(16)
    content = prefix + targets + suffix
    return content + u32(~zlib.crc32(content) & 0xFFFFFFFF)


def logo_header(model, flags=0, geometry=(0, 0, 0), images=(), probe=(0, 0)):
    head = ids(model) + u8(flags) + b"".join(struct.pack("<i", v) for v in geometry) + u8(len(images))
    head += b"".join(u8(w) + u8(h) for w, h in images)
    return head + u8(probe[0]) + u8(probe[1])


def logos():
    # Model 15: twelve 64 x 32 screens, a 3072-byte area with a frame drawn on every screen.
    screen = bytearray()
    for page in range(4):
        for x in range(64):
            edge = x in (0, 63)
            screen.append(0xFF if edge else (0x01 if page == 0 else 0x80 if page == 3 else 0))
    write("logo_area", "model15_area.bin", logo_header(15, 0, images=[(64, 32)] * 12, probe=(5, 31)) +
          bytes(screen) * 12)
    # A settings file of a 128 x 32 model: one page of the logo and the parameter record.
    param = record(1, [350] * 10, [400] * 10)
    settings = dfuse_file(0x0483, 0xDF11, 0x0200, [(0, "user_log", [(0x0800D000, bytes(range(256)))]),
                                                    (0, "user_para", [(0x0800F000, param)]),
                                                    (0, "other", [(0x08000000, b"\0" * 8)])])
    write("logo_area", "settings_file.vek", logo_header(2, 0, images=[(128, 32)] * 2) + settings)
    # Screens of another size than the device's, and a geometry given outright, over a short area.
    write("logo_area", "other_sizes.bin",
          logo_header(12, 3, (96, 90, 3), [(100, 17), (8, 96), (0, 5)], (7, 88)) + bytes(range(200)))


# --- NEMORA_SIM and the control file -------------------------------------------------------------


def sims():
    write("sim_config", "two_devices.txt", u16(0) +
          b"mode=dfu,vid=0x0483,pid=0xdf11,bcd=0x004C,serial=ABC123,fault=status=errPROG@upload:2;"
          b" mode=app , bcd=0x0300,timing=fullspeed,data=1,protect=1;;")
    write("sim_config", "control_lines.txt", u16(29) +
          b"plug mode=app,bcd=0x0300\nmode 1 dfu\nunplug 1\nmode 2 app\nreset\n"
          b"plug flash=/tmp/f.bin,fault=nodesc\nunplug 99999999999\nunpl")
    write("sim_config", "faults.txt", u16(7) +
          b"fault=unplug@descriptor,fault=stall@DNLOAD:3,fault=nodesc@descriptor:2,fault=access@open:2,dfuver=0x0100,"
          b"vid=1,vid=2")


# --- device answers ------------------------------------------------------------------------------

OK = 0x00


def answer(payload):
    return u8(OK) + u16(len(payload)) + payload


def out_ok():
    return u8(OK) + u8(0)  # request done, every byte moved


def status(state, code=0, poll_ms=0):
    return answer(bytes((code,)) + u32(poll_ms)[:3] + bytes((state, 0)))


def string_descriptor(text):
    units = text.encode("utf-16-le")
    return bytes((2 + len(units), 3)) + units


LAYOUTS = ["@Internal Flash  /0x08000000/60*001Kg,4*001Kg", "@Option Bytes  /0x1FFFF800/01*016 e",
           "@Data Flash /0x08080000/04*1Ka/0x08081000/2*512 g"]


def configuration(protocol=2, alternates=3, transfer=2048):
    interfaces = b"".join(bytes((9, 4, 0, alt, 0, 0xFE, 1, protocol, 4 + alt)) for alt in range(alternates))
    functional = bytes((9, 0x21, 0x0B)) + u16(255) + u16(transfer) + u16(0x011A)
    body = interfaces + functional
    return answer(bytes((9, 2)) + u16(9 + len(body)) + bytes((1, 1, 0, 0xC0, 50)) + body)


def protocols():
    # One device, request by request: layout, status, set-address (busy, then idle), upload, recovery
    # out of dfuERROR, a block write and a page erase.
    steps = configuration()
    steps += u8(1) + u8(0) + answer(string_descriptor(LAYOUTS[0]))
    steps += u8(1) + u8(1) + answer(string_descriptor(LAYOUTS[1]))
    steps += u8(0) + status(2)
    steps += u8(5) + u32(0x0800F000) + out_ok() + status(4, poll_ms=25) + status(5)
    steps += u8(9) + out_ok()
    steps += u8(2) + u16(64) + u16(2) + answer(bytes(range(64)))
    steps += u8(4) + status(10, code=0x06) + out_ok() + status(2)
    steps += u8(7) + u16(16) + u16(2) + out_ok() + status(4, poll_ms=3) + status(5)
    steps += u8(6) + u32(0x08000400) + out_ok() + status(4, poll_ms=40) + status(5)
    write("dfu_protocol", "requests.bin", u8(0) + steps)

    def mapped():
        return u8(OK) + configuration() + b"".join(answer(string_descriptor(s)) for s in LAYOUTS)

    def opened():  # the operation's own open, configuration, alternate and recovery to dfuIDLE
        return u8(OK) + configuration() + u8(OK) + u8(OK) + status(2)

    # Upload of 64 bytes of the parameter area.
    image = u8(0) + u8(1) + u32(0x0800F000) + u16(64) + u8(0)
    work = out_ok() + status(5) + out_ok() + answer(bytes(range(64))) + out_ok()
    write("dfu_protocol", "upload.bin", u8(1) + mapped() + image + opened() + work + status(2))
    # The single device calls first (descriptors, alternate 0, status, a 32-byte upload), then the upload.
    device = u8(OK) + answer(bytes((18, 1)) + u16(0x0200) + bytes((0, 0, 0, 64)) + u16(0x0483) + u16(0xDF11) +
                             u16(0x2200) + bytes((1, 2, 3, 1)))
    device += configuration() + u8(0) + u8(OK) + u8(OK) + status(2) + u16(32) + answer(bytes(32)) + out_ok()
    write("dfu_protocol", "device_calls.bin", u8(3) + mapped() + device + image + opened() + work + status(2))
    # Erase of two pages.
    image = u8(0) + u8(1) + u32(0x0800E000) + u16(2048) + u8(1)
    work = answer(string_descriptor(LAYOUTS[0]))
    work += (out_ok() + status(4, poll_ms=20) + status(5)) * 2 + out_ok()
    write("dfu_protocol", "erase.bin", u8(1) + mapped() + image + opened() + work + status(2))
    # Download of 3000 bytes in two blocks.
    image = u8(0) + u8(1) + u32(0x08000000) + u16(3000) + u8(2)
    work = out_ok() + status(5) + (out_ok() + status(4, poll_ms=5) + status(5)) * 2 + out_ok()
    write("dfu_protocol", "download.bin", u8(1) + mapped() + image + opened() + work + status(2))
    # Leaving DFU mode: set-address, the zero-length download, dfuMANIFEST.
    image = u8(0) + u8(1) + u32(0x08000000) + u16(4) + u8(3)
    work = out_ok() + status(5) + out_ok() + status(7)
    write("dfu_protocol", "leave.bin", u8(1) + mapped() + image + opened() + work)


def main():
    (CORPUS / "bmp").mkdir(parents=True, exist_ok=True)
    bitmaps()
    records()
    logos()
    sims()
    protocols()


if __name__ == "__main__":
    main()

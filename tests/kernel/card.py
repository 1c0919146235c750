#!/usr/bin/env python3
"""The kernel bench's SD card and report.

  card.py make IMAGE DIR       the card image, and in DIR the raw-data table
                               and the files the guest compares against
  card.py report IMAGE CONSOLE KNOWN
                               one line per check from the guest's console,
                               with what the card holds after power-off

The card (64 MiB, a power of two as the emulated SD controller wants):
raw areas in the first 4 MiB, outside any partition, as the reader's eMMC
has them; p1-p3 primary and p5-p8 logical, 4 MiB each, each beginning with
"KBENCH PARTITION N".
"""
import random
import re
import subprocess
import sys

MIB = 1024 * 1024
CARD_SIZE = 64 * MIB
AREAS = {  # name: (offset, size)
    "Waveform": (0x100000, 0x100000),
    "Id": (0x200000, 0x20000),
    "Boot Env": (0x240000, 0x20000),
    "Normal Boot Env": (0x260000, 0x20000),
    "Recovery Boot Env": (0x280000, 0x10000),
}
ENV_COPY = 0x10000  # the smallest of the three environments
TABLE_NAMES = {"Waveform": "Waveform Image", "Id": "Id Data"}
WAVEFORM_LENGTH = 200000
MAC = bytes.fromhex("024b42000001")
KEY = bytes.fromhex("0a1b2c3d4e5f")

CHECKS = [
    "morvane.verifywf",
    "fb.past-end",
    "boskel.normal",
    "boskel.recovery",
    "devprov.wifi",
    "devprov.moa",
    "devprov.closed-stdout",
    "rawdata.past-end",
    "emmc.block-requests",
    "emmc.past-end",
    "tty.gadget-settings",
    "usbhotplugd.attach-all",
    "usbhotplugd.read-only",
    "gadget.ro-while-attached",
    "usbhotplugd.remove-ejects",
    "usbhotplugd.add-reattaches",
    "usbhotplugd.other-partitions",
    "usbhotplugd.switch-modules",
    "usbhotplugd.cloexec",
    "usbhotplugd.off-ejects",
    "usbhotplugd.killed-read-only",
    "gadget.ro-booleans",
    "gadget.lun-other-nodes",
    "gadget.lun-no-device",
    "fendrac.stock-list",
    "fendrac.stock-info",
    "fendrac.list",
    "fendrac.info",
    "fendrac.file-1024",
    "fendrac.file-1048576",
    "fendrac.file-16777216",
    "fendrac.file-300001",
    "fendrac.file-rm",
    "fendrac.partition",
    "fendrac.tunnel",
    "fendrac.fault-stall-put-open",
    "fendrac.fault-stall-put-piece",
    "fendrac.fault-stall-put-last",
    "fendrac.fault-stall-get-piece",
    "fendrac.fault-stall-get-last",
    "fendrac.fault-fail-put-open",
    "fendrac.fault-fail-put-piece",
    "fendrac.fault-fail-put-last",
    "fendrac.fault-fail-get-piece",
    "fendrac.fault-fail-get-last",
    "fendrac.fault-hardware-put-piece",
    "fendrac.fault-short-put-open",
    "fendrac.fault-short-put-piece",
    "fendrac.fault-short-put-last",
    "fendrac.fault-short-get-piece",
    "fendrac.fault-short-get-last",
    "fendrac.fault-phase-error-open",
    "fendrac.fault-phase-error-piece",
    "fendrac.fault-phase-error-last",
    "fendrac.fault-wrong-tag-open",
    "fendrac.fault-wrong-tag-piece",
    "fendrac.fault-wrong-tag-last",
    "fendrac.fault-silent-piece",
    "fendrac.fault-unbind",
    "fendrac.access",
    "fendrac.eject",
    "quenlay.frames",
    "quenlay.touch-start",
]


def environment(text, fill, size):
    body = text.encode() + b"\n"
    return body + fill * (size - len(body))


def contents():
    """Every raw area's first content, by name."""
    rng = random.Random(20240601)
    waveform = bytes(rng.getrandbits(8) for _ in range(WAVEFORM_LENGTH))
    identity = bytearray(AREAS["Id"][1])
    identity[0:16] = b"KBENCH-READER".ljust(16, b"\0")
    identity[0x100:0x106] = b"\xff" * 6
    return {
        "Waveform": waveform + bytes(AREAS["Waveform"][1] - WAVEFORM_LENGTH),
        "Id": bytes(identity),
        "Boot Env": environment("bootcmd=active", b"A", AREAS["Boot Env"][1]),
        "Normal Boot Env": environment("bootcmd=normal", b"N", AREAS["Normal Boot Env"][1]),
        "Recovery Boot Env": environment("bootcmd=recovery", b"R", AREAS["Recovery Boot Env"][1]),
    }, waveform


def make(image, directory):
    with open(image, "wb") as card:
        card.truncate(CARD_SIZE)
    layout = "label: dos\n"
    for n in range(3):
        layout += f"start={(4 + 4 * n) * 2048}, size={4 * 2048}, type=83\n"
    layout += f"start={16 * 2048}, type=5\n"
    for _ in range(4):
        layout += f"size={4 * 2048 - 2048}, type=83\n"
    subprocess.run(["sfdisk", "--quiet", "--no-reread", "--no-tell-kernel", image], input=layout.encode(),
                   check=True)
    dump = subprocess.run(["sfdisk", "--dump", image], check=True, capture_output=True, text=True).stdout
    starts = {int(m.group(1)): int(m.group(2)) for m in re.finditer(r"img(\d+) : start=\s*(\d+)", dump)}
    areas, waveform = contents()
    with open(image, "r+b") as card:
        for number, start in starts.items():
            if number != 4:
                card.seek(start * 512)
                card.write(f"KBENCH PARTITION {number}".encode().ljust(512, b"\0"))
        for name, (offset, size) in AREAS.items():
            card.seek(offset)
            card.write(areas[name][:size])
    with open(f"{directory}/rawdata_param", "w") as table:
        for name, (offset, size) in AREAS.items():
            table.write(f"{TABLE_NAMES.get(name, name)}:0x{offset:08x}:0x{size:08x}\n")
    with open(f"{directory}/waveform.bin", "wb") as f:
        f.write(waveform)
    with open(f"{directory}/waveform-last-byte.bin", "wb") as f:
        f.write(waveform[:-1] + bytes([waveform[-1] ^ 0xFF]))
    with open(f"{directory}/active-tail.bin", "wb") as f:
        f.write(areas["Boot Env"][ENV_COPY:ENV_COPY * 2])


def card_checks(image):
    """What must be on the card after power-off without a sync: the last
    boskel (recovery), devprov's address and key. Name -> problem or None."""
    with open(image, "rb") as card:
        data = card.read()
    areas, _ = contents()

    def area(name):
        offset, size = AREAS[name]
        return data[offset:offset + size]

    active, identity = area("Boot Env"), area("Id")
    expected_active = areas["Recovery Boot Env"][:ENV_COPY] + areas["Boot Env"][ENV_COPY:]
    key_size = int.from_bytes(identity[0x3000:0x3004], "little")
    return {
        "boskel.recovery": None if active == expected_active else "the card's active environment is not recovery's",
        "devprov.wifi": None if identity[0x100:0x106] == MAC else
        f"the card holds the address {identity[0x100:0x106].hex()}",
        "devprov.moa": None if key_size == len(KEY) and identity[0x3004:0x3004 + len(KEY)] == KEY else
        f"the card holds key size {key_size}, {identity[0x3004:0x3004 + len(KEY)].hex()}",
    }


def report(image, console, known_file):
    known = {}
    with open(known_file) as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                name, _, reason = line.partition(" ")
                known[name] = reason.strip()
    results, facts, done = {}, [], False
    with open(console, errors="replace") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if line.startswith("KBENCH RESULT "):
                _, _, name, verdict, *detail = line.split(" ", 4)
                results[name] = (verdict, detail[0] if detail else "")
            elif line.startswith("KBENCH FACT "):
                facts.append(line[len("KBENCH FACT "):])
            elif line.startswith("KBENCH DONE"):
                done = True
    on_card = card_checks(image)
    counts = {"passed": 0, "failed": 0, "known": 0, "skipped": 0}
    for name in CHECKS:
        verdict, detail = results.get(name, ("FAIL", "no result: the guest did not get here"))
        if on_card.get(name):
            verdict, detail = "FAIL", f"{detail}; after power-off {on_card[name]}"
        elif name in on_card:
            detail += "; on the card after power-off"
        if name in known:
            label = "XFAIL" if verdict == "FAIL" else "XPASS"
            detail += f" [known failure: {known[name]}]"
            counts["known" if verdict == "FAIL" else "passed"] += 1
        else:
            label = verdict
            counts[{"PASS": "passed", "SKIP": "skipped"}.get(verdict, "failed")] += 1
        print(f"{label:5} {name}: {detail}")
    if not done:
        print("FAIL  the guest did not finish its checks")
        counts["failed"] += 1
    print("What the kernel did (for the virtual reader's models):")
    for fact in facts:
        print(f"      {fact}")
    print(f"kernel-bench: {counts['passed']} passed, {counts['failed']} failed, "
          f"{counts['known']} known failures, {counts['skipped']} skipped")
    return 0 if counts["failed"] == 0 else 1


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 5 and sys.argv[1] == "report":
        sys.exit(report(*sys.argv[2:]))
    else:
        sys.exit(__doc__)

"""Every exported Standard MIDI File must load in a real SMF reader (mido) with the
expected tracks, division and events, and every SysEx dump must read there as exactly the
messages a module is sent. Usage: smf_reader_test.py KITFORGE_CLI WORKDIR"""
import os
import subprocess
import sys

import mido

cli, work = sys.argv[1], sys.argv[2]
os.makedirs(work, exist_ok=True)
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def kit_file(name, lines):
    path = os.path.join(work, name)
    with open(path, "wb") as f:
        f.write(("\r\n".join(["@KFG FORMAT,100"] + lines) + "\r\n").encode("cp932"))
    return path


def export(kfg, out_name, *options):
    out = os.path.join(work, out_name)
    subprocess.run([cli, "convert", *options, kfg, out], check=True)
    return mido.MidiFile(out), out


def sysex_of(track):
    return [m for m in track if m.type == "sysex"]


# A full kit: 256 notes, eleven or twelve messages each, with comments.
lines = ["@NAME,0,Rock Kit"]
expected_sysex = 0
for s in (0, 1):
    if s == 1:
        lines.append("@NAME,1,Jazz Kit")
    for n in range(128):
        send = 0 if n % 3 == 0 else 40
        lines.append(f"{s},{n},Inst {n},2,0,{n},60,127,64,100,{send},{n % 2},0,0,1")
        expected_sysex += 12 if send == 0 else 11
    expected_sysex += 1  # the set's name message
full = kit_file("full.kfg", lines)
for options, texts in (((), 2 + 256), (("--no-comment",), 0)):
    mid, _ = export(full, "full.mid", *options)
    check(mid.type == 1 and len(mid.tracks) == 2 and mid.ticks_per_beat == 48, f"header {options}")
    names = [m.name for m in mid.tracks[0] if m.type == "track_name"]
    check(names == ["Rock Kit"], f"track 1 name {names}")
    check([m.type for m in mid.tracks[0]] == ["set_tempo", "time_signature", "key_signature", "track_name",
                                              "end_of_track"], "conductor events")
    check(mid.tracks[0][0].tempo == 500000, "tempo")
    t2 = mid.tracks[1]
    check(t2[0].type == "track_name" and t2[0].name == "UserDrum Exclusive", "track 2 name")
    check(len(sysex_of(t2)) == expected_sysex, f"sysex count {len(sysex_of(t2))} {options}")
    check(len([m for m in t2 if m.type == "text"]) == texts, f"text count {options}")
    total = sum(m.time for m in t2)
    check(total % 48 == 0, f"end of track on a quarter: {total}")
    # every note takes 12 ticks: 2 name blocks + 256 notes
    check(total >= 12 * 258, f"timing {total}")
    for m in sysex_of(t2):
        check(m.data[:4] == (0x41, 0x10, 0x42, 0x12), "DT1 frame")
        check(sum(m.data[4:]) % 128 == 0, "checksum")

# An empty kit with no set-1 name: the file's path less its extension names track 1.
empty = kit_file("empty.kfg", ["@NAME,0,"])
mid, out = export(empty, "empty.mid")
check(len(mid.tracks) == 2 and len(mid.tracks[1]) == 2, "empty kit tracks")
check(mid.tracks[1][-1].time == 48, "empty kit end of track")
check([m.name for m in mid.tracks[0] if m.type == "track_name"] == [os.path.abspath(out)[:-4]], "path fallback")
check(os.path.getsize(out) == 94 - len("UserDrum1") + len(os.path.abspath(out)[:-4]), "empty kit size")

# A long path: the track name of 128 bytes or more needs a multi-byte length.
deep = os.path.join(work, "d" * 150)
os.makedirs(deep, exist_ok=True)
mid, out = export(empty, os.path.join(deep, "long.mid"))
check([m.name for m in mid.tracks[0] if m.type == "track_name"] == [os.path.abspath(out)[:-4]], "long path name")

# A Shift-JIS set name survives byte for byte.
kana = kit_file("kana.kfg", ["@NAME,0,Rock", "0,36,ｷｯｸ", "@NAME,1,Set2"])
mid, _ = export(kana, "kana.mid")
texts = [m.text for m in mid.tracks[1] if m.type == "text"]
check(len(texts) == 2 and texts[1].encode("latin-1") == "ｷｯｸ".encode("cp932"), f"kana text {texts}")


# The SysEx dump of the same kit: the rhythm-part message, then per set each note's twelve
# parameters and the name, as the switch-on transfer sends them; nothing between messages.
def dt1(*body):
    return [0xF0, 0x41, 0x10, 0x42, 0x12, *body, (128 - sum(body) % 128) % 128, 0xF7]


expected = [dt1(0x40, 0x1A, 0x15, 0x02)]
for s in (0, 1):
    for n in range(128):
        send = 0 if n % 3 == 0 else 40
        chorus, delay = (send, 0) if n % 2 else (0, send)
        for p, v in enumerate((60, 127, 0, 64, 100, chorus, 0, 1, delay, 2, 0, n), 1):
            expected.append(dt1(0x21, 16 * s + p, n, v))
    expected.append(dt1(0x21, 16 * s, 0, *(("Rock Kit", "Jazz Kit")[s].ljust(12).encode())))
syx = os.path.join(work, "full.syx")
subprocess.run([cli, "convert", full, syx], check=True)
read = mido.read_syx_file(syx)
check(all(m.type == "sysex" for m in read), "only SysEx in the dump")
check([m.bytes() for m in read] == expected, f"dump messages ({len(read)} of {len(expected)})")
with open(syx, "rb") as f:
    check(f.read() == bytes(b for m in expected for b in m), "dump bytes back to back")

for f in dict.fromkeys(failures):
    print("FAIL:", f)
passed = 1 if not failures else 0
print(f"{passed} passed, {1 - passed} failed")
sys.exit(1 if failures else 0)

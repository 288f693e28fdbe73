"""MIDI files not written by us, built with a real SMF writer (mido), carry their user drum
sets into Kitforge: format 0 and 1, several tracks, a GS reset and notes around the DT1
messages, any division. Usage: smf_import_test.py KITFORGE_CLI WORKDIR"""
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


def dt1(address, data, device=0x10):
    body = list(address) + list(data)
    checksum = (128 - sum(body) % 128) % 128
    return mido.Message("sysex", data=[0x41, device, 0x42, 0x12] + body + [checksum])


def hex_line(address, data):
    m = dt1(address, data)
    return " ".join("%02X" % b for b in m.bytes())


gs_reset = mido.Message("sysex", data=[0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41])
song = [
    gs_reset,
    mido.Message("program_change", channel=9, program=0),
    mido.MetaMessage("text", text="not a note's name"),
    mido.Message("note_on", channel=9, note=36, velocity=100),
    dt1((0x21, 0x02, 0x24), [0x55]),                       # set 1, note 36: level
    dt1((0x21, 0x04, 0x24), [0x10]),                       # pan
    dt1((0x21, 0x12, 0x7F), [0x33], device=0x7F),          # set 2, note 127: level, any device
    dt1((0x21, 0x10, 0x00), list(b"MY KIT      ")),        # set 2's name
    dt1((0x21, 0x02, 0x24), [0x66]),                       # a later level wins
    mido.Message("note_off", channel=9, note=36),
]

for fmt, division in ((0, 96), (1, 480)):
    mid = mido.MidiFile(type=fmt, ticks_per_beat=division)
    if fmt == 0:
        mid.tracks.append(mido.MidiTrack(m.copy(time=10) for m in song))
    else:
        conductor = mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=400000)])
        drums = mido.MidiTrack(m.copy(time=5) for m in song[:6])
        rest = mido.MidiTrack(m.copy(time=0) for m in song[6:])
        mid.tracks.extend([conductor, drums, rest])
    path = os.path.join(work, "song%d.mid" % fmt)
    mid.save(path)
    out = os.path.join(work, "song%d.txt" % fmt)
    r = subprocess.run([cli, "convert", path, out], capture_output=True, text=True)
    check(r.returncode == 0, "format %d: exit %d, %s" % (fmt, r.returncode, r.stderr))
    check("Standard MIDI File" in r.stderr and "1 note(s) in set 1, 1 in set 2" in r.stderr,
          "format %d summary: %s" % (fmt, r.stderr))
    with open(out, "rb") as f:
        lines = f.read().decode("cp932").split("\r\n")
    check(hex_line((0x21, 0x02, 0x24), [0x66]) in lines, "format %d: the last level of note 36" % fmt)
    check(hex_line((0x21, 0x04, 0x24), [0x10]) in lines, "format %d: the pan of note 36" % fmt)
    check(hex_line((0x21, 0x12, 0x7F), [0x33]) in lines, "format %d: set 2 note 127" % fmt)
    check("@NAME,1,MY KIT" in lines, "format %d: set 2's name" % fmt)
    check("@0,36,not a note's name" not in lines, "format %d: a text before a note-on is no name" % fmt)

# A file with nothing of ours: exit 1, nothing written.
plain = mido.MidiFile(type=1)
plain.tracks.append(mido.MidiTrack([gs_reset, mido.Message("note_on", note=60)]))
path = os.path.join(work, "plain.mid")
plain.save(path)
out = os.path.join(work, "plain.kfg")
r = subprocess.run([cli, "convert", path, out], capture_output=True, text=True)
check(r.returncode == 1 and not os.path.exists(out), "a file with no user drum data: exit %d" % r.returncode)

if failures:
    print("\n".join(failures))
    print("0 passed, %d failed" % len(failures))
    sys.exit(1)
print("1 passed, 0 failed")

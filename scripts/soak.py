#!/usr/bin/env python3
"""The soak's session and figures (scripts/soak runs it; see there).

Usage: soak.py ROOT OUT DEADLINE
Runs tovan.exe under Wine (WINEPREFIX, DISPLAY and the sound server are the
caller's) through generated sessions and prints the growth table. DEADLINE is
a Unix time in seconds: a session still running then is ended and the soak
fails, saying so.
"""
import math
import os
import re
import struct
import subprocess
import sys
import time
import wave

root, out, deadline = sys.argv[1], sys.argv[2], float(sys.argv[3])
bundle = os.path.join(root, "build", "windows", "bundle")
channel = "com.brenmo.tovan/windows_audio"
calls = int(os.environ.get("TOVAN_SOAK_CALLS", "16000"))
block = int(os.environ.get("TOVAN_SOAK_BLOCK", "2000"))
warmup = int(os.environ.get("TOVAN_SOAK_WARMUP", "1000"))
interval = 2000
shell_block = 20
shell_every = 1000

def windows_path(path):
    return "Z:" + path.replace("/", "\\")

def quoted(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'

def run_session(name, lines):
    """Runs tovan.exe through `lines`; answers the transcript lines and the
    time each was first seen (the transcript is flushed line by line). Past
    the deadline the process is ended and the soak stops."""
    script = os.path.join(out, name + ".script")
    transcript = os.path.join(out, name + ".txt")
    with open(script, "w") as f:
        f.write("\n".join(lines) + "\n")
    if os.path.exists(transcript):
        os.remove(transcript)
    command = [os.path.join(root, "scripts", "wine-run"), "./tovan.exe",
               "--script=" + windows_path(script), "--transcript=" + windows_path(transcript)]
    process = subprocess.Popen(command, cwd=bundle, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    seen, times, pending = [], [], ""
    position = 0
    while True:
        finished = process.poll() is not None
        if os.path.exists(transcript):
            with open(transcript, "rb") as f:
                f.seek(position)
                chunk = f.read()
            position += len(chunk)
            pending += chunk.decode("utf-8", "replace")
            now = time.monotonic()
            *complete, pending = pending.split("\n")
            for line in complete:
                seen.append(line)
                times.append(now)
        if finished:
            break
        if time.time() > deadline:
            process.kill()
            process.wait()
            print(f"soak: the {name} session was still running at the overall limit"
                  " (TOVAN_SOAK_SECONDS); it was ended", flush=True)
            sys.exit(124)
        time.sleep(0.005)
    return process.returncode, seen, times

# A short tone to play: 16-bit mono PCM.
wav = os.path.join(out, "ringtone.wav")
with wave.open(wav, "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(8000)
    w.writeframes(b"".join(struct.pack("<h", int(3000 * math.sin(2 * math.pi * 440 * i / 8000)))
                           for i in range(1600)))

# The endpoint ids this prefix and sound server give.
code, listing, _ = run_session("endpoints", [
    channel + ' getSystemAudioDevices({"isCapture": false})',
    channel + ' getSystemAudioDevices({"isCapture": true})'])
ids = [re.findall(r'"deviceId": "([^"]*)"', line) for line in listing if line.startswith("< ")]
render = ids[0][0] if len(ids) > 0 and ids[0] else "{0.0.0.00000000}.{00000000-0000-0000-0000-000000000001}"
capture = ids[1][0] if len(ids) > 1 and ids[1] else "{0.0.1.00000000}.{00000000-0000-0000-0000-000000000001}"
print(f"endpoints: {len(ids[0]) if ids else 0} playback, {len(ids[1]) if len(ids) > 1 else 0} capture")

wav_arg = quoted(windows_path(wav))
missing_arg = quoted(windows_path(os.path.join(out, "no-such-ringtone.wav")))
forms = {
    "playRingtone": [
        f'playRingtone({{"filePath": {wav_arg}}})',
        f'playRingtone({{"filePath": {missing_arg}}})',
        'playRingtone({"filePath": 5})',
        'playRingtone({})',
    ],
    "stopRingtone": ['stopRingtone(null)', 'stopRingtone([1, "x"])'],
    "setVolume": ['setVolume({"volume": 0.5})', 'setVolume({"volume": 1})',
                  'setVolume({"volume": "1"})', 'setVolume({})'],
    "getSystemAudioDevices": ['getSystemAudioDevices({"isCapture": false})',
                              'getSystemAudioDevices({"isCapture": true})',
                              'getSystemAudioDevices("x")'],
    "setSystemDefaultAudioDevice": [
        f'setSystemDefaultAudioDevice({{"deviceId": {quoted(render)}, "isCapture": false}})',
        f'setSystemDefaultAudioDevice({{"deviceId": {quoted(capture)}, "isCapture": false}})',
        'setSystemDefaultAudioDevice({"deviceId": "{0.0.0.00000000}.{nothing}", "isCapture": false})',
        'setSystemDefaultAudioDevice({"isCapture": 1})',
    ],
    "getCrashDumpDirectory": ['getCrashDumpDirectory(null)', 'getCrashDumpDirectory([1])'],
    "openCrashDumpDirectory": ['openCrashDumpDirectory(null)'],
    "(unknown and malformed)": ['notAMethod(null)', 'hex 07 03 66 6F 6F', 'hex 01'],
}
mixed_cycle = []
longest = max(len(v) for k, v in forms.items() if k != "openCrashDumpDirectory")
for i in range(longest):
    for name, variants in forms.items():
        if name != "openCrashDumpDirectory":
            mixed_cycle.append(variants[i % len(variants)])

def mixed(count, start=0):
    lines = []
    for i in range(start, start + count):
        if i % shell_every == shell_every - 1:
            lines.append(channel + " " + forms["openCrashDumpDirectory"][0])
        else:
            lines.append(channel + " " + mixed_cycle[i % len(mixed_cycle)])
    return lines

# Phases: (label, number of calls). Each ends with a stop and @memory, so that
# every sample is taken with no ringtone playing: a playing one holds about
# 1.5 MB of sound buffers, which would come and go between samples.
closing = [channel + " stopRingtone(null)", "@memory"]
lines, phases = [], []
lines += mixed(warmup) + closing
phases.append(("warm-up", warmup + 1))
done = 0
while done < calls:
    step = min(interval, calls - done)
    lines += mixed(step, warmup + done) + closing
    phases.append(("mixed", step + 1))
    done += step
for name, variants in forms.items():
    count = shell_block if name == "openCrashDumpDirectory" else block
    lines += [channel + " " + variants[i % len(variants)] for i in range(count)] + closing
    phases.append((name, count + 1))

print(f"soak: {len(lines) - len(phases)} calls; transcript in build/soak/transcript.txt")
started = time.monotonic()
code, seen, times = run_session("transcript", lines)
elapsed = time.monotonic() - started
print(f"soak: tovan.exe ended with exit code {code} after {elapsed:.0f} s")

# Each phase: the figures of its closing @memory line, and the times the
# first message and the last reply of the phase were seen.
memory = re.compile(r"= memory private=(\d+) handles=(\d+)")
samples, spans, first, last = [], [], None, None
replies = {}
# Replies "COM_ERROR" for want of an audio-policy class, per phase.
no_policy, policy_failures = [], 0
for line, seen_at in zip(seen, times):
    m = memory.fullmatch(line)
    if m:
        samples.append((int(m.group(1)), int(m.group(2))))
        spans.append((first, last))
        no_policy.append(policy_failures)
        first = last = None
        policy_failures = 0
    elif line.startswith("> "):
        first = first if first is not None else seen_at
    elif line.startswith("< "):
        last = seen_at
        policy_failures += "IPolicyConfig" in line
        kind = re.match(r"< (success|error\(\"[A-Z_]+\"|notImplemented|no reply|no handler)", line)
        key = kind.group(1) if kind else line[:30]
        replies[key] = replies.get(key, 0) + 1
if len(samples) != len(phases):
    print(f"soak: the session ended early ({len(samples)} of {len(phases)} @memory lines);"
          " see build/soak/transcript.txt")
    sys.exit(1)

def per_thousand(delta, count):
    return delta * 1000.0 / count

def time_per_call(span, count):
    if span[0] is None or span[1] is None or count < 2:
        return float("nan")
    return (span[1] - span[0]) * 1000.0 / (count - 1)

print()
print(f"== after the warm-up ({warmup} calls): private {samples[0][0] / 1024:.0f} KiB, "
      f"{samples[0][1]} handles")
print(f"{'phase':<30} {'calls':>6} {'private KiB/1000':>17} {'handles/1000':>13} {'ms/call':>8}")
previous = samples[0]
rows = list(zip(phases, samples, spans))[1:]
for (label, count), sample, span in rows:
    print(f"{label:<30} {count:>6} {per_thousand((sample[0] - previous[0]) / 1024, count):>17.1f} "
          f"{per_thousand(sample[1] - previous[1], count):>13.2f} {time_per_call(span, count):>8.2f}")
    previous = sample
mixed_rows = [(i, r) for i, r in enumerate(rows) if r[0][0] == "mixed"]
end = mixed_rows[-1][1][1]
total = sum(r[0][1] for _, r in mixed_rows)
mean = sum(time_per_call(r[2], r[0][1]) * r[0][1] for _, r in mixed_rows) / total
print()
print(f"== mixed phase: {total} calls after the warm-up: private {(end[0] - samples[0][0]) / 1024:+.0f} KiB"
      f" ({(end[0] - samples[0][0]) / 1048576:+.2f} MiB), handles {end[1] - samples[0][1]:+d},"
      f" {mean:.2f} ms per call")
# Wine's resident memory moves in steps of about 1 MiB as its own threads
# come and go (a ringtone's player, the thread pool), so the median of the
# samples' steps is printed beside the total: a steady leak moves both.
steps = sorted((r[1][0] - rows[i - 1][1][0] if i > 0 else r[1][0] - samples[0][0]) * 1000 / r[0][1]
               for i, r in mixed_rows)
print(f"   median step between samples: private {steps[len(steps) // 2] / 1024:+.1f} KiB per 1000 calls")
print("replies: " + ", ".join(f"{k}: {v}" for k, v in sorted(replies.items())))

# What Wine itself leaves per policy-class creation, from platform_growth.
with open(os.path.join(out, "platform_growth.txt")) as f:
    platform = f.read()
policy = re.search(r"^policy\s+\d+\s+\S+\s+(\S+)", platform, re.M)
if policy:
    per_creation = float(policy.group(1)) / 1000
    failures = sum(no_policy[i + 1] for i, _ in mixed_rows)
    # Each such reply comes after trying both policy classes.
    wine = failures * 2 * per_creation
    print(f"   of the handles: {failures} replies without a policy class x 2 creations x "
          f"{per_creation:g} handles left by Wine = {wine:.0f}; the rest: {end[1] - samples[0][1] - wine:+.0f}")
print()
print("== the platform calls alone (build/windows/bench/windows/platform_growth.exe, same prefix"
      " and sound server)")
print(platform, end="")

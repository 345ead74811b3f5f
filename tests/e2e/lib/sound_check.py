"""Checks a movie recorded with sound over the flash-and-tone tool.

  sound_check.py MOVIE RATE [--min-pairs N] [--latency SECONDS] [--codec NAME]

The stream is PCM 16-bit 48 kHz stereo (or the codec named, as an MP4's
AAC) and as long as the picture to within a frame (an AAC stream codes
whole frames of 1024 samples: within that much more); each tone's onset
lies within a frame (plus the output latency) of the first frame that shows
its flash. Prints every offset.
"""
import argparse
import json
import subprocess
import sys


def run(args):
    return subprocess.run(args, check=True, capture_output=True).stdout


def main():
    p = argparse.ArgumentParser()
    p.add_argument("movie")
    p.add_argument("rate", type=float)
    p.add_argument("--min-pairs", type=int, default=3)
    p.add_argument("--latency", type=float, default=0.040)
    p.add_argument("--codec", default="pcm_s16le")
    a = p.parse_args()
    problems = []
    streams = json.loads(run(["ffprobe", "-v", "error", "-show_streams", "-of", "json", a.movie]))["streams"]
    audio = [s for s in streams if s.get("codec_type") == "audio"]
    if len(audio) != 1:
        print(f"FAIL: {len(audio)} sound streams")
        return 1
    s = audio[0]
    got = (s.get("codec_name"), s.get("sample_rate"), s.get("channels"))
    print(f"sound stream: {got[0]}, {got[1]} Hz, {got[2]} channels")
    if got != (a.codec, "48000", 2):
        problems.append(f"sound stream is {got}")

    # Brightness of each frame, and the sound as 16-bit mono.
    light = run(["ffmpeg", "-v", "error", "-i", a.movie, "-map", "0:v", "-vf", "scale=1:1,format=gray",
                 "-f", "rawvideo", "-"])
    pcm = run(["ffmpeg", "-v", "error", "-i", a.movie, "-map", "0:a", "-ac", "1", "-f", "s16le", "-"])
    samples = memoryview(pcm).cast("h")
    frames = len(light)
    picture = frames / a.rate
    track = len(samples) / 48000
    print(f"picture {frames} frames = {picture:.3f} s, sound {len(samples)} samples = {track:.3f} s")
    coded = 1024 / 48000 if a.codec == "aac" else 0
    if abs(track - picture) > 1 / a.rate + coded + 1e-6:
        problems.append(f"the sound lasts {track:.3f} s, the picture {picture:.3f} s")

    flashes = [k / a.rate for k in range(1, frames) if light[k] > 128 and light[k - 1] <= 128]
    tones, quiet = [], 0
    for i, v in enumerate(samples):
        if abs(v) > 3000:
            if quiet >= 4800:  # 100 ms of quiet before it
                tones.append(i / 48000)
            quiet = 0
        else:
            quiet += 1
    print(f"flashes at {', '.join(f'{t:.3f}' for t in flashes)}")
    print(f"tones at   {', '.join(f'{t:.3f}' for t in tones)}")
    offsets = []
    for t in tones:
        if not flashes:
            break
        near = min(flashes, key=lambda f: abs(f - t))
        if abs(near - t) < 0.5:
            offsets.append(t - near)
    print("offsets (tone onset - first frame of its flash), ms: " + ", ".join(f"{1000 * o:+.1f}" for o in offsets))
    if len(offsets) < a.min_pairs:
        problems.append(f"only {len(offsets)} tones matched a flash")
    bad = [o for o in offsets if not (-1 / a.rate - 0.002 <= o <= 1 / a.rate + a.latency)]
    if bad:
        problems.append("offsets outside one frame plus the output latency: " +
                        ", ".join(f"{1000 * o:+.1f} ms" for o in bad))
    for problem in problems:
        print("FAIL: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

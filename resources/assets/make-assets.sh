#!/bin/sh
# Builds the launcher's binary assets from nothing but the scripts in this folder:
#   background.jpg, music.mp3, icon-*.png, vardenhal.ico
# Debian packages needed: imagemagick sox lame python3 bc
# Each file is padded to the exact byte size the launcher expects (JPEG COM segments,
# a private PNG chunk, ID3v2.3 padding); check-assets.py verifies the result.
set -eu
export PYTHONDONTWRITEBYTECODE=1
cd "$(dirname "$0")"
CONVERT=/usr/bin/convert          # /usr/local/bin/convert may be something else
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ---- background: painted in Python, encoded as baseline 4:4:4 JPEG
python3 background.py > "$tmp/bg.ppm"
for q in 95 94 93 92 91 90 88 85; do
  "$CONVERT" "$tmp/bg.ppm" -strip -interlace none -sampling-factor 1x1 -quality $q "$tmp/bg.jpg"
  [ "$(stat -c %s "$tmp/bg.jpg")" -le 406000 ] && break
done
echo "background: JPEG quality $q"
python3 assetlib.py pad-jpeg "$tmp/bg.jpg" background.jpg 406823

# ---- icons
python3 icons.py .

# ---- music: slow D minor pad chords with sparse bells, made to loop seamlessly.
# The piece is rendered a little longer than the loop; the reverb tail past the loop
# point is mixed back onto the start, so the end flows into the beginning.
R=48000; L=40; T=8
sox -D -n -r $R -c 2 -b 32 "$tmp/bed.wav" trim 0 $((L + T))   # sets the mix length
inputs="-v 1 $tmp/bed.wav"
i=0
# "start:notes" in semitones from A4 (Dm7, Bbmaj7, Gm7, Fmaj7, Asus4)
for c in 0:-19,-12,-9,-4 8:-23,-16,-12,-7 16:-26,-19,-11,-4 24:-28,-12,-9,-5 32:-24,-17,-12,-7; do
  start=${c%%:*}
  notes=$(echo "${c#*:}" | tr , ' ')
  root=${notes%% *}
  tones=""
  for n in $notes; do  # each note twice, slightly detuned, one per side
    tones="$tones sawtooth %$(echo "$n - 0.04" | bc) sawtooth %$(echo "$n + 0.04" | bc)"
  done
  sox -D -n -r $R -c 10 -b 32 "$tmp/c.wav" synth 11 $tones sine %$((root - 12)) sine %$((root - 12))
  sox -D "$tmp/c.wav" -b 32 "$tmp/part$i.wav" \
    remix 1v0.12,3v0.12,5v0.12,7v0.12,9v0.3 2v0.12,4v0.12,6v0.12,8v0.12,10v0.3 \
    lowpass 900 lowpass 1800 fade h 3 11 4 pad $start
  inputs="$inputs -v 0.5 $tmp/part$i.wav"
  i=$((i + 1))
done
# "time:semitones:pan" bell notes from the D minor pentatonic
for b in 1.5:17:0.3 4:12:0.7 6.5:15:0.5 10:8:0.3 12.5:10:0.7 17:12:0.4 19.5:17:0.6 \
         22:15:0.3 26:8:0.7 28.5:5:0.4 33:10:0.6 35.5:12:0.35 38:8:0.65; do
  t=${b%%:*}; rest=${b#*:}; n=${rest%%:*}; p=${rest#*:}
  sox -D -n -r $R -c 2 -b 32 "$tmp/b.wav" synth 5 sine %$n sine %$((n + 12)) \
    remix 1v0.8,2v0.15 fade p 0.01 5 4.9
  sox -D "$tmp/b.wav" -b 32 "$tmp/part$i.wav" remix 1v$(echo "1 - $p" | bc) 1v$p pad $t
  inputs="$inputs -v 0.25 $tmp/part$i.wav"
  i=$((i + 1))
done
sox -D -m $inputs -b 32 "$tmp/mix.wav" reverb 70 40 100 100 30 0 trim 0 $((L + T))
sox -D "$tmp/mix.wav" -b 32 "$tmp/head.wav" trim 0 $L
sox -D "$tmp/mix.wav" -b 32 "$tmp/tail.wav" trim $L $T
# a quarter-second fade at both ends hides the decoder's start/end gap when looping
sox -D -m -v 1 "$tmp/head.wav" -v 1 "$tmp/tail.wav" -b 16 "$tmp/loop.wav" norm -3 fade q 0.25 $L 0.25
for v in 4 5 6 7; do  # best VBR quality that leaves room for the tag
  lame --quiet -V $v -m s --resample 48 --noreplaygain "$tmp/loop.wav" "$tmp/music.mp3"
  [ "$(stat -c %s "$tmp/music.mp3")" -le 507000 ] && break
done
echo "music: lame -V $v"
python3 assetlib.py pad-mp3 "$tmp/music.mp3" music.mp3 508976

python3 check-assets.py

#!/usr/bin/env bash
# Regenerates the game's artwork and sounds:
#   Images/Background.png, Images/Bird.png, Images/Pipe_Body.png,
#   Images/Pipe_Head.png, Images/ScoreSheet.png,
#   Sounds/Ding.wav and Sounds/BackgroundMusic.mp3.
# Everything comes from tools/assetgen; running this twice gives identical files.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
root=$ROOT
build="$root/build/assetgen"

need_packages assets

cmake -S "$root/tools/assetgen" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2

cd "$root"
music_wav="$build/BackgroundMusic.wav"
"$build/zephrin_assetgen" . "$music_wav"

# Fixed options only (no tags, no replay-gain scan) so the output is the same
# every time. The LAME header stores the encoder delay and padding, so
# gapless decoders play the loop back exactly as long as it was written.
lame --quiet --noreplaygain --resample 44.1 -m j -b 112 -q 2 "$music_wav" Sounds/BackgroundMusic.mp3
echo "wrote ./Sounds/BackgroundMusic.mp3"

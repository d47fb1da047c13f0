#!/usr/bin/env bash
# Renders an SVG at the sizes Windows asks an icon for (16 px for lists up to 256 px for large
# views, including the steps used at 125 %, 150 % and 200 % scaling) and packs the renderings
# into one .ico file. Each image is stored as PNG, which Windows reads in icons from Vista on.
#   svg-to-ico.sh <rsvg-convert> <icon.svg> <out.ico>
set -euo pipefail
rsvg=$1 svg=$2 out=$3
sizes=(16 20 24 32 40 48 64 96 128 256)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Little-endian integers as raw bytes.
byte() { printf "\\x$(printf %02x "$(($1 & 255))")"; }
u16() { byte "$1"; byte "$(($1 >> 8))"; }
u32() { u16 "$(($1 & 65535))"; u16 "$(($1 >> 16))"; }

for s in "${sizes[@]}"; do
  "$rsvg" --width "$s" --height "$s" --keep-aspect-ratio --format png --output "$work/$s.png" "$svg"
done

{
  u16 0; u16 1; u16 "${#sizes[@]}"  # reserved, type 1 (icon), image count
  offset=$((6 + 16 * ${#sizes[@]}))
  for s in "${sizes[@]}"; do
    length=$(stat -c %s "$work/$s.png")
    byte "$((s % 256))"; byte "$((s % 256))"  # width and height; 0 means 256
    byte 0; byte 0                          # no palette, reserved
    u16 1; u16 32                           # planes, bits per pixel
    u32 "$length"; u32 "$offset"
    offset=$((offset + length))
  done
  for s in "${sizes[@]}"; do cat "$work/$s.png"; done
} >"$work/icon.ico"
mv "$work/icon.ico" "$out"

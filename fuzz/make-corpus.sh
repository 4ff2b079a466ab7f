#!/bin/sh
# Seeds the fuzzer's corpus with real fonts (a few fixed-cell fonts of
# xfonts-base converted to BDF) and the loader's hand-written edge cases.
set -eu
corpus=$1
mkdir -p "$corpus"
for name in 6x12-ISO8859-1 5x7-ISO8859-1 10x20-KOI8-R 4x6-ISO8859-15 9x15B-ISO8859-1; do
    pcf2bdf -o "$corpus/$name.bdf" "/usr/share/fonts/X11/misc/$name.pcf.gz"
done
printf 'FONTBOUNDINGBOX 0 12\nFONTBOUNDINGBOX 8 3\nENCODING 65\nBITMAP\n18\n24\n42\nENDCHAR\nENCODING 300\nENCODING 66\nENDCHAR\n' > "$corpus/edges.bdf"
printf 'FONTBOUNDINGBOX 16 128\nENCODING 65\nBITMAP\ngg\nF\nENDCHAR\nENCODING 65\nBITMAP\n0102\n' > "$corpus/large.bdf"

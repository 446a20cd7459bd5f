#!/usr/bin/env bash
# Draws the splash picture (run once; the JPEG is kept in the repository).
# The card and the ring use the figures of the window's outline in app/Splash.cpp:
# card (0,30)-(420,380) with 28 px corners, ring centred at (90,70), radius 68.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 420x380 xc:'#1d2327' \
  \( -size 420x350 gradient:'#f7f4ec'-'#cdd9e1' \) -geometry +0+30 -compose over -composite \
  -fill none -stroke '#1d2327' -strokewidth 60 -draw "roundrectangle -30,0 450,410 58,58" \
  -fill none -stroke '#56707f' -strokewidth 3 -draw "roundrectangle 2,32 417,377 26,26" \
  -stroke none -fill '#2b2f33' -draw "circle 90,70 90,2" \
  -fill '#e9eef2' -draw "circle 90,70 90,38" \
  -stroke '#b87333' -strokewidth 7 \
  -draw "line 90,4 90,36" -draw "line 90,104 90,136" -draw "line 24,70 56,70" -draw "line 124,70 156,70" \
  -draw "line 43,23 66,46" -draw "line 114,94 137,117" -draw "line 137,23 114,46" -draw "line 66,94 43,117" \
  -stroke none -fill '#2f4858' -font DejaVu-Sans-Bold -pointsize 58 -draw "text 178,112 'Ferrit'" \
  -fill '#56707f' -font DejaVu-Sans -pointsize 15 -draw "text 182,138 'files to and from FTP servers'" \
  -stroke '#b87333' -strokewidth 2 -draw "line 60,150 360,150" \
  -quality 92 splash.jpg

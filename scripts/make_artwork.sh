#!/usr/bin/env bash
# Regenerates the installer artwork under res/ (banner, buttons, progress bar,
# window buttons, check boxes and the application icon).
#
# The generated files are committed, so a normal build never runs this; run it
# after changing the artwork below and commit the results together with it.
#
#   scripts/make_artwork.sh [output-dir]     (default: res/ at the repo root)
#
# ART_KEEP=<dir> copies the intermediate renders (raw RGB banner, RGBA icon)
# there, which helps when adjusting the drawing.
#
# ImageMagick draws everything that needs vector shapes and CJK text at twice
# the final size and box-filters it down; scripts/make_artwork.py then writes
# the exact file formats the resource compiler and the installer expect
# (24-bit bottom-up BI_RGB bitmaps, one 32-bit DIB icon) and draws the small
# widgets with signed-distance anti-aliasing.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/res}
mkdir -p "$out"
out=$(cd "$out" && pwd)

"$top/scripts/apt_need.sh" make_artwork imagemagick fonts-wqy-microhei fonts-arphic-uming python3

# Use the real ImageMagick binary, not any wrapper that may sit earlier in PATH.
IM=/usr/bin/convert
[ -x "$IM" ] || IM=convert
PY=/usr/bin/python3
[ -x "$PY" ] || PY=python3

# Text fonts: WenQuanYi Micro Hei for the sans-serif headline, AR PL UMing CN
# as a fallback when fontconfig does not know it under that name.
font_sans=WenQuanYi-Micro-Hei
if ! "$IM" -list font | grep -q "Font: $font_sans\$"; then
  font_sans=AR-PL-UMing-CN
fi

tmp=$(mktemp -d)
trap '[ -n "${ART_KEEP:-}" ] && cp -r "$tmp"/. "$ART_KEEP"/; rm -rf "$tmp"' EXIT

# ---------------------------------------------------------------------------
# Banner: 600 x 305, drawn at 2x.  Coordinates in the MVG below are in final
# pixels; "scale 2,2" maps them onto the 2x canvas.
# ---------------------------------------------------------------------------
W=1200 H=610

deco='
  fill none stroke rgba(255,255,255,0.08) stroke-width 1.2
  circle 445,160 445,55
  circle 445,160 445,22
  stroke none
  fill rgba(255,255,255,0.05)
  circle 30,-20 30,105
  fill rgba(255,255,255,0.04)
  circle 600,330 600,190
  fill rgba(255,255,255,0.22)
  circle 262,40 262,41.3
  circle 274,40 274,41.3
  circle 286,40 286,41.3
  circle 298,40 298,41.3
  circle 262,52 262,53.3
  circle 274,52 274,53.3
  circle 286,52 286,53.3
  circle 298,52 298,53.3
  circle 262,64 262,65.3
  circle 274,64 274,65.3
  circle 286,64 286,65.3
  circle 298,64 298,65.3
'

receipt_shape='polygon -28,-56 28,-56 28,50 24,55 20,50 16,55 12,50 8,55 4,50 0,55 -4,50 -8,55 -12,50 -16,55 -20,50 -24,55 -28,50'

shadow="
  fill rgba(0,22,28,0.45)
  roundrectangle 354,70 545,241 14,14
  circle 516,246 516,282
  push graphic-context
    translate 343,211 rotate -8
    $receipt_shape
  pop graphic-context
"

tablet='
  fill #0A2C35 roundrectangle 350,62 540,232 14,14
  fill #123F4A roundrectangle 352,64 538,230 12,12
  fill #0A2C35 roundrectangle 353,65 537,229 11,11
  fill #F5F9F8 roundrectangle 360,72 530,222 5,5
  fill #1E4B55 circle 445,67.5 445,68.8

  fill #17917F roundrectangle 360,72 530,92 5,5
  rectangle 360,86 530,92
  fill rgba(255,255,255,0.92) roundrectangle 367,79 397,84.5 2.5,2.5
  fill rgba(255,255,255,0.55) roundrectangle 403,79 418,84.5 2.5,2.5
  fill #FFB266 circle 522,81.8 522,84.6

  fill #FFE7D4 roundrectangle 366,98 394,132 4,4
  fill #DDF2EE roundrectangle 400,98 428,132 4,4
  fill #FFF1CC roundrectangle 434,98 462,132 4,4
  fill #DDF2EE roundrectangle 366,140 394,174 4,4
  fill #FFF1CC roundrectangle 400,140 428,174 4,4
  fill #FFE7D4 roundrectangle 434,140 462,174 4,4
  fill #FFF1CC roundrectangle 366,182 394,216 4,4
  fill #FFE7D4 roundrectangle 400,182 428,216 4,4
  fill #DDF2EE roundrectangle 434,182 462,216 4,4

  fill #FF9A4D circle 380,111 380,118
  fill #2BB3A3 circle 414,111 414,118
  fill #F5B63C circle 448,111 448,118
  fill #2BB3A3 circle 380,153 380,160
  fill #F5B63C circle 414,153 414,160
  fill #FF9A4D circle 448,153 448,160
  fill #F5B63C circle 380,195 380,202
  fill #FF9A4D circle 414,195 414,202
  fill #2BB3A3 circle 448,195 448,202
  fill #B9C6C4
  roundrectangle 372,123 388,126 1.5,1.5
  roundrectangle 406,123 422,126 1.5,1.5
  roundrectangle 440,123 456,126 1.5,1.5
  roundrectangle 372,165 388,168 1.5,1.5
  roundrectangle 406,165 422,168 1.5,1.5
  roundrectangle 440,165 456,168 1.5,1.5
  roundrectangle 372,207 388,210 1.5,1.5
  roundrectangle 406,207 422,210 1.5,1.5
  roundrectangle 440,207 456,210 1.5,1.5

  fill #FFFFFF stroke #E1E9E8 stroke-width 1 roundrectangle 468.5,98.5 523.5,215.5 4,4 stroke none
  fill #CFD9D7
  roundrectangle 474,106 500,109.5 1.7,1.7
  roundrectangle 474,117 496,120.5 1.7,1.7
  roundrectangle 474,128 502,131.5 1.7,1.7
  roundrectangle 474,139 494,142.5 1.7,1.7
  fill #E3EAE9
  roundrectangle 507,106 518,109.5 1.7,1.7
  roundrectangle 507,117 518,120.5 1.7,1.7
  roundrectangle 507,128 518,131.5 1.7,1.7
  roundrectangle 507,139 518,142.5 1.7,1.7
  fill none stroke #D5DEDC stroke-width 1 stroke-dasharray 2,2 line 474,152.5 518,152.5 stroke none
  fill #8FA09E roundrectangle 474,160 492,164 2,2
  fill #0F5663 roundrectangle 500,158.5 518,165.5 2,2
  fill #FF8A3D roundrectangle 474,196 518,209 4,4
  fill #FFFFFF roundrectangle 487,201 505,204.5 1.7,1.7
'

receipt="
  push graphic-context
    translate 343,204 rotate -8
    fill #FFFFFF $receipt_shape
    fill #17917F roundrectangle -12,-48 12,-43 2.5,2.5
    fill #CBD6D4
    roundrectangle -20,-34 4,-31 1.5,1.5
    roundrectangle -20,-26 0,-23 1.5,1.5
    roundrectangle -20,-18 6,-15 1.5,1.5
    roundrectangle -20,-10 -2,-7 1.5,1.5
    fill #DCE4E3
    roundrectangle 11,-34 20,-31 1.5,1.5
    roundrectangle 11,-26 20,-23 1.5,1.5
    roundrectangle 11,-18 20,-15 1.5,1.5
    roundrectangle 11,-10 20,-7 1.5,1.5
    fill none stroke #CBD6D4 stroke-width 0.8 stroke-dasharray 2,1.6 line -20,0.5 20,0.5 stroke none
    fill #FF8A3D roundrectangle -20,7 -4,12 2,2
    fill #0F5663 roundrectangle 6,6 20,13 2,2
    fill #31434B
    rectangle -20,24 -19,38
    rectangle -17.5,24 -15.5,38
    rectangle -14,24 -13.2,38
    rectangle -11.5,24 -9,38
    rectangle -7.5,24 -6.7,38
    rectangle -5,24 -3,38
    rectangle -1.5,24 -0.7,38
    rectangle 1,24 3.5,38
    rectangle 5,24 5.8,38
    rectangle 7.5,24 9,38
    rectangle 10.5,24 11.3,38
    rectangle 13,24 15.5,38
    rectangle 17,24 17.8,38
    rectangle 19,24 20,38
  pop graphic-context
"

plate='
  fill #FFFFFF circle 512,238 512,273
  fill #E4ECEB circle 512,238 512,265
  fill #FFFFFF circle 512,238 512,264
  fill #FF8A3D circle 503,234 503,244
  fill #FFC15A circle 520,245 520,252.5
  fill #FFE0B8 circle 516,228 516,232
  push graphic-context
    translate 521,231 rotate -30
    fill #3DBE7A ellipse 0,0 7,3 0,360
  pop graphic-context
  push graphic-context
    translate 506,249 rotate 25
    fill #2FA868 ellipse 0,0 6,2.6 0,360
  pop graphic-context

  fill #E9F2F1
  roundrectangle 561.5,200 563.5,220 1,1
  roundrectangle 565.5,200 567.5,220 1,1
  roundrectangle 569.5,200 571.5,220 1,1
  roundrectangle 561.5,214 571.5,226 4,4
  roundrectangle 564.3,222 568.7,272 2.2,2.2
  path "M 580,200 C 588,208 588,224 586,236 L 582,236 Z"
  roundrectangle 579.8,232 584.2,272 2.2,2.2
'

wave='
  fill rgba(255,255,255,0.14)
  path "M 0,291 C 140,268 300,300 440,281 C 505,272 560,268 600,275 L 600,306 L 0,306 Z"
  fill #EBEBEB
  path "M 0,297 C 150,281 300,306 450,291 C 520,285 570,281 600,286 L 600,306 L 0,306 Z"
'

chips='
  fill rgba(255,255,255,0.08) stroke rgba(255,255,255,0.38) stroke-width 0.9
  roundrectangle 46.5,214.5 108.5,235.5 10.5,10.5
  roundrectangle 116.5,214.5 178.5,235.5 10.5,10.5
  roundrectangle 186.5,214.5 248.5,235.5 10.5,10.5
  stroke none
  fill #FF9A4D roundrectangle 46,160 84,164 2,2
  fill #FFC15A circle 91,162 91,164
'

sub="智能收银 · 轻松开店"

"$IM" -size ${W}x${H} -define gradient:angle=100 gradient:'#0B4656-#168A7C' \
  \( -size 900x900 radial-gradient:'rgba(80,210,185,0.30)-rgba(80,210,185,0)' \) \
     -geometry +$((445*2-450))+$((170*2-450)) -composite \
  \( -size ${W}x${H} xc:none -draw "scale 2,2 $deco" \) -composite \
  \( -size ${W}x${H} xc:none -draw "scale 2,2 $shadow" -channel A -blur 0x12 +channel \) \
     -geometry +6+14 -composite \
  \( -size ${W}x${H} xc:none -draw "scale 2,2 $tablet" \) -composite \
  \( -size ${W}x${H} xc:none -draw "scale 2,2 $receipt" \) -composite \
  \( -size ${W}x${H} xc:none -draw "scale 2,2 $plate" \) -composite \
  \( -size ${W}x${H} xc:none -draw "scale 2,2 $chips" \) -composite \
  \( -size ${W}x${H} xc:none -font "$font_sans" -fill 'rgba(0,20,26,0.45)' \
     -pointsize 108 -annotate +88+290 '霁桐餐饮' -channel A -blur 0x6 +channel \) -composite \
  -font "$font_sans" \
  -fill '#FFB070' -pointsize 22 -kerning 5 -annotate +92+164 'SMART · POS' -kerning 0 \
  -fill '#FFFFFF' -pointsize 108 -annotate +86+284 '霁桐餐饮' \
  -fill '#D6F1EC' -pointsize 38 -annotate +92+388 "$sub" \
  -fill '#E8F7F4' -pointsize 22 \
     -annotate +112+458 '扫码点餐' -annotate +252+458 '会员营销' -annotate +392+458 '经营报表' \
  \( -size ${W}x${H} xc:none -draw "scale 2,2 $wave" \) -composite \
  -alpha off -filter box -resize 600x305\! -depth 8 "$tmp/banner.rgb"


# ---------------------------------------------------------------------------
# Application icon: 90 x 90 with alpha, drawn at 4x.
# ---------------------------------------------------------------------------
"$IM" \
  \( -size 360x360 -define gradient:angle=135 gradient:'#0D5264-#1BA08C' \
     \( -size 300x300 radial-gradient:'rgba(120,235,215,0.30)-rgba(120,235,215,0)' \) \
        -geometry -120-120 -composite \) \
  \( -size 360x360 xc:none -fill white -draw 'roundrectangle 10,10 349,349 78,78' \) \
  -alpha on -compose DstIn -composite -compose Over \
  \( -size 360x360 xc:none -fill 'rgba(0,25,30,0.35)' \
     -draw 'path "M 84,238 A 96,92 0 0 1 276,238 Z" roundrectangle 62,236 298,258 11,11' \
     -channel A -blur 0x8 +channel \) -geometry +0+10 -composite \
  \( -size 360x360 xc:none \
     -fill white -draw 'path "M 84,232 A 96,92 0 0 1 276,232 Z"' \
     -draw 'circle 180,128 180,145' \
     -draw 'roundrectangle 58,230 302,254 12,12' \
     -fill none -stroke 'rgba(23,145,127,0.35)' -strokewidth 10 \
     -draw 'stroke-linecap round path "M 118,204 A 66,62 0 0 1 160,160"' \
     -stroke none -fill '#FF9A4D' -draw 'roundrectangle 134,276 226,292 8,8' \) -composite \
  -filter box -resize 90x90 -depth 8 "$tmp/icon.rgba"

# ---------------------------------------------------------------------------
# Everything else: file formats and the small widgets.
# ---------------------------------------------------------------------------
"$PY" "$top/scripts/make_artwork.py" "$tmp" "$out"

echo "make_artwork: wrote the bitmaps and app.ico to $out"

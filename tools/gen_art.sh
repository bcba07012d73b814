#!/usr/bin/env bash
# Regenerates the installer artwork in res/art/, as PNG files (8-bit RGB, no ancillary
# chunks but sBIT; tools/gen_art/pngfile.py writes them, so the bytes are reproducible):
#   skin_1xx_*.png      page backgrounds (24-bit colour)
#   check_141/142.png   12x12 check boxes of the finish page
#   tree_139_states.png state images of the components tree, 16-bit colour (sBIT 5,5,5)
#   setup.ico           program icon (16, 32, 48 and 256 px)
# Run from the repository root:  tools/gen_art.sh
# Needs ImageMagick 6 (/usr/bin/convert), fonts-nanum and python3. The results are
# committed: they are the art the build embeds (a designer may replace them; see the
# publisher's guide), so building the installer needs none of these tools.
set -euo pipefail

cd "$(dirname "$0")/.."
OUT=res/art
HELPER=tools/gen_art/bitmaps.py
IM=/usr/bin/convert                    # ImageMagick itself, never another "convert" on PATH
FONTDIR=/usr/share/fonts/truetype/nanum
F_REG=$FONTDIR/NanumGothic.ttf
F_BOLD=$FONTDIR/NanumGothicBold.ttf
F_LOGO=$FONTDIR/NanumSquareB.ttf

for f in "$IM" "$F_REG" "$F_BOLD" "$F_LOGO"; do
  [ -e "$f" ] || { echo "gen_art: missing $f" >&2; exit 1; }
done
case "$("$IM" -version)" in
  *"ImageMagick 6"*) ;;
  *) echo "gen_art: $IM is not ImageMagick 6" >&2; exit 1 ;;
esac

export MAGICK_THREAD_LIMIT=1           # keeps rendering order (and so the bytes) stable
export LC_ALL=C.UTF-8
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
mkdir -p "$OUT"

# ------------------------------------------------------------------ palette
BODY='rgb(236,233,216)'        # dialog body; labels on it paint this colour
ETCH_DARK='rgb(172,168,153)'   # etched separator lines
FRAME='rgb(127,157,185)'       # thin frame around white content areas
GROUP='rgb(208,208,191)'       # group box frames
TEXT='rgb(0,0,0)'
SUBTLE='rgb(128,124,108)'      # product text in the button row
BLUE_TOP='rgb(112,128,250)'    # product gradient, around rgb(76,92,229)
BLUE_BOTTOM='rgb(52,58,182)'

SEP_Y=314                      # separator line above the buttons
HEADER_H=57                    # white header band: rows 0..56, etched line at 57/58

# ------------------------------------------------------- drawing primitives
# Each helper appends ImageMagick arguments to the array OPS; shapes are drawn
# without anti-aliasing so rectangles land on exact pixels, text is anti-aliased.
OPS=()
rect()  { # x y w h colour
  OPS+=(+antialias -stroke none -fill "$5" -draw "rectangle $1,$2 $(($1+$3-1)),$(($2+$4-1))")
}
frame() { # x y w h colour   one-pixel outline
  rect "$1" "$2" "$3" 1 "$5"; rect "$1" $(($2+$4-1)) "$3" 1 "$5"
  rect "$1" "$2" 1 "$4" "$5"; rect $(($1+$3-1)) "$2" 1 "$4" "$5"
}
outline() { # x y w h colour   outline just outside a control rectangle
  frame $(($1-1)) $(($2-1)) $(($3+2)) $(($4+2)) "$5"
}
text() { # font size colour x baseline string   (backslashes are shown literally)
  OPS+=(-antialias -stroke none -font "$1" -pointsize "$2" -fill "$3" -annotate "+$4+$5" "${6//\\/\\\\}")
}
image() { # file x y
  OPS+=("(" "$1" ")" -geometry "+$2+$3" -compose Over -composite)
}

save_png() { # name   (through ImageMagick's 24-bit BMP, whose rounding the art was made with)
  "$IM" "$TMP/page.png" -alpha off -type TrueColor -define bmp:format=bmp3 -compress none \
        -define bmp3:alpha=false "BMP3:$TMP/page.bmp"
  python3 "$HELPER" png "$OUT/$1" "$TMP/page.bmp"
}

# ------------------------------------------------------------ product mark
# An eighth note whose head carries a play triangle. The glyph is a
# white mask; the icon tile puts it on the blue gradient, the banner on its own
# gradient, so both show the same mark.
"$IM" -size 1024x1024 xc:black -fill white \
  -draw "circle 420,660 420,475" \
  -draw "rectangle 545,200 605,640" \
  -draw "path 'M 545,200 C 640,215 700,260 760,330 C 800,380 790,450 770,500 C 760,440 720,390 605,360 Z'" \
  -fill black -draw "polygon 372,578 372,742 512,660" \
  "$TMP/glyph_mask.png"

"$IM" -size 1024x1024 gradient:"$BLUE_TOP-$BLUE_BOTTOM" \
  \( -size 1024x1024 xc:black -fill white -draw "roundrectangle 40,40 983,983 220,220" \) \
  -alpha off -compose CopyOpacity -composite \
  \( -size 1024x1024 xc:white "$TMP/glyph_mask.png" -alpha off -compose CopyOpacity -composite \) \
  -compose Over -composite "$TMP/tile1024.png"

for s in 256 48 40 32 16; do
  "$IM" "$TMP/tile1024.png" -filter Lanczos -resize "${s}x${s}" "$TMP/tile$s.png"
done

# ------------------------------------------------------------------ banner
# 164 x SEP_Y, blue-violet gradient with soft rings, the mark, the wordmark
# and a quiet row of level bars near the bottom.
BANNER_W=164
"$IM" -size 80x80 xc:white \( "$TMP/glyph_mask.png" -filter Lanczos -resize 80x80 \) \
  -alpha off -compose CopyOpacity -composite "$TMP/glyph80.png"

bars=""
for i in $(seq 0 12); do
  h=$(( (i*37 % 23) + 6 + (i%3)*5 ))
  x=$(( 20 + i*10 ))
  bars+=" rectangle $x,$((296-h)) $((x+5)),296"
done

"$IM" -size ${BANNER_W}x${SEP_Y} -define gradient:angle=160 gradient:'rgb(100,116,246)-rgb(50,56,176)' \
  -fill none -stroke 'rgba(255,255,255,0.07)' -strokewidth 18 -draw "circle 150,250 150,130" \
  -stroke 'rgba(255,255,255,0.05)' -strokewidth 10 -draw "circle 10,60 10,-30" \
  -stroke none -fill 'rgba(255,255,255,0.12)' -draw "$bars" \
  \( "$TMP/glyph80.png" \) -geometry +42+48 -compose Over -composite \
  -gravity North -font "$F_LOGO" -pointsize 22 -kerning 2 -fill white -annotate +0+146 'MELVORA' \
  -font "$F_REG" -pointsize 11 -kerning 1 -fill 'rgb(206,212,255)' -annotate +0+176 'MUSIC PLAYER' \
  -kerning 0 -gravity NorthWest \
  -fill 'rgba(255,255,255,0.35)' -draw "rectangle 62,198 101,198" \
  "$TMP/banner.png"

# ------------------------------------------------------------ page bodies
start_page() { # width height
  OPS=()
  PAGE_W=$1; PAGE_H=$2
  rect 0 $SEP_Y "$PAGE_W" 1 "$ETCH_DARK"
  rect 0 $((SEP_Y+1)) "$PAGE_W" 1 white
  text "$F_REG" 11 "$SUBTLE" 12 343 'MELVORA Music Player'
}
header() { # title subtitle
  rect 0 0 "$PAGE_W" $HEADER_H white
  rect 0 $HEADER_H "$PAGE_W" 1 "$ETCH_DARK"
  rect 0 $((HEADER_H+1)) "$PAGE_W" 1 white
  text "$F_BOLD" 15 "$TEXT" 20 25 "$1"
  text "$F_REG" 13 "$TEXT" 32 45 "$2"
  image "$TMP/tile40.png" $((PAGE_W-40-14)) 8
}
banner_page() { # white panel and banner above the separator
  rect 0 0 "$PAGE_W" $SEP_Y white
  image "$TMP/banner.png" 0 0
}
finish_page() { # name
  "$IM" -size "${PAGE_W}x${PAGE_H}" xc:"$BODY" "${OPS[@]}" "$TMP/page.png"
  save_png "$1"
}

# 1. welcome
start_page 495 359
banner_page
text "$F_BOLD" 18 "$TEXT" 184 46 'MELVORA 설치를 시작합니다'
text "$F_REG" 13 "$TEXT" 184 88  '이 프로그램은 멜보라 플레이어를'
text "$F_REG" 13 "$TEXT" 184 107 '컴퓨터에 설치합니다.'
text "$F_REG" 13 "$TEXT" 184 138 '설치하기 전에 실행 중인 다른 프로그램을'
text "$F_REG" 13 "$TEXT" 184 157 '모두 종료하는 것이 좋습니다.'
text "$F_REG" 13 "$TEXT" 184 188 '설치를 계속하려면 [다음]을 누르십시오.'
text "$F_REG" 13 "$TEXT" 184 207 '설치를 그만두려면 [취소]를 누르십시오.'
finish_page skin_129_welcome.png

# 2. terms of use: rich edit at (24,118,448,174)
start_page 495 359
header '이용 약관' '설치를 계속하기 전에 다음 약관을 읽어 주십시오.'
text "$F_REG" 13 "$TEXT" 24 87  '[Page Down] 키를 누르면 약관의 나머지 부분을 볼 수 있습니다.'
text "$F_REG" 13 "$TEXT" 24 107 '약관에 동의하시면 [동의함]을 눌러 설치를 계속하십시오.'
rect 24 118 448 174 white
outline 24 118 448 174 "$FRAME"
finish_page skin_130_terms.png

# 3. components: tree (24,81,220,104), description label (259,90,200,50) on white,
#    "이용 약관" label (24,190,220,12) on the body colour, browser (24,205,440,100)
start_page 495 358
header '구성 요소 선택' '멜보라 플레이어와 함께 설치할 항목을 고르십시오.'
text "$F_REG" 13 "$TEXT" 24 74 '설치할 구성 요소를 선택하십시오.'
rect 24 81 220 104 white
rect 249 70 221 116 white                       # description box (249,70)-(469,185)
rect 250 71 219 17 'rgb(243,242,234)'           # caption strip along its top edge
rect 250 88 219 1 'rgb(224,222,209)'
frame 249 70 221 116 "$GROUP"
text "$F_BOLD" 12 'rgb(84,82,70)' 257 84 '상세설명'
rect 24 190 220 12 "$BODY"
rect 24 205 440 100 white
outline 24 205 440 100 "$FRAME"
finish_page skin_136_components.png

# 4. install folder: no controls, the folder field is drawn greyed out
start_page 495 360
header '설치 폴더' 'MELVORA를 설치할 위치를 확인하십시오.'
text "$F_REG" 13 "$TEXT" 24 87  'MELVORA를 다음 폴더에 설치합니다. 다른 폴더에는 설치할 수 없습니다.'
text "$F_REG" 13 "$TEXT" 24 107 '설치를 시작하려면 [다음]을 누르십시오.'
frame 24 138 448 66 "$GROUP"                    # group box "설치 폴더"
rect 31 130 64 16 "$BODY"
text "$F_REG" 13 "$TEXT" 35 142 '설치 폴더'
rect 40 161 318 23 'rgb(245,244,239)'           # greyed folder field
frame 40 161 318 23 'rgb(201,199,186)'
text "$F_REG" 13 'rgb(161,161,146)' 47 177 'C:\Program Files\MELVORA'
OPS+=(+antialias -stroke 'rgb(201,199,186)' -fill 'rgb(245,244,234)' -draw "roundrectangle 368,161 455,183 3,3")
text "$F_REG" 13 'rgb(161,161,146)' 381 177 '찾아보기...'
finish_page skin_131_folder.png

# 5. installing: status label (22,245,200,12) on the body colour, progress bar (22,267,452,18)
start_page 495 358
header '설치 중' 'MELVORA를 설치하는 동안 잠시 기다려 주십시오.'
text "$F_REG" 13 "$TEXT" 22 87  '필요한 파일을 내려받아 컴퓨터에 설치하고 있습니다.'
text "$F_REG" 13 "$TEXT" 22 107 '설치가 끝날 때까지 이 창을 닫지 마십시오.'
rect 22 245 200 12 "$BODY"
outline 22 267 452 18 "$GROUP"
finish_page skin_135_installing.png

# 6. finish: check boxes at (175,139) and (175,166) with white labels at x=190;
#    175..350 x 135..182 stays plain white
start_page 494 359
banner_page
text "$F_BOLD" 18 "$TEXT" 184 46 'MELVORA 설치 완료'
text "$F_REG" 13 "$TEXT" 184 84  '설치가 끝났습니다.'
text "$F_REG" 13 "$TEXT" 184 103 '[마침]을 누르면 멜보라 플레이어가 실행됩니다.'
text "$F_REG" 13 "$TEXT" 184 214 '멜보라 플레이어를 선택해 주셔서 감사합니다.'
finish_page skin_132_finish.png

# -------------------------------------------------- small pictures and icon
python3 "$HELPER" small "$OUT"

ico_args=()
for s in 16 32 48 256; do
  "$IM" "$TMP/tile$s.png" -depth 8 "RGBA:$TMP/tile$s.rgba"
  ico_args+=("$s:$TMP/tile$s.rgba")
done
python3 "$HELPER" ico "$OUT/setup.ico" "${ico_args[@]}"

# ------------------------------------------------------------------ verify
echo "gen_art: wrote $OUT/"
python3 "$HELPER" verify "$OUT"

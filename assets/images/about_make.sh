#!/bin/sh
# Draws the about window's picture, about.png: 363 x 255 pixels, 24-bit colour.
# Needs ImageMagick 6 and the DejaVu and URW fonts. Run it from anywhere; it writes beside itself.
set -eu
cd "$(dirname "$0")"

# The window shows the picture 8 pixels higher than its top and cuts 2 pixels at the right and
# at the bottom, so nothing of importance goes near those edges.
convert -size 363x255 -define gradient:angle=135 gradient:'#0e2238-#1d6a86' \
    \( -size 363x255 xc:none -fill 'rgba(255,255,255,0.06)' \
       -draw 'circle 318,214 318,150' -draw 'circle 352,120 352,88' -draw 'circle 290,60 290,44' \) \
    -composite \
    \( -size 363x255 xc:none \
       -fill 'rgba(0,0,0,0.25)' \
       -draw "path 'M 72,38 C 84,64 110,82 110,110 A 38,38 0 0 1 34,110 C 34,82 60,64 72,38 Z'" \
       -blur 0x3 -geometry +3+4 \) -composite \
    \( -size 363x255 gradient:'#e9fbff-#5cc6e0' \
       \( -size 363x255 xc:black -fill white \
          -draw "path 'M 70,34 C 82,60 108,78 108,106 A 38,38 0 0 1 32,106 C 32,78 58,60 70,34 Z'" \) \
       -alpha off -compose CopyOpacity -composite \) -compose Over -composite \
    -fill 'rgba(255,255,255,0.85)' -draw 'ellipse 54,100 6,14 0,360' \
    -fill 'rgba(255,255,255,0.55)' -draw 'ellipse 60,76 3,6 0,360' \
    -font DejaVu-Serif-Bold -pointsize 42 -fill 'rgba(0,0,0,0.35)' -annotate +133+94 'Orvalia' \
    -fill white -annotate +131+92 'Orvalia' \
    -font DejaVu-Sans -pointsize 13 -fill '#bfe9f5' -annotate +134+116 'Agenda personal de contactos' \
    -font DejaVu-Sans-Bold -pointsize 15 -fill '#ffd27a' -annotate +134+144 'Versión 2.0' \
    -stroke 'rgba(255,255,255,0.35)' -strokewidth 1 -draw 'line 20,176 341,176' -stroke none \
    -fill '#ffd27a' -draw 'roundrectangle 20,190 50,220 6,6' \
    -font Nimbus-Sans-Bold -pointsize 22 -fill '#0e2238' -annotate +26+214 'M' \
    -font DejaVu-Sans-Bold -pointsize 14 -fill white -annotate +62+203 'Morq Technologies' \
    -font DejaVu-Sans -pointsize 11 -fill '#bfe9f5' -annotate +62+220 'contacto@morq-technologies.example' \
    -font DejaVu-Sans -pointsize 9 -fill 'rgba(255,255,255,0.6)' -annotate +20+240 \
        '© Morq Technologies. Todos los derechos reservados.' \
    -alpha off -strip PNG24:about.png

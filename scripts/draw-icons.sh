#!/usr/bin/env bash
# Dibuja los iconos e imagenes del lanzador en resources/ y regenera
# resources/kolvaster.qrc. Todo se pinta aqui con figuras simples de
# ImageMagick (convert), sin partir de ningun fichero externo.
#
# Uso: scripts/draw-icons.sh        (desde cualquier directorio)
#
# Los iconos pequenos se dibujan a 4x y se reducen al final: asi los
# bordes quedan suavizados aunque ImageMagick pinte en pixeles enteros.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$here/../resources"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

command -v convert >/dev/null 2>&1 || { echo "falta convert (paquete imagemagick)" >&2; exit 1; }

# Fuente: DejaVu si esta instalada; si no, la que ImageMagick tenga por defecto.
font=()
fontb=()
if convert -list font 2>/dev/null | grep -qi 'Font: DejaVu-Sans$'; then
    font=(-font DejaVu-Sans)
fi
if convert -list font 2>/dev/null | grep -qi 'Font: DejaVu-Sans-Bold$'; then
    fontb=(-font DejaVu-Sans-Bold)
else
    fontb=("${font[@]}")
fi

# Salida RGBA sin fechas ni metadatos, para que dos ejecuciones den los
# mismos bytes y el repositorio no cambie sin motivo.
save() {
    local name="$1"; shift
    convert "$@" -strip -define png:exclude-chunk=date,time,tIME "PNG32:$out/$name"
}


# Poligono de una rueda dentada: centro, radio exterior, radio interior, dientes.
gear_polygon() {
    awk -v cx="$1" -v cy="$2" -v ro="$3" -v ri="$4" -v n="$5" 'BEGIN {
        pi = atan2(0, -1); step = 2 * pi / n; s = "polygon"
        for (i = 0; i < n; i++) {
            a = i * step
            split("-0.30 -0.17 0.17 0.30", f, " ")
            split("0 1 1 0", o, " ")
            for (k = 1; k <= 4; k++) {
                r = o[k] ? ro : ri
                t = a + f[k] * step
                s = s sprintf(" %.2f,%.2f", cx + r * cos(t), cy + r * sin(t))
            }
        }
        print s
    }'
}

# Marcas de un reloj: 12 trazos, los de las horas 12/3/6/9 mas largos.
clock_ticks() {
    awk -v cx="$1" -v cy="$2" -v r="$3" 'BEGIN {
        pi = atan2(0, -1)
        for (i = 0; i < 12; i++) {
            t = i * pi / 6; l = (i % 3 == 0) ? 6 : 3
            printf "line %.2f,%.2f %.2f,%.2f ", cx + r * cos(t), cy + r * sin(t), \
                cx + (r - l) * cos(t), cy + (r - l) * sin(t)
        }
    }'
}

# Copo de nieve: tres ejes con dos ramitas en cada extremo.
snowflake() {
    awk -v cx="$1" -v cy="$2" -v r="$3" 'BEGIN {
        pi = atan2(0, -1)
        for (i = 0; i < 6; i++) {
            t = i * pi / 3
            ex = cx + r * cos(t); ey = cy + r * sin(t)
            mx = cx + 0.6 * r * cos(t); my = cy + 0.6 * r * sin(t)
            printf "line %.2f,%.2f %.2f,%.2f ", cx, cy, ex, ey
            for (s = -1; s <= 1; s += 2) {
                u = t + s * pi / 4
                printf "line %.2f,%.2f %.2f,%.2f ", mx, my, mx + 0.35 * r * cos(u), my + 0.35 * r * sin(u)
            }
        }
    }'
}

# Rayos de sol alrededor de un centro.
sun_rays() {
    awk -v cx="$1" -v cy="$2" -v r1="$3" -v r2="$4" 'BEGIN {
        pi = atan2(0, -1)
        for (i = 0; i < 8; i++) {
            t = i * pi / 4 + pi / 8
            printf "line %.2f,%.2f %.2f,%.2f ", cx + r1 * cos(t), cy + r1 * sin(t), \
                cx + r2 * cos(t), cy + r2 * sin(t)
        }
    }'
}

# ---------------------------------------------------------------------------
# Icono del programa (48x48). Se dibuja a 192x192 y se reduce; cada variante
# de temporada anade su insignia en la esquina inferior derecha.
# ---------------------------------------------------------------------------

# ventana azul redondeada, barra de titulo y rueda dentada blanca
app_base=(-size 192x192 xc:none
    -fill '#1f5fae' -stroke '#163f78' -strokewidth 4
    -draw "roundrectangle 10,22 182,176 22,22"
    -stroke none -fill '#5b9be6' -draw "roundrectangle 14,26 178,58 18,18"
    -fill '#1f5fae' -draw "rectangle 14,46 178,58"
    -fill '#ffffff' -draw "circle 34,42 40,42 circle 54,42 60,42 circle 74,42 80,42"
    -draw "$(gear_polygon 96 116 46 34 9)"
    -fill '#1f5fae' -draw "circle 96,116 110,116")

app_icon() {
    local name="$1"; shift
    save "$name" "${app_base[@]}" "$@" -resize 48x48
}

app_icon appico_48.png
# El mismo icono mas grande para el menu del escritorio (se instala; no es un recurso).
convert "${app_base[@]}" -resize 128x128 -strip -define png:exclude-chunk=date,time,tIME \
    "PNG32:$here/../packaging/kolvaster_128.png"

# Insignia de alerta: circulo naranja-rojo con una exclamacion dibujada.
app_icon appicoalert_48.png \
    -fill '#e2401c' -stroke '#ffffff' -strokewidth 8 -draw "circle 146,146 146,104" \
    -stroke none -fill '#ffffff' \
    -draw "roundrectangle 139,118 153,156 6,6" -draw "circle 146,171 146,179"

# Cumpleanos: tarta con una vela encendida.
app_icon appico_48_birthday.png \
    -stroke '#ffffff' -strokewidth 5 -fill '#f29bb8' \
    -draw "roundrectangle 104,138 186,186 10,10" -stroke none \
    -fill '#fff4e0' -draw "roundrectangle 104,138 186,154 8,8" \
    -draw "circle 118,156 118,162 circle 140,156 140,162 circle 162,156 162,162 circle 180,154 180,159" \
    -fill '#d63a6e' -draw "circle 122,172 122,176 circle 145,174 145,178 circle 168,172 168,176" \
    -fill '#4aa3df' -stroke '#ffffff' -strokewidth 3 -draw "rectangle 139,104 151,138" -stroke none \
    -fill '#ffc21a' -draw "ellipse 145,90 8,13 0,360" \
    -fill '#ff7a00' -draw "ellipse 145,94 4,7 0,360"

# Navidad: arbolito verde con una estrella y bolas rojas.
app_icon appico_48_navidad.png \
    -stroke '#ffffff' -strokewidth 5 -fill '#2e9a48' \
    -draw "polygon 146,92 186,150 106,150" \
    -draw "polygon 146,114 190,176 102,176" -stroke none \
    -fill '#7a4a22' -draw "rectangle 138,176 154,190" \
    -fill '#ffd23a' -draw "polygon 146,78 150,88 160,88 152,94 155,104 146,98 137,104 140,94 132,88 142,88" \
    -fill '#e02a2a' -stroke '#ffffff' -strokewidth 3 -draw "circle 128,160 128,170" \
    -draw "circle 164,140 164,148"

# Verano: sol amarillo con rayos.
app_icon appico_48_summer.png \
    -stroke '#ffffff' -strokewidth 14 -draw "$(sun_rays 146 146 30 46)" \
    -stroke '#ff9d00' -strokewidth 7 -draw "$(sun_rays 146 146 30 46)" \
    -stroke '#ffffff' -strokewidth 5 -fill '#ffd21a' -draw "circle 146,146 146,120"

# Invierno: copo de nieve sobre un disco claro.
app_icon appico_48_winter.png \
    -fill '#eaf6ff' -stroke '#ffffff' -strokewidth 5 -draw "circle 146,146 146,100" \
    -fill none -stroke '#3d8fd6' -strokewidth 7 -draw "$(snowflake 146 146 36)"

# ---------------------------------------------------------------------------
# Cobertura de la conexion (52x40): cuatro barras crecientes.
# ---------------------------------------------------------------------------
signal() {
    local name="$1" c1="$2" c2="$3" c3="$4" c4="$5"; shift 5
    local args=(-size 208x160 xc:none -stroke '#00000040' -strokewidth 4)
    local colors=("$c1" "$c2" "$c3" "$c4") i x y
    for i in 0 1 2 3; do
        x=$((12 + i * 48)); y=$((112 - i * 32))
        args+=(-fill "${colors[$i]}" -draw "roundrectangle $x,$y $((x + 38)),148 8,8")
    done
    save "$name" "${args[@]}" "$@" -resize 52x40
}

G='#3cb043'; Y='#f0a020'; R='#e03a2a'; N='#cfcfcf'
signal signal_full.png "$G" "$G" "$G" "$G"
signal signal_mid.png  "$Y" "$Y" "$Y" "$N"
signal signal_low.png  "$R" "$N" "$N" "$N"
signal signal_no.png   "$N" "$N" "$N" "$N" \
    -stroke '#8a8a8a' -strokewidth 12 -draw "line 16,14 60,58 line 60,14 16,58"

# ---------------------------------------------------------------------------
# Reloj (64x64)
# ---------------------------------------------------------------------------
save clock_64.png -size 256x256 xc:none \
    -fill '#00000026' -draw "circle 132,136 132,16" \
    -fill '#ffffff' -stroke '#2f3b4c' -strokewidth 14 -draw "circle 128,128 128,14" \
    -stroke '#2f3b4c' -strokewidth 8 -draw "$(clock_ticks 128 128 100)" \
    -strokewidth 14 -draw "line 128,128 84,98" \
    -strokewidth 9 -draw "line 128,128 184,86" \
    -stroke '#d8392b' -strokewidth 5 -draw "line 128,150 128,44" \
    -stroke none -fill '#d8392b' -draw "circle 128,128 128,116" \
    -resize 64x64

# ---------------------------------------------------------------------------
# Planilla (64x64): hoja verde con una grilla de celdas, la fila de titulos
# mas clara.
# ---------------------------------------------------------------------------
planilla=(-size 256x256 xc:none
    -fill '#00000026' -draw "roundrectangle 22,26 246,250 30,30"
    -fill '#21834a' -stroke '#155c33' -strokewidth 8 -draw "roundrectangle 14,14 238,238 30,30"
    -stroke none)
for fila in 0 1 2 3; do
    y=$((52 + fila * 40))
    color='#ffffff'
    [ $fila -eq 0 ] && color='#bfe6cc'
    planilla+=(-fill "$color" -draw "rectangle 50,$y 94,$((y + 30)) rectangle 102,$y 146,$((y + 30)) rectangle 154,$y 200,$((y + 30))")
done
save excel_64.png "${planilla[@]}" -resize 64x64

# ---------------------------------------------------------------------------
# Iconos de 16x16, dibujados a 64x64.
# ---------------------------------------------------------------------------
small() {
    local name="$1"; shift
    save "$name" -size 64x64 xc:none "$@" -resize 16x16
}

# Enchufe: cuerpo, dos patillas y el cable.
small conn_16.png \
    -fill none -stroke '#4a4a4a' -strokewidth 7 -draw "path 'M 22,44 C 14,52 10,58 4,60'" \
    -stroke none -fill '#b0b0b0' -draw "rectangle 34,8 40,24 rectangle 48,22 54,38" \
    -fill '#3f8f3f' -stroke '#2a5f2a' -strokewidth 3 \
    -draw "polygon 30,20 52,42 38,56 20,46 16,34" \
    -stroke none -fill '#5fbf5f' -draw "polygon 30,24 46,40 40,44 24,30"

# Recargar: flecha circular azul.
small reload_16.png \
    -fill none -stroke '#1f6fc8' -strokewidth 9 -draw "path 'M 49.9,40.5 A 19,19 0 1,1 36.9,15.6'" \
    -stroke none -fill '#1f6fc8' -draw "polygon 55,20.5 40.3,2 33.5,29"

# Correcto: marca de verificacion verde.
small ok_16.png \
    -fill none -stroke '#1e7a2c' -strokewidth 15 -draw "polyline 8,34 24,50 56,14" \
    -stroke '#3cc04e' -strokewidth 9 -draw "polyline 8,34 24,50 56,14"

# Contrasena: llave dorada.
small password_16.png \
    -fill '#e8b21e' -stroke '#9a6e08' -strokewidth 3 -draw "circle 20,22 20,4" \
    -fill none -stroke '#9a6e08' -strokewidth 3 -draw "circle 16,18 16,12" \
    -stroke '#9a6e08' -strokewidth 3 -fill '#e8b21e' \
    -draw "polygon 30,30 60,56 60,62 52,62 50,58 46,58 46,52 42,52 24,36"

# Usuarios: dos cabezas con hombros.
small users_16.png \
    -fill '#7f9bbd' -stroke '#4e6a8e' -strokewidth 3 \
    -draw "circle 42,18 42,6" -draw "path 'M 24,52 C 24,36 60,36 60,52 Z'" \
    -fill '#2f6fc8' -stroke '#1c4a8c' \
    -draw "circle 24,26 24,12" -draw "path 'M 4,62 C 4,40 44,40 44,62 Z'"

# Informe: hoja con esquina doblada y renglones.
small report_16.png \
    -fill '#ffffff' -stroke '#5a6270' -strokewidth 4 \
    -draw "polygon 10,4 42,4 56,18 56,60 10,60" \
    -fill '#d8dde6' -draw "polygon 42,4 42,18 56,18" \
    -stroke '#3b7dd8' -strokewidth 4 \
    -draw "line 18,28 48,28 line 18,36 48,36 line 18,44 48,44 line 18,52 38,52"

# Informacion: circulo azul con una i.
small info_16.png \
    -fill '#2f78d6' -stroke '#1b4f99' -strokewidth 3 -draw "circle 32,32 32,3" \
    -stroke none -fill '#ffffff' -draw "circle 32,17 32,22" \
    -draw "roundrectangle 27,27 37,51 3,3"

# Impresora: cuerpo gris, hoja saliendo por arriba y bandeja.
small print_16.png \
    -fill '#ffffff' -stroke '#6a6a6a' -strokewidth 3 -draw "rectangle 16,4 48,26" \
    -fill '#9aa0a8' -stroke '#4a4f56' -draw "roundrectangle 4,22 60,48 6,6" \
    -fill '#ffffff' -stroke '#6a6a6a' -draw "rectangle 16,38 48,60" \
    -stroke '#9aa0a8' -strokewidth 3 -draw "line 22,46 42,46 line 22,53 42,53" \
    -stroke none -fill '#4cd04c' -draw "circle 51,30 51,33"

# PDF: hoja con banda roja y el rotulo.
small pdf_16.png \
    -fill '#ffffff' -stroke '#8a8a8a' -strokewidth 3 \
    -draw "polygon 10,2 42,2 56,16 56,62 10,62" \
    -fill '#e6e6e6' -draw "polygon 42,2 42,16 56,16" \
    -stroke none -fill '#d32020' -draw "roundrectangle 2,30 62,54 4,4" \
    "${fontb[@]}" -pointsize 20 -fill '#ffffff' -gravity center \
    -annotate +0+10 'PDF' -gravity northwest

# Fallo: un bichito.
small bug_16.png \
    -fill none -stroke '#3a2a1a' -strokewidth 4 \
    -draw "line 20,30 6,24 line 18,40 4,40 line 20,50 6,58" \
    -draw "line 44,30 58,24 line 46,40 60,40 line 44,50 58,58" \
    -draw "line 28,14 20,4 line 36,14 44,4" \
    -stroke '#3a2a1a' -strokewidth 3 -fill '#c0392b' -draw "ellipse 32,40 15,20 0,360" \
    -fill '#3a2a1a' -draw "circle 32,16 32,7" \
    -stroke '#3a2a1a' -strokewidth 3 -draw "line 32,22 32,58" \
    -stroke none -fill '#3a2a1a' -draw "circle 24,36 24,39 circle 40,36 40,39 circle 25,48 25,51 circle 39,48 39,51"

# Borrar: aspa roja.
small del_16.png \
    -fill none -stroke '#8e1b12' -strokewidth 15 -draw "line 12,12 52,52 line 52,12 12,52" \
    -stroke '#e0463a' -strokewidth 9 -draw "line 12,12 52,52 line 52,12 12,52"

# Nuevo: hoja en blanco con una estrella amarilla.
small new_16.png \
    -fill '#ffffff' -stroke '#5a6270' -strokewidth 4 \
    -draw "polygon 10,8 40,8 54,22 54,60 10,60" \
    -fill '#d8dde6' -draw "polygon 40,8 40,22 54,22" \
    -fill '#f5c518' -stroke '#a07c00' -strokewidth 2 \
    -draw "polygon 18,2 22,12 32,12 24,18 27,28 18,22 9,28 12,18 4,12 14,12"

# Configurar: rueda dentada gris.
small configure_16.png \
    -fill '#8a939e' -stroke '#4a525c' -strokewidth 3 -draw "$(gear_polygon 32 32 29 21 8)" \
    -fill '#ffffff' -draw "circle 32,32 32,22"

# Abrir archivo: carpeta amarilla abierta.
small fileopen_16.png \
    -fill '#d9a520' -stroke '#8a6508' -strokewidth 3 \
    -draw "polygon 4,14 22,14 28,20 52,20 52,56 4,56" \
    -fill '#f7d060' -draw "polygon 12,30 62,30 52,56 4,56"

# Adelante y atras: flechas verdes.
small forward_16.png \
    -fill '#3cb04e' -stroke '#1e6e2c' -strokewidth 3 \
    -draw "polygon 6,24 32,24 32,8 58,32 32,56 32,40 6,40"
small back_16.png \
    -fill '#3cb04e' -stroke '#1e6e2c' -strokewidth 3 \
    -draw "polygon 58,24 32,24 32,8 6,32 32,56 32,40 58,40"

# ---------------------------------------------------------------------------
# Imagenes grandes
# ---------------------------------------------------------------------------

# Descarga: flecha hacia abajo entrando en una bandeja.
save download.png -size 512x400 xc:none \
    -fill '#00000020' -draw "ellipse 256,372 200,18 0,360" \
    -fill '#c9ced6' -stroke '#5f6874' -strokewidth 10 \
    -draw "path 'M 60,230 L 60,340 Q 60,360 80,360 L 432,360 Q 452,360 452,340 L 452,230 L 380,230 L 350,290 L 162,290 L 132,230 Z'" \
    -fill '#2fa84f' -stroke '#1e7335' -strokewidth 10 \
    -draw "polygon 206,20 306,20 306,150 370,150 256,270 142,150 206,150" \
    -stroke none -fill '#5fd07f' -draw "polygon 220,34 292,34 292,60 220,60" \
    -resize 128x100

# Logotipo: marca redonda y el nombre.
save logo.png -size 960x240 xc:none \
    -fill '#1f5fae' -stroke '#163f78' -strokewidth 8 \
    -draw "roundrectangle 20,24 212,216 44,44" \
    -stroke none -fill '#ffffff' \
    -draw "path 'M 80,64 Q 80,50 93,57 L 170,108 Q 180,120 170,132 L 93,183 Q 80,190 80,176 Z'" \
    -fill '#ffc21a' -draw "circle 60,186 60,172" \
    "${fontb[@]}" -pointsize 132 -fill '#1d3f72' -gravity west \
    -annotate +244+6 'Kolvaster' -gravity northwest \
    -resize 240x60

# Fondo de la pantalla oculta: cielo de atardecer con estrellas y colinas.
stars=$(awk 'BEGIN {
    srand(20121125)
    for (i = 0; i < 46; i++) {
        x = int(rand() * 420); y = int(rand() * 150); r = (rand() < 0.2) ? 1.6 : 0.9
        a = 0.35 + rand() * 0.6
        printf "fill rgba(255,255,240,%.2f) circle %d,%d %.1f,%d ", a, x, y, x + r, y
    }
}')
save fondoEasternEgg.png -size 420x270 gradient:'#141d3c'-'#f0a77a' \
    \( -size 420x270 gradient:'#00000000'-'#6a3d7a55' \) -compose over -composite \
    -draw "$stars" \
    \( -size 420x270 xc:none -fill '#fff4d6' -draw "circle 336,58 336,42" \
       \( -size 420x270 xc:none -fill black -draw "circle 329,53 329,40" \) \
       -compose DstOut -composite \) -compose over -composite \
    -fill '#2e2748c0' -draw "path 'M 0,270 L 0,210 Q 90,170 190,214 Q 280,250 420,196 L 420,270 Z'" \
    -fill '#1c1a33' -draw "path 'M 0,270 L 0,236 Q 120,212 240,240 Q 340,262 420,232 L 420,270 Z'"

# "Algo se ha roto": taza volcada con el cafe derramado.
save oatmeal_tbrun1.png -size 1040x540 xc:none \
    -fill '#00000018' -draw "ellipse 520,470 430,34 0,360" \
    -fill '#e9eef5' -stroke '#5b6778' -strokewidth 10 -draw "ellipse 400,470 170,24 0,360" \
    -fill '#6b3e1e' -stroke none \
    -draw "path 'M 600,420 Q 640,400 720,420 Q 830,402 900,436 Q 960,468 880,486 Q 760,506 640,490 Q 560,480 600,420 Z'" \
    -fill '#8a5429' -draw "ellipse 770,450 100,18 0,360" \
    -fill '#6b3e1e' -draw "circle 935,420 935,410 circle 965,448 965,442 circle 905,398 905,392" \
    -fill '#e9eef5' -stroke '#5b6778' -strokewidth 10 \
    -draw "path 'M 620,250 L 290,250 Q 250,250 250,290 L 250,410 Q 250,450 290,450 L 620,450 Z'" \
    -fill '#d5dce6' -draw "ellipse 620,350 34,100 0,360" \
    -fill '#6b3e1e' -stroke none -draw "ellipse 620,350 22,84 0,360" \
    -draw "path 'M 628,420 Q 640,440 620,452 L 650,452 Z'" \
    -fill none -stroke '#5b6778' -strokewidth 22 -draw "path 'M 370,250 Q 370,160 450,160 Q 530,160 530,250'" \
    -stroke '#e9eef5' -strokewidth 10 -draw "path 'M 370,250 Q 370,160 450,160 Q 530,160 530,250'" \
    -stroke '#3b7dd8' -strokewidth 12 -draw "line 300,330 570,330" \
    -stroke '#9aa6b6' -strokewidth 8 -fill none \
    -draw "path 'M 740,380 Q 760,350 740,320' path 'M 780,380 Q 800,350 780,320' path 'M 820,385 Q 840,355 820,325'" \
    -stroke '#5b6778' -strokewidth 9 \
    -draw "line 230,270 190,240 line 220,340 170,340 line 230,410 190,440" \
    -resize 260x135

# ---------------------------------------------------------------------------
# Fichero de recursos de Qt: cada PNG queda accesible como ":/nombre.png".
# ---------------------------------------------------------------------------
{
    echo '<!DOCTYPE RCC>'
    echo '<RCC version="1.0">'
    echo '    <qresource prefix="/">'
    (cd "$out" && LC_ALL=C ls -1 -- *.png) | while read -r f; do
        echo "        <file>$f</file>"
    done
    echo '    </qresource>'
    echo '</RCC>'
} > "$out/kolvaster.qrc"

echo "Imagenes escritas en $out"

#!/bin/bash
# Carving every type from a 4 GiB raw image beside photorec and foremost.
# The image is random bytes with files made by real tools planted at 4 KiB
# boundaries (pictures with EXIF from PIL, PDFs from ps2pdf, ZIP, DOCX, XLSX,
# ODT from zipfile, SQLite databases, compound documents, web pages) and
# bait: valid headers of JPEG, PNG, ZIP and PDF ahead of random bytes.
# Per tool: wall and CPU time (one run each: the machine is shared), files
# given back byte for byte ("exact"), files that start like a planted file
# but are not it ("partial": truncated or run on), and everything else
# ("false").
# Usage: bench/carve_types.sh [BUILD_DIR]   (BENCH_DIR: where the image lives)
source "$(dirname "$0")/common.sh"
need_tools photorec foremost ps2pdf sqlite3 python3
work="$dir/carve-types"
mkdir -p "$work"
cd "$work"
py=/usr/bin/python3; [ -x "$py" ] || py=python3
size_gib=${SIZE_GIB:-4}

if [ ! -s image.raw ] || [ ! -d planted ]; then
    rm -rf planted && mkdir planted
    for i in $(seq 1 20); do
        printf '%%!PS\n[ /Title (Report %d) /DOCINFO pdfmark\n/Helvetica findfont 12 scalefont setfont\n' "$i" > p.ps
        for l in $(seq 1 $((i * 3))); do printf '72 %d moveto (Line %d of report %d) show\n' $((760 - (l % 60) * 12)) "$l" "$i" >> p.ps
            [ $((l % 60)) = 59 ] && echo showpage >> p.ps; done
        echo showpage >> p.ps
        ps2pdf p.ps "planted/report$i.pdf"
        sqlite3 "planted/db$i.sqlite" "create table t(a, b); insert into t values($i, randomblob($((i * 20000))));"
        python3 "$here/../sample/make-ole-doc" "planted/doc$i.doc" "Minutes $i" $((16 + i * 4))
        { printf '<html lang="en"><head><title>Page %d</title></head><body>' "$i"
          head -c $((i * 3000)) /dev/urandom | base64 -w 100; printf '</body></html>'; } > "planted/page$i.htm"
    done
    rm -f p.ps
    "$py" - planted <<'MAKE'
import random, sys, zipfile
from PIL import Image
random.seed(5)
out = sys.argv[1]
for i in range(1, 41):
    w, h = 320 + 16 * i, 240 + 12 * i
    img = Image.new("RGB", (w, h))
    px = img.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = ((x * i + y) % 256, (x ^ y) % 256, random.randint(0, 255) if (x + y) % 3 else 128)
    exif = Image.Exif()
    exif[0x0110] = "Bench Cam %d" % i
    exif[0x0132] = "2024:01:%02d 10:00:%02d" % (1 + i % 28, i % 60)
    img.save("%s/photo%d.jpg" % (out, i), quality=70 + i % 25, exif=exif.tobytes())
    if i <= 15:
        img.save("%s/pic%d.png" % (out, i))
        img.convert("P").save("%s/pic%d.gif" % (out, i))
    if i <= 10:
        img.resize((200, 150)).save("%s/pic%d.bmp" % (out, i))
        img.resize((200, 150)).save("%s/pic%d.tif" % (out, i))
for i in range(1, 21):
    with zipfile.ZipFile("%s/archive%d.zip" % (out, i), "w", zipfile.ZIP_DEFLATED) as z:
        for k in range(1 + i % 5):
            z.writestr("data%d.txt" % k, random.randbytes(5000 * i).hex())
    for kind, part in (("docx", "word/document.xml"), ("xlsx", "xl/workbook.xml")):
        with zipfile.ZipFile("%s/office%d.%s" % (out, i, kind), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("[Content_Types].xml", "<Types/>")
            z.writestr(part, "<x>" + ("cell %d " % i) * (300 * i) + "</x>")
            z.writestr("docProps/core.xml", "<cp:coreProperties><dc:title>Office %d</dc:title></cp:coreProperties>" % i)
    with zipfile.ZipFile("%s/text%d.odt" % (out, i), "w") as z:
        z.writestr("mimetype", "application/vnd.oasis.opendocument.text")
        z.writestr("content.xml", "<office:document-content>" + "words " * (200 * i) + "</office:document-content>")
MAKE
    echo "making a ${size_gib} GiB image of random bytes with $(ls planted | wc -l) planted files..."
    head -c $((size_gib * 1024 * 1024 * 1024)) /dev/urandom > image.raw
    "$py" - image.raw planted <<'PLANT'
import os, random, sys
random.seed(9)
image, folder = sys.argv[1], sys.argv[2]
size = os.path.getsize(image)
names = sorted(os.listdir(folder))
slot = size // (len(names) + 60)
with open(image, "r+b") as f:
    for k, name in enumerate(names):
        at = (k * slot + random.randrange(0, slot // 2)) // 4096 * 4096
        f.seek(at)
        f.write(open(os.path.join(folder, name), "rb").read())
    # bait: a valid header, then random bytes
    baits = [open(os.path.join(folder, n), "rb").read()[:cut] for n, cut in
             (("photo1.jpg", 600), ("pic1.png", 80), ("archive1.zip", 70), ("report1.pdf", 400))]
    for j in range(60):
        at = ((len(names) + j) * slot + random.randrange(0, slot // 2)) // 4096 * 4096
        f.seek(at)
        f.write(baits[j % len(baits)])
PLANT
fi

score() {  # score FOLDER: "exact partial false"
    "$py" - "$1" planted <<'SCORE'
import hashlib, os, sys
out, planted = sys.argv[1], sys.argv[2]
def files(root):
    for d, _, fs in os.walk(root):
        for f in fs:
            # the peers' own logs are no carved files
            if f not in ("audit.txt", "report.xml"):
                yield os.path.join(d, f)
known = {}
heads = {}
for p in files(planted):
    data = open(p, "rb").read()
    known[hashlib.sha256(data).hexdigest()] = p
    heads[data[:2048]] = p
exact, partial, false = set(), 0, 0
for p in files(out):
    data = open(p, "rb").read()
    h = hashlib.sha256(data).hexdigest()
    if h in known: exact.add(h)
    elif data[:2048] in heads: partial += 1
    else: false += 1
print(len(exact), partial, false)
SCORE
}

timed() {  # timed COMMAND...: "wall cpu"
    /usr/bin/time -o "$work/time.out" -f '%e %U %S' "$@" >/dev/null 2>&1 || true
    tail -1 "$work/time.out" | awk '{ printf "%s %.2f\n", $1, $2 + $3 }'
}

sync
cat image.raw > /dev/null
planted=$(ls planted | wc -l)
rm -rf out-ours out-pr out-fm && mkdir out-pr
read -r ow oc <<< "$(timed "$cli" carve "$work/image.raw" --raw --types all --to "$work/out-ours")"
read -r pw pc <<< "$(timed photorec /log /d "$work/out-pr/r" /cmd "$work/image.raw" partition_none,options,paranoid,fileopt,everything,enable,search)"
read -r fw fc <<< "$(timed foremost -Q -t all -i "$work/image.raw" -o "$work/out-fm")"
read -r oe op of <<< "$(score out-ours)"
read -r pe pp pf <<< "$(score out-pr)"
read -r fe fp ff <<< "$(score out-fm)"
ratio() { echo "scale=2; $1 / $2" | bc -l; }
echo "carving a ${size_gib} GiB raw image, $planted planted files, 60 bait headers:"
printf '| tool | wall s | cpu s | wall vs ours | exact | partial | false |\n|---|---|---|---|---|---|---|\n'
printf '| delvora carve --types all | %s | %s | 1.00 | %s/%s | %s | %s |\n' "$ow" "$oc" "$oe" "$planted" "$op" "$of"
printf '| photorec everything | %s | %s | %s | %s/%s | %s | %s |\n' "$pw" "$pc" "$(ratio "$pw" "$ow")" "$pe" "$planted" "$pp" "$pf"
printf '| foremost -t all | %s | %s | %s | %s/%s | %s | %s |\n' "$fw" "$fc" "$(ratio "$fw" "$ow")" "$fe" "$planted" "$fp" "$ff"

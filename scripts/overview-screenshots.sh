#!/usr/bin/env bash
# Renews the README's screenshots of the coverage overview (as it opens, and one supplier's
# planning columns), its printout preview, what changed since the run before and one product's
# history: a demo program folder with a spread of weeks of cover, planning rules, marks and
# three kept runs a week apart, the window opened through Rapporter → Täckningsöversikt… on a
# 1280×1024 screen under xvfb-run and openbox, driven by xdotool, grabbed with ImageMagick's
# import and made small with optipng.
#
#   scripts/overview-screenshots.sh [BUILD_DIR]      (default: build)
#
# Needs: xvfb openbox xdotool imagemagick optipng faketime (Debian packages), and a built
# lodvikprodsok.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
program=$build/app/lodvikprodsok
[ -x "$program" ] || program=$build/lodvikprodsok
[ -x "$program" ] || { echo "Inget program i $build; bygg först." >&2; exit 1; }
out=$here/docs/screenshots
mkdir -p "$out"

if [ -z "${OVERVIEW_SCREENSHOTS_INNER:-}" ]; then
    export OVERVIEW_SCREENSHOTS_INNER=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build"
fi

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export LODVIKPRODSOK_HOME=$work/program
export XDG_CONFIG_HOME=$work/config # the remembered target starts at its default
export LANG=C.UTF-8
period=2010-11-18
"$program" demo >/dev/null 2>&1

# The demo products all cover many weeks. Give a third of them stocks that cover 0 to 12 weeks
# of their own sales, and every 23rd no sales at all, so that every colour shows.
"$program" coverage --period "$period" --format csv 2>/dev/null >"$work/before.csv"
python3 - "$LODVIKPRODSOK_HOME/local.mdb" "$work/before.csv" <<'EOF'
import csv, sqlite3, sys
db = sqlite3.connect(sys.argv[1])
rows = list(csv.DictReader(open(sys.argv[2], encoding="utf-8")))
num = lambda v: float(v) if v else 0.0
for i, row in enumerate(rows):
    product = row["product"]
    if i % 23 == 5:
        db.execute("DELETE FROM pjsfakt WHERE sdlitm = ?", (product,))
    elif i % 3 == 0 and num(row["sales_per_week_pj"]) > 0:
        weeks = (i // 3 * 5) % 13
        wanted = weeks * num(row["sales_per_week_pj"]) - num(row["stock_dp"]) - num(row["stock_pj"])
        available = db.execute("SELECT coalesce(sum(quantity), 0) FROM avail WHERE ivcitm = ?",
                               (product,)).fetchone()[0]
        db.execute("UPDATE pjstkfrn SET lipqoh = 0 WHERE ivcitm = ?", (product,))
        db.execute("UPDATE pjstkfrn SET lipqoh = ? WHERE rowid = (SELECT min(rowid) FROM pjstkfrn "
                   "WHERE ivcitm = ?)", (available + wanted, product))
db.commit()
EOF

# Planning rules for every product, by the first word of its description (its kind of goods):
# each group has a supplier with its own lead time, order multiple or minimum order, so that
# the planning columns, the supplier totals and "beställ senast" are not empty.
"$program" coverage --period "$period" --format csv 2>/dev/null >"$work/after.csv"
python3 - "$work/after.csv" "$work/rules.csv" <<'EOF'
import csv, sys
suppliers = {  # group: supplier, lead time, safety weeks, safety packs, multiple, minimum
    "EUR-PALL": ("Nordpall AB", 2, 1, "", 10, ""),
    "LASTPALL": ("Nordpall AB", 2, 1, "", 10, ""),
    "HALVPALL": ("Nordpall AB", 2, 1, "", 10, ""),
    "PALLKRAGE": ("Nordpall AB", 2, "", "", 20, ""),
    "PALLOCK": ("Nordpall AB", 2, "", "", 20, ""),
    "PLASTPALL": ("Plastform i Gnosjö", 3, "", 5, 5, 20),
    "STRÄCKFILM": ("Filmteknik AB", 1, "0,5", "", 6, 12),
    "KRYMPHUV": ("Filmteknik AB", 1, "", "", 1, 10),
    "WELLKARTONG": ("Kartongbolaget", 1, "", 10, 25, ""),
    "FLYTTKARTONG": ("Kartongbolaget", 1, "", 10, 25, ""),
}
with open(sys.argv[2], "w", encoding="utf-8") as out:
    out.write("product;lead_time_weeks;safety_weeks;safety_packs;multiple;minimum;supplier;group\n")
    for row in csv.DictReader(open(sys.argv[1], encoding="utf-8")):
        words = row["description"].split()
        if words and words[0] in suppliers:
            supplier, lead, weeks, packs, multiple, minimum = suppliers[words[0]]
            group = words[0].capitalize()
        else:  # tape, edge protection, labels, straps: from a wholesaler in a week
            supplier, lead, weeks, packs, multiple, minimum = "Emballagegrossisten", 1, "", "", 1, ""
            group = "Övrigt"
        fields = (row["product"], lead, weeks, packs, multiple, minimum, supplier, group)
        out.write(";".join(str(f) for f in fields) + "\n")
EOF
"$program" rules --load "$work/rules.csv" >/dev/null

# One of the most urgent products ordered the day after the period, one discontinued: both
# marks show.
urgent=$(python3 - "$work/after.csv" <<'EOF'
import csv, sys
rows = [r for r in csv.DictReader(open(sys.argv[1], encoding="utf-8")) if r["urgency"] == "urgent"]
print(rows[0]["product"], rows[1]["product"])
EOF
)
read -r ordered discontinued <<<"$urgent"
"$program" mark --period "$period" "$ordered" --ordered 300 --date 2010-11-19 >/dev/null
"$program" mark --period "$period" "$discontinued" --discontinued >/dev/null

# The history: the period's run is the third of three a week apart. In the two before it a
# dozen products had other stocks and sales, so that "Sedan förra körningen..." lists each kind
# of change and one product's figures move in its "Historik" tab. The program folder is put
# back as it stands after each of them.
"$program" coverage --period "$period" --format csv 2>/dev/null >"$work/now.csv"
cp "$LODVIKPRODSOK_HOME/local.mdb" "$work/now.mdb"
history=$(python3 - "$work/now.csv" <<'EOF'
import csv, sys
rows = [r for r in csv.DictReader(open(sys.argv[1], encoding="utf-8")) if r["sales_per_week_pj"]]
print(next(r["product"] for r in rows if r["supplier"] == "Nordpall AB" and r["suggestion"]))
EOF
)
for weeks in 2 1; do
    python3 - "$LODVIKPRODSOK_HOME/local.mdb" "$work/now.csv" "$weeks" "$history" <<'EOF'
import csv, sqlite3, sys
db = sqlite3.connect(sys.argv[1])
weeks, history = int(sys.argv[3]), sys.argv[4]
everyone = list(csv.DictReader(open(sys.argv[2], encoding="utf-8")))
rows = [r for r in everyone if r["sales_per_week_pj"] and r["product"] != history]
num = lambda v: float(v) if v else 0.0
def stock(product, weeks_of_sales, sales):
    db.execute("UPDATE pjstkfrn SET lipqoh = lipqoh + ? WHERE rowid = (SELECT min(rowid) FROM "
               "pjstkfrn WHERE ivcitm = ?)", (round(weeks_of_sales * sales), product))
def sales(product, factor):
    db.execute("UPDATE pjsfakt SET sdpqor = round(sdpqor * ?) WHERE sdlitm = ?", (factor, product))
ordering = [r for r in rows if r["suggestion"]]
plain = [r for r in rows if not r["suggestion"] and r["urgency"] == "ok"]
for r in ordering[1:5]:  # needed no order a week ago
    stock(r["product"], num(r["lead_time_weeks"]) + 8 + weeks, num(r["sales_per_week_pj"]))
for r in plain[2:5]:  # ran out three weeks later a week ago
    stock(r["product"], 3 * weeks, num(r["sales_per_week_pj"]))
for r in plain[7:9]:  # sold less
    sales(r["product"], 0.5 if weeks == 2 else 0.6)
for r in plain[11:13]:  # sold more
    sales(r["product"], 1.6)
h = next(r for r in everyone if r["product"] == history)  # less stock, more sales each week
stock(history, 3 * weeks + 2, num(h["sales_per_week_pj"]))
sales(history, 0.6 if weeks == 2 else 0.7)
db.commit()
EOF
    "$program" coverage --period "$(date -d "$period - $weeks week" +%F)" --format csv >/dev/null 2>&1
    cp "$work/now.mdb" "$LODVIKPRODSOK_HOME/local.mdb"
done

openbox >/dev/null 2>&1 &
sleep 1
# The window's "today" a few days after the period, as when the run was fresh, so that the
# order-by classes spread out as they would (the demo's period lies far back).
FAKETIME_DONT_FAKE_MONOTONIC=1 faketime -f '@2010-11-22 08:00:00' "$program" >/dev/null 2>&1 &
main=$(xdotool search --sync --name 'Sökningsbild' | head -1)
xdotool windowactivate --sync "$main"
sleep 1

# Rapporter → Täckningsöversikt…: the second menu, its second entry. Without a period the window
# asks for one.
xdotool mousemove --window "$main" 75 10 click 1
sleep 0.5
xdotool key Down Down Return
sleep 1
xdotool type --delay 50 "$period"
xdotool key Return
overview=$(xdotool search --sync --name 'versikt 20' | head -1)
xdotool windowactivate --sync "$overview"
sleep 2 # the window fits itself to the screen: grab it as the operator sees it
import -window "$overview" "$work/overview.png"

# Print without the FRN shares, the stock-out date and the group: a right-click on a heading
# lists every column in the window's order (the product number cannot be hidden, so the
# arrow keys pass it), and Return hides the chosen one.
for downs in 13 14 16 18 20 22; do
    xdotool mousemove --window "$overview" 120 136 click 3
    sleep 0.5
    for _ in $(seq "$downs"); do xdotool key Down; done
    xdotool key Return
    sleep 0.3
done
xdotool key alt+u
preview=$(xdotool search --sync --name 'rhandsgranskning' | head -1)
xdotool windowsize "$preview" 1100 800
sleep 2
import -window "$preview" "$work/printout.png"
xdotool key Escape
sleep 1
# Every column again ("Visa alla kolumner", the menu's last entry).
xdotool mousemove --window "$overview" 120 136 click 3
sleep 0.5
xdotool key Up Return
sleep 0.5

# The planning columns: one supplier's products (Alt+V is the supplier box; typing picks by the
# first letters), the list widened over the chart by its splitter (its handle at x 724 in the
# window as it fits this screen, so dragged before the window is resized), then the window over
# the whole screen.
xdotool windowactivate --sync "$overview"
xdotool key alt+v
xdotool type --delay 50 "Nordpall"
xdotool key Tab
sleep 1
xdotool mousemove --window "$overview" 724 500 mousedown 1
for x in 760 820 860 895; do
    sleep 0.2
    xdotool mousemove --window "$overview" $x 500
done
xdotool mouseup 1
sleep 0.5
xdotool windowmove --sync "$overview" 0 0
xdotool windowsize --sync "$overview" 1280 1000
sleep 2
import -window "$overview" "$work/overview-planning.png"

# What changed since the run a week before (Alt+K), made tall enough for the whole list.
xdotool key alt+k
changes=$(xdotool search --sync --name 'Sedan f' | head -1)
xdotool windowactivate --sync "$changes"
xdotool windowsize "$changes" 900 740
sleep 2
import -window "$changes" "$work/changes.png"
xdotool key Escape
sleep 1

# The product whose figures moved (one of Nordpall's, so the supplier box still shows it): found
# by the search box (Alt+Ö), the only row left (at y 137 in the window as resized) opened by a
# double-click, its "Historik" tab (Alt+H).
xdotool windowactivate --sync "$overview"
xdotool key alt+odiaeresis
xdotool type --delay 50 "$history"
sleep 1
xdotool mousemove --window "$overview" 300 137 click --repeat 2 1
drill=$(xdotool search --sync --name "knades $history" | head -1)
xdotool windowactivate --sync "$drill"
xdotool windowsize --sync "$drill" 980 720
xdotool key alt+h
sleep 1
# The room goes to the table: the splitter above it (its handle at y 280) dragged down gives it
# to the chart.
xdotool mousemove --window "$drill" 490 280 mousedown 1
for y in 320 380 440 480; do
    sleep 0.2
    xdotool mousemove --window "$drill" 490 $y
done
xdotool mouseup 1
sleep 2
import -window "$drill" "$work/history.png"
xdotool key Escape

for shot in overview printout overview-planning changes history; do
    convert "$work/$shot.png" -colors 192 "$out/$shot.png"
    optipng -quiet -o5 "$out/$shot.png"
    echo "$out/$shot.png: $(stat -c %s "$out/$shot.png") bytes"
done

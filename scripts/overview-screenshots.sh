#!/usr/bin/env bash
# Renews the README's screenshots of the coverage overview (as it opens, and one supplier's
# planning columns) and its printout preview: a demo program folder with a spread of weeks of
# cover, planning rules and marks, the window opened through Rapporter → Täckningsöversikt… on a
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

for shot in overview printout overview-planning; do
    convert "$work/$shot.png" -colors 192 "$out/$shot.png"
    optipng -quiet -o5 "$out/$shot.png"
    echo "$out/$shot.png: $(stat -c %s "$out/$shot.png") bytes"
done

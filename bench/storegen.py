"""Generated program folders for bench/compare-builds and bench/speed-limits.

A folder holds local.mdb (the extract tables, created here with the catalogue's schema, indexed or
not) and sokdata.db (the search table). Everything comes from one seeded random generator, so a
seed and a size give the same folder on every run. Plain sqlite3 inserts in one transaction: the
program's own demo generator is too slow at the benchmark sizes and cannot leave the indexes out.

Run on its own: python3 bench/storegen.py DIR --products 2000 [--no-index] [--awkward] ...
"""

import argparse
import dataclasses
import datetime
import os
import random
import sqlite3

# The catalogue (store/TableCatalogue.cpp): table -> ([(column, is_text)], [indexed columns]).
# Kept in the catalogue's order so that the schema text is the program's own.
def _catalogue():
    tables = []
    dtspl = [("ID", False)] + [(f"Fält{i}", i <= 3) for i in range(1, 46)]
    tables.append(("DTSPL", dtspl, ["Fält2"]))
    tables.append(("frnhist", [("ihfy", True), ("ivcitm", True)] +
                   [(f"IHSQ{m:02d}", False) for m in range(1, 13)], ["ivcitm"]))
    tables.append(("tillfall", [("id", False)], []))
    tables.append(("avail", [("ivcitm", True), ("quantity", False)], ["ivcitm"]))
    for t in ("pjoback", "pjo1back", "pjocurr", "pjo1curr", "pjofram", "pjo1fram"):
        tables.append((t, [("sdaitm", True), ("antaltusen", False)], []))
    tables.append(("fpsaldo", [("IBLITM", True), ("LIPQOH", False)], ["IBLITM"]))
    tables.append(("pjstkfrn", [("ivcitm", True), ("lipqoh", False)], ["ivcitm"]))
    tables.append(("pjstk", [("imlitm", True), ("lipqoh", False)], ["imlitm"]))
    tables.append(("pjstkens", [("imlitm", True), ("lipqoh", False)], []))
    for t in ("pjgit", "pj1git"):
        tables.append((t, [("sdlitm", True), ("sdpqor", False)], []))
    tables.append(("fpprognos", [("mflitm", True), ("MFDRQJ", True), ("mffqt", False)], []))
    tables.append(("fporder", [("sdlitm", True), ("SDpddj", True), ("sduorg", False)], []))
    tables.append(("frnrequest", [("ivcitm", True), ("sduorg", False)], []))
    tables.append(("frnrequesu", [("ivcitm", True), ("sduorg01", False)], []))
    for t in ("PJOFBACK", "PJOFFRAM", "PJOTBALLA", "PJOTALLA"):
        tables.append((t, [("sdaitm", True), ("antaltusen", False)], ["sdaitm"]))
    tables.append(("pjpvmens", [("mflitm", True), ("mffqt", False)], ["mflitm"]))
    for t in ("pjscurr", "pjs1curr", "pjs2curr", "pjsprior", "pjs1prior"):
        tables.append((t, [("sdlitm", True), ("sdpqor", False)], []))
    tables.append(("pjsfakt", [("sdlitm", True), ("sdpqor", False)], ["sdlitm"]))
    tables.append(("pjomr", [("iblitm", True), ("imdsc1", True), ("umconv", False)], ["iblitm"]))
    return tables


CATALOGUE = _catalogue()

# The extracts the coverage run reads per product (besides pjomr, which it walks), with the
# column the run filters on and the quantity column.
COVERAGE_EXTRACTS = [
    ("pjstkfrn", "ivcitm"), ("avail", "ivcitm"), ("DTSPL", "Fält2"), ("pjstk", "imlitm"),
    ("PJOTBALLA", "sdaitm"), ("pjpvmens", "mflitm"), ("PJOFBACK", "sdaitm"),
    ("PJOTALLA", "sdaitm"), ("PJOFFRAM", "sdaitm"), ("pjsfakt", "sdlitm"), ("frnhist", "ivcitm"),
]


def _ident(name):
    return '"' + name.replace('"', '""') + '"'


def create_table_sql(name, columns, typed=True):
    """typed=False declares the number columns without a type, so that a value keeps the type
    it is written with: a text stays a text, as a transfer that writes texts leaves it."""
    cols = ", ".join(_ident(c) + (" TEXT COLLATE NOCASE" if text else " NUMERIC" if typed else "")
                     for c, text in columns)
    return f"CREATE TABLE IF NOT EXISTS {_ident(name)} ({cols})"


# Where the texts shape writes blank texts besides numeric ones: the extracts every figure reads
# as quantities or sums ("" and " " count 0 there), not those a total reads value by value as it
# stands (pjstkfrn, avail, frnrequest, frnrequesu, frnhist: a blank stops those figures).
BLANK_TEXT_TABLES = {"DTSPL", "pjstk", "PJOTBALLA", "pjpvmens", "PJOFBACK", "PJOTALLA",
                     "PJOFFRAM", "pjsfakt", "pjstkens", "pjgit", "pj1git", "fpsaldo"}
# Number columns that are no quantities: running numbers and the pack factor.
NOT_SUMMED = {"ID", "id", "umconv"}


@dataclasses.dataclass
class StoreShape:
    products: int = 300
    rows: int = 40            # extract rows per product, spread over COVERAGE_EXTRACTS
    dtspl_rows: int = -1      # DTSPL rows; -1: as many as the spread gives it
    search_rows: int = 0      # extra generated ProduktSok rows besides one per product
    seed: int = 1
    indexed: bool = True      # the catalogue's filter-column indexes
    awkward: bool = False     # NULLs, blanks, negatives, gaps, duplicates the figures tolerate
    failing: bool = False     # data that makes figures and the coverage run fail
    tillfall: bool = True     # the table some totals require
    shuffled: bool = False    # each extract's rows in random order, not grouped by product
    texts: bool = False       # quantities also as numeric texts ("12", "3.5") and blanks

    def key(self):
        return (f"p{self.products}-r{self.rows}-d{self.dtspl_rows}-s{self.search_rows}"
                f"-seed{self.seed}-{'idx' if self.indexed else 'noidx'}"
                f"{'-awk' if self.awkward else ''}{'-fail' if self.failing else ''}"
                f"{'' if self.tillfall else '-notillfall'}{'-shuf' if self.shuffled else ''}"
                f"{'-txt' if self.texts else ''}-v1")


FAMILIES = [
    (10, "EUR-PALL TRÄ", ["1200X800", "1200X800 BEH"]), (11, "LASTPALL TRÄ", ["1200X1000", "800X600"]),
    (14, "PLASTPALL", ["1200X800 HYGIEN", "800X600 KVARTSPALL"]), (20, "PALLKRAGE", ["1200X800", "800X600"]),
    (21, "PALLOCK", ["1200X800", "1200X1000"]), (30, "STRÄCKFILM", ["500MM 17MY", "MASKIN 23MY"]),
    (40, "WELLKARTONG", ["600X400X400", "300X200X150"]), (50, "HÖRNSKYDD", ["35X35X1000"]),
    (52, "TEJP", ["PP 50MM BRUN", "PAPPER 50MM"]), (55, "ETIKETT", ["100X150 TERMO"]),
]
FACTORS = [1, 1, 2, 4, 5, 10, 12, 20, 25, 50, 0.5]
SEARCH_WORDS = ["Pall", "Pallkrage", "Pallock", "Sträckfilm", "Kartong", "Wellpapp", "Hörnskydd",
                "Tejp", "Etikett", "Ölback", "Åkerimatta", "Ändskydd", "Säck", "Lådpall",
                "Band", "Bandlås", "Skåp", "Förslutare"]


def _products(rng, shape):
    """[(number, description, umconv)] sorted by number; awkward stores add odd numbers."""
    numbers = set()
    out = []
    width = 4 if shape.products < 5000 else 5
    while len(out) < shape.products:
        group, name, variants = rng.choice(FAMILIES)
        number = f"{group}-{rng.randint(1, 10 ** width - 1):0{width}d}"
        if number.upper() in numbers:
            continue
        numbers.add(number.upper())
        out.append([number, f"{name} {rng.choice(variants)}", rng.choice(FACTORS)])
    if shape.awkward and len(out) >= 12:
        # Product numbers of other shapes: all digits, an apostrophe, a Swedish letter, lower
        # case, a trailing blank.
        out[0][0] = "100234"
        out[1][0] = "12'A"
        out[2][0] = "Ö-0001"
        out[3][0] = "pl-0003"
        out[4][0] = "77-0077 "
        out[5][1] = ""            # blank description
        out[6][1] = None          # no description
        out[7][2] = "2.5"         # a numeric text as the pack factor
    out.sort(key=lambda p: p[0])
    return [tuple(p) for p in out]


def _spread(rows):
    """Rows per product for each coverage extract, about rows in all."""
    base, extra = divmod(max(rows, len(COVERAGE_EXTRACTS)), len(COVERAGE_EXTRACTS))
    return {t: base + (1 if i < extra else 0) for i, (t, _) in enumerate(COVERAGE_EXTRACTS)}


def _dtspl_row(rng, rid, product, description, awkward):
    row = [rid, f"DP{rng.randint(1, 3)}", product, description]
    for position in range(4, 46):
        r = rng.random()
        if r < 0.03:
            row.append(None)
        elif awkward and r < 0.05:
            row.append(rng.choice(["", " ", "12", "3.5"]))
        elif 18 <= position <= 24:
            row.append(rng.randint(0, 60))  # allocated, sometimes above stock
        else:
            row.append(rng.randint(0, 40))
    return row


PRODUCT_COLLATION = "NOCASE_LATIN1"


def _product_key(text):
    """The program's comparison key of a product number (dao::productKey): A-Z and À-Þ but ×
    in lower case. Code point order is the UTF-8 byte order the program compares in."""
    return "".join(chr(ord(c) + 32) if "A" <= c <= "Z" or ("\xc0" <= c <= "\xde" and c != "\xd7")
                   else c for c in text)


def compare_products(a, b):
    """The program's collation NOCASE_LATIN1, for create_collation on a connection to a store
    whose indexes an earlier version of the program built under it (the stores made here have
    plain NOCASE indexes, as the program makes them now)."""
    a, b = _product_key(a), _product_key(b)
    return (a > b) - (a < b)


def fill_local(path, shape):
    rng = random.Random(shape.seed)
    db = sqlite3.connect(path, isolation_level=None)
    db.execute("PRAGMA journal_mode=OFF")
    db.execute("PRAGMA synchronous=OFF")
    db.execute("BEGIN")
    for name, columns, indexed in CATALOGUE:
        db.execute(create_table_sql(name, columns, typed=not shape.texts))
        if shape.indexed:
            for c in indexed:
                db.execute(f"CREATE INDEX IF NOT EXISTS {_ident(name + '_' + c)} "
                           f"ON {_ident(name)} ({_ident(c)})")
    columns_of = {name: len(columns) for name, columns, _ in CATALOGUE}
    # The quantity columns by position, for the texts shape.
    quantities = {name: [i for i, (c, text) in enumerate(columns)
                         if not text and c not in NOT_SUMMED]
                  for name, columns, _ in CATALOGUE}
    # A generator of its own, so that every number stays the one the plain shape holds.
    spelled = random.Random(f"texts-{shape.seed}")

    def as_texts(table, rows):
        blanks = table in BLANK_TEXT_TABLES
        for row in rows:
            row = list(row)
            for i in quantities[table]:
                v = row[i]
                if isinstance(v, (int, float)) and not isinstance(v, bool):
                    r = spelled.random()
                    if r < 0.10:
                        row[i] = str(v)
                    elif blanks and r < 0.13:
                        row[i] = spelled.choice(["", " "])
            yield row

    # The same rows in another order: a generator of their own, so that every value stays the
    # one the grouped store holds.
    order = random.Random(f"order-{shape.seed}")

    def insert(table, rows):
        marks = ",".join("?" * columns_of[table])
        if shape.shuffled and table != "pjomr":
            rows = list(rows)
            order.shuffle(rows)
        if shape.texts:
            rows = as_texts(table, rows)
        db.executemany(f"INSERT INTO {_ident(table)} VALUES ({marks})", rows)

    products = _products(rng, shape)
    per = _spread(shape.rows)
    awk = shape.awkward

    def present():  # an awkward store leaves a product out of some extracts
        return not awk or rng.random() >= 0.08

    def qty(low, high, tenths=False, nulls=True):
        if awk and nulls:
            r = rng.random()
            if r < 0.02:
                return None
            if r < 0.03:
                return ""
        return rng.randint(low * 10, high * 10) / 10 if tenths else rng.randint(low, high)

    pjomr = []
    for number, description, umconv in products:
        pjomr.append((number, description, umconv))
    if awk:
        # A product listed twice (the pack size lookups take the first row) and a product whose
        # number differs from the extracts' only in case.
        number, description, _ = products[len(products) // 2]
        pjomr.append((number, description + " DUBBLETT", 7))
    if shape.failing:
        victim = products[len(products) // 3]
        pjomr[len(products) // 3] = (victim[0], victim[1], None)  # no pack size
    insert("pjomr", pjomr)
    orphans = [f"99-{i:04d}" for i in range(1, 6)]  # in the extracts, not in pjomr

    def items():
        for p in products:
            yield p[0]
        if awk:
            yield from orphans
            yield products[len(products) // 4][0].lower()

    # nulls=False where a total walks the rows and an empty quantity stops it.
    def simple(table, low, high, count, tenths=False, nulls=True):
        def rows():
            for item in items():
                if present():
                    for _ in range(count):
                        yield (item, qty(low, high, tenths, nulls))
        insert(table, rows())

    simple("pjstkfrn", 0, 25000, per["pjstkfrn"], nulls=False)
    simple("avail", 0, 400, per["avail"], nulls=False)

    def pjstk_rows():
        for number, _, umconv in products:
            if not present():
                continue
            units = int(float(umconv) * 1000)
            for _ in range(per["pjstk"]):
                yield (number, rng.randint(0, 30) * units // max(per["pjstk"], 1) + rng.randint(0, 999))
            if rng.random() < 0.05 or (awk and rng.random() < 0.1):
                yield (number, -rng.randint(1, 5000))  # booked out before it arrives
        for i in range(1, 13):
            yield (f"PROV{i:03d}", rng.randint(100, 5000))
            yield (f"KNR{i}", rng.randint(100, 5000))
    insert("pjstk", pjstk_rows())
    simple("PJOTBALLA", 1, 25, per["PJOTBALLA"], tenths=True)
    simple("pjpvmens", 1, 12, per["pjpvmens"], tenths=True)
    simple("PJOFBACK", 1, 20, per["PJOFBACK"], tenths=True)
    simple("PJOTALLA", 1, 60, per["PJOTALLA"], tenths=True)
    simple("PJOFFRAM", 1, 40, per["PJOFFRAM"], tenths=True)

    def pjsfakt_rows():
        for number, _, umconv in products:
            if present():
                for _ in range(per["pjsfakt"]):
                    yield (number, round(rng.randint(5, 150) * float(umconv) * 6 / per["pjsfakt"]))
        if awk:
            yield (products[1][0], None)
            yield (products[2][0], "")
    insert("pjsfakt", pjsfakt_rows())

    def frnhist_rows():
        for item in items():
            if not present():
                continue
            for _ in range(per["frnhist"]):
                level = rng.randint(50, 2000)
                yield ["2025", item] + [level * rng.randint(60, 140) // 100 for _ in range(12)]
        if shape.failing:
            yield ["2025", products[-1][0]] + [None] * 12  # a month without a value
    insert("frnhist", frnhist_rows())

    def dtspl_rows():
        if shape.dtspl_rows < 0:
            rid = 0
            for number, description, _ in products:
                if present():
                    for _ in range(per["DTSPL"]):
                        rid += 1
                        yield _dtspl_row(rng, rid, number, description, awk)
            for _ in range(max(1, rid // 100)):  # items the pack-size extract does not know
                rid += 1
                yield _dtspl_row(rng, rid, f"98-{rid}", "OKÄND", awk)
        else:
            for rid in range(1, shape.dtspl_rows + 1):
                number, description, _ = products[(rid - 1) % len(products)]
                if rng.random() < 0.01:
                    number = f"98-{rid}"
                yield _dtspl_row(rng, rid, number, description, awk)
        if awk:
            yield [None, None, None, None] + [1] * 42
            yield [None, "DP1", "", "TOM"] + [2] * 42
    insert("DTSPL", dtspl_rows())

    # The extracts only the totals and the date conversion read: a few rows per product.
    simple("fpsaldo", 0, 40000, 2)
    simple("pjstkens", 0, 20000, 1)
    for t in ("pjoback", "pjo1back", "pjocurr", "pjo1curr", "pjofram", "pjo1fram"):
        simple(t, 1, 30, 1, tenths=True)
    for t in ("pjscurr", "pjs1curr", "pjs2curr", "pjsprior", "pjs1prior", "pjgit", "pj1git"):
        simple(t, 1, 30, 1, tenths=True)

    def requests(low, high, blank):
        for number, _, _ in products:
            if present():
                yield (number, rng.randint(low, high))
        yield (blank, 3)
    # frnrequest's total stops at a row without an item; frnrequesu's skips it.
    insert("frnrequest", requests(1, 300, None if shape.failing else ""))
    insert("frnrequesu", requests(1, 200, None))
    if awk:
        insert("avail", [(None, 5), ("", 6), ("  ", 7)])

    def dated(low, high):
        for number, _, _ in products:
            for _ in range(2):
                day = rng.randint(0, 360)
                year, month, dom = _add_days(2026, 1, 5, day)
                text = (f"{year % 100:02d}-{month:02d}-{dom:02d}" if rng.random() < 0.1
                        else f"{year:04d}-{month:02d}-{dom:02d}")
                yield (number, text, rng.randint(low, high))
        if awk:
            yield (products[0][0], "260115", 3)    # already converted: left alone
            yield (products[0][0], None, 4)
            yield (products[0][0], "", 5)
            yield (products[0][0], "2026-12-31", 6)
            yield (products[0][0], "2027-01-01", 7)
            yield (products[0][0], "2020-12-31", 8)  # ISO week 53
        if shape.failing:
            yield (products[1][0], "2026-02-30", 9)  # no such day: the conversion stops
    insert("fpprognos", dated(1, 20))
    insert("fporder", dated(1, 500))
    if shape.tillfall:
        insert("tillfall", [(1,), (2,), (3,)])
    else:
        db.execute("DROP TABLE tillfall")
    db.execute("COMMIT")
    db.close()
    return products


def _add_days(year, month, day, days):
    d = datetime.date(year, month, day) + datetime.timedelta(days=days)
    return d.year, d.month, d.day


def fill_search(path, shape, products):
    """sokdata.db with the program's table text; the program builds its indexes (they need its
    collation) the first time it opens the file."""
    rng = random.Random(shape.seed * 7919 + 1)
    db = sqlite3.connect(path, isolation_level=None)
    # Only declared here, never called: no index exists yet and nothing is compared.
    db.create_collation("SVENSKA", lambda a, b: (a > b) - (a < b))
    db.execute("BEGIN")
    db.execute("CREATE TABLE IF NOT EXISTS ProduktSok (Soknamn TEXT COLLATE SVENSKA, "
               "Produktnummer TEXT COLLATE SVENSKA)")
    db.execute("CREATE TABLE IF NOT EXISTS LagerA (lagerplats TEXT COLLATE SVENSKA)")

    def rows():
        for number, description, _ in products:
            yield (description.title() if description else description, number)
        for _ in range(shape.search_rows):
            name = f"{rng.choice(SEARCH_WORDS)} {rng.choice(SEARCH_WORDS).lower()} {rng.randint(1, 2000)}"
            yield (name, str(rng.randint(1000000, 9999999)))
        if shape.awkward:
            yield from [("O'Hara pall", "1'23"), ("o'hara PALL ", "1'24"), (None, "5550001"),
                        ("Utan nummer", None), ("", "5550002"), ("   ", "5550003"),
                        ("Öl", "Ö1"), ("öl", "ö2"), ("Åkerimatta", "Å-1"), ("Ärtback", "Ä-1"),
                        ("Éclair-låda", "É-1"), ("12345", "12345"), ("0042", "0042"),
                        ("Zebra", "Z-1"), ("Pall EUR", "1001-B"), ("Pall EUR", "1001-B")]
    db.executemany("INSERT INTO ProduktSok VALUES (?, ?)", rows())
    db.executemany("INSERT INTO LagerA VALUES (?)",
                   [(f"{a}-{s:02d}",) for a in "ABCÖ" for s in range(1, 6)])
    db.execute("COMMIT")
    db.close()


def make_folder(folder, shape):
    """Creates the program folder (which must not exist yet); returns the product list."""
    os.makedirs(os.path.join(folder, "rapporter"))
    products = fill_local(os.path.join(folder, "local.mdb"), shape)
    fill_search(os.path.join(folder, "sokdata.db"), shape, products)
    return products


def main():
    ap = argparse.ArgumentParser(description="Generates a program folder for the benchmarks.")
    ap.add_argument("folder")
    for field in dataclasses.fields(StoreShape):
        if isinstance(field.default, bool):
            continue
        ap.add_argument("--" + field.name.replace("_", "-"), type=int, default=field.default)
    ap.add_argument("--no-index", action="store_true")
    ap.add_argument("--awkward", action="store_true")
    ap.add_argument("--failing", action="store_true")
    ap.add_argument("--no-tillfall", action="store_true")
    ap.add_argument("--shuffled", action="store_true")
    ap.add_argument("--texts", action="store_true")
    a = ap.parse_args()
    shape = StoreShape(products=a.products, rows=a.rows, dtspl_rows=a.dtspl_rows,
                     search_rows=a.search_rows, seed=a.seed, indexed=not a.no_index,
                     awkward=a.awkward, failing=a.failing, tillfall=not a.no_tillfall,
                       shuffled=a.shuffled, texts=a.texts)
    make_folder(a.folder, shape)
    print(shape.key())


if __name__ == "__main__":
    main()

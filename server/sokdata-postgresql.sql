-- Prepares a PostgreSQL database (version 12 or later, built with ICU) as the shared search data
-- source of LodvikProdSok: the tables ProduktSok and LagerA with Swedish, case-blind comparison.
--
-- Make the database in UTF-8 first, then run this file in it as its owner:
--   createdb --encoding=UTF8 --template=template0 sokdata
--   psql -v ON_ERROR_STOP=1 -d sokdata -f sokdata-postgresql.sql
-- Running it again changes nothing that exists.
--
-- Why this shape: the window searches by prefix with
--   WHERE produktnummer >= 'T ' AND produktnummer < 'TÖÖÖÖÖÖÖÖÖÖÖÖÖÖ'
-- which gives exactly the rows that begin with T only where Ö sorts after every other letter and
-- digit, upper and lower case compare alike, and trailing blanks do not count. The ICU collation
-- below gives the first two (Swedish, strength 2 = case-blind); the fixed-length char(n) type
-- gives the third, because its comparison ignores trailing blanks. With varchar the row whose
-- value is exactly T would be missed. A collation that is not deterministic refuses LIKE, which
-- the program never uses.

CREATE COLLATION IF NOT EXISTS sv_ci (
    provider = icu,
    locale = 'sv-SE-u-ks-level2',
    deterministic = false
);

-- Names without quotes, so that the program's queries find them in any case.
CREATE TABLE IF NOT EXISTS ProduktSok (
    Soknamn char(50) COLLATE sv_ci,
    Produktnummer char(50) COLLATE sv_ci
);
CREATE INDEX IF NOT EXISTS produktsok_produktnummer ON ProduktSok (Produktnummer, Soknamn);
CREATE INDEX IF NOT EXISTS produktsok_soknamn ON ProduktSok (Soknamn, Produktnummer);

CREATE TABLE IF NOT EXISTS LagerA (
    lagerplats char(50) COLLATE sv_ci
);
CREATE INDEX IF NOT EXISTS lagera_lagerplats ON LagerA (lagerplats);

-- The login the workstations use needs to read and change the rows, for example:
--   CREATE ROLE lodvik LOGIN PASSWORD '...';
--   GRANT SELECT, INSERT, UPDATE, DELETE ON ProduktSok, LagerA TO lodvik;

-- The program's own planning data: a replenishment rule per product and the operator's marks on
-- a period's products ("beställd", "utgått"). Product numbers compare exactly here, as typed.
CREATE TABLE IF NOT EXISTS planning_rule (
    product text PRIMARY KEY,
    lead_time_weeks double precision NOT NULL,
    safety_weeks double precision NOT NULL,
    safety_packs double precision NOT NULL,
    multiple bigint NOT NULL,
    minimum bigint NOT NULL,
    supplier text NOT NULL,
    product_group text NOT NULL,
    follow_trend integer NOT NULL DEFAULT 0
);
-- "följ trenden", added after the table's first version: a database made before gets it.
DO $$
BEGIN
    ALTER TABLE planning_rule ADD COLUMN follow_trend integer NOT NULL DEFAULT 0;
EXCEPTION WHEN duplicate_column THEN NULL;
END $$;
CREATE TABLE IF NOT EXISTS planning_mark (
    period text NOT NULL,
    product text NOT NULL,
    mark text NOT NULL,
    ordered_on text,
    ordered_packs double precision,
    PRIMARY KEY (period, product)
);
--   GRANT SELECT, INSERT, UPDATE, DELETE ON planning_rule, planning_mark TO lodvik;

-- The kept coverage runs: a snapshot per period (the newest 104 periods, or as many as
-- lodvikprodsok.ini's [historik] perioder says), its products spread over history_chunk by a
-- hash of the product number, each chunk their numbers packed and compressed; and what the
-- last scheduled run left for the window to tell.
CREATE TABLE IF NOT EXISTS history_snapshot (
    id integer PRIMARY KEY,
    period text NOT NULL UNIQUE,
    taken_at text NOT NULL,
    target_weeks double precision NOT NULL,
    products integer NOT NULL,
    chunks integer NOT NULL,
    origin text NOT NULL
);
CREATE TABLE IF NOT EXISTS history_chunk (
    snapshot integer NOT NULL,
    chunk integer NOT NULL,
    data bytea NOT NULL,
    PRIMARY KEY (snapshot, chunk)
);
CREATE TABLE IF NOT EXISTS history_scheduled_run (
    id integer PRIMARY KEY,
    started_at text NOT NULL,
    period text NOT NULL,
    ok integer NOT NULL,
    message text NOT NULL,
    files text NOT NULL
);
--   GRANT SELECT, INSERT, UPDATE, DELETE ON history_snapshot, history_chunk,
--         history_scheduled_run TO lodvik;

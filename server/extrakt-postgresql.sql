-- Prepares a PostgreSQL database (version 12 or later) as the shared extract store of
-- LodvikProdSok: the extract tables that local.mdb holds on a single workstation, for every
-- workstation of the business to compute from one set of extracts.
--
-- Make the database in UTF-8 first, then run this file in it as its owner (a role that may create
-- roles) or as a superuser, naming the role the workstations log in with:
--   createdb --encoding=UTF8 --template=template0 extrakt
--   psql -v ON_ERROR_STOP=1 -v workstation=lodvik -d extrakt -f extrakt-postgresql.sql
-- Without -v workstation the roles are made but given to nobody. Running it again changes
-- nothing that exists, but for the tables' owner (below).
--
-- The tables and columns are those of local.mdb, names without quotes (lower case on the
-- server), so that the program's unquoted queries find them. Numbers are double precision as the
-- import stores them (integer for running numbers); dates are text, because the date conversions
-- rewrite them as week-day codes. lodvik_radnr is the row's place: the SQLite rowid of a copied
-- store, the row's order in the Access table of an imported one. Everything SQLite does in rowid
-- order is done in lodvik_radnr order here.

-- How the figures tell product numbers apart: A-Z and the Latin-1 letters À-Þ (not ×) fold to
-- lower case, nothing else does, whatever the server's locale. A one-product query is
--   WHERE lodvik_nyckel(column) = lodvik_nyckel($1) ORDER BY lodvik_radnr
-- and finds its rows through the indexes below.
CREATE OR REPLACE FUNCTION lodvik_nyckel(text) RETURNS text
    LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE
    AS $$SELECT translate($1, 'ABCDEFGHIJKLMNOPQRSTUVWXYZÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞ',
                                'abcdefghijklmnopqrstuvwxyzàáâãäåæçèéêëìíîïðñòóôõöøùúûüýþ')$$;

CREATE TABLE IF NOT EXISTS DTSPL (
    ID integer,
    Fält1 text,
    Fält2 text,
    Fält3 text,
    Fält4 double precision,
    Fält5 double precision,
    Fält6 double precision,
    Fält7 double precision,
    Fält8 double precision,
    Fält9 double precision,
    Fält10 double precision,
    Fält11 double precision,
    Fält12 double precision,
    Fält13 double precision,
    Fält14 double precision,
    Fält15 double precision,
    Fält16 double precision,
    Fält17 double precision,
    Fält18 double precision,
    Fält19 double precision,
    Fält20 double precision,
    Fält21 double precision,
    Fält22 double precision,
    Fält23 double precision,
    Fält24 double precision,
    Fält25 double precision,
    Fält26 double precision,
    Fält27 double precision,
    Fält28 double precision,
    Fält29 double precision,
    Fält30 double precision,
    Fält31 double precision,
    Fält32 double precision,
    Fält33 double precision,
    Fält34 double precision,
    Fält35 double precision,
    Fält36 double precision,
    Fält37 double precision,
    Fält38 double precision,
    Fält39 double precision,
    Fält40 double precision,
    Fält41 double precision,
    Fält42 double precision,
    Fält43 double precision,
    Fält44 double precision,
    Fält45 double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE INDEX IF NOT EXISTS dtspl_fält2_nyckel ON DTSPL (lodvik_nyckel(Fält2), lodvik_radnr);
CREATE TABLE IF NOT EXISTS frnhist (
    ihfy text,
    ivcitm text,
    IHSQ01 double precision,
    IHSQ02 double precision,
    IHSQ03 double precision,
    IHSQ04 double precision,
    IHSQ05 double precision,
    IHSQ06 double precision,
    IHSQ07 double precision,
    IHSQ08 double precision,
    IHSQ09 double precision,
    IHSQ10 double precision,
    IHSQ11 double precision,
    IHSQ12 double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE INDEX IF NOT EXISTS frnhist_ivcitm_nyckel ON frnhist (lodvik_nyckel(ivcitm), lodvik_radnr);
CREATE TABLE IF NOT EXISTS tillfall (
    id integer,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS avail (
    ivcitm text,
    quantity double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE INDEX IF NOT EXISTS avail_ivcitm_nyckel ON avail (lodvik_nyckel(ivcitm), lodvik_radnr);
CREATE TABLE IF NOT EXISTS pjoback (
    sdaitm text,
    antaltusen double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS pjo1back (
    sdaitm text,
    antaltusen double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS pjocurr (
    sdaitm text,
    antaltusen double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS pjo1curr (
    sdaitm text,
    antaltusen double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS pjofram (
    sdaitm text,
    antaltusen double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS pjo1fram (
    sdaitm text,
    antaltusen double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS fpsaldo (
    IBLITM text,
    LIPQOH double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE INDEX IF NOT EXISTS fpsaldo_iblitm_nyckel ON fpsaldo (lodvik_nyckel(IBLITM), lodvik_radnr);
CREATE TABLE IF NOT EXISTS pjstkfrn (
    ivcitm text,
    lipqoh double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE INDEX IF NOT EXISTS pjstkfrn_ivcitm_nyckel ON pjstkfrn (lodvik_nyckel(ivcitm), lodvik_radnr);
CREATE TABLE IF NOT EXISTS pjstk (
    imlitm text,
    lipqoh double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE INDEX IF NOT EXISTS pjstk_imlitm_nyckel ON pjstk (lodvik_nyckel(imlitm), lodvik_radnr);
CREATE TABLE IF NOT EXISTS pjstkens (
    imlitm text,
    lipqoh double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS pjgit (
    sdlitm text,
    sdpqor double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS pj1git (
    sdlitm text,
    sdpqor double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS fpprognos (
    mflitm text,
    MFDRQJ text,
    mffqt double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS fporder (
    sdlitm text,
    SDpddj text,
    sduorg double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS frnrequest (
    ivcitm text,
    sduorg double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS frnrequesu (
    ivcitm text,
    sduorg01 double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS PJOFBACK (
    sdaitm text,
    antaltusen double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE INDEX IF NOT EXISTS pjofback_sdaitm_nyckel ON PJOFBACK (lodvik_nyckel(sdaitm), lodvik_radnr);
CREATE TABLE IF NOT EXISTS PJOFFRAM (
    sdaitm text,
    antaltusen double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE INDEX IF NOT EXISTS pjoffram_sdaitm_nyckel ON PJOFFRAM (lodvik_nyckel(sdaitm), lodvik_radnr);
CREATE TABLE IF NOT EXISTS PJOTBALLA (
    sdaitm text,
    antaltusen double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE INDEX IF NOT EXISTS pjotballa_sdaitm_nyckel ON PJOTBALLA (lodvik_nyckel(sdaitm), lodvik_radnr);
CREATE TABLE IF NOT EXISTS PJOTALLA (
    sdaitm text,
    antaltusen double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE INDEX IF NOT EXISTS pjotalla_sdaitm_nyckel ON PJOTALLA (lodvik_nyckel(sdaitm), lodvik_radnr);
CREATE TABLE IF NOT EXISTS pjpvmens (
    mflitm text,
    mffqt double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE INDEX IF NOT EXISTS pjpvmens_mflitm_nyckel ON pjpvmens (lodvik_nyckel(mflitm), lodvik_radnr);
CREATE TABLE IF NOT EXISTS pjscurr (
    sdlitm text,
    sdpqor double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS pjs1curr (
    sdlitm text,
    sdpqor double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS pjs2curr (
    sdlitm text,
    sdpqor double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS pjsprior (
    sdlitm text,
    sdpqor double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS pjs1prior (
    sdlitm text,
    sdpqor double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS pjsfakt (
    sdlitm text,
    sdpqor double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE INDEX IF NOT EXISTS pjsfakt_sdlitm_nyckel ON pjsfakt (lodvik_nyckel(sdlitm), lodvik_radnr);
CREATE TABLE IF NOT EXISTS pjomr (
    iblitm text,
    imdsc1 text,
    umconv double precision,
    lodvik_radnr bigint NOT NULL PRIMARY KEY
);
CREATE INDEX IF NOT EXISTS pjomr_iblitm_nyckel ON pjomr (lodvik_nyckel(iblitm), lodvik_radnr);

-- Reading: every table, and rewriting the dates of the two tables the date conversions change.
-- Loading: also emptying and filling every table, and making the tables of an Access file that
-- are not among those above.
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'lodvik_extrakt_lasare') THEN
        CREATE ROLE lodvik_extrakt_lasare NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'lodvik_extrakt_laddare') THEN
        CREATE ROLE lodvik_extrakt_laddare NOLOGIN IN ROLE lodvik_extrakt_lasare;
    END IF;
END
$$;
GRANT SELECT ON DTSPL, frnhist, tillfall, avail, pjoback, pjo1back, pjocurr, pjo1curr, pjofram,
    pjo1fram, fpsaldo, pjstkfrn, pjstk, pjstkens, pjgit, pj1git, fpprognos, fporder, frnrequest,
    frnrequesu, PJOFBACK, PJOFFRAM, PJOTBALLA, PJOTALLA, pjpvmens, pjscurr, pjs1curr, pjs2curr,
    pjsprior, pjs1prior, pjsfakt, pjomr TO lodvik_extrakt_lasare;
GRANT UPDATE ON fpprognos, fporder TO lodvik_extrakt_lasare;
-- A table of an Access file that the figures do not read is made anew by each load.
DO $$
BEGIN
    EXECUTE format('GRANT CREATE ON SCHEMA %I TO lodvik_extrakt_laddare', current_schema());
END
$$;
GRANT INSERT, DELETE, TRUNCATE ON DTSPL, frnhist, tillfall, avail, pjoback, pjo1back, pjocurr,
    pjo1curr, pjofram, pjo1fram, fpsaldo, pjstkfrn, pjstk, pjstkens, pjgit, pj1git, fpprognos,
    fporder, frnrequest, frnrequesu, PJOFBACK, PJOFFRAM, PJOTBALLA, PJOTALLA, pjpvmens, pjscurr,
    pjs1curr, pjs2curr, pjsprior, pjs1prior, pjsfakt, pjomr TO lodvik_extrakt_laddare;

-- A load gives a column of numbers the type text while the file it loads holds texts there
-- (blank or numeric texts, which the figures read as the local ones do) and double precision
-- again when it holds numbers only, and adds a column the file has beyond those above: the
-- loading role owns the tables. Running this file again gives it the tables made before.
DO $$
DECLARE
    t text;
BEGIN
    EXECUTE format('GRANT lodvik_extrakt_laddare TO %I', current_user);
    FOREACH t IN ARRAY ARRAY['dtspl', 'frnhist', 'tillfall', 'avail', 'pjoback', 'pjo1back',
        'pjocurr', 'pjo1curr', 'pjofram', 'pjo1fram', 'fpsaldo', 'pjstkfrn', 'pjstk', 'pjstkens',
        'pjgit', 'pj1git', 'fpprognos', 'fporder', 'frnrequest', 'frnrequesu', 'pjofback',
        'pjoffram', 'pjotballa', 'pjotalla', 'pjpvmens', 'pjscurr', 'pjs1curr', 'pjs2curr',
        'pjsprior', 'pjs1prior', 'pjsfakt', 'pjomr']
    LOOP
        EXECUTE format('ALTER TABLE %I OWNER TO lodvik_extrakt_laddare', t);
    END LOOP;
END
$$;

-- The workstations' login loads as well as reads; give a login that only reads
-- lodvik_extrakt_lasare instead.
\if :{?workstation}
GRANT lodvik_extrakt_laddare TO :"workstation";
\endif

-- The limit for a coverage run on the extract store on a server: PostgreSQL computing the same
-- numbers itself, in one snapshot, with one GROUP BY per extract the run reads (on the product
-- comparison the figures use, lodvik_nyckel) and the walk of pjomr in product order. Every row
-- goes to the client, as the run's rows go to its workbook. The period is bench/speed-limits'
-- (2026-03-15): frnhist's six months are those the run adds, August to January.
--
--     psql -X -q -A -t -v ON_ERROR_STOP=1 -d extrakt -f bench/coverage-limit-postgresql.sql
--
-- Each extract is grouped on its product numbers as stored first, and only those groups on
-- lodvik_nyckel: the same numbers, with the product comparison made once a product number
-- rather than once a row. The sums add in whatever order the server likes; the run adds in
-- lodvik_radnr order, as SQLite does, so this is a bound rather than the run's own numbers.

BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY;

SELECT iblitm, imdsc1, umconv FROM pjomr ORDER BY lodvik_nyckel(iblitm), lodvik_radnr;

SELECT lodvik_nyckel(k), sum(s) FROM (SELECT ivcitm AS k, sum(lipqoh) AS s FROM pjstkfrn GROUP BY 1) g GROUP BY 1;
SELECT lodvik_nyckel(k), sum(s) FROM (SELECT ivcitm AS k, sum(quantity) AS s FROM avail GROUP BY 1) g GROUP BY 1;
SELECT lodvik_nyckel(k), sum(s) FROM (
    SELECT fält2 AS k,
           sum(fält39 + fält40 + fält41 + fält42 + fält43 + fält44 + fält45)
           - sum(fält18 + fält19 + fält20 + fält21 + fält22 + fält23 + fält24) AS s
      FROM dtspl GROUP BY 1) g GROUP BY 1;
SELECT lodvik_nyckel(k), sum(s) FROM (SELECT imlitm AS k, sum(lipqoh) AS s FROM pjstk GROUP BY 1) g GROUP BY 1;
SELECT lodvik_nyckel(k), sum(s) FROM (SELECT sdaitm AS k, sum(antaltusen) AS s FROM pjotballa GROUP BY 1) g GROUP BY 1;
SELECT lodvik_nyckel(k), sum(s) FROM (SELECT mflitm AS k, sum(mffqt) AS s FROM pjpvmens GROUP BY 1) g GROUP BY 1;
SELECT lodvik_nyckel(k), sum(s) FROM (SELECT sdaitm AS k, sum(antaltusen) AS s FROM pjofback GROUP BY 1) g GROUP BY 1;
SELECT lodvik_nyckel(k), sum(s) FROM (SELECT sdaitm AS k, sum(antaltusen) AS s FROM pjotalla GROUP BY 1) g GROUP BY 1;
SELECT lodvik_nyckel(k), sum(s) FROM (SELECT sdaitm AS k, sum(antaltusen) AS s FROM pjoffram GROUP BY 1) g GROUP BY 1;
SELECT lodvik_nyckel(k), sum(s) FROM (SELECT sdlitm AS k, sum(sdpqor) AS s FROM pjsfakt GROUP BY 1) g GROUP BY 1;
SELECT lodvik_nyckel(k), sum(s) FROM (
    SELECT ivcitm AS k, sum(ihsq08 + ihsq09 + ihsq10 + ihsq11 + ihsq12 + ihsq01) AS s
      FROM frnhist GROUP BY 1) g GROUP BY 1;

COMMIT;

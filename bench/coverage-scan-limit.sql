-- The sequential-scan limit of the coverage run: every row of each extract the run reads, its
-- product number and the values the run adds, in one pass in rowid order (no sort, no index),
-- and the walk of pjomr in product order. What a set-based run cannot do with less reading.
-- The frnhist months are the six the coverage run of the benchmarks' period (2026-03-15) adds
-- (FrnFigures::salesMonths): August to January. One statement a line (bench_sql_limit
-- --sql-file, bench/speed-limits).
SELECT iblitm, imdsc1, umconv FROM pjomr ORDER BY iblitm
SELECT count(ivcitm), total(lipqoh) FROM pjstkfrn
SELECT count(ivcitm), total(quantity) FROM avail
SELECT count("Fält2"), total(coalesce("Fält39", 0) + coalesce("Fält40", 0) + coalesce("Fält41", 0) + coalesce("Fält42", 0) + coalesce("Fält43", 0) + coalesce("Fält44", 0) + coalesce("Fält45", 0)), total(coalesce("Fält18", 0) + coalesce("Fält19", 0) + coalesce("Fält20", 0) + coalesce("Fält21", 0) + coalesce("Fält22", 0) + coalesce("Fält23", 0) + coalesce("Fält24", 0)) FROM DTSPL
SELECT count(imlitm), total(lipqoh) FROM pjstk
SELECT count(sdaitm), total(antaltusen) FROM PJOTBALLA
SELECT count(mflitm), total(mffqt) FROM pjpvmens
SELECT count(sdaitm), total(antaltusen) FROM PJOFBACK
SELECT count(sdaitm), total(antaltusen) FROM PJOTALLA
SELECT count(sdaitm), total(antaltusen) FROM PJOFFRAM
SELECT count(sdlitm), total(sdpqor) FROM pjsfakt
SELECT count(ivcitm), total(IHSQ08 + IHSQ09 + IHSQ10 + IHSQ11 + IHSQ12 + IHSQ01) FROM frnhist

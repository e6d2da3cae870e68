#pragma once

#include <QString>

// The query texts of the search window. A search text is put between apostrophes as typed,
// except that an apostrophe inside it is doubled, so that O'Hara searches for O'Hara instead of
// ending the literal early; any other text gives the query unchanged. A server source reads
// each such text as an escape string (PostgresSearchSource), so that no setting of the server
// changes what it means.

// The prefix search on ProduktSok: by product number when sokprodukt, otherwise by search name.
QString produktSokQuery(bool sokprodukt, const QString &text);

// The reset: a range on LagerA that in practice holds no rows.
QString resetQuery(const QString &text);

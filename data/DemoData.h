#pragma once

#include <QString>

// Demo data for a new program folder, made by "lodvikprodsok demo".

// Fills the search data source file (sokdata.db) with realistic products.
void fillDemoSearchData(const QString &sokdataPath);

// Creates local.mdb at path with every catalogue table and a coherent extract set.
void createDemoLocalStore(const QString &path);

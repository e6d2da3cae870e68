#pragma once

#include <QString>

// Demo data for a new program folder, made by "lodvikprodsok demo".

#include <QList>

#include <utility>

// Fills the search data source file (sokdata.db) with realistic products, and with the given
// (search name, product number) pairs, so that the products of the demo extracts can be found.
void fillDemoSearchData(const QString &sokdataPath,
                        const QList<std::pair<QString, QString>> &extraProducts = {});

// Creates local.mdb at path with every catalogue table and a coherent extract set.
void createDemoLocalStore(const QString &path);

#pragma once

#include <QString>

namespace dao {
class Database;
}

// How much extract data a generated local store holds. The demo store is small; the benchmark
// makes one at a realistic scale with the same generator.
struct DemoExtractSize {
    int products = 300;  // rows of pjomr, each a product with figures in every source
    int dtsplRows = 900; // rows of DTSPL, spread over the products
    int rowsPerItem = 1; // multiplies the per-product rows of the other extracts
    quint32 seed = 20101118;
};

// Fills an existing local store (with the catalogue's tables) in one transaction.
void fillDemoExtracts(dao::Database &db, const DemoExtractSize &size);

// Creates local.mdb at path with every catalogue table, filled as fillDemoExtracts does.
void createDemoLocalStore(const QString &path, const DemoExtractSize &size);

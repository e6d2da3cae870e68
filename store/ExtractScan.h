#pragma once

#include "MDlib/Variant.h"
#include "store/StoredValue.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace lodvik {
class Progress;
}

// "Add up these columns of this extract by product key, in row order": one sequential pass over
// each extract asked for, on either store, gathering for every product of pjomr the sum or total
// its one-product query would give. The coverage run reads its per-product figures so.
namespace dao {

class Database;
class ScanProducts;
struct ScanTable;

// One extract's part of the pass.
struct ScanRequest {
    enum class Kind {
        Sum,  // the checked sum of one column (checkedSum), as the product's sum query gives it
        Rows, // a total of columns by position, added in order, as the figure walks the rows
    };
    Kind kind = Kind::Sum;
    const char *table = nullptr;
    const char *key = nullptr;    // the product number column
    const char *column = nullptr; // Sum: the summed column
    // Rows: the columns by their position in the table, the first ones added, then the others
    // subtracted; each value read by rule (ValueRule::Quantity or ValueRule::Summable).
    std::vector<int> added;
    std::vector<int> subtracted;
    ValueRule rule = ValueRule::Sum;
    // A table the figure requires besides its own; without it the pass leaves the extract to the
    // figure's query, which then says so.
    const char *required = nullptr;
    // Which of the pass's two readers takes the extract: two groups of about equal work.
    int reader = 0;
};

class ExtractScan {
public:
    // Reads the extracts on the operation's store (run): local.mdb, or the server [extrakt]
    // names, each in its own way (ExtractStore::scanTables). Every reader reads the state the run
    // reads (Database::holdSnapshot, which this begins); a second reader on another thread joins
    // it where the store allows (Database::JoinSnapshot). Cancelling stops the readers within a
    // few thousand rows.
    ExtractScan(Database &run, std::vector<ScanRequest> requests, lodvik::Progress &progress);
    ~ExtractScan();
    ExtractScan(const ExtractScan &) = delete;
    ExtractScan &operator=(const ExtractScan &) = delete;

    // The product's place among pjomr's products (products whose keys are equal share one), or
    // a negative number for a product the pass did not gather.
    int slotOf(const QString &product) const;
    // Whether the request was read in the pass; an extract it could not read as the figure's
    // query reads it (a key column that compares in another way, a missing table or column) is
    // left to that query.
    bool scanned(size_t request) const;
    // A Sum request's checked sum for the product in slot (Null without values, a Long or a
    // Double), or nothing when the figure must ask itself: a value the rule refuses, a sum that
    // overflows, a product not gathered.
    std::optional<lodvik::Variant> sum(size_t request, int slot) const;
    // A Rows request's total for the product in slot, or nothing as for sum.
    std::optional<double> total(size_t request, int slot) const;

private:
    std::unique_ptr<ScanProducts> m_products;
    std::vector<std::unique_ptr<ScanTable>> m_tables;
    mutable int m_lastSlot = -1; // slotOf's last answer: the run asks in pjomr's order
};

} // namespace dao

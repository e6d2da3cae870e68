#pragma once

#include "MDlib/Variant.h"

#include <array>
#include <vector>

// The coverage table: one row per product from row 1, 21 variant columns. It starts with rows
// 0 to 2000 and grows when a product extract holds more products.
class ProduktTabell {
public:
    static constexpr int Columns = 21;
    static constexpr int InitialRows = 2001;

    using Row = std::array<lodvik::Variant, Columns>;

    ProduktTabell() : m_rows(InitialRows) {}

    int rowCount() const { return int(m_rows.size()); }
    lodvik::Variant &at(int row, int column) { return m_rows.at(size_t(row)).at(size_t(column)); }
    const lodvik::Variant &at(int row, int column) const {
        return m_rows.at(size_t(row)).at(size_t(column));
    }
    Row &row(int row) { return m_rows.at(size_t(row)); }
    const Row &row(int row) const { return m_rows.at(size_t(row)); }
    // Makes room for rows up to and including row.
    void ensureRow(int row) {
        if (row >= rowCount())
            m_rows.resize(size_t(row) + 1);
    }
    // Empties every row from row on (cells become Empty).
    void clearFrom(int row) {
        for (size_t r = size_t(row); r < m_rows.size(); ++r)
            m_rows[r].fill(lodvik::Variant());
    }

private:
    std::vector<Row> m_rows;
};

// The stock summary table: figure number 0-20 by source 0-5 (1 PJ, 2 FRN, 3 DP).
using SummaTabell = std::array<std::array<double, 6>, 21>;

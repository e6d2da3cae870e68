#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace xls {

// A cell position counted from 0, as the file stores it; the A1 text counts from 1.
struct CellRef {
    int row = 0;
    int column = 0;
    bool rowAbsolute = false;
    bool columnAbsolute = false;
};

// "A1" → row 0, column 0; "$B$7" → absolute; case does not matter. Raises lodvik::Error.
CellRef parseCellRef(const QString &text);
QString columnName(int column);

// What a formula sees in a cell.
struct Operand {
    enum class Kind { Empty, Number, Text, Error };
    Kind kind = Kind::Empty;
    double number = 0;
    static Operand fromNumber(double v) { return {Kind::Number, v}; }
    static Operand error() { return {Kind::Error, 0}; }
};

// The formulas the reports use: numbers, cell references and ranges, + and - (also unary),
// parentheses and SUM. Kept as a tree, so that it can be moved to another cell, evaluated and
// turned into the token stream of a FORMULA record.
class Formula {
public:
    // Parses "=D5+E5+F5" or "=sum(B5:b7)"; function names and references in any case.
    // Raises lodvik::Error for anything outside the supported grammar.
    static Formula parse(const QString &text);

    // The same formula written into a cell rows/columns away: relative references move along.
    // Raises when a reference would leave a sheet of maxRows rows (an .xls sheet's by default).
    // The parsed formula is shared, not copied: a column of formulas costs one tree.
    Formula shifted(int rows, int columns, int maxRows = 65536) const;

    // The value, with cells read through lookup(row, column). Errors (text in arithmetic) give
    // Kind::Error.
    template <class Lookup> Operand evaluate(Lookup &&lookup) const {
        if (m_parsed->chain)
            return evaluateChain(lookup);
        return evaluateTree(lookup);
    }

    // Every cell the formula reads, as visit(row, column), in the order they are written.
    template <class Visit> void forEachCell(Visit &&visit) const {
        for (const Reference &r : m_parsed->reads) {
            const CellRef first = moved(r.first), last = moved(r.last);
            for (int row = std::min(first.row, last.row); row <= std::max(first.row, last.row);
                 ++row)
                for (int column = std::min(first.column, last.column);
                     column <= std::max(first.column, last.column); ++column)
                    visit(row, column);
        }
    }

    // The parsed-expression tokens (rgce) of a BIFF8 FORMULA record.
    QByteArray tokens() const;
    // The same tokens in out, which keeps its buffer from one formula to the next.
    void tokensInto(QByteArray &out) const;
    void tokensInto(std::string &out) const;

    // Canonical text: "D6+E6+F6", "SUM(C5:C7)".
    QString text() const;
    // The same text (ASCII) in out, which keeps its buffer from one formula to the next.
    void textInto(std::string &out) const;

    struct Node;

private:
    // A reference or area as written (a reference is an area of one cell).
    struct Reference {
        CellRef first, last;
    };
    // What parsing gives, shared by every copy of the formula.
    struct Parsed {
        std::shared_ptr<const Node> root;
        std::vector<Reference> reads; // in the order they are written
        // A chain of references added and subtracted ("D5+E5-F5"): reads[i] taken with sign
        // subtracted[i] (the first never), evaluated without walking the tree.
        bool chain = false;
        std::vector<bool> subtracted;
    };

    CellRef moved(CellRef ref) const {
        if (!ref.rowAbsolute)
            ref.row += m_rows;
        if (!ref.columnAbsolute)
            ref.column += m_columns;
        return ref;
    }
    template <class Lookup> Operand evaluateChain(Lookup &lookup) const {
        // As the tree adds them, from the left; an empty cell counts 0, text is an error.
        double total = 0;
        for (size_t i = 0; i < m_parsed->reads.size(); ++i) {
            const CellRef r = moved(m_parsed->reads[i].first);
            const Operand v = lookup(r.row, r.column);
            if (v.kind == Operand::Kind::Text || v.kind == Operand::Kind::Error)
                return Operand::error();
            const double number = v.kind == Operand::Kind::Empty ? 0 : v.number;
            total = i == 0 ? number : m_parsed->subtracted[i] ? total - number : total + number;
        }
        return Operand::fromNumber(total);
    }
    Operand evaluateTree(const std::function<Operand(int row, int column)> &lookup) const;

    std::shared_ptr<const Parsed> m_parsed;
    int m_rows = 0; // how far the relative references have moved
    int m_columns = 0;
};

} // namespace xls

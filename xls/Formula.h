#pragma once

#include <QByteArray>
#include <QString>

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

    // The value, with cells read through lookup. Errors (text in arithmetic) give Kind::Error.
    Operand evaluate(const std::function<Operand(int row, int column)> &lookup) const;

    // Every cell the formula reads, for the evaluation order.
    void forEachCell(const std::function<void(int row, int column)> &visit) const;

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
    std::shared_ptr<const Node> m_root;
    int m_rows = 0; // how far the relative references have moved
    int m_columns = 0;
};

} // namespace xls

#include "xls/Formula.h"

#include "MDlib/Error.h"

#include <QStringList>
#include <QtEndian>

#include <cmath>

namespace xls {

constexpr int MaxRows = 65536;
constexpr int MaxColumns = 256;
// The file format's limit on the parsed form of a cell formula, in bytes.
constexpr int MaxTokenBytes = 1800;
// Nesting of parentheses, signs and SUM; the tree is walked recursively.
constexpr int MaxDepth = 100;

struct Formula::Node {
    enum class Kind { Number, Ref, Area, Add, Sub, Negate, Paren, Sum };
    Kind kind = Kind::Number;
    double number = 0;
    CellRef first, last; // Ref uses first only
    std::vector<std::shared_ptr<const Node>> children;
};

using Node = Formula::Node;
using NodePtr = std::shared_ptr<const Node>;

namespace {

[[noreturn]] void formulaError(const QString &formula, const QString &why) {
    throw lodvik::Error(QStringLiteral("Formeln %1 kan inte användas: %2").arg(formula, why));
}

class Parser {
public:
    explicit Parser(const QString &text) : m_text(text) {}

    NodePtr parse() {
        skipBlanks();
        if (!take('='))
            formulaError(m_text, QStringLiteral("den börjar inte med ="));
        NodePtr root = expression();
        skipBlanks();
        if (m_pos != m_text.size())
            formulaError(m_text, QStringLiteral("oväntat tecken vid position %1").arg(m_pos + 1));
        return root;
    }

private:
    // Every node gives at least one token byte: counting them bounds the tree before its tokens
    // can be measured.
    std::shared_ptr<Node> newNode(Node::Kind kind) {
        if (++m_nodes > MaxTokenBytes)
            formulaError(m_text, QStringLiteral("den är för lång"));
        auto node = std::make_shared<Node>();
        node->kind = kind;
        return node;
    }

    NodePtr expression() {
        NodePtr left = unary();
        for (;;) {
            skipBlanks();
            Node::Kind kind;
            if (take('+'))
                kind = Node::Kind::Add;
            else if (take('-'))
                kind = Node::Kind::Sub;
            else
                return left;
            auto node = newNode(kind);
            node->children = {left, unary()};
            left = node;
        }
    }

    // Every level of nesting passes through here.
    NodePtr unary() {
        if (m_depth >= MaxDepth)
            formulaError(m_text, QStringLiteral("den är för djupt nästlad"));
        ++m_depth;
        NodePtr node = signedPrimary();
        --m_depth;
        return node;
    }

    NodePtr signedPrimary() {
        skipBlanks();
        if (take('-')) {
            auto node = newNode(Node::Kind::Negate);
            node->children = {unary()};
            return node;
        }
        if (take('+'))
            return unary();
        return primary();
    }

    NodePtr primary() {
        skipBlanks();
        if (take('(')) {
            auto node = newNode(Node::Kind::Paren);
            node->children = {expression()};
            expect(')');
            return node;
        }
        if (m_pos < m_text.size() && (m_text.at(m_pos).isDigit() || m_text.at(m_pos) == '.'))
            return number();
        const QString word = reference();
        skipBlanks();
        if (take('(')) {
            if (word.compare(QLatin1String("SUM"), Qt::CaseInsensitive) != 0)
                formulaError(m_text, QStringLiteral("funktionen %1 stöds inte").arg(word));
            auto node = newNode(Node::Kind::Sum);
            skipBlanks();
            if (!take(')')) {
                do
                    node->children.push_back(sumArgument());
                while (take(','));
                expect(')');
            }
            if (node->children.size() > 30)
                formulaError(m_text, QStringLiteral("för många argument till SUM"));
            return node;
        }
        return refOrArea(word, false);
    }

    NodePtr sumArgument() {
        skipBlanks();
        if (m_pos < m_text.size() && m_text.at(m_pos).isLetter()) {
            const int start = m_pos;
            const QString word = reference();
            skipBlanks();
            if (m_pos >= m_text.size() || m_text.at(m_pos) == ',' || m_text.at(m_pos) == ')' ||
                m_text.at(m_pos) == ':')
                return refOrArea(word, true);
            m_pos = start; // an expression that starts with a reference
        }
        return expression();
    }

    NodePtr refOrArea(const QString &word, bool allowArea) {
        auto node = newNode(Node::Kind::Ref);
        node->first = cellRef(word);
        skipBlanks();
        if (take(':')) {
            skipBlanks();
            node->kind = Node::Kind::Area;
            node->last = cellRef(reference());
            if (!allowArea)
                formulaError(m_text, QStringLiteral("ett område kan bara stå i SUM"));
        }
        return node;
    }

    CellRef cellRef(const QString &word) {
        if (word.isEmpty())
            formulaError(m_text,
                         QStringLiteral("en cellreferens saknas vid position %1").arg(m_pos + 1));
        try {
            return parseCellRef(word);
        } catch (const lodvik::Error &) {
            formulaError(m_text, QStringLiteral("%1 är ingen cellreferens").arg(word));
        }
    }

    // A run of letters, digits and $: a reference or a function name.
    QString reference() {
        skipBlanks();
        const int start = m_pos;
        while (m_pos < m_text.size() &&
               (m_text.at(m_pos).isLetterOrNumber() || m_text.at(m_pos) == '$'))
            ++m_pos;
        return m_text.mid(start, m_pos - start);
    }

    // Digits with a decimal point, and an exponent as the canonical text writes large and small
    // numbers ("1e+20").
    NodePtr number() {
        const int start = m_pos;
        const auto isDigitAt = [&](int i) { return i < m_text.size() && m_text.at(i).isDigit(); };
        while (isDigitAt(m_pos) || (m_pos < m_text.size() && m_text.at(m_pos) == '.'))
            ++m_pos;
        if (m_pos < m_text.size() && (m_text.at(m_pos) == 'e' || m_text.at(m_pos) == 'E')) {
            int end = m_pos + 1;
            if (end < m_text.size() && (m_text.at(end) == '+' || m_text.at(end) == '-'))
                ++end;
            if (isDigitAt(end)) {
                while (isDigitAt(end))
                    ++end;
                m_pos = end;
            }
        }
        bool ok = false;
        auto node = newNode(Node::Kind::Number);
        node->number = m_text.mid(start, m_pos - start).toDouble(&ok);
        if (!ok)
            formulaError(m_text, QStringLiteral("felaktigt tal"));
        return node;
    }

    void skipBlanks() {
        while (m_pos < m_text.size() && m_text.at(m_pos).isSpace())
            ++m_pos;
    }
    bool take(QChar c) {
        skipBlanks();
        if (m_pos < m_text.size() && m_text.at(m_pos) == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    void expect(QChar c) {
        if (!take(c))
            formulaError(m_text, QStringLiteral("%1 saknas").arg(c));
    }

    const QString &m_text;
    int m_pos = 0;
    int m_depth = 0;
    int m_nodes = 0;
};

// How far the relative references of a formula have moved from where it was parsed.
struct Offset {
    int rows = 0;
    int columns = 0;
    CellRef operator()(CellRef ref) const {
        if (!ref.rowAbsolute)
            ref.row += rows;
        if (!ref.columnAbsolute)
            ref.column += columns;
        return ref;
    }
};

// The letters of a column (0: "A"), written back to front ending at end; at most 4.
char *columnLetters(char *end, int column) {
    char *p = end;
    for (int c = column + 1; c > 0 && p > end - 4; c = (c - 1) / 26)
        *--p = char('A' + (c - 1) % 26);
    return p;
}

// "$B$7": written back to front into a buffer of its own, then appended at once.
void appendRef(std::string &out, const CellRef &r) {
    char text[24]; // a row number has at most 7 digits, a column name at most 3 letters
    char *const end = text + sizeof text;
    char *p = end;
    for (unsigned n = unsigned(r.row) + 1;; n /= 10) {
        *--p = char('0' + n % 10);
        if (n < 10)
            break;
    }
    if (r.rowAbsolute)
        *--p = '$';
    p = columnLetters(p, r.column);
    if (r.columnAbsolute)
        *--p = '$';
    out.append(p, size_t(end - p));
}

// The text is written into one buffer: a column of formulas makes no strings of its parts.
void appendText(std::string &out, const Node &n, const Offset &at) {
    switch (n.kind) {
    case Node::Kind::Number: {
        const QByteArray number = QString::number(n.number, 'g', 15).toLatin1();
        out.append(number.constData(), size_t(number.size()));
        return;
    }
    case Node::Kind::Ref:
        appendRef(out, at(n.first));
        return;
    case Node::Kind::Area:
        appendRef(out, at(n.first));
        out += ':';
        appendRef(out, at(n.last));
        return;
    case Node::Kind::Add:
    case Node::Kind::Sub:
        appendText(out, *n.children[0], at);
        out += n.kind == Node::Kind::Add ? '+' : '-';
        appendText(out, *n.children[1], at);
        return;
    case Node::Kind::Negate:
        out += '-';
        appendText(out, *n.children[0], at);
        return;
    case Node::Kind::Paren:
        out += '(';
        appendText(out, *n.children[0], at);
        out += ')';
        return;
    case Node::Kind::Sum:
        out.append("SUM(", 4);
        for (size_t i = 0; i < n.children.size(); ++i) {
            if (i > 0)
                out += ',';
            appendText(out, *n.children[i], at);
        }
        out += ')';
        return;
    }
}

// Arithmetic sees an empty cell as 0 and text as an error; SUM skips text in references.
Operand arithmetic(const Operand &v) {
    if (v.kind == Operand::Kind::Empty)
        return Operand::fromNumber(0);
    if (v.kind == Operand::Kind::Text)
        return Operand::error();
    return v;
}

Operand evalNode(const Node &n, const Offset &at, const std::function<Operand(int, int)> &lookup) {
    switch (n.kind) {
    case Node::Kind::Number:
        return Operand::fromNumber(n.number);
    case Node::Kind::Ref: {
        const CellRef r = at(n.first);
        return arithmetic(lookup(r.row, r.column));
    }
    case Node::Kind::Area:
        return Operand::error(); // only inside SUM, handled there
    case Node::Kind::Paren:
        return evalNode(*n.children[0], at, lookup);
    case Node::Kind::Negate: {
        const Operand v = evalNode(*n.children[0], at, lookup);
        return v.kind == Operand::Kind::Error ? v : Operand::fromNumber(-v.number);
    }
    case Node::Kind::Add:
    case Node::Kind::Sub: {
        const Operand a = evalNode(*n.children[0], at, lookup);
        const Operand b = evalNode(*n.children[1], at, lookup);
        if (a.kind == Operand::Kind::Error || b.kind == Operand::Kind::Error)
            return Operand::error();
        return Operand::fromNumber(n.kind == Node::Kind::Add ? a.number + b.number
                                                             : a.number - b.number);
    }
    case Node::Kind::Sum: {
        double total = 0;
        for (const auto &c : n.children) {
            if (c->kind == Node::Kind::Ref || c->kind == Node::Kind::Area) {
                const CellRef f = at(c->first);
                const CellRef l = at(c->kind == Node::Kind::Area ? c->last : c->first);
                for (int r = std::min(f.row, l.row); r <= std::max(f.row, l.row); ++r)
                    for (int col = std::min(f.column, l.column);
                         col <= std::max(f.column, l.column); ++col) {
                        const Operand v = lookup(r, col);
                        if (v.kind == Operand::Kind::Error)
                            return v;
                        if (v.kind == Operand::Kind::Number)
                            total += v.number;
                    }
            } else {
                const Operand v = evalNode(*c, at, lookup);
                if (v.kind == Operand::Kind::Error)
                    return v;
                total += v.number;
            }
        }
        return Operand::fromNumber(total);
    }
    }
    return Operand::error();
}

// The references and areas of a tree, in the order they are written.
template <class Reference> void collectReads(const Node &n, std::vector<Reference> &reads) {
    if (n.kind == Node::Kind::Ref)
        reads.push_back({n.first, n.first});
    else if (n.kind == Node::Kind::Area)
        reads.push_back({n.first, n.last});
    for (const auto &child : n.children)
        collectReads(*child, reads);
}

// Whether the tree is references added and subtracted from the left, and with which signs.
bool isChain(const Node &n, std::vector<bool> &subtracted) {
    if (n.kind == Node::Kind::Ref) {
        subtracted.push_back(false);
        return true;
    }
    if ((n.kind != Node::Kind::Add && n.kind != Node::Kind::Sub) ||
        n.children[1]->kind != Node::Kind::Ref || !isChain(*n.children[0], subtracted))
        return false;
    subtracted.push_back(n.kind == Node::Kind::Sub);
    return true;
}

template <class Out> void append16(Out &b, uint16_t v) {
    char bytes[2];
    qToLittleEndian(v, bytes);
    b.append(bytes, 2);
}

uint16_t columnField(const CellRef &r) {
    return uint16_t(r.column | (r.columnAbsolute ? 0 : 0x4000) | (r.rowAbsolute ? 0 : 0x8000));
}

// Token classes: a reference that an operator reads is of value class, a SUM argument of
// reference class, as the spreadsheet program itself stores them.
// Into a QByteArray or a std::string, whose appends cost less.
template <class Out>
void emitTokens(const Node &n, const Offset &at, Out &out, bool referenceClass) {
    switch (n.kind) {
    case Node::Kind::Number:
        if (n.number >= 0 && n.number <= 65535 && n.number == std::floor(n.number)) {
            out.push_back(char(0x1E)); // tInt
            append16(out, uint16_t(n.number));
        } else {
            out.push_back(char(0x1F)); // tNum
            char bytes[8];
            qToLittleEndian(n.number, bytes);
            out.append(bytes, 8);
        }
        return;
    case Node::Kind::Ref: {
        const CellRef r = at(n.first);
        out.push_back(char(referenceClass ? 0x24 : 0x44)); // tRef / tRefV
        append16(out, uint16_t(r.row));
        append16(out, columnField(r));
        return;
    }
    case Node::Kind::Area: {
        const CellRef first = at(n.first);
        const CellRef last = at(n.last);
        out.push_back(char(referenceClass ? 0x25 : 0x45)); // tArea / tAreaV
        append16(out, uint16_t(first.row));
        append16(out, uint16_t(last.row));
        append16(out, columnField(first));
        append16(out, columnField(last));
        return;
    }
    case Node::Kind::Add:
    case Node::Kind::Sub:
        emitTokens(*n.children[0], at, out, false);
        emitTokens(*n.children[1], at, out, false);
        out.push_back(char(n.kind == Node::Kind::Add ? 0x03 : 0x04)); // tAdd / tSub
        return;
    case Node::Kind::Negate:
        emitTokens(*n.children[0], at, out, false);
        out.push_back(char(0x13)); // tUminus
        return;
    case Node::Kind::Paren:
        emitTokens(*n.children[0], at, out, referenceClass);
        out.push_back(char(0x15)); // tParen
        return;
    case Node::Kind::Sum:
        for (const auto &c : n.children)
            emitTokens(*c, at, out, true);
        out.push_back(char(0x42)); // tFuncVarV
        out.push_back(char(n.children.size()));
        append16(out, 4); // SUM
        return;
    }
}

} // namespace

QString columnName(int column) {
    char letters[4];
    const char *first = columnLetters(letters + sizeof letters, column);
    return QString::fromLatin1(first, letters + sizeof letters - first);
}

CellRef parseCellRef(const QString &text) {
    CellRef ref;
    int i = 0;
    const QString t = text.trimmed().toUpper();
    if (i < t.size() && t.at(i) == '$') {
        ref.columnAbsolute = true;
        ++i;
    }
    int column = 0;
    const int letters = i;
    while (i < t.size() && t.at(i) >= 'A' && t.at(i) <= 'Z') {
        column = column * 26 + (t.at(i).unicode() - 'A' + 1);
        if (column > MaxColumns)
            break;
        ++i;
    }
    if (i < t.size() && t.at(i) == '$') {
        ref.rowAbsolute = true;
        ++i;
    }
    bool ok = false;
    const int row = t.mid(i).toInt(&ok);
    if (i == letters || !ok || t.mid(i).startsWith('+') || t.mid(i).startsWith('-') || column < 1 ||
        column > MaxColumns || row < 1 || row > MaxRows)
        throw lodvik::Error(QStringLiteral("%1 är ingen cellreferens.").arg(text));
    ref.row = row - 1;
    ref.column = column - 1;
    return ref;
}

Formula Formula::parse(const QString &text) {
    auto parsed = std::make_shared<Parsed>();
    parsed->root = Parser(text).parse();
    collectReads(*parsed->root, parsed->reads);
    parsed->chain = isChain(*parsed->root, parsed->subtracted);
    Formula f;
    f.m_parsed = std::move(parsed);
    if (f.tokens().size() > MaxTokenBytes)
        formulaError(text, QStringLiteral("den är för lång"));
    return f;
}

Formula Formula::shifted(int rows, int columns, int maxRows) const {
    Formula f = *this;
    f.m_rows += rows;
    f.m_columns += columns;
    for (const Reference &r : m_parsed->reads)
        for (const CellRef &ref : {f.moved(r.first), f.moved(r.last)})
            if (ref.row < 0 || ref.row >= maxRows || ref.column < 0 || ref.column >= MaxColumns)
                throw lodvik::Error(
                    QStringLiteral("En formel hamnar utanför arbetsbladet när den flyttas."));
    return f;
}

Operand Formula::evaluateTree(const std::function<Operand(int, int)> &lookup) const {
    return evalNode(*m_parsed->root, {m_rows, m_columns}, lookup);
}

QByteArray Formula::tokens() const {
    QByteArray out;
    tokensInto(out);
    return out;
}

void Formula::tokensInto(QByteArray &out) const {
    out.resize(0);
    emitTokens(*m_parsed->root, {m_rows, m_columns}, out, false);
}

void Formula::tokensInto(std::string &out) const {
    out.clear();
    emitTokens(*m_parsed->root, {m_rows, m_columns}, out, false);
}

QString Formula::text() const {
    std::string out;
    textInto(out);
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}

void Formula::textInto(std::string &out) const {
    out.clear();
    if (!m_parsed->chain) {
        appendText(out, *m_parsed->root, {m_rows, m_columns});
        return;
    }
    // A chain is its references between their signs: a column of them makes no walk.
    for (size_t i = 0; i < m_parsed->reads.size(); ++i) {
        if (i > 0)
            out += m_parsed->subtracted[i] ? '-' : '+';
        appendRef(out, moved(m_parsed->reads[i].first));
    }
}

} // namespace xls

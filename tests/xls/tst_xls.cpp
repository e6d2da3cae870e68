#include "../common/DataRows.h"
#include "../common/Refusal.h"
#include "MDlib/Error.h"
#include "ReadBack.h"
#include "xls/CompoundFile.h"
#include "xls/Formula.h"
#include "xls/Workbook.h"
#include "xls/XlsxWorkbook.h"

#include <QJsonArray>
#include <QTest>
#include <QtEndian>

#include <limits>

using lodvik::Variant;
using xls::Operand;
using xls::Worksheet;

namespace {

// Sets a row's cells into any sheet writer: at once, or one by one as setCell and setFormula do.
void setRowCells(xls::SheetWriter &book, int row,
                 const std::vector<xls::SheetWriter::RowCell> &cells, bool atOnce) {
    if (atOnce)
        return book.setRow(row, cells);
    for (size_t i = 0; i < cells.size(); ++i)
        if (cells[i].formula)
            book.setFormula(row, int(i) + 1, *cells[i].formula);
        else
            book.setCell(row, int(i) + 1, *cells[i].value);
}

// A sheet shaped like the coverage list, its rows finished every so many rows (0: never):
// headers, widths, a bold block, numbers and texts of every kind, formulas, then 3,000 list rows
// from row 12 on with distinct texts (some wide, some splitting mid-text in the file) each met
// again in the next column some rows later, numeric texts, numbers, gaps and formulas.
xls::Workbook sampleWorkbook(int finishEvery = 0, QStringList *texts = nullptr) {
    xls::Workbook book;
    Worksheet &s = book.worksheet();
    s.setColumnWidth(QStringLiteral("A:M"), 12);
    s.setColumnWidth(QStringLiteral("B:B"), 25);
    s.setBold(QStringLiteral("A1:Q4"));
    s.setCell(2, 3, Variant::String(QString()));
    s.setCell(3, 1, Variant::String(QStringLiteral("Produkt")));
    s.setCell(4, 4, Variant::String(QStringLiteral("FRN (packs)")));
    s.setCell(4, 18, Variant::String(QStringLiteral("Status")));
    s.setCell(5, 1, Variant::String(QStringLiteral("P-100")));
    s.setCell(5, 2, Variant::String(QStringLiteral("Åsa Ölund blå €")));
    s.setCell(5, 3, Variant::Double(6000));
    s.setCell(5, 4, Variant::String(QStringLiteral("-12")));
    s.setCell(5, 5, Variant::String(QString()));
    s.setCell(5, 6, Variant::String(QStringLiteral("15")));
    s.setCell(6, 1, Variant::String(QStringLiteral("1234")));
    s.setCell(6, 4, Variant::Double(2.25));
    s.setCell(6, 6, Variant::Long(600000000)); // past the RK range: a NUMBER record
    s.setCell(5, 8, Variant::Integer(0));
    s.setCell(6, 2, Variant::Boolean(true));
    // Texts of the extracts that look like a formula or a number but are neither.
    const char *const extractTexts[] = {"=A1+B1", "=Special offer", "Inf", "NaN", "1e999"};
    for (int c = 0; c < 5; ++c)
        s.setCell(10, c + 1, Variant::String(QLatin1String(extractTexts[c])));
    s.setRange(QStringLiteral("G5:G6"), Variant::String(QStringLiteral("=D5+E5+F5")));
    s.setRange(QStringLiteral("C8:G8"), Variant::String(QStringLiteral("=sum(C5:c7)")));
    // A formula whose tokens need more room than a short record has: 60 references.
    s.setRange(QStringLiteral("I5"),
               Variant::String(QStringLiteral("=C5+D5+F5")
                                   .repeated(20)
                                   .replace(QStringLiteral("F5=C5"), QStringLiteral("F5+C5"))));
    QStringList made;
    for (int i = 0, r = 12; i < 3000; ++i, ++r) {
        QString t = QStringLiteral("Produkt %1 ").arg(i) + QString(i % 37, QChar('a' + i % 26));
        if (i % 5 == 0)
            t += QStringLiteral(" Ω");
        made << t;
        s.setCell(r, 1, Variant::String(t));
        s.setCell(r, 2, Variant::String(made.at(i / 2)));
        s.setCell(r, 4, Variant::String(QString::number(r * 3)));
        s.setCell(r, 5, Variant::Double(r / 8.0));
        if (r % 11 != 0)
            s.setCell(r, 6, Variant::Long(r % 3));
        s.setRange(QStringLiteral("G%1").arg(r),
                   Variant::String(QStringLiteral("=D%1+E%1+F%1").arg(r)));
        if (finishEvery > 0 && r % finishEvery == 0)
            s.finishRowsBefore(r + 1);
    }
    if (texts)
        *texts = made;
    return book;
}

} // namespace

class TestXls : public QObject {
    Q_OBJECT

private slots:
    // A formula over a range is written for its first cell and moved along for the others; one
    // the file cannot hold is refused (expected empty), and nothing of it is written.
    void formulaShift_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("range");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("expected");
        addRow("down a column", "=D5+E5+F5", "G5:G9", 9, 7, "D9+E9+F9");
        addRow("two terms", "=L5+J5", "n5:n6", 6, 14, "L6+J6");
        addRow("sum across a row", "=sum(B5:b7)", "B8:S8", 8, 19, "SUM(S5:S7)");
        addRow("absolute stays", "=$A$1+B2", "C3:D4", 4, 4, "$A$1+C3");
        addRow("mixed", "=$A1+B$1", "C3:D4", 4, 4, "$A2+C$1");
        addRow("minus and parentheses", "=-(A1-B1)+2.5", "C1:C3", 3, 3, "-(A3-B3)+2.5");
        addRow("sum of several", "=SUM(A1,B1:B2,3)", "D1:E1", 1, 5, "SUM(B1,C1:C2,3)");
        addRow("exponent as the text writes it", "=1e+20+2E-7", "A1", 1, 1, "1e+20+2e-07");
        const auto refused = [](const char *name, const QString &formula) {
            QTest::newRow(name) << formula << QStringLiteral("B1:B2") << 2 << 2 << QString();
        };
        refused("unknown function", "=AVERAGE(A1:A3)");
        refused("multiplication", "=A1*B1");
        refused("nothing after +", "=A1+");
        refused("row 0", "=A0+1");
        refused("column past IV", "=IW1+1");
        refused("unclosed", "=SUM(A1:A2");
        refused("area outside sum", "=A1:A2+1");
        refused("shifted off the sheet", "=A65536");
        refused("nested too deeply",
                QStringLiteral("=%1A1%2").arg(QString(101, u'('), QString(101, u')')));
        refused("too long for the file", '=' + QStringList(200, QStringLiteral("0.5")).join('+'));
    }
    void formulaShift() {
        QFETCH(QString, formula);
        QFETCH(QString, range);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, expected);
        Worksheet sheet;
        if (expected.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(lodvik::Error,
                                     sheet.setRange(range, Variant::String(formula)));
            QVERIFY(!sheet.cell(1, 2) && !sheet.cell(2, 2));
            return;
        }
        sheet.setRange(range, Variant::String(formula));
        const Worksheet::Cell *cell = sheet.cell(row, column);
        QVERIFY(cell);
        QCOMPARE(cell->kind, Worksheet::Cell::Kind::Formula);
        QCOMPARE(cell->formula->text(), expected);
    }

    void formulaEvaluate_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<int>("chain"); // rows of Y1 = Y2+1, Y2 = Y3+1, ...
        QTest::addColumn<bool>("isError");
        QTest::addColumn<double>("expected");
        // The sheet: A1 = 10, B1 = -3, C1 = "abc", D1 empty, A2 = 2.5, B2 = formula A1+B1.
        addRow("add", "=A1+B1", 0, false, 7.0);
        addRow("empty counts as 0", "=A1+D1", 0, false, 10.0);
        addRow("subtract", "=a1-b1-a2", 0, false, 10.5);
        addRow("unary minus", "=-A1+A2", 0, false, -7.5);
        addRow("text in arithmetic", "=A1+C1", 0, true, 0.0);
        addRow("sum skips text", "=SUM(A1:D1)", 0, false, 7.0);
        addRow("sum of formula cell", "=SUM(B2,A2)", 0, false, 9.5);
        addRow("sum of empty area", "=SUM(E1:E9)", 0, false, 0.0);
        addRow("sum with constant", "=sum(a1:a2, 1)", 0, false, 13.5);
        addRow("formula of formula", "=B2+B2", 0, false, 14.0);
        addRow("self reference", "=Z9+1", 0, false, 1.0);
        addRow("chain deeper than the call stack", "=Y1", 65535, false, 65535.0);
    }

    void formulaEvaluate() {
        QFETCH(QString, formula);
        QFETCH(int, chain);
        QFETCH(bool, isError);
        QFETCH(double, expected);
        Worksheet sheet;
        sheet.setCell(1, 1, Variant::Long(10));
        sheet.setCell(1, 2, Variant::String(QStringLiteral("-3")));
        sheet.setCell(1, 3, Variant::String(QStringLiteral("abc")));
        sheet.setCell(2, 1, Variant::Double(2.5));
        sheet.setRange(QStringLiteral("B2"), Variant::String(QStringLiteral("=A1+B1")));
        if (chain > 0)
            sheet.setRange(QStringLiteral("Y1:Y%1").arg(chain),
                           Variant::String(QStringLiteral("=Y2+1")));
        sheet.setRange(QStringLiteral("Z9"), Variant::String(formula)); // Z9 may read itself
        const Operand v = sheet.value(9, 26);
        QCOMPARE(v.kind == Operand::Kind::Error, isError);
        if (!isError)
            QCOMPARE(v.number, expected);
    }

    // How a value lands in a cell that held a text. The sample's read back covers numeric
    // texts, numbers, texts, texts that look like formulas or infinities, the empty text.
    void typedInput_data() {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<int>("kind"); // -1: the cell is emptied, -2: refused, the text stays
        QTest::addColumn<double>("number");
        QTest::addColumn<QString>("text");
        using K = Worksheet::Cell::Kind;
        const double inf = std::numeric_limits<double>::infinity();
        addRow("decimal text", Variant::String("2.5"), int(K::Number), 2.5, "");
        addRow("empty text", Variant::String(""), -1, 0.0, "");
        addRow("null", Variant::Null(), -1, 0.0, "");
        addRow("one blank is text", Variant::String(" "), int(K::Text), 0.0, " ");
        addRow("the most a cell holds", Variant::String(QString(32767, u'x')), int(K::Text), 0.0,
               QString(32767, u'x'));
        addRow("a character too many", Variant::String(QString(32768, u'x')), -2, 0.0, "");
        addRow("infinite double", Variant::Double(inf), -2, 0.0, "");
        addRow("NaN double", Variant::Double(std::numeric_limits<double>::quiet_NaN()), -2, 0.0,
               "");
    }
    void typedInput() {
        QFETCH(Variant, value);
        QFETCH(int, kind);
        QFETCH(double, number);
        QFETCH(QString, text);
        Worksheet sheet;
        sheet.setCell(3, 2, Variant::String(QStringLiteral("earlier")));
        if (kind == -2) {
            const QString message = refusal([&] { sheet.setCell(3, 2, value); });
            QVERIFY2(message.contains(QStringLiteral("rad 3, kolumn 2")), qPrintable(message));
            QCOMPARE(sheet.cell(3, 2)->text, QStringLiteral("earlier"));
            return;
        }
        sheet.setCell(3, 2, value);
        const Worksheet::Cell *cell = sheet.cell(3, 2);
        QCOMPARE(cell ? int(cell->kind) : -1, kind);
        if (cell) {
            QCOMPARE(cell->number, number);
            QCOMPARE(cell->text, text);
        }
    }

    void readBackWithXlrd() {
        QStringList texts;
        const xls::Workbook book = sampleWorkbook(0, &texts);
        // The SST record counts the references and the strings: ten texts of the first rows and
        // the list's 3,000, each of those twice; every repeat is found again.
        char counts[8];
        qToLittleEndian(quint32(6010), counts);
        qToLittleEndian(quint32(3010), counts + 4);
        const QByteArray bytes = book.toBytes();
        const qsizetype sst = bytes.indexOf(QByteArray(counts, 8));
        QVERIFY(sst >= 4 && bytes.mid(sst - 4, 2) == QByteArray("\xFC\x00", 2));
        // Rows written out early, as the coverage list writes them, give the same file.
        for (const int every : {1, 7, 32, 33, 1000})
            QVERIFY2(sampleWorkbook(every).toBytes() == bytes, qPrintable(QString::number(every)));
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("sample.xls"));
        book.saveAs(file);
        QString error;
        const QJsonObject dump = readback::xlrdDump(file, &error);
        QVERIFY2(!dump.isEmpty(), qPrintable(error));
        QCOMPARE(dump.value("sheets").toInt(), 1);
        const QJsonObject cells = readback::cellsByPosition(dump);
        // "row,column type value"; bold are the cells of the block A1:Q4.
        const QString expected = QStringLiteral(
            "1,1 blank;2,3 blank;3,1 text Produkt;4,4 text FRN (packs);4,17 blank;4,18 text Status;"
            "5,1 text P-100;5,2 text Åsa Ölund blå €;5,3 number 6000;5,4 number -12;5,6 number 15;"
            "5,7 number 3;5,8 number 0;5,9 number 120060;6,1 number 1234;6,2 boolean 1;"
            "6,4 number 2.25;6,6 number 600000000;6,7 number 600000002.25;8,3 number 6000;"
            "8,4 number -9.75;8,5 number 0;8,7 number 600000005.25;10,1 text =A1+B1;"
            "10,2 text =Special offer;10,3 text Inf;10,4 text NaN;10,5 text 1e999");
        for (const QString &e : expected.split(';')) {
            const QString at = e.section(' ', 0, 0), type = e.section(' ', 1, 1);
            const QJsonObject c = cells.value(at).toObject();
            QVERIFY2(!c.isEmpty(), qPrintable(e));
            QCOMPARE(c.value("type").toString(), type);
            if (type == QLatin1String("text"))
                QCOMPARE(c.value("value").toString(), e.section(' ', 2));
            else if (type != QLatin1String("blank"))
                QCOMPARE(c.value("value").toDouble(), e.section(' ', 2).toDouble());
            const bool bold =
                at.section(',', 0, 0).toInt() <= 4 && at.section(',', 1).toInt() <= 17;
            QVERIFY2(c.value("bold").toBool() == bold, qPrintable(e));
        }
        QVERIFY2(!cells.contains("5,5"), "an empty text leaves the cell empty");
        for (int i = 0; i < 3000; ++i) {
            const auto at = [&](int column) {
                return cells.value(QStringLiteral("%1,%2").arg(i + 12).arg(column)).toObject();
            };
            QCOMPARE(at(1).value("value").toString(), texts.at(i));
            QCOMPARE(at(2).value("value").toString(), texts.at(i / 2));
        }
        // The sheet's extent, from its DIMENSIONS record.
        QCOMPARE(dump.value("nrows").toInt(), 3011);
        QCOMPARE(dump.value("ncols").toInt(), 18);
        const QJsonObject widths = dump.value("widths").toObject();
        QCOMPARE(widths.value("1").toInt(), 12 * 256);
        QCOMPARE(widths.value("2").toInt(), 25 * 256);
        QCOMPARE(widths.value("13").toInt(), 12 * 256);
        QVERIFY(!widths.contains("14"));

        // Calc reads the formulas as written and gets the values they stored.
        if (readback::libreOffice().isEmpty())
            QSKIP("LibreOffice Calc is not installed (Debian package libreoffice-calc-nogui)");
        const QJsonObject calc = readback::cellsByPosition(readback::calcDump(file, &error));
        QVERIFY2(!calc.isEmpty(), qPrintable(error));
        const auto cell = [&](const char *at, const char *key) {
            return calc.value(QLatin1String(at)).toObject().value(QLatin1String(key)).toVariant();
        };
        QCOMPARE(cell("5,7", "formula"), QVariant(QStringLiteral("D5+E5+F5")));
        QCOMPARE(cell("8,7", "formula"), QVariant(QStringLiteral("SUM(G5:G7)")));
        QCOMPARE(cell("5,7", "value"), QVariant(3.0));
        QCOMPARE(cell("8,4", "value"), QVariant(-9.75));
        QCOMPARE(cell("8,7", "value"), QVariant(600000005.25));
        QCOMPARE(cell("10,1", "formula"), QVariant());
        QCOMPARE(cell("10,1", "value"), QVariant(QStringLiteral("=A1+B1")));
    }

    // A row handed over whole gives the file its cells set one by one give: values of every
    // kind, blanks at its end, a formula, a row that holds cells already, a value that fails.
    void rowAtOnceAsCellByCell_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QList<Variant>>("values");
        QTest::addColumn<int>("formulaAt"); // the formula's place among them, -1 for none
        const double inf = std::numeric_limits<double>::infinity();
        const auto S = [](const char *text) { return Variant::String(QString::fromUtf8(text)); };
        const QList<Variant> kinds = QList<Variant>()
                                     << S("P-1") << S(" 12,5 ") << Variant::String(QString())
                                     << Variant() << Variant::Integer(-3)
                                     << Variant::Long(600000000) << Variant::Double(-0.0)
                                     << Variant::Boolean(true) << S("=A1") << Variant::Double(2.5);
        addRow("every kind", 5, kinds, int(kinds.size()));
        addRow("blanks at the end", 6, kinds + QList<Variant>{Variant(), Variant::Null()}, 3);
        addRow("only blanks", 7, QList<Variant>{Variant(), Variant::String(QString())}, -1);
        addRow("a bold row", 3, kinds, 0);
        addRow("a row holding cells", 2, kinds, 3);
        addRow("an infinity", 8, QList<Variant>{Variant::Long(1), Variant::Double(inf)}, 0);
        addRow("last row", Worksheet::MaxRows, kinds, 3);
        addRow("below the sheet", Worksheet::MaxRows + 1, kinds, 3);
    }
    void rowAtOnceAsCellByCell() {
        QFETCH(int, row);
        QFETCH(QList<Variant>, values);
        QFETCH(int, formulaAt);
        const xls::Formula formula = xls::Formula::parse(QStringLiteral("=A5+E5"));
        const auto build = [&](bool atOnce) -> QByteArray {
            xls::Workbook book;
            book.setBold(QStringLiteral("A3:C3"));
            book.setCell(2, 12, Variant::String(QStringLiteral("kvar")));
            std::vector<xls::SheetWriter::RowCell> cells;
            for (const Variant &value : values)
                cells.push_back({&value, nullptr});
            if (formulaAt >= 0)
                cells.insert(cells.begin() + formulaAt, {nullptr, &formula});
            const QString failed = refusal([&] { setRowCells(book, row, cells, atOnce); });
            return failed.isEmpty() ? book.toBytes() : "failed: " + failed.toUtf8();
        };
        const QByteArray once = build(true);
        QCOMPARE(once, build(false));
    }

    // The .xlsx writer writes a row handed over whole as the same cells set one by one, also when
    // the sheet goes on with that row before it is finished, or its formula reads another row.
    // Steps: "row N [FORMULA]" (values of every kind, then "=EN+FN" or the formula given),
    // "cell R C", "finish R"; then saved. (A row that fails: rowAtOnceAsCellByCell.)
    void xlsxRowAtOnceAsCellByCell_data() {
        QTest::addColumn<QString>("steps");
        addRow("rows finished one by one", "row 5;finish 6;row 6;finish 7");
        addRow("a cell of it set before it is finished", "row 5;cell 5 3;finish 6");
        addRow("a row holding a cell already", "cell 5 10;row 5;finish 6");
        addRow("its formula reads the row below", "row 5 =A6+E5;cell 6 1;finish 7");
        addRow("text in its sum", "row 5 =A5+E5;finish 6");
        addRow("its formula reads itself", "row 5 =E5+G5;finish 6");
        addRow("finished past it", "row 5;finish 9;row 9;finish 10");
    }
    void xlsxRowAtOnceAsCellByCell() {
        QFETCH(QString, steps);
        if (readback::pythonWith("openpyxl").isEmpty())
            QSKIP("no python3 with openpyxl (Debian package python3-openpyxl)");
        const QList<Variant> values{Variant::String(QStringLiteral("P-1")),
                                    Variant::String(QStringLiteral(" 12,5 ")),
                                    Variant(),
                                    Variant::Integer(-3),
                                    Variant::Double(2.5),
                                    Variant::Boolean(true)};
        QTemporaryDir dir;
        QString error;
        const auto build = [&](bool atOnce) {
            xls::XlsxWorkbook book;
            for (const QString &step : steps.split(u';')) {
                const QStringList w = step.split(u' ');
                const int row = w[1].toInt();
                if (w[0] == u"cell")
                    book.setCell(row, w[2].toInt(), Variant::String(QStringLiteral("x")));
                if (w[0] == u"finish")
                    book.finishRowsBefore(row);
                if (w[0] != u"row")
                    continue;
                const xls::Formula formula =
                    xls::Formula::parse(w.size() > 2 ? w[2] : QStringLiteral("=E%1+F%1").arg(row));
                std::vector<xls::SheetWriter::RowCell> cells;
                for (const Variant &value : values)
                    cells.push_back({&value, nullptr});
                cells.push_back({nullptr, &formula});
                setRowCells(book, row, cells, atOnce);
            }
            const QString file = dir.filePath(atOnce ? QStringLiteral("a.xlsx") : "b.xlsx");
            book.saveAs(file);
            return readback::openpyxlDump(file, &error);
        };
        const QJsonObject once = build(true);
        QVERIFY2(!once.value(QLatin1String("cells")).toArray().isEmpty(), qPrintable(error));
        QCOMPARE(once, build(false));
    }

    // Cells rewritten, blanked and made bold in any order leave the sheet, and write the file, of
    // the final cells set once. Edits: "row,column,value" (empty value: blank it), "bold RANGE".
    void cellsRewrittenAndBlanked_data() {
        QTest::addColumn<QString>("edits");
        QTest::addColumn<QString>("final");
        addRow("the row's last cell blanked", "5,3,7;5,6,8;5,6,", "5,3,7");
        addRow("the only cell blanked", "5,1,a;7,2,x;7,2,", "5,1,a");
        addRow("a middle cell blanked", "6,1,1;6,2,2;6,3,3;6,2,", "6,1,1;6,3,3");
        addRow("bold blank stays", "bold B9:C9;9,2,4;9,2,", "bold B9:C9");
        addRow("right to left", "10,5,e;10,1,1;10,3,c", "10,1,1;10,3,c;10,5,e");
        addRow("rows out of order", "12,2,b;3,4,4;12,1,1", "3,4,4;12,1,1;12,2,b");
        addRow("rewritten as text", "4,4,4;4,4,x;4,5,5;4,5,5.5", "4,4,x;4,5,5.5");
        addRow("blanked then set", "8,8,1;8,8,;8,8,2", "8,8,2");
    }
    void cellsRewrittenAndBlanked() {
        QFETCH(QString, edits);
        QFETCH(QString, final);
        xls::Workbook book, once;
        for (xls::Workbook *written : {&book, &once}) {
            Worksheet &sheet = written->worksheet();
            sheet.setCell(1, 1, Variant::String(QStringLiteral("first"))); // the sheet from A1
            for (const QString &edit : (written == &book ? edits : final).split(';')) {
                const QStringList p = edit.split(',');
                if (edit.startsWith(QLatin1String("bold ")))
                    sheet.setBold(edit.mid(5));
                else
                    sheet.setCell(p[0].toInt(), p[1].toInt(), Variant::String(p[2]));
            }
        }
        QCOMPARE(book.toBytes(), once.toBytes());
        const auto held = [](const xls::Workbook &written) { // the cells cell() finds
            QString cells;
            for (int r = 1; r <= 12; ++r)
                for (int c = 1; c <= 10; ++c)
                    cells += written.worksheet().cell(r, c) ? u'x' : u'.';
            return cells;
        };
        QCOMPARE(held(book), held(once));
    }
};

QTEST_GUILESS_MAIN(TestXls)
#include "tst_xls.moc"

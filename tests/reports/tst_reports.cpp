#include "../common/CoverageColumnRows.h"
#include "../common/DataRows.h"
#include "../common/ProgramFolder.h"
#include "../common/RunProgram.h"
#include "../common/TestData.h"
#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "ReadBack.h"
#include "figures/StockFigures.h"
#include "planning/PlanningStore.h"
#include "reports/CoverageOverview.h"
#include "reports/CoverageScan.h"
#include "reports/CoverageSources.h"
#include "reports/Planning.h"
#include "reports/Reports.h"
#include "store/LocalDatabase.h"
#include "store/TableCatalogue.h"
#include "xls/Workbook.h"

#include <QCursor>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <functional>
#include <limits>

using lodvik::Variant;

namespace {

// The report operations with the window-level values, as the window runs them, and the
// progress captions recorded.
struct Operations {
    explicit Operations(const QString &home) : home(home) {}
    QString home;
    QString perioddatum;
    ProduktTabell produkttabell;
    SummaTabell summatabell{};
    RecordingProgress progress;
    QStringList &captions = progress.captions;

    QString local() const { return home + QStringLiteral("/local.mdb"); }
    void CoverageRun() {
        reports::CoverageRun(local(), progress)
            .fill(produkttabell, figures::Period::fromText(perioddatum));
        excellprodukter();
        progress.caption(QStringLiteral("Klart"), lodvik::Progress::Show::Now);
    }
    void excellprodukter() {
        reports::excellprodukter(
            produkttabell,
            reports::productWorkbookFileName(home, figures::Period::fromTextIfGiven(perioddatum)),
            progress);
    }
    void tillexell() {
        reports::tillexell(
            summatabell,
            reports::summaryWorkbookFileName(home, figures::Period::fromTextIfGiven(perioddatum)),
            progress);
    }
    void fillSummatabell() {
        figures::StockFigures figures(local(), progress);
        reports::fillSummatabell(summatabell, figures, figures::Period::fromText(perioddatum),
                                 progress);
    }
};

Variant text(const char *t) {
    return Variant::String(QString::fromUtf8(t));
}
Variant num(double d) {
    return Variant::Double(d);
}

// A value as QJsonDocument writes it as an object's member.
QByteArray compactMember(const QJsonValue &value) {
    const QByteArray object =
        QJsonDocument(QJsonObject{{QStringLiteral("a"), value}}).toJson(QJsonDocument::Compact);
    return object.mid(5, object.size() - 6); // {"a":…}
}

// Values of produkttabell's number columns the workbook takes in different ways.
const std::vector<Variant> &awkwardCells() {
    static const std::vector<Variant> cells{
        Variant::String(QStringLiteral("12")),
        Variant::String(QStringLiteral("-0.5")),
        Variant::String(QString()),
        Variant::String(QStringLiteral("abc")),
        Variant::String(QStringLiteral(" 7 ")),
        Variant::String(QStringLiteral("1e400")),
        Variant::String(QStringLiteral("=D1+1")),
        Variant::String(QString(40000, QLatin1Char('x'))),
        Variant::Double(std::numeric_limits<double>::infinity()),
        Variant::Double(-0.0),
        Variant::Double(1e308),
        Variant::Integer(0),
        Variant::Long(-3),
        Variant::Boolean(true),
        Variant::Date(QDate(2026, 3, 15)),
        Variant::Null(),
        Variant()};
    return cells;
}

// A figure's value with its type and bits, or its message.
QString outcome(const std::function<Variant()> &figure) {
    try {
        const Variant v = figure();
        const QString value = v.isNumber() ? QString::number(std::bit_cast<qint64>(v.number()), 16)
                                           : v.toDisplayText();
        return QStringLiteral("%1 %2").arg(int(v.type())).arg(value);
    } catch (const lodvik::Error &e) {
        return QString::fromUtf8(e.what());
    }
}

} // namespace

// The coverage workbook's columns on smallStore's products P1, P2, P3 and P5 (rows 5 to 8),
// worked out by hand there: each column's headings (rows 2 to 4), its cells as the workbook
// shows them ("" for an empty cell), and the drill-down's tables with the rows each holds for
// P2 and for P5 (nullptr: no drill-down), and its field in the CSV list (-1: not listed).
struct HandWorked {
    char letter;
    const char *heading[3];
    const char *cells[4];
    const char *drillDown[2];
    int csvField;
};
const HandWorked handWorked[] = {
    {'A', {"", "Produkt", "Number"}, {"P1", "P2", "P3", "P5"}, {nullptr, nullptr}, 1},
    {'B',
     {"", "Produkt", "Description"},
     {"Pall röd", "Pall blå", "", "Pall grön"},
     {nullptr, nullptr},
     2},
    {'C', {"", "", "Bags/pack"}, {"1000", "2000", "1000", "1000"}, {"pjomr 1", "pjomr 1"}, -1},
    {'D',
     {"Stock", "On Hand", "FRN (packs)"},
     {"10", "-12", "", "10"},
     {"pjstkfrn 1, avail 1", "pjstkfrn 1, avail 1"},
     3},
    {'E', {"Stock", "On Hand", "DP (Packs)"}, {"5", "", "5", "4"}, {"DTSPL 0", "DTSPL 1"}, 4},
    {'F', {"Stock", "On Hand", "PJ (Packs)"}, {"", "3", "", "6"}, {"pjstk 1", "pjstk 1"}, 5},
    {'G', {"Total", "Stock", "(packs)"}, {"15", "-9", "5", "20"}, {"", ""}, 6},
    {'H', {"Coverage", "Time", "Weeks"}, {"4", "0", "3", "7"}, {"", ""}, 9},
    {'I', {"Coverage", "Time FRN", "Weeks"}, {"3", "0", "0", "10"}, {"", ""}, 10},
    {'J',
     {"", "Backorder", "PJ"},
     {"", "2", "", ""},
     {"PJOTBALLA 1, pjpvmens 1", "PJOTBALLA 0, pjpvmens 0"},
     11},
    {'K', {"", "Backorder", "PJ FRN"}, {"", "3", "", ""}, {"PJOFBACK 1", "PJOFBACK 0"}, 12},
    {'L', {"", "Order", "PJ"}, {"", "4", "", ""}, {"PJOTALLA 1", "PJOTALLA 0"}, 13},
    {'M', {"", "Order", "PJ FRN"}, {"", "1", "", ""}, {"PJOFFRAM 1", "PJOFFRAM 0"}, 14},
    {'N', {"Total", "Order PJ", "Packs"}, {"0", "6", "0", "0"}, {"", ""}, 15},
    {'O', {"Sales", "per", "Week"}, {"4", "", "2", "3"}, {"pjsfakt 1", "pjsfakt 1"}, 7},
    {'P', {"Sales", "per", "WeekFRN"}, {"3", "", "", "1"}, {"frnhist 0", "frnhist 1"}, 8},
    {'Q', {"", "", "Actions"}, {"", "", "", ""}, {nullptr, nullptr}, -1},
    {'R', {"", "", "Status"}, {"", "", "", ""}, {nullptr, nullptr}, -1},
};

// One product row as the run stores it, for the columns the suggestion and the urgency read:
// stocks D E F, cover H, back orders J, orders L and weekly sales O.
struct StoredRow {
    Variant d, e, f, h, j, l, o;
};
Q_DECLARE_METATYPE(StoredRow)
Q_DECLARE_METATYPE(PlanningRule)
Q_DECLARE_METATYPE(std::optional<PlanningMark>)
Q_DECLARE_METATYPE(reports::CoverageRow)

// Figures given by the test; those it does not set are 0.
struct GivenFigures : reports::ProductFigures {
    Variant frn = Variant::Integer(0), dp = Variant::Integer(0), pj = Variant::Integer(0),
            sales = Variant::Integer(0), salesFrn = Variant::Integer(0);
    Variant stockOnHandFRN(const QString &) override { return frn; }
    Variant avail(const QString &) override { return Variant::Integer(0); }
    Variant stockOnHandDP(const QString &) override { return dp; }
    Variant stockOnHandPJ(const QString &, double) override { return pj; }
    Variant prodBackOrderPJ(const QString &, double) override { return Variant::Integer(0); }
    Variant prodBackOrderFRN(const QString &, double) override { return Variant::Integer(0); }
    Variant prodOrderPJ(const QString &, double) override { return Variant::Integer(0); }
    Variant prodOrderFRN(const QString &, double) override { return Variant::Integer(0); }
    Variant salesPerWeek(const QString &, double) override { return sales; }
    Variant salesPerWeekFRN(const QString &) override { return salesFrn; }
};

class TestReports : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_home = m_dir->path();
        dao::Database db = dao::Database::CreateDatabase(m_home + QStringLiteral("/local.mdb"));
        catalogue::createLocalSchema(db);
        db.Close();
        QDir(m_home).mkdir(QStringLiteral("rapporter"));
    }

    void cleanup() { m_dir.reset(); }

    // The covers come from the numbers of the stored texts, as reading the texts back gives.
    void coversAsReadFromStoredTexts_data() {
        QTest::addColumn<Variant>("frn");
        QTest::addColumn<Variant>("dp");
        QTest::addColumn<Variant>("pj");
        QTest::addColumn<Variant>("sales");
        QTest::addColumn<Variant>("salesFrn");
        const auto d = [](double v) { return Variant::Double(v); };
        const auto t = [](const char *v) { return Variant::String(QString::fromLatin1(v)); };
        addRow("half-way stocks", d(2.5), d(-2.5), d(0.5), d(1.5), d(2.5));
        addRow("negative", d(-7.4), d(-0.6), d(3), d(-2.5), d(-1.49));
        addRow("rounding to -0", d(-0.4), d(-0.2), d(-0.49999999999999994), d(3), d(-0.4));
        addRow("no sales", d(10), d(5), d(1), d(0.4), d(-0.4));
        addRow("null figures", Variant::Null(), d(5), Variant::Null(), d(2), Variant::Null());
        addRow("huge", d(1e300), d(1e300), d(9e307), d(1e-300), d(0.5));
        addRow("tiny", d(1e-300), d(-1e-300), d(5e-324), d(7), d(1e-300));
        addRow("whole past 2^53", d(9007199254740993.0), d(18014398509481984.0), d(1), d(3.5),
               d(1e17));
        addRow("decimal texts", t("12.5"), t("-3.5"), Variant::Long(4), t("2.5"), t("0.5"));
        addRow("other text", d(1), t("abc"), d(1), d(2), d(3));
        addRow("text sales", d(4), d(1), d(1), t("x"), d(3));
    }
    void coversAsReadFromStoredTexts() {
        QFETCH(Variant, frn);
        QFETCH(Variant, dp);
        QFETCH(Variant, pj);
        QFETCH(Variant, sales);
        QFETCH(Variant, salesFrn);
        GivenFigures figures;
        figures.frn = frn;
        figures.dp = dp;
        figures.pj = pj;
        figures.sales = sales;
        figures.salesFrn = salesFrn;
        ProduktTabell::Row cells{};
        lodvik::NoProgress progress;
        std::optional<QString> failure;
        try {
            reports::fillCoverageRow(figures, Variant::String(QStringLiteral("P1")),
                                     Variant::String(QStringLiteral("Vara")), Variant::Long(6),
                                     cells, progress);
        } catch (const lodvik::Error &e) {
            failure = e.message();
        }
        // The same covers worked out from the stored cells as the list once read them.
        ProduktTabell::Row expected = cells;
        std::optional<QString> expectedFailure;
        try {
            const auto stored = [&](char letter) {
                return NullToValue(cells[size_t(letter - 'A' + 1)], QStringLiteral("T"));
            };
            const auto cover = [&](const char *terms, char divisor) {
                const Variant by = stored(divisor);
                if (by.toDouble() == 0)
                    return Variant::Integer(0);
                Variant sum = stored(*terms);
                for (const char *l = terms + 1; *l; ++l)
                    sum = sum + stored(*l);
                const Variant weeks = sum / by;
                if (!std::isfinite(weeks.toDouble()))
                    throw lodvik::Error(QStringLiteral("not finite"));
                return Variant::String(Format(weeks, QStringLiteral("####")));
            };
            expected[8] = cover("DEF", 'O');
            expected[9] = cover("D", 'P');
        } catch (const lodvik::Error &e) {
            expectedFailure = e.message();
        }
        QCOMPARE(failure.has_value(), expectedFailure.has_value());
        if (failure)
            return;
        for (int column : {8, 9}) {
            QCOMPARE(int(cells[size_t(column)].type()), int(expected[size_t(column)].type()));
            QCOMPARE(cells[size_t(column)].toDisplayText(),
                     expected[size_t(column)].toDisplayText());
        }
    }

    // Every column of the coverage table on the hand-worked store (smallStore): its headings at
    // its letter, its value in the workbook, the overview's row and the CSV, and the drill-down's
    // cell and row counts, against values worked out by hand.
    void everyColumn_data() { addCoverageColumnRows(); }

    void everyColumn() {
        const reports::CoverageColumn &column = fetchCoverageColumn();
        const HandWorked *expected = nullptr;
        for (const HandWorked &h : handWorked)
            if (h.letter == column.letter)
                expected = &h;
        QVERIFY(expected);
        smallStore();
        Operations ops(m_home);
        ops.perioddatum = QStringLiteral("2010-11-18");
        ops.CoverageRun();
        // The same workbook for every column: read back once.
        static QJsonObject dump;
        if (dump.isEmpty()) {
            QString error;
            dump = readback::xlrdDump(
                m_home + QStringLiteral("/rapporter/Pallvikprodukter2010-11-18.xls"), &error);
            QVERIFY2(!dump.isEmpty(), qPrintable(error));
        }
        QCOMPARE(dump.value("nrows").toInt(), 8);
        const QJsonObject cells = readback::cellsByPosition(dump);
        const int c = column.letter - 'A' + 1;
        const auto cell = [&](int r) {
            return cells.value(QStringLiteral("%1,%2").arg(r).arg(c)).toObject();
        };
        const auto shown = [](const QJsonObject &cell) {
            return cell.value("type").toString() == QLatin1String("number")
                       ? QString::number(cell.value("value").toDouble())
                       : cell.value("value").toString();
        };
        // The headings, bold within A1:Q4 only.
        for (int r = 2; r <= 4; ++r) {
            QCOMPARE(cell(r).value("value").toString(),
                     QString::fromUtf8(expected->heading[r - 2]));
            QCOMPARE(cell(r).value("bold").toBool(), column.letter <= 'Q');
        }
        const std::vector<reports::CoverageRow> rows = reports::coverageRows(ops.produkttabell);
        QCOMPARE(rows.size(), size_t(4));
        const QByteArray csv = reports::coverageCsv(reports::allRows(rows),
                                                    figures::Period::fromText(ops.perioddatum), 4);
        const QList<QByteArray> lines = csv.trimmed().split('\n');
        const int field = column.key ? int(lines[0].trimmed().split(',').indexOf(column.key)) : -1;
        QCOMPARE(field, expected->csvField);
        QCOMPARE(field, column.list ? int(*column.list) : -1);
        for (int p = 0; p < 4; ++p) {
            const QString value = QString::fromUtf8(expected->cells[p]);
            const QString where = QStringLiteral("product %1").arg(p + 1);
            QVERIFY(!cell(p + 5).value("bold").toBool());
            QCOMPARE(shown(cell(p + 5)), value);
            const reports::CoverageRow &row = rows[size_t(p)];
            if (column.text)
                QCOMPARE(row.*column.text, value);
            if (column.number)
                QCOMPARE((row.*column.number) ? QString::number(*(row.*column.number)) : QString(),
                         value);
            if (field >= 0)
                QCOMPARE(QString::fromUtf8(lines[p + 1].trimmed().split(',').value(field)), value);
        }
        // The drill-down recomputes the run's cell and counts the rows of the tables it read.
        const char *const products[] = {"P2", "P5"};
        for (int p = 0; p < 2; ++p) {
            const QList<reports::CellSource> sources = reports::coverageCellSources(
                ops.local(), figures::Period::fromText(ops.perioddatum),
                QString::fromLatin1(products[p]));
            QCOMPARE(sources.size(), 14); // C to P
            const auto source =
                std::find_if(sources.cbegin(), sources.cend(), [&](const reports::CellSource &s) {
                    return s.workbookColumn == column.letter;
                });
            QCOMPARE(source != sources.cend(), expected->drillDown[p] != nullptr);
            if (source == sources.cend())
                continue;
            QCOMPARE(source->cell, QString::fromUtf8(expected->cells[p == 0 ? 1 : 3]));
            QStringList counts;
            for (const reports::FigureSource &f : source->figures)
                for (const reports::TableRows &t : f.tables)
                    counts << QStringLiteral("%1 %2").arg(t.table).arg(t.rows);
            QCOMPARE(counts.join(QStringLiteral(", ")), QString::fromUtf8(expected->drillDown[p]));
        }
    }

    void coverageWorkbookInCalc() {
        if (readback::libreOffice().isEmpty())
            QSKIP("LibreOffice Calc is not installed (Debian package libreoffice-calc-nogui)");
        smallStore();
        Operations ops(m_home);
        ops.perioddatum = QStringLiteral("2010-11-18");
        ops.CoverageRun();
        QString error;
        const QJsonObject cells = readback::calcDump(
            m_home + QStringLiteral("/rapporter/Pallvikprodukter2010-11-18.xls"), &error);
        QVERIFY2(!cells.isEmpty(), qPrintable(error));
        const auto at = [&](const char *ref) { return cells.value(QLatin1String(ref)).toObject(); };
        QCOMPARE(at("G5").value("formula").toString(), QStringLiteral("D5+E5+F5"));
        QCOMPARE(at("G7").value("formula").toString(), QStringLiteral("D7+E7+F7"));
        QCOMPARE(at("N6").value("formula").toString(), QStringLiteral("L6+J6"));
        QCOMPARE(at("G6").value("value").toString().toDouble(), -9.0);
        QCOMPARE(at("N6").value("value").toString().toDouble(), 6.0);
        QCOMPARE(at("B5").value("value").toString(), QStringLiteral("Pall röd"));
        QVERIFY(!cells.contains(QStringLiteral("G9")));
    }

    // The .xlsx holds the .xls's cells as independent readers see them: each value and type,
    // bold and font, the widths, and each total's formula beside its stored result.
    void xlsxHoldsWhatTheXlsHolds() {
        smallStore();
        const QStringList omr{"iblitm", "imdsc1", "umconv"};
        insert("pjomr", omr, {text("P6"), text("=1+2"), num(1)}); // text, never a formula
        insert("pjomr", omr, {text("P7"), text("0012"), num(3)}); // a number as typed
        Operations ops(m_home);
        ops.perioddatum = QStringLiteral("2010-11-18");
        ops.CoverageRun();
        const QString xlsx = reports::productWorkbookFileName(
            m_home, figures::Period::fromText(ops.perioddatum), true);
        QVERIFY(xlsx.endsWith(QStringLiteral("/rapporter/Pallvikprodukter2010-11-18.xlsx")));
        reports::excellprodukter(ops.produkttabell, xlsx, ops.progress);
        QString error;
        const QJsonObject old = readback::xlrdDump(
            reports::productWorkbookFileName(m_home, figures::Period::fromText(ops.perioddatum)),
            &error);
        QVERIFY2(!old.isEmpty(), qPrintable(error));
        const QJsonObject now = readback::openpyxlDump(xlsx, &error);
        QVERIFY2(!now.isEmpty(), qPrintable(error));
        for (const char *key : {"sheets", "name", "nrows", "ncols", "widths"})
            QCOMPARE(now.value(QLatin1String(key)), old.value(QLatin1String(key)));
        QCOMPARE(now.value("nrows").toInt(), 10);
        const QJsonObject oldCells = readback::cellsByPosition(old);
        const QJsonObject newCells = readback::cellsByPosition(now);
        QCOMPARE(newCells.keys(), oldCells.keys());
        for (const QString &at : oldCells.keys()) {
            QJsonObject cell = newCells.value(at).toObject();
            const QString formula = cell.take(QStringLiteral("formula")).toString();
            QCOMPARE(cell, oldCells.value(at).toObject());
            const int row = at.section(',', 0, 0).toInt(), column = at.section(',', 1).toInt();
            const QString expected = column == 7    ? QStringLiteral("D%1+E%1+F%1").arg(row)
                                     : column == 14 ? QStringLiteral("L%1+J%1").arg(row)
                                                    : QString();
            QCOMPARE(formula, row >= 5 ? expected : QString());
        }
        QCOMPARE(newCells.value("9,2").toObject().value("value").toString(),
                 QStringLiteral("=1+2"));
        QCOMPARE(newCells.value("10,2").toObject().value("value").toDouble(), 12.0);
    }

    // More products than an .xls sheet holds, one row each in DTSPL and pjsfakt: the command
    // line writes every row into the .xlsx it chooses from pjomr's count before the first row,
    // and streams every row as CSV. One run shows both (the list's run writes the workbook
    // too): under the sanitizers a run of this size takes half a minute or more.
    void everyRowOfMoreProductsThanAnXlsSheet() {
        const int products = int(reports::XlsProductRows) + 5;
        QCOMPARE(products, 65537);
        // Product i: DP stock i % 100 + 1, PJ sales i % 997 + 1 a week (26 weeks).
        const auto dp = [](int i) { return i % 100 + 1; };
        const auto sales = [](int i) { return i % 997 + 1; };
        {
            dao::Database db = dao::Database::OpenDatabase(m_home + QStringLiteral("/local.mdb"));
            const QString numbers =
                QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                               "FROM n WHERE i < %1) ")
                    .arg(products);
            db.Execute(numbers + "INSERT INTO pjomr (iblitm, imdsc1, umconv) SELECT "
                                 "printf('N%06d', i), 'Vara ' || i, 1 FROM n");
            db.Execute(numbers + "INSERT INTO DTSPL (\"Fält2\", \"Fält39\") SELECT "
                                 "printf('N%06d', i), i % 100 + 1 FROM n");
            db.Execute(numbers + "INSERT INTO pjsfakt (sdlitm, sdpqor) SELECT printf('N%06d', i), "
                                 "26 * (i % 997 + 1) FROM n ORDER BY i DESC");
        }
        const ProgramRun r =
            runProgram(m_home, {"coverage", "-q", "--period", "2010-11-18", "--format", "csv"}, {},
                       10 * 60 * 1000);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err)); // --quiet: not even the .xlsx notice
        const QString xls =
            reports::productWorkbookFileName(m_home, figures::Period::fromText("2010-11-18"));
        const QString xlsx =
            reports::productWorkbookFileName(m_home, figures::Period::fromText("2010-11-18"), true);
        QVERIFY(!QFile::exists(xls));
        const auto product = [](int i) { return QStringLiteral("N%1").arg(i, 6, 10, QChar('0')); };
        const QStringList lines = r.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), products + 1); // the header first
        for (int i = 1; i <= products; ++i) {
            const QStringList fields = lines[i].split(QLatin1Char(','));
            QVERIFY2(fields.contains(product(i)) && fields.contains(QString::number(dp(i))) &&
                         fields.contains(QString::number(sales(i))),
                     qPrintable(lines[i]));
        }
        QVERIFY(QFile::exists(xlsx));
        QString error;
        const QJsonObject dump = readback::openpyxlDump(xlsx, &error, QStringLiteral("1,5,7,15"));
        QVERIFY2(!dump.isEmpty(), qPrintable(error));
        QCOMPARE(dump.value("nrows").toInt(), products + 4);
        const QJsonObject cells = readback::cellsByPosition(dump);
        const auto at = [&](int row, int column) {
            return cells.value(QStringLiteral("%1,%2").arg(row).arg(column)).toObject();
        };
        for (int i = 1; i <= products; ++i) {
            QCOMPARE(at(i + 4, 1).value("value").toString(), product(i));
            QCOMPARE(at(i + 4, 5).value("value").toDouble(), double(dp(i)));
            QCOMPARE(at(i + 4, 15).value("value").toDouble(), double(sales(i)));
            QCOMPARE(at(i + 4, 7).value("formula").toString(),
                     QStringLiteral("D%1+E%1+F%1").arg(i + 4));
        }
        QCOMPARE(at(products + 4, 7).value("value").toDouble(), double(dp(products)));
    }

    // The .xlsx is written whole or not at all: a cancelled or failed save keeps the old file.
    void xlsxFailedSaveKeepsOldFile_data() {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("folderInTheWay");
        QTest::addColumn<QString>("reason");
        QTest::newRow("cancelled") << true << false << QString();
        QTest::newRow("a folder of that name")
            << false << true << QStringLiteral("det finns en mapp med det namnet");
        QTest::newRow("no rapporter folder") << false << false << QStringLiteral("finns inte");
    }

    void xlsxFailedSaveKeepsOldFile() {
        QFETCH(bool, cancel);
        QFETCH(bool, folderInTheWay);
        QFETCH(QString, reason);
        smallStore();
        Operations ops(m_home);
        ops.perioddatum = QStringLiteral("2010-11-18");
        reports::CoverageRun(ops.local(), ops.progress)
            .fill(ops.produkttabell, figures::Period::fromText(ops.perioddatum));
        const QString file = reports::productWorkbookFileName(
            m_home, figures::Period::fromText(ops.perioddatum), true);
        QString target = file;
        if (folderInTheWay)
            QVERIFY(QDir().mkpath(file));
        else if (reason.isEmpty()) {
            QFile old(file);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("earlier");
        } else
            target = m_home + QStringLiteral("/saknas/Pallvikprodukter2010-11-18.xlsx");
        std::atomic<bool> stop{cancel};
        ops.progress.setCancelFlag(&stop);
        try {
            reports::excellprodukter(ops.produkttabell, target, ops.progress);
            QFAIL("the save went through");
        } catch (const lodvik::Cancelled &) {
            QVERIFY(cancel);
        } catch (const lodvik::Error &e) {
            QVERIFY2(!cancel && e.message().contains(reason), qPrintable(e.message()));
        }
        QCOMPARE(QFileInfo(file).isDir(), folderInTheWay);
        if (!folderInTheWay && reason.isEmpty()) {
            QFile old(file);
            QVERIFY(old.open(QIODevice::ReadOnly));
            QCOMPARE(old.readAll(), QByteArray("earlier"));
        }
        QCOMPARE(QDir(m_home + QStringLiteral("/rapporter")).entryList(QDir::Files).size(),
                 folderInTheWay || !reason.isEmpty() ? 0 : 1);
    }

    void secondShorterRunClearsLeftovers() {
        smallStore();
        Operations ops(m_home);
        ops.perioddatum = QStringLiteral("2010-11-18");
        ops.CoverageRun();
        QCOMPARE(ops.produkttabell.at(3, 1).toText(), QStringLiteral("P3"));
        {
            dao::Database db = dao::Database::OpenDatabase(m_home + QStringLiteral("/local.mdb"));
            db.Execute(QStringLiteral("DELETE FROM pjomr WHERE iblitm = 'P3'"));
        }
        ops.CoverageRun();
        QVERIFY(ops.produkttabell.at(4, 1).isEmpty());
        QVERIFY(ops.produkttabell.at(4, 8).isEmpty());
        QString error;
        const QJsonObject dump = readback::xlrdDump(
            m_home + QStringLiteral("/rapporter/Pallvikprodukter2010-11-18.xls"), &error);
        QVERIFY2(!dump.isEmpty(), qPrintable(error));
        QCOMPARE(dump.value("nrows").toInt(), 7);
    }

    void moreProductsThanTableRows() {
        const int products = 2003;
        {
            dao::Database db = dao::Database::OpenDatabase(m_home + QStringLiteral("/local.mdb"));
            db.Execute(QStringLiteral("BEGIN"));
            for (int i = 1; i <= products; ++i)
                db.Execute(
                    QStringLiteral("INSERT INTO pjomr (iblitm, imdsc1, umconv) VALUES (?, ?, 1)"),
                    {Variant::String(QStringLiteral("N%1").arg(i, 5, 10, QLatin1Char('0'))),
                     Variant::String(QStringLiteral("Vara %1").arg(i))});
            db.Execute(QStringLiteral("COMMIT"));
        }
        Operations ops(m_home);
        ops.perioddatum = QStringLiteral("2010-11-18");
        ops.CoverageRun();
        QVERIFY(ops.produkttabell.rowCount() > products);
        QCOMPARE(ops.produkttabell.at(products, 1).toText(), QStringLiteral("N02003"));
        QString error;
        const QJsonObject dump = readback::xlrdDump(
            m_home + QStringLiteral("/rapporter/Pallvikprodukter2010-11-18.xls"), &error);
        QVERIFY2(!dump.isEmpty(), qPrintable(error));
        QCOMPARE(dump.value("nrows").toInt(), products + 4);
        const QJsonObject cells = readback::cellsByPosition(dump);
        QCOMPARE(cells.value(QStringLiteral("%1,1").arg(products + 4))
                     .toObject()
                     .value("value")
                     .toString(),
                 QStringLiteral("N02003"));
        QCOMPARE(cells.value(QStringLiteral("%1,7").arg(products + 4))
                     .toObject()
                     .value("type")
                     .toString(),
                 QStringLiteral("number"));
    }

    void unusableProductStopsRun_data() {
        QTest::addColumn<Variant>("umconv");
        QTest::addColumn<QString>("rows");   // more rows of B2, as SQL
        QTest::addColumn<QString>("reason"); // parts of the message, "|" between
        addRow("null", Variant::Null(), "", "B2|umconv är tomt");
        // A product without a number comes first, and is named as one.
        addRow("zero of no product", num(0), "UPDATE pjomr SET iblitm = NULL WHERE iblitm = 'B2'",
               "Produkten utan produktnummer|umconv är 0");
        addRow("empty text", text(""), "", "B2|umconv är tomt");
        addRow("zero", num(0), "", "B2|umconv är 0");
        // No figure may come out as "inf" or "nan", nor as an empty cell for one.
        addRow("nan", text("nan"), "", "B2|umconv \"nan\" är inget tal");
        addRow("thousand times too large", num(1e306), "", "B2|är för stort");
        addRow("stock minus availability overflows", num(1),
               "INSERT INTO pjstkfrn (ivcitm, lipqoh) VALUES ('B2', 1e308);"
               "INSERT INTO avail (ivcitm, quantity) VALUES ('B2', -1e308);",
               "StockOnHandFRN för produkt \"B2\"");
        addRow("stock of plus and minus infinity", num(1),
               "INSERT INTO pjstk (imlitm, lipqoh) VALUES ('B2', 9e999), ('B2', -9e999);",
               "Inf|lipqoh|pjstk");
        addRow("a product number in Latin-1", num(1),
               "UPDATE pjomr SET iblitm = CAST(x'4232C5' AS TEXT) WHERE iblitm = 'B2';"
               "INSERT INTO pjstk (imlitm, lipqoh) VALUES (CAST(x'4232C5' AS TEXT), 5);",
               "B2\uFFFD|UTF-8");
        addRow("a blob among the sales", num(1),
               "INSERT INTO pjsfakt (sdlitm, sdpqor) VALUES ('B2', 5), ('B2', x'3132');",
               "x'3132'|sdpqor|pjsfakt");
    }

    void unusableProductStopsRun() {
        QFETCH(Variant, umconv);
        QFETCH(QString, rows);
        QFETCH(QString, reason);
        const QStringList omr{"iblitm", "imdsc1", "umconv"};
        insert("pjomr", omr, {text("A1"), text("Bra"), num(1)});
        insert("pjomr", omr, {text("B2"), text("Trasig"), umconv});
        insert("pjomr", omr, {text("C3"), text("Bra"), num(1)});
        if (!rows.isEmpty())
            dao::Database::OpenDatabase(m_home + QStringLiteral("/local.mdb")).Execute(rows);
        Operations ops(m_home);
        ops.perioddatum = QStringLiteral("2010-11-18");
        try {
            ops.CoverageRun();
            QFAIL("the run went on without units per pack");
        } catch (const lodvik::Error &e) {
            for (const QString &part : reason.split(QLatin1Char('|')))
                QVERIFY2(e.message().contains(part), qPrintable(e.message()));
        }
        if (!reason.startsWith(QLatin1String("Produkten utan"))) {
            QCOMPARE(ops.produkttabell.at(1, 1).toText(), QStringLiteral("A1"));
            QVERIFY(!ops.produkttabell.at(3, 1).isString());
        }
        QVERIFY(QDir(m_home + QStringLiteral("/rapporter")).isEmpty());
        QVERIFY(!ops.captions.contains(QStringLiteral("Klart")));
    }

    void workbookFailureKeepsOldFileAndRestoresCursor() {
        // The earlier workbook of the period stays when the new one cannot be saved.
        const QString reportsDir = m_home + QStringLiteral("/rapporter");
        QDir(reportsDir).removeRecursively();
        Operations ops(m_home);
        ops.perioddatum = QStringLiteral("2010-11-18");
        QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        try {
            ops.tillexell();
            QFAIL("saved into a missing folder");
        } catch (const lodvik::Error &e) {
            QVERIFY2(e.message().contains(QStringLiteral("finns inte")), qPrintable(e.message()));
        }
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);

        QDir(m_home).mkdir(QStringLiteral("rapporter"));
        const QString file = reportsDir + QStringLiteral("/Pallvikprodukter2010-11-18.xls");
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier");
        old.close();
        // A product number the sheet cannot take: past its last row. Simulate with a full table.
        ops.produkttabell.ensureRow(70000);
        for (int r = 1; r <= 70000; ++r)
            ops.produkttabell.at(r, 1) = Variant::String(QStringLiteral("X"));
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, ops.excellprodukter());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("earlier"));
        QCOMPARE(QDir(reportsDir).entryList(QDir::Files),
                 QStringList{QStringLiteral("Pallvikprodukter2010-11-18.xls")});
        QGuiApplication::restoreOverrideCursor();
    }

    void summaryFilledFromTotals() {
        // One figure of each kind the summary holds, per source, period November 2010.
        insert("pjomr", {"iblitm", "umconv"}, {text("P1"), num(2)});
        insert("pjsprior", {"sdpqor"}, {num(100)});
        insert("pjs1prior", {"sdpqor"}, {num(20)});
        insert("pjscurr", {"sdpqor"}, {num(7)});
        insert("pjocurr", {"antaltusen"}, {num(4)});
        insert("pjpvmens", {"mflitm", "mffqt"}, {text("P1"), num(1)});
        insert("pjoback", {"antaltusen"}, {num(9)});
        insert("pjstkens", {"lipqoh"}, {num(11)});
        insert("pjgit", {"sdpqor"}, {num(1234.6)});
        insert("pj1git", {"sdpqor"}, {num(0.4)});
        insert("pjofram", {"antaltusen"}, {num(-3)});
        insert("frnhist", {"ivcitm", "IHSQ10", "IHSQ11"}, {text("P1"), num(5), num(6)});
        insert("frnrequest", {"ivcitm", "sduorg"}, {text("P1"), num(8)});
        insert("avail", {"ivcitm", "quantity"}, {text("P1"), num(3)});
        insert("pjstkfrn", {"ivcitm", "lipqoh"}, {text("P1"), num(10)});
        insert("frnrequesu", {"ivcitm", "sduorg01"}, {text("P1"), num(2)});
        insert("DTSPL", {"Fält2", "Fält4", "Fält11", "Fält25", "Fält32"},
               {text("P1"), num(1), num(2), num(3), num(4)});
        Operations ops(m_home);
        ops.perioddatum = QStringLiteral("2010-11-18");
        ops.summatabell[5][1] = 42; // a figure the totals do not fill stays
        ops.fillSummatabell();
        const SummaTabell &t = ops.summatabell;
        struct Expect {
            int figure, source;
            double value;
        };
        const Expect expected[] = {
            {1, 1, 120},   {1, 2, 5 * 2},  {1, 3, 1 * 2}, // sales prior month: PJ, FRN (IHSQ10), DP
            {2, 1, 7},     {2, 2, 6 * 2},  {2, 3, 2 * 2}, // sales current month
            {3, 1, 4 + 1}, {3, 2, 8 * 2},  {3, 3, 3 * 2}, // orders current month
            {4, 1, 9},     {4, 2, 3 * 2},  {4, 3, 0},     // back orders
            {9, 1, 11},    {9, 2, 10 * 2}, {9, 3, 0},     // GSC
            {10, 1, 1235}, {10, 2, 0},     {10, 3, 0},    // GIT: PJ only
            {14, 1, -3},   {14, 2, 2 * 2}, {14, 3, 4 * 2}, // outside orders
            {5, 1, 42},
        };
        for (const Expect &e : expected)
            QVERIFY2(qAbs(t[size_t(e.figure)][size_t(e.source)] - e.value) < 1e-9,
                     qPrintable(QStringLiteral("figure %1 source %2: %3, expected %4")
                                    .arg(e.figure)
                                    .arg(e.source)
                                    .arg(t[size_t(e.figure)][size_t(e.source)])
                                    .arg(e.value)));
    }

    void summaryWorkbookReadBack() {
        Operations ops(m_home);
        ops.perioddatum = QStringLiteral("2010-11-18");
        ops.summatabell[3][2] = 1234.6;
        ops.summatabell[3][1] = -3;
        ops.summatabell[1][3] = 0.4; // rounds to nothing
        ops.summatabell[14][1] = 7;
        ops.summatabell[14][3] = 2;  // DP: the total adds it
        ops.summatabell[15][1] = 99; // past figure 14: not written
        ops.tillexell();
        const QString file = m_home + QStringLiteral("/rapporter/Pallvik2010-11-18.xls");
        QCOMPARE(ops.captions, QStringList{QStringLiteral("Skapar excelfilen ") + file});
        QString error;
        const QJsonObject dump = readback::xlrdDump(file, &error);
        QVERIFY2(!dump.isEmpty(), qPrintable(error));
        const QJsonObject cells = readback::cellsByPosition(dump);
        const auto cell = [&](int r, int c) {
            return cells.value(QStringLiteral("%1,%2").arg(r).arg(c)).toObject();
        };
        QCOMPARE(cell(6, 4).value("value").toDouble(), 1235.0);
        QCOMPARE(cell(5, 4).value("value").toDouble(), -3.0);
        QCOMPARE(cell(8, 4).value("value").toDouble(), 1232.0);
        QVERIFY(cell(7, 2).isEmpty());
        QCOMPARE(cell(5, 15).value("value").toDouble(), 7.0);
        QCOMPARE(cell(7, 15).value("value").toDouble(), 2.0);
        QCOMPARE(cell(8, 15).value("value").toDouble(), 9.0);
        QVERIFY(cell(5, 16).isEmpty());
        for (int c = 2; c <= 19; ++c) {
            QCOMPARE(cell(8, c).value("type").toString(), QStringLiteral("number"));
            if (c != 4 && c != 15)
                QCOMPARE(cell(8, c).value("value").toDouble(), 0.0);
        }
        QVERIFY(cell(3, 7).isEmpty()); // "" written: stays empty
    }

    void commandLine() {
        smallStore();
        const QString coverageFile =
            m_home + QStringLiteral("/rapporter/Pallvikprodukter2010-11-18.xls");
        ProgramRun run = runProgram(m_home, {"coverage", "--period", "2010-11-18"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.trimmed(), coverageFile);
        QVERIFY(run.err.contains(QStringLiteral("Klart")));
        QVERIFY(QFileInfo::exists(coverageFile));
        // --xlsx: the same run as .xlsx, the .xls left as it was.
        const QDateTime xlsWritten = QFileInfo(coverageFile).lastModified();
        run = runProgram(m_home, {"coverage", "--xlsx", "--period", "2010-11-18"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.trimmed(), coverageFile + QLatin1Char('x'));
        QVERIFY(QFileInfo::exists(coverageFile + QLatin1Char('x')));
        QCOMPARE(QFileInfo(coverageFile).lastModified(), xlsWritten);
        run = runProgram(m_home, {"summary", "--period", "2010-11-18"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.trimmed(), m_home + QStringLiteral("/rapporter/Pallvik2010-11-18.xls"));
        QDir(m_home + QStringLiteral("/rapporter")).removeRecursively();
        run = runProgram(m_home, {"summary", "--period", "2010-11-18"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.err.contains(QStringLiteral("finns inte")));
    }

    void suggestionOnHandCheckedTable_data() {
        QTest::addColumn<StoredRow>("stored");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("suggestion"); // -1: none
        QTest::addColumn<int>("urgency");
        const Variant none = text("");
        const Variant zero = Variant::Integer(0);
        using U = reports::Urgency;
        // 6 a week × 4 weeks = 24 wanted, 15 in stock: 9 packs; cover 15/4 → 4 < 6.
        addRow("short of the target",
               StoredRow{text("10"), text("5"), none, text("4"), none, none, text("4")}, 6, 9,
               int(U::BelowTarget));
        // Cover 3.75 is stored as 4 weeks and meets the target; the stock is still a pack short.
        addRow("rounded cover meets the target",
               StoredRow{text("10"), text("5"), none, text("4"), none, none, text("4")}, 4, 1,
               int(U::Plain));
        addRow("well covered",
               StoredRow{text("100"), none, none, text("25"), none, none, text("4")}, 4, -1,
               int(U::Plain));
        // No sales: stock and back orders alike give no suggestion.
        addRow("zero sales", StoredRow{text("5"), none, none, zero, text("3"), none, none}, 4, -1,
               int(U::NoSales));
        addRow("negative sales",
               StoredRow{text("5"), none, none, text("-3"), none, none, text("-2")}, 4, -1,
               int(U::NoSales));
        // G = -12 + 0 + 3 = -9: 2 × 4 + 9 − 4 on the way + 2 back orders = 15.
        addRow("negative stock",
               StoredRow{text("-12"), none, text("3"), text("-5"), text("2"), text("4"), text("2")},
               4, 15, int(U::Urgent));
        // Nothing in stock or on the way: 1 × 4 + 6 back orders; cover 0/1 is stored empty.
        addRow("back orders only", StoredRow{none, none, none, none, text("6"), none, text("1")}, 4,
               10, int(U::Urgent));
        // 3 × 4 − 2 − 10 on the way = 0: nothing more to order, although the cover is short.
        addRow("orders on the way fill it",
               StoredRow{text("2"), none, none, text("1"), none, text("10"), text("3")}, 4, -1,
               int(U::Urgent));
    }

    void suggestionOnHandCheckedTable() {
        QFETCH(StoredRow, stored);
        QFETCH(int, target);
        QFETCH(int, suggestion);
        QFETCH(int, urgency);
        ProduktTabell table;
        table.at(1, 1) = text("X1");
        table.at(1, 3) = num(1000);
        table.at(1, 4) = stored.d;
        table.at(1, 5) = stored.e;
        table.at(1, 6) = stored.f;
        table.at(1, 8) = stored.h;
        table.at(1, 10) = stored.j;
        table.at(1, 12) = stored.l;
        table.at(1, 15) = stored.o;
        const std::vector<reports::CoverageRow> rows = reports::coverageRows(table);
        QCOMPARE(rows.size(), size_t(1));
        const std::optional<qint64> packs = reports::reorderSuggestion(rows[0], target);
        QCOMPARE(packs.has_value() ? int(*packs) : -1, suggestion);
        QCOMPARE(int(reports::urgency(rows[0], target)), urgency);
    }

    void drillDownOfNoProduct() {
        smallStore();
        QVERIFY_THROWS_EXCEPTION(
            lodvik::Error,
            reports::coverageCellSources(m_home + QStringLiteral("/local.mdb"),
                                         figures::Period::fromText(QStringLiteral("2010-11-18")),
                                         QStringLiteral("not a product")));
    }

    // The run's cells against the drill-down's, which asks each figure's own per-product query.
    void drillDownRecomputesTheRunsCells_data() {
        QTest::addColumn<QStringList>("sql"); // after the hand-worked store
        const auto untyped = [](const char *table, const char *columns) {
            const QString t = QString::fromLatin1(table), c = QString::fromLatin1(columns);
            return QStringList{
                "ALTER TABLE " + t + " RENAME TO earlier", "CREATE TABLE " + t + " (" + c + ")",
                "INSERT INTO " + t + " SELECT " + c + " FROM earlier", "DROP TABLE earlier"};
        };
        addRow("hand-worked store", QStringList{});
        addRow("key columns without a declared type",
               untyped("pjsfakt", "sdlitm, sdpqor") + untyped("pjstk", "imlitm, lipqoh") +
                   untyped("pjstkfrn", "ivcitm, lipqoh") +
                   QStringList{"INSERT INTO pjomr (iblitm, imdsc1, umconv) VALUES "
                               "('123', 'Nummer', 1), ('0124', 'Nolla', 2)",
                               "INSERT INTO pjsfakt VALUES (123, 2600), ('123', 52), (124, 26), "
                               "('0124', 104), ('p1', 26)",
                               "INSERT INTO pjstk VALUES (123, 9000), ('123', 3000), "
                               "('0124', 4000), (124, 1000)",
                               "INSERT INTO pjstkfrn VALUES ('123', 7), (123, 70)"});
        addRow("products absent from every extract",
               QStringList{"INSERT INTO pjomr (iblitm, imdsc1, umconv) VALUES ('P0', 'Ingen', 1), "
                           "('P4', NULL, 3), ('Q', 'Sist', 0.5)"});
    }

    void drillDownRecomputesTheRunsCells() {
        QFETCH(QStringList, sql);
        smallStore();
        {
            dao::Database db = dao::Database::OpenDatabase(m_home + QStringLiteral("/local.mdb"));
            for (const QString &statement : sql)
                db.Execute(statement);
        }
        Operations ops(m_home);
        ops.perioddatum = QStringLiteral("2010-11-18");
        ops.CoverageRun();
        for (const reports::CoverageRow &row : reports::coverageRows(ops.produkttabell)) {
            const QList<reports::CellSource> sources = reports::coverageCellSources(
                ops.local(), figures::Period::fromText(ops.perioddatum), row.product);
            QCOMPARE(sources.size(), 14); // C to P
            for (const reports::CellSource &source : sources) {
                // The run's cell as the workbook holds it, against the drill-down's.
                Variant stored =
                    ops.produkttabell.at(row.tableRow, source.workbookColumn - 'A' + 1);
                QString expected = stored.isString() ? stored.text() : stored.toDisplayText();
                if (source.workbookColumn == 'G')
                    expected = QString::number(*row.stockTotal);
                if (source.workbookColumn == 'N')
                    expected = QString::number(*row.orderTotal);
                QVERIFY2(source.cell == expected,
                         qPrintable(QStringLiteral("%1 %2: %3, run %4")
                                        .arg(row.product, QChar(source.workbookColumn), source.cell,
                                             expected)));
            }
        }
    }

    // The one-pass figures against each figure's own per-product query, value for value (type
    // and bits) and message for message, on stores made to trip the pass.
    void scanEqualsFigureQueries_data() {
        QTest::addColumn<QStringList>("sql");
        QTest::addColumn<QStringList>("perProduct"); // tables the pass leaves to the queries
        const QString omr = QStringLiteral("INSERT INTO pjomr (iblitm, umconv) VALUES ");
        addRow("integers exactly, texts and reals as the store adds them",
               QStringList{omr + "('P1', 2), ('P2', 1), ('P9', 3)",
                           "INSERT INTO pjsfakt (sdlitm, sdpqor) VALUES ('P1', 9007199254740993), "
                           "('P1', 1), ('P2', 0.1), ('p2', 0.2), ('P2', 3), ('P2', ''), "
                           "('P2', ' '), ('P2', '4'), ('P2', NULL), ('P2 ', 100)",
                           "INSERT INTO PJOTALLA (sdaitm, antaltusen) VALUES ('P1', 1e308), "
                           "('P1', 1e308), ('P2', -7)",
                           "INSERT INTO pjpvmens (mflitm, mffqt) VALUES ('p1', 5), ('P2', NULL)",
                           "INSERT INTO PJOTBALLA (sdaitm, antaltusen) VALUES ('P1', 2.5)",
                           "INSERT INTO pjstk (imlitm, lipqoh) VALUES ('P1', -3), ('P2', 4000)",
                           "INSERT INTO frnhist (ivcitm, IHSQ04, IHSQ05, IHSQ06, IHSQ07, IHSQ08, "
                           "IHSQ09) VALUES ('P1', 1, 2, 3, 4, 5, 6), ('p1', 1, 1, 1, 1, 1, '7')",
                           "INSERT INTO DTSPL (\"Fält2\", \"Fält39\", \"Fält18\") VALUES "
                           "('P1', 9, 4), ('p1', 1.5, NULL)"},
               QStringList{});
        addRow("overflow, refused texts and blobs: the queries say so",
               QStringList{omr + "('P1', 2), ('P2', 1)",
                           "INSERT INTO pjstk (imlitm, lipqoh) VALUES ('P1', 9223372036854775807), "
                           "('P1', 1), ('P2', 5)",
                           "INSERT INTO avail (ivcitm, quantity) VALUES ('P2', 'abc'), ('P1', 3)",
                           "INSERT INTO PJOFBACK (sdaitm, antaltusen) VALUES ('P1', x'3132')",
                           "INSERT INTO pjstkfrn (ivcitm, lipqoh) VALUES ('P2', '1e999')",
                           "INSERT INTO frnhist (ivcitm, IHSQ04) VALUES ('P1', NULL)",
                           "INSERT INTO DTSPL (\"Fält2\", \"Fält40\") VALUES ('P2', 'x')"},
               QStringList{});
        addRow("a key column without a declared type",
               QStringList{omr + "('123', 1), ('X', 1)", "DROP TABLE pjstk",
                           "CREATE TABLE pjstk (imlitm, lipqoh)",
                           "INSERT INTO pjstk VALUES (123, 5), ('123', 7), ('x', 1), (x'58', 2)"},
               QStringList{});
        // DTSPL and frnhist are walked row by row, the rest summed: keys stored as integers,
        // reals, blobs and texts of every case, side by side in columns of no declared type.
        QStringList dtspl{"ID"}, history{"ihfy", "ivcitm"};
        for (int i = 1; i <= 45; ++i)
            dtspl << QStringLiteral("\"Fält%1\"").arg(i);
        for (int m = 1; m <= 12; ++m)
            history << QStringLiteral("IHSQ%1").arg(m, 2, 10, QLatin1Char('0'));
        addRow("key columns without a declared type in the row walks and the sums",
               QStringList{omr + "('123', 1), ('0123', 2), ('X', 1), ('1.5', 1)",
                           "DROP TABLE DTSPL", "CREATE TABLE DTSPL (" + dtspl.join(", ") + ")",
                           "INSERT INTO DTSPL (\"Fält2\", \"Fält39\", \"Fält18\") VALUES "
                           "(123, 100, 1), ('123', 5, 2), ('0123', 7, NULL), ('x', 3, 1), "
                           "(1.5, 9, 0), ('1.5', 4, 0), (x'58', 50, 0), ('X', 2, '1')",
                           "DROP TABLE frnhist",
                           "CREATE TABLE frnhist (" + history.join(", ") + ")",
                           "INSERT INTO frnhist (ivcitm, IHSQ06, IHSQ07) VALUES (123, 52, 52), "
                           "('123', 26, 0), ('x', 13, 13), ('X', '26', NULL), (0123, 1, 1)",
                           "DROP TABLE pjsfakt", "CREATE TABLE pjsfakt (sdlitm, sdpqor)",
                           "INSERT INTO pjsfakt VALUES (123, 1000), ('123', 26), ('0123', 52), "
                           "(1.5, 3), ('1.5', 78), ('x', 13)"},
               QStringList{});
        // A number that is not UTF-8 reaches the figures as text with U+FFFD in it.
        addRow(
            "product numbers that are not UTF-8",
            QStringList{omr + "(CAST(x'50ff' AS TEXT), 1), ('P\uFFFD', 2), ('Q', 1)",
                        "INSERT INTO DTSPL (\"Fält2\", \"Fält39\") VALUES "
                        "(CAST(x'50ff' AS TEXT), 3), ('P\uFFFD', 5), (CAST(x'51ff' AS TEXT), 7)",
                        "INSERT INTO frnhist (ivcitm, IHSQ06) VALUES (CAST(x'50ff' AS TEXT), 26), "
                        "('P\uFFFD', 13), ('q', 52)",
                        "INSERT INTO pjsfakt (sdlitm, sdpqor) VALUES (CAST(x'50ff' AS TEXT), 26), "
                        "('P\uFFFD', 52), (CAST(x'51' AS TEXT), 78)"},
            QStringList{});
        addRow("a key column of numeric affinity is asked per product",
               QStringList{omr + "('123', 1), ('0123', 1)", "DROP TABLE avail",
                           "CREATE TABLE avail (ivcitm INTEGER, quantity)",
                           "INSERT INTO avail VALUES ('123', 4), (123, 5), ('0123', 6), ('a', 1)"},
               QStringList{"avail"});
        addRow("without tillfall DTSPL is asked per product",
               QStringList{omr + "('P1', 1)", "DROP TABLE tillfall",
                           "INSERT INTO DTSPL (\"Fält2\", \"Fält39\") VALUES ('P1', 2)"},
               QStringList{"DTSPL"});
        // The pass gathers rows only for pjomr's products, one slot for the numbers that fold
        // together; the rows of one product need not follow one another.
        const QString longNumber = QString(200, QLatin1Char('L'));
        addRow("products sharing a slot, listed twice, and rows of products not in pjomr",
               QStringList{omr + "('ÅbC', 1), ('åBc', 2), ('P1', 1), ('P1', 3), ('', 1), ('" +
                               longNumber + "', 1), ('" + longNumber.toLower() + "x', 1)",
                           "INSERT INTO pjsfakt (sdlitm, sdpqor) VALUES ('ÅBC', 26), ('Q', 5), "
                           "('åbc', 52), ('P1', 1), ('p1', 2), ('Q', 7), ('P1', 4), ('', 3), "
                           "('" +
                               longNumber.toLower() + "', 26), ('ÅbC ', 9), ('ÄBC', 1)",
                           "INSERT INTO pjstk (imlitm, lipqoh) VALUES ('Q', 9223372036854775807), "
                           "('P1', 9223372036854775807), ('Q', 1), ('p1', 1), ('åbc', 2.5)",
                           "INSERT INTO DTSPL (\"Fält2\", \"Fält39\", \"Fält18\") VALUES "
                           "('åbc', 4, 1), ('Q', 'x', 1), ('ÅBC', NULL, 2), ('P1', 1, NULL)",
                           "INSERT INTO frnhist (ivcitm, IHSQ06) VALUES ('Q', NULL), ('p1', 26), "
                           "('ÅBC', 13), ('P1', NULL), ('åbc', 13)"},
               QStringList{});
        // Numbers about the lengths where comparing with the row before changes its way (a byte
        // at a time, one word, two words overlapping, past two words), beside numbers that differ
        // from them in the last or the first byte only; the rows in pjomr's order (the look-up's
        // guess), in its reverse, in other cases and with numbers pjomr lacks between them.
        QStringList numbers;
        const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ÅÄÖabcdef"
                                               "ghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
        for (const int n : {0, 1, 3, 4, 7, 8, 9, 12, 15, 16, 17, 24, 31, 33, 90}) {
            const QString number = letters.left(n);
            QString last = number, first = number;
            if (n > 0) {
                last[n - 1] = QLatin1Char('#');
                first[0] = QLatin1Char('#');
            }
            numbers << number << last << first.toLower();
        }
        QStringList products, sums, walked;
        int value = 0;
        const auto addRows = [&](const QString &number) {
            ++value;
            sums << QStringLiteral("('%1', %2)").arg(number).arg(value);
            walked << QStringLiteral("('%1', %2, %3)").arg(number).arg(value).arg(value % 7);
        };
        for (qsizetype i = 0; i < numbers.size(); ++i) {
            if (i % 3 != 2) // the lower-case numbers with a first byte changed are no products
                products << QStringLiteral("('%1', 1)").arg(numbers.at(i));
            addRows(numbers.at(i));
            addRows(numbers.at(i));
        }
        for (qsizetype i = numbers.size() - 1; i >= 0; --i) {
            addRows(numbers.at(i).toLower());
            if (i % 4 == 0)
                addRows(numbers.at(i));
        }
        addRow(
            "numbers of every length beside numbers one byte apart",
            QStringList{omr + products.join(", "),
                        "INSERT INTO pjsfakt (sdlitm, sdpqor) VALUES " + sums.join(", "),
                        "INSERT INTO frnhist (ivcitm, IHSQ06, IHSQ07) VALUES " + walked.join(", "),
                        "INSERT INTO DTSPL (\"Fält2\", \"Fält39\", \"Fält18\") VALUES " +
                            walked.join(", ")},
            QStringList{});
        // Rows in another order than pjomr's wait in batches: products in a scattered order,
        // runs of a product's rows (also across a batch's end) whose sum tells any other order
        // of adding, numbers of other case, long and not in pjomr, a refused value and an
        // overflow among them.
        {
            QStringList omrRows, sumRows, stockRows, walkedRows;
            const auto number = [](int p) {
                return p % 6 == 5 ? QStringLiteral("LÅNG-%1-").arg(p).repeated(3)
                                  : QStringLiteral("P%1").arg(p, 2, 10, QLatin1Char('0'));
            };
            for (int p = 0; p < 48; ++p)
                omrRows << QStringLiteral("('%1', 1)").arg(number(p));
            for (int k = 0; k < 240; ++k) {
                const int p = k * 29 % 53; // 48 to 52 are not in pjomr
                const QString n = k % 5 == 0 ? number(p).toLower() : number(p);
                // 0.5 + 1e300 - 1e300 is 0, and 0.5 in any other order
                const QStringList run = k % 7 == 0 ? QStringList{"0.5", "1e300", "-1e300"}
                                                   : QStringList{QStringLiteral("%1.1").arg(k)};
                for (const QString &value : run) {
                    sumRows << QStringLiteral("('%1', %2)").arg(n, value);
                    stockRows << QStringLiteral("('%1', %2)")
                                     .arg(n, p == 8 ? QStringLiteral("9223372036854775807")
                                                    : QString::number(k));
                    walkedRows << QStringLiteral("('%1', %2, %3)")
                                      .arg(n, value,
                                           p == 6 && k > 100 ? QStringLiteral("NULL")
                                                             : QString::number(k % 3));
                }
            }
            sumRows << "('P07', 'abc')"
                    << "('P00', 0.7)";
            walkedRows << "('P05', 'x', 1)"
                       << "('P01', 0.5, 1)";
            addRow("rows in another order than pjomr's, added in batches",
                   QStringList{omr + omrRows.join(", "),
                               "INSERT INTO pjsfakt (sdlitm, sdpqor) VALUES " + sumRows.join(", "),
                               "INSERT INTO pjstk (imlitm, lipqoh) VALUES " + stockRows.join(", "),
                               "INSERT INTO frnhist (ivcitm, IHSQ06, IHSQ07) VALUES " +
                                   walkedRows.join(", "),
                               "INSERT INTO DTSPL (\"Fält2\", \"Fält39\", \"Fält18\") VALUES " +
                                   walkedRows.join(", ")},
                   QStringList{});
        }
        addRow("products absent from every extract, in several cases",
               QStringList{omr + "('ab', 1), ('AB', 2), ('Ab', 1), ('zz', 1)",
                           "INSERT INTO pjsfakt (sdlitm, sdpqor) VALUES ('aB', 26)"},
               QStringList{});
    }

    void scanEqualsFigureQueries() {
        QFETCH(QStringList, sql);
        QFETCH(QStringList, perProduct);
        {
            dao::Database db = dao::Database::OpenDatabase(m_home + QStringLiteral("/local.mdb"));
            for (const QString &statement : sql)
                db.Execute(statement);
        }
        const QString local = m_home + QStringLiteral("/local.mdb");
        const figures::Period period = figures::Period::fromText(QStringLiteral("2010-11-18"));
        lodvik::NoProgress quiet;
        reports::CoverageScan scan(local, period, quiet);
        figures::StockFigures f(local, quiet);
        QStringList asked;
        for (const char *table : {"pjstkfrn", "avail", "PJOFFRAM", "PJOFBACK", "frnhist", "DTSPL",
                                  "pjstk", "PJOTALLA", "pjsfakt", "PJOTBALLA", "pjpvmens"})
            if (!scan.scannedTables().contains(QLatin1String(table)))
                asked << QLatin1String(table);
        QCOMPARE(asked, perProduct);
        dao::Database db = dao::Database::OpenDatabase(local);
        for (dao::Recordset rs = db.OpenRecordset(QStringLiteral("SELECT iblitm, umconv FROM pjomr "
                                                                 "ORDER BY iblitm"));
             !rs.isEOF(); rs.MoveNext()) {
            const QString p = rs.Fields(0).toText();
            const double u = rs.Fields(1).toDouble() * 1000;
            const std::pair<std::function<Variant()>, std::function<Variant()>> pairs[] = {
                {[&] { return scan.stockOnHandFRN(p); }, [&] { return f.frn.StockOnHandFRN(p); }},
                {[&] { return scan.avail(p); }, [&] { return f.frn.avail(p); }},
                {[&] { return scan.stockOnHandDP(p); }, [&] { return f.dp.StockOnHandDP(p); }},
                {[&] { return scan.stockOnHandPJ(p, u); },
                 [&] { return f.pj.StockOnHandPJ(p, u); }},
                {[&] { return scan.prodBackOrderPJ(p, u); },
                 [&] { return f.pj.ProdBackOrderPJ(p, u); }},
                {[&] { return scan.prodBackOrderFRN(p, u); },
                 [&] { return f.frn.ProdBackOrderFRN(Variant::String(p), u); }},
                {[&] { return scan.prodOrderPJ(p, u); }, [&] { return f.pj.ProdOrderPJ(p, u); }},
                {[&] { return scan.prodOrderFRN(p, u); }, [&] { return f.frn.ProdOrderFRN(p, u); }},
                {[&] { return scan.salesPerWeek(p, u); }, [&] { return f.pj.SalesPerWeek(p, u); }},
                {[&] { return scan.salesPerWeekFRN(p); },
                 [&] { return f.frn.SalesPerWeekFRN(p, period); }},
            };
            int figure = 0;
            for (const auto &[fromScan, fromQuery] : pairs) {
                const QString want = outcome(fromQuery);
                QVERIFY2(outcome(fromScan) == want,
                         qPrintable(QStringLiteral("%1, figure %2: %3, the query gives %4")
                                        .arg(p)
                                        .arg(figure)
                                        .arg(outcome(fromScan), want)));
                ++figure;
            }
        }
    }

    // A product without a product number sorts first and ends the list there: the operator is
    // told how many products that leaves out, whatever the format.
    void productWithoutNumberIsReported_data() {
        QTest::addColumn<QStringList>("format");
        addRow("workbook", QStringList{});
        addRow("csv", QStringList{"--format", "csv"});
        addRow("json", QStringList{"--format", "json"});
    }

    void productWithoutNumberIsReported() {
        QFETCH(QStringList, format);
        smallStore();
        {
            dao::Database db = dao::Database::OpenDatabase(m_home + QStringLiteral("/local.mdb"));
            db.Execute(QStringLiteral("UPDATE pjomr SET iblitm = NULL WHERE iblitm = 'P3'"));
        }
        const ProgramRun r =
            runProgram(m_home, QStringList{"coverage", "--period", "2010-11-18"} + format);
        QCOMPARE(r.exitCode, 0);
        const QStringList err = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(!err.isEmpty());
        QVERIFY2(err.last().startsWith(QStringLiteral("4 ")), qPrintable(r.err));
    }

    // Avbryt pressed as the extracts are being read, with rows enough that each thread given
    // some reads its first few thousand before it looks: the run stops with both threads joined,
    // and the old workbook stays as it was, no half file beside it.
    void cancelDuringScansKeepsOldWorkbook_data() {
        QTest::addColumn<QStringList>("sql");
        const QString rows = QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 30000) ");
        // DTSPL and pjsfakt are read by the run's own thread, frnhist and pjstk by the other.
        const QString mine = rows + "INSERT INTO DTSPL (\"Fält2\", \"Fält39\") SELECT 'P' || "
                                    "(i % 50), i FROM n";
        const QString mineToo =
            rows + "INSERT INTO pjsfakt (sdlitm, sdpqor) SELECT 'P' || (i % 50), i FROM n";
        const QString other =
            rows + "INSERT INTO frnhist (ivcitm, IHSQ01) SELECT 'P' || (i % 50), i FROM n";
        const QString otherToo =
            rows + "INSERT INTO pjstk (imlitm, lipqoh) SELECT 'P' || (i % 50), i FROM n";
        addRow("both threads reading", QStringList{mine, mineToo, other, otherToo});
        addRow("only the run's thread reading", QStringList{mine, mineToo});
        addRow("only the other thread reading", QStringList{other, otherToo});
    }

    void cancelDuringScansKeepsOldWorkbook() {
        QFETCH(QStringList, sql);
        {
            dao::Database db = dao::Database::OpenDatabase(m_home + QStringLiteral("/local.mdb"));
            db.Execute(QStringLiteral("INSERT INTO pjomr (iblitm, umconv) VALUES ('P1', 1)"));
            for (const QString &statement : sql)
                db.Execute(statement);
        }
        const QString file = reports::productWorkbookFileName(
            m_home, figures::Period::fromText(QStringLiteral("2010-11-18")));
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the workbook of an earlier run");
        old.close();
        struct CancelOnScan : lodvik::Progress {
            std::atomic<bool> flag{false};
            CancelOnScan() { setCancelFlag(&flag); }
            void show() override {
                if (currentCaption() == QStringLiteral("Läser utdragen"))
                    flag = true;
            }
        } progress;
        const auto threads = [] {
            return QDir(QStringLiteral("/proc/self/task"))
                .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                .size();
        };
        const qsizetype before = threads();
        ProduktTabell table;
        QVERIFY_THROWS_EXCEPTION(lodvik::Cancelled, {
            reports::CoverageRun(m_home + QStringLiteral("/local.mdb"), progress)
                .fill(table, figures::Period::fromText(QStringLiteral("2010-11-18")));
            reports::excellprodukter(table, file, progress);
        });
        QCOMPARE(threads(), before);
        QVERIFY(table.at(1, 1).isEmpty());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("the workbook of an earlier run"));
        QCOMPARE(QDir(m_home + QStringLiteral("/rapporter")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QFileInfo(file).fileName()});
    }

    void overviewListOnCommandLine() {
        smallStore();
        const QString awkward = QStringLiteral("Kartong \"stor\", 2-pack");
        insert("pjomr", {"iblitm", "imdsc1", "umconv"},
               {text("P4"), Variant::String(awkward), num(1)});
        const auto run = [&](const QStringList &extra, QByteArray *out) {
            const ProgramRun r =
                runProgram(m_home, QStringList{"coverage", "--period", "2010-11-18"} + extra);
            *out = r.out.toUtf8();
            return r.exitCode;
        };

        // P1: 4 a week × 4 − 15 in stock = 1; P2 sells nothing; P3: 2 × 4 − 5 = 3, cover 3 < 4.
        QByteArray out;
        QCOMPARE(run({"--format", "csv"}, &out), 0);
        // A header and five rows; the description with quotes and a comma quoted as RFC 4180 says.
        QCOMPARE(out.count("\r\n"), 6);
        QVERIFY2(out.contains("\"Kartong \"\"stor\"\", 2-pack\""), out.constData());
        QVERIFY(out.contains("P1,"));
        QVERIFY(QFileInfo::exists(m_home +
                                  QStringLiteral("/rapporter/Pallvikprodukter2010-11-18.xls")));

        // A target of 10 weeks: P1 40 − 15 = 25, P3 20 − 5 = 15, both under half the target.
        QCOMPARE(run({"--format", "json", "--target", "10"}, &out), 0);
        QJsonParseError parseError;
        const QJsonDocument json = QJsonDocument::fromJson(out, &parseError);
        QVERIFY2(!json.isNull(), qPrintable(parseError.errorString()));
        QCOMPARE(json["period"].toString(), QStringLiteral("2010-11-18"));
        QCOMPARE(json["target_weeks"].toDouble(), 10.0);
        const QJsonArray rows = json["rows"].toArray();
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0]["suggestion"].toDouble(), 25.0);
        QCOMPARE(rows[0]["urgency"].toString(), QStringLiteral("urgent"));
        QVERIFY(rows[1]["suggestion"].isNull());
        QVERIFY(rows[1]["sales_per_week_pj"].isNull());
        QCOMPARE(rows[1]["cover_weeks"].toDouble(), 0.0);
        QCOMPARE(rows[2]["suggestion"].toDouble(), 15.0);
        QCOMPARE(rows[3]["description"].toString(), awkward);

        for (const QStringList &bad :
             {QStringList{"--target", "4"}, QStringList{"--format", "xml"},
              QStringList{"--format", "csv", "--target", "0"}, QStringList{"--format"}}) {
            QCOMPARE(run(bad, &out), 2);
            QVERIFY(out.isEmpty());
        }
    }

    // A list larger than one write to stdout (64 KiB) arrives whole: every row once, in order.
    void largeListOnCommandLine() {
        smallStore();
        {
            dao::Database db = dao::Database::OpenDatabase(m_home + QStringLiteral("/local.mdb"));
            db.Execute(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                "INSERT INTO pjomr (iblitm, imdsc1, umconv) SELECT printf('Q%04d', i), "
                "'Pall ' || i, 1 FROM n"));
        }
        QStringList products{"P1", "P2", "P3", "P5"};
        for (int i = 1; i <= 2000; ++i)
            products << QStringLiteral("Q%1").arg(i, 4, 10, QLatin1Char('0'));
        for (const QString &format : {QStringLiteral("json"), QStringLiteral("csv")}) {
            const ProgramRun r = runProgram(
                m_home, QStringList{"coverage", "--period", "2010-11-18", "--format", format});
            QCOMPARE(r.exitCode, 0);
            const QByteArray out = r.out.toUtf8();
            QVERIFY2(out.size() > 65536, qPrintable(format)); // more than one write
            QStringList listed;
            if (format == QLatin1String("json")) {
                QJsonParseError parseError;
                const QJsonDocument json = QJsonDocument::fromJson(out, &parseError);
                QVERIFY2(!json.isNull(), qPrintable(parseError.errorString()));
                for (const QJsonValue &row : json["rows"].toArray())
                    listed << row["product"].toString();
            } else {
                const QList<QByteArray> lines = out.split('\n');
                QCOMPARE(lines.last(), QByteArray()); // ends with its last row's line break
                const qsizetype column = lines.first().split(',').indexOf("product");
                QVERIFY(column >= 0);
                for (qsizetype i = 1; i + 1 < lines.size(); ++i)
                    listed << QString::fromUtf8(lines[i].split(',').value(column));
            }
            QCOMPARE(listed, products);
        }
    }

    // A description a spreadsheet would run as a formula reaches the CSV as a text; JSON keeps
    // it exact. The CSV is read back with Python's csv module.
    void csvKeepsFormulasText_data() {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("field");
        addRow("formula", QStringLiteral("=cmd|' /C calc'!A0"),
               QStringLiteral("'=cmd|' /C calc'!A0"));
        addRow("plus", QStringLiteral("+1+1"), QStringLiteral("'+1+1"));
        addRow("minus, not a number", QStringLiteral("-2-pack"), QStringLiteral("'-2-pack"));
        addRow("at", QStringLiteral("@SUM(A1)"), QStringLiteral("'@SUM(A1)"));
        addRow("tab", QStringLiteral("\t=1"), QStringLiteral("'\t=1"));
        addRow("carriage return", QStringLiteral("\r=1"), QStringLiteral("'\r=1"));
        addRow("negative number", QStringLiteral("-12"), QStringLiteral("-12"));
        addRow("formula sign inside", QStringLiteral("Pall = 2"), QStringLiteral("Pall = 2"));
    }
    void csvKeepsFormulasText() {
        QFETCH(QString, description);
        QFETCH(QString, field);
        insert("pjomr", {"iblitm", "imdsc1", "umconv"},
               {text("P1"), Variant::String(description), num(1)});
        const QStringList args{"coverage", "--period", "2010-11-18", "--format"};
        const ProgramRun csv = runProgram(m_home, args + QStringList{"csv"});
        QCOMPARE(csv.exitCode, 0);
        QProcess reader;
        reader.start(QStringLiteral("python3"),
                     {"-c", "import csv, io, sys; rows = list(csv.DictReader(io.StringIO("
                            "sys.stdin.read(), newline=''))); print(rows[0]['description'], "
                            "end='')"});
        reader.write(csv.out.toUtf8());
        reader.closeWriteChannel();
        QVERIFY(reader.waitForFinished());
        QCOMPARE(QString::fromUtf8(reader.readAllStandardOutput()), field);
        const ProgramRun json = runProgram(m_home, args + QStringList{"json"});
        QCOMPARE(QJsonDocument::fromJson(json.out.toUtf8())["rows"][0]["description"].toString(),
                 description);
    }

    // The writers' own texts of numbers and texts equal Qt's general ones: QString::number for
    // CSV, QJsonDocument for JSON, csvField for a CSV field.
    void listNumberTexts_data() {
        QTest::addColumn<double>("number");
        const double inf = std::numeric_limits<double>::infinity();
        addRow("zero", 0.0);
        addRow("negative zero", -0.0);
        addRow("negative", -7.0);
        addRow("half", 0.5);
        addRow("third", 1.0 / 3);
        addRow("negative fraction", -123456.789);
        addRow("small", 1e-5);
        addRow("ten thousandth", 1e-4);
        addRow("largest below 1e15", 1e15 - 1);
        addRow("1e15", 1e15);
        addRow("-1e15", -1e15);
        addRow("1e15 and a half", 1e15 + 0.5);
        addRow("2^53", 9007199254740992.0);
        addRow("2^53 + 2", 9007199254740994.0);
        addRow("1e16", 1e16);
        addRow("above 2^62", 4611686018427387904.0);
        addRow("beyond qint64", 9.3e18);
        addRow("1e300", 1e300);
        addRow("largest", std::numeric_limits<double>::max());
        addRow("denormal", std::numeric_limits<double>::denorm_min());
        addRow("15 digits, rounding up", 0.1234567890123456);
        addRow("tie at the 16th digit", 568271178161066.5);
        addRow("tie rounding up to even", 568271178161067.5);
        addRow("negative tie", -0.0001220703125);
        addRow("infinity", inf);
        addRow("minus infinity", -inf);
        addRow("not a number", std::numeric_limits<double>::quiet_NaN());
        // 15 digits would give another number: a CSV would disagree with the workbook.
        addRow("2^52, 16 digits", 4503599627370496.0);
        addRow("20 digits", 12345678901234567890.0);
        addRow("0.1 + 0.2", 0.1 + 0.2);
        addRow("17 digits, negative", -0.12345678901234568);
    }
    void listNumberTexts() {
        QFETCH(double, number);
        QByteArray plain;
        reports::appendPlainNumber(plain, number);
        QCOMPARE(plain, reports::plainNumber(number).toUtf8());
        readsBack(plain, number);
        QByteArray json;
        reports::appendJsonNumber(json, number);
        QCOMPARE(json, compactMember(number));
    }

    // Random numbers of every size, whole and not, as the list's cells and rules give them.
    void listNumberTextsRandom() {
        QRandomGenerator random(17);
        for (int i = 0; i < 200000; ++i) {
            const double scale = std::pow(10.0, random.bounded(-6, 20));
            double d = (random.generateDouble() - 0.3) * scale;
            if (i % 3 == 0)
                d = std::round(d);
            QByteArray plain, json;
            reports::appendPlainNumber(plain, d);
            reports::appendJsonNumber(json, d);
            if (plain != reports::plainNumber(d).toUtf8() || json != compactMember(d) ||
                readNumber(plain) != d)
                QFAIL(qPrintable(QStringLiteral("%1: %2 %3")
                                     .arg(d, 0, 'g', 17)
                                     .arg(QString::fromUtf8(plain), QString::fromUtf8(json))));
        }
    }

    // A C-locale number, whatever the test's locale.
    static double readNumber(const QByteArray &text) {
        double d = 0;
        std::from_chars(text.constData(), text.constData() + text.size(), d);
        return d;
    }

    // The CSV's number is the workbook's: it reads back as the same double, and a number that
    // 15 digits keep is written with them, as before.
    static void readsBack(const QByteArray &plain, double number) {
        if (!std::isfinite(number))
            return;
        QCOMPARE(readNumber(plain), number);
        const QString digits15 = QString::number(number, 'g', 15);
        if (digits15.toDouble() == number)
            QCOMPARE(plain, digits15.toUtf8());
    }

    void listTexts_data() {
        QTest::addColumn<QString>("text");
        addRow("empty", QString());
        addRow("plain", QStringLiteral("10-0010 EUR-PALL"));
        addRow("Swedish", QStringLiteral("PALL TRÄ åäö"));
        addRow("quote", QStringLiteral("24\" skruv"));
        addRow("backslash", QStringLiteral("C:\\temp"));
        addRow("control characters", QStringLiteral("a\x01\x1f\b\f\tb"));
        addRow("line breaks", QStringLiteral("a\r\nb\n"));
        addRow("delete", QStringLiteral("a\x7f"));
        addRow("comma", QStringLiteral("a,b"));
        addRow("formula", QStringLiteral("=1+2"));
        addRow("negative number", QStringLiteral("-12"));
        addRow("minus, not a number", QStringLiteral("-2-pack"));
        addRow("at", QStringLiteral("@SUM(A1)"));
        addRow("tab first", QStringLiteral("\t=1"));
        addRow("tab inside", QStringLiteral("a\tb"));
        addRow("outside the BMP", QString::fromUtf8("pall \xF0\x9F\x93\xA6"));
        addRow("lone high surrogate", QString(QChar(0xD83D)) + QStringLiteral("x"));
        addRow("lone low surrogate", QStringLiteral("x") + QChar(0xDC00));
        addRow("non-ASCII and quote", QStringLiteral("Ö\"Ä,"));
        addRow("noncharacters", QString(QChar(0xFFFE)) + QChar(0xFFFF) + QChar(0xFDD0));
        addRow("NUL", QString(QChar(0)) + QStringLiteral("x"));
    }
    void listTexts() {
        QFETCH(QString, text);
        QByteArray json;
        reports::appendJsonString(json, text);
        QCOMPARE(json, compactMember(text));
        QByteArray csv;
        reports::appendCsvField(csv, text);
        QCOMPARE(csv, reports::csvField(text).toUtf8());
    }

    // Whole rows: the JSON as QJsonDocument writes the row's object (its members sorted, null
    // for none, indented two levels in) and the CSV as the fields joined.
    void listRowsAsQtWrites_data() {
        QTest::addColumn<reports::CoverageRow>("row");
        reports::CoverageRow plain;
        plain.product = QStringLiteral("10-0010");
        plain.description = QStringLiteral("PALL TRÄ");
        plain.stockFrn = 153578;
        plain.stockTotal = -0.0;
        plain.coverWeeks = 2.5;
        plain.salesPj = 17;
        plain.orderPj = 1e15;
        plain.backOrderPj = -3;
        addRow("plain", plain);
        addRow("no cells", reports::CoverageRow{});
        reports::CoverageRow awkward = plain;
        awkward.product = QStringLiteral("-5");
        awkward.description = QStringLiteral("\"=x\"\\\n\x02 ü");
        awkward.salesPj = 1.0 / 3;
        awkward.stockDp = 9.3e18;
        awkward.rule = {1.5, 0.25, 2, 12, 24, QStringLiteral("Lev, AB"), QStringLiteral("@grp")};
        awkward.mark = PlanningMark{PlanningMark::Kind::Ordered, QDate(2026, 3, 1), 2.5};
        addRow("awkward", awkward);
        reports::CoverageRow discontinued = plain;
        discontinued.coverWeeks = std::nullopt;
        discontinued.mark = PlanningMark{PlanningMark::Kind::Discontinued, {}, 0};
        discontinued.rule.multiple = qint64(1) << 60;
        addRow("discontinued", discontinued);
    }
    void listRowsAsQtWrites() {
        QFETCH(reports::CoverageRow, row);
        const figures::Period period = figures::Period::fromText(QStringLiteral("2026-03-15"));
        const double target = 3;
        const QDate today = QDate::currentDate();
        QJsonObject object;
        QStringList fields;
        for (int c = 0; c < reports::ListColumnCount; ++c) {
            const auto column = reports::ListColumn(c);
            const QString key = QLatin1String(reports::listColumnInfo(column).key);
            const reports::ListCell cell = reports::listCell(row, column, target);
            if (column == reports::ListColumn::Status) {
                const QString urgency = reports::urgencyKey(reports::urgency(row, target));
                object.insert(key, urgency);
                fields << urgency;
            } else if (cell.kind == reports::ListCell::Kind::Number) {
                object.insert(key, cell.number);
                fields << reports::plainNumber(cell.number);
            } else {
                const bool text = column == reports::ListColumn::Product ||
                                  column == reports::ListColumn::Description;
                object.insert(key, text ? QJsonValue(cell.text) : QJsonValue());
                fields << reports::csvField(cell.text);
            }
        }
        reports::addPlanningMembers(object, row, period.date(), target, today);
        for (const QString &field : reports::planningCsvFields(row, period.date(), target, today))
            fields << reports::csvField(field);
        QJsonObject document{{QStringLiteral("period"), period.text()},
                             {QStringLiteral("target_weeks"), target},
                             {QStringLiteral("rows"), QJsonArray{object}}};
        QCOMPARE(reports::coverageJson({&row}, period, target),
                 QJsonDocument(document).toJson(QJsonDocument::Indented));
        document[QStringLiteral("rows")] = QJsonArray();
        document[QStringLiteral("target_weeks")] = 2.5;
        QCOMPARE(reports::coverageJson({}, period, 2.5),
                 QJsonDocument(document).toJson(QJsonDocument::Indented));
        const QByteArray csv = reports::coverageCsv({&row}, period, target);
        QCOMPARE(csv.mid(csv.indexOf('\n') + 1),
                 (fields.join(',') + QStringLiteral("\r\n")).toUtf8());
    }

    // The planning columns' dates as QDate writes them, in any year a cover reaches.
    void planningDates_data() {
        QTest::addColumn<QDate>("period");
        QTest::addColumn<double>("coverWeeks");
        addRow("same day", QDate(2026, 3, 15), 0.0);
        addRow("a part of a day", QDate(2026, 3, 15), 0.01);
        addRow("year 1", QDate(1, 1, 1), 1.0);
        addRow("before year 1", QDate(-1, 12, 1), 1.0);
        addRow("year 9999", QDate(9999, 12, 1), 2.0);
        addRow("past year 9999", QDate(2026, 3, 15), 500000.0);
        // 256 days after a date written before: the list keeps the texts it made by day.
        addRow("256 days on", QDate(2026, 3, 15), 256.0 / 7);
    }
    void planningDates() {
        QFETCH(QDate, period);
        QFETCH(double, coverWeeks);
        reports::CoverageRow row;
        row.salesPj = 1;
        row.coverWeeks = coverWeeks;
        row.mark = PlanningMark{PlanningMark::Kind::Ordered, period, 1};
        const QStringList fields = reports::planningCsvFields(row, period, 4, period);
        const QStringList keys = reports::planningKeys();
        QCOMPARE(fields[keys.indexOf(QStringLiteral("stockout_date"))],
                 reports::stockoutDate(row, period)->toString(Qt::ISODate));
        QCOMPARE(fields[keys.indexOf(QStringLiteral("ordered_on"))], period.toString(Qt::ISODate));
    }

    // sokdata.db's rules and marks read through SQLite give what the store reads through Qt's
    // driver, on values the typed columns may still hold.
    void planningFileReadAsTheStore_data() {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("mark");
        addRow("plain", "'P1', 1.5, 0.25, 2, 12, 24, 'Lev AB', 'Pall'",
               "'2026-03-15', 'P1', 'ordered', '2026-03-01', 2.5");
        addRow("non-ASCII and empty texts", "'Å-1', 0, 0, 0, 1, 0, 'Åhlén', ''",
               "'2026-03-15', 'Å-1', 'discontinued', NULL, NULL");
        addRow("texts in number columns", "'P2', 'abc', '2,5', ' 3 ', 'x', '7', 's', 'g'",
               "'2026-03-15', 'P2', 'ordered', 'no date', 'many'");
        addRow("fractions in whole-number columns", "'P3', 1, 1, 1, 2.5, -3.7, 's', 'g'",
               "'2026-03-15', 'P3', 'other', 20260301, 3");
        addRow("large numbers",
               "'P4', 1e308, -0.0, 9007199254740993, 9223372036854775807, "
               "9.3e18, 's', 'g'",
               "'2026-03-15', 'P4', 'ordered', '9999-12-31', 1e300");
        addRow("blobs", "X'50', 1, 1, 1, 1, 1, X'414243', X''",
               "'2026-03-15', X'50', X'6f726465726564', X'32', X'33'");
        addRow("another period's mark", "'P5', 1, 1, 1, 1, 1, 's', 'g'",
               "'2026-03-16', 'P5', 'ordered', '2026-03-01', 1");
    }
    void planningFileReadAsTheStore() {
        QFETCH(QString, rule);
        QFETCH(QString, mark);
        const QString file = m_home + QStringLiteral("/sokdata.db");
        const std::unique_ptr<PlanningStore> store = openPlanningStore(m_home);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "awkward");
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY2(q.exec(QStringLiteral("INSERT INTO planning_rule VALUES (%1)").arg(rule)),
                     qPrintable(q.lastError().text()));
            QVERIFY2(q.exec(QStringLiteral("INSERT INTO planning_mark VALUES (%1)").arg(mark)),
                     qPrintable(q.lastError().text()));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("awkward"));
        const QString period = QStringLiteral("2026-03-15");
        const auto read = readPlanningFile(file, period);
        QVERIFY(read);
        QVERIFY(read->first == store->rules());
        const PlanningMarks marks = store->marks(period);
        QCOMPARE(read->second.size(), marks.size());
        for (const auto &[product, m] : marks) {
            QVERIFY(read->second.count(product));
            const PlanningMark &r = read->second.at(product);
            QCOMPARE(int(r.kind), int(m.kind));
            QCOMPARE(r.orderedOn, m.orderedOn);
            QCOMPARE(std::bit_cast<quint64>(r.orderedPacks),
                     std::bit_cast<quint64>(m.orderedPacks));
        }
        for (const auto &[product, r] : store->rules())
            QCOMPARE(std::bit_cast<quint64>(read->first.at(product).leadTimeWeeks),
                     std::bit_cast<quint64>(r.leadTimeWeeks));
    }

    // A store another program is writing is refused in the operator's words, SQLite's own after
    // "Detaljer:", and keeps what it held.
    void planningStoreLocked_data() {
        QTest::addColumn<QString>("write");
        addRow("a mark", "mark");
        addRow("the rules", "rules");
    }
    void planningStoreLocked() {
        QFETCH(QString, write);
        const std::unique_ptr<PlanningStore> store = openPlanningStore(m_home);
        store->setMark(QStringLiteral("2010-11-18"), QStringLiteral("P1"),
                       PlanningMark{PlanningMark::Kind::Discontinued, {}, 0});
        QString message;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "locker");
            db.setDatabaseName(m_home + QStringLiteral("/sokdata.db"));
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE")));
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("DELETE FROM planning_mark")));
            try {
                if (write == QLatin1String("mark"))
                    store->setMark(QStringLiteral("2010-11-18"), QStringLiteral("P2"),
                                   PlanningMark{PlanningMark::Kind::Discontinued, {}, 0});
                else
                    store->replaceRules({{QStringLiteral("P1"), PlanningRule{}}});
            } catch (const lodvik::Error &e) {
                message = e.message();
            }
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("ROLLBACK")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
        QVERIFY2(message.contains(QStringLiteral("låst av ett annat program")) &&
                     message.contains(QStringLiteral("\nDetaljer: SQLite-fel 5")),
                 qPrintable(message));
        QCOMPARE(store->marks(QStringLiteral("2010-11-18")).size(), size_t(1));
        QVERIFY(store->rules().empty());
    }

    // A planning table that is missing and cannot be made is named in Swedish, with what to do
    // on a server, and SQLite's own words only after "Detaljer:".
    void planningTableThatCannotBeMade() {
        openPlanningStore(m_home);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "blocker");
            db.setDatabaseName(m_home + QStringLiteral("/sokdata.db"));
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("DROP TABLE planning_mark")));
            // An index of the table's name: no table to read, and none can be made.
            QVERIFY(QSqlQuery(db).exec(
                QStringLiteral("CREATE INDEX planning_mark ON planning_rule (product)")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("blocker"));
        QString message;
        try {
            openPlanningStore(m_home);
        } catch (const lodvik::Error &e) {
            message = e.message();
        }
        const qsizetype details = message.indexOf(QStringLiteral("\nDetaljer: "));
        QVERIFY2(message.startsWith(QStringLiteral("Tabellen planning_mark saknas i ")) &&
                     message.contains(QStringLiteral("server/sokdata-postgresql.sql")) &&
                     details > 0 && message.indexOf(QStringLiteral("already")) > details,
                 qPrintable(message));
    }

    // A sokdata.db the search source would still add to is left to the store, which adds it.
    void planningFileWithoutTheSearchTables() {
        const QString file = m_home + QStringLiteral("/sokdata.db");
        openPlanningStore(m_home);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "drop");
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("DROP TABLE LagerA")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("drop"));
        QVERIFY(!readPlanningFile(file, QStringLiteral("2026-03-15")));
        openPlanningStore(m_home);
        QVERIFY(readPlanningFile(file, QStringLiteral("2026-03-15")));
        QVERIFY(!readPlanningFile(m_home + QStringLiteral("/local.mdb"), QString()));
    }

    // The list's row of a table row holds the cells the coverage workbook holds: each number
    // column as the sheet stores the value, and the totals as the sheet computes them.
    void rowMakerEqualsTheSheet_data() {
        QTest::addColumn<QList<int>>("kinds"); // by column C to R, indexes into awkwardCells()
        const int n = int(awkwardCells().size());
        for (int k = 0; k < n; ++k)
            QTest::addRow("all %d", k) << QList<int>(16, k);
        for (int shift = 0; shift < n; ++shift) {
            QList<int> kinds;
            for (int c = 0; c < 16; ++c)
                kinds << (c * 5 + shift) % n;
            QTest::addRow("mixed %d", shift) << kinds;
        }
    }
    void rowMakerEqualsTheSheet() {
        QFETCH(QList<int>, kinds);
        ProduktTabell::Row cells;
        cells[1] = Variant::String(QStringLiteral("P1"));
        cells[2] = Variant::String(QStringLiteral("Pall"));
        for (int c = 3; c <= 18; ++c)
            cells[size_t(c)] = awkwardCells()[size_t(kinds[c - 3])];
        xls::Worksheet sheet;
        for (const reports::CoverageColumn &c : reports::coverageColumns()) {
            if (c.kind == reports::CoverageColumn::Kind::Sum)
                sheet.setRange(QString(QLatin1Char(c.letter)) + '1',
                               Variant::String(reports::sumFormula(c, 1)));
            else if (c.number)
                try {
                    sheet.setCell(1, c.column(), cells[size_t(c.column())]);
                } catch (const lodvik::Error &) {
                }
        }
        reports::CoverageRowMaker make;
        ProduktTabell::Row before; // leaves nothing behind
        before.fill(Variant::String(QStringLiteral("5")));
        make(before, 6);
        const reports::CoverageRow row = make(cells, 7);
        QCOMPARE(row.tableRow, 7);
        QCOMPARE(row.product, QStringLiteral("P1"));
        int numbers = 0;
        for (const reports::CoverageColumn &c : reports::coverageColumns()) {
            if (!c.number)
                continue;
            ++numbers;
            std::optional<double> expected;
            if (c.kind == reports::CoverageColumn::Kind::Sum) {
                const xls::Operand v = sheet.value(1, c.column());
                if (v.kind == xls::Operand::Kind::Number)
                    expected = v.number;
            } else if (const xls::Worksheet::Cell *cell = sheet.cell(1, c.column());
                       cell && (cell->kind == xls::Worksheet::Cell::Kind::Number ||
                                cell->kind == xls::Worksheet::Cell::Kind::Boolean)) {
                expected = cell->number;
            }
            const std::optional<double> got = row.*c.number;
            QVERIFY2(
                got.has_value() == expected.has_value() &&
                    (!got || std::bit_cast<quint64>(*got) == std::bit_cast<quint64>(*expected)),
                qPrintable(QStringLiteral("column %1").arg(QLatin1Char(c.letter))));
        }
        QCOMPARE(numbers, 14);
    }

    // P1 of the small store: 4 a week, 15 in stock, nothing on the way; target 4 weeks.
    void suggestionFollowsTheRule_data() {
        QTest::addColumn<PlanningRule>("rule");
        QTest::addColumn<std::optional<PlanningMark>>("mark");
        QTest::addColumn<double>("onTheWay"); // L
        QTest::addColumn<int>("suggestion");  // -1: none
        const auto rule = [](double lead, double safetyWeeks, double safetyPacks, qint64 multiple,
                             qint64 minimum) {
            return PlanningRule{lead, safetyWeeks, safetyPacks, multiple, minimum, {}, {}};
        };
        const std::optional<PlanningMark> none;
        addRow("default rule: 4 × 4 − 15", PlanningRule{}, none, 0.0, 1);
        addRow("lead time 2: 4 × 6 − 15", rule(2, 0, 0, 1, 0), none, 0.0, 9);
        addRow("half a week's lead time", rule(0.5, 0, 0, 1, 0), none, 0.0, 3);
        addRow("safety weeks 1: 4 × 5 − 15", rule(0, 1, 0, 1, 0), none, 0.0, 5);
        addRow("safety packs 3: 16 + 3 − 15", rule(0, 0, 3, 1, 0), none, 0.0, 4);
        addRow("multiple 6 rounds 1 up", rule(0, 0, 0, 6, 0), none, 0.0, 6);
        addRow("multiple already met", rule(2, 0, 0, 3, 0), none, 0.0, 9);
        addRow("minimum 10 raises 1", rule(0, 0, 0, 1, 10), none, 0.0, 10);
        addRow("minimum below the multiple", rule(0, 0, 0, 6, 5), none, 0.0, 6);
        addRow("minimum above the multiple", rule(0, 0, 0, 6, 10), none, 0.0, 10);
        // 4 × 7 + 2 − 15 − 20 on the way < 0: no minimum without a need.
        addRow("no need, no minimum", rule(2, 1, 2, 5, 10), none, 20.0, -1);
        addRow("everything: 4 × 7 + 2 − 15 − 3 = 12 → 15 → 20", rule(2, 1, 2, 5, 20), none, 3.0,
               20);
        addRow("supplier and group change nothing",
               PlanningRule{0, 0, 0, 1, 0, QStringLiteral("S"), QStringLiteral("G")}, none, 0.0, 1);
        addRow("discontinued", rule(2, 0, 0, 1, 0),
               std::optional(PlanningMark{PlanningMark::Kind::Discontinued, {}, 0}), 0.0, -1);
        addRow("ordered keeps its suggestion", rule(2, 0, 0, 1, 0),
               std::optional(PlanningMark{PlanningMark::Kind::Ordered, QDate(2010, 11, 18), 9}),
               0.0, 9);
    }

    void suggestionFollowsTheRule() {
        QFETCH(PlanningRule, rule);
        QFETCH(std::optional<PlanningMark>, mark);
        QFETCH(double, onTheWay);
        QFETCH(int, suggestion);
        ProduktTabell table;
        table.at(1, 1) = text("P1");
        table.at(1, 4) = text("10");
        table.at(1, 5) = text("5");
        table.at(1, 8) = text("4");
        table.at(1, 12) = num(onTheWay);
        table.at(1, 15) = text("4");
        std::vector<reports::CoverageRow> rows = reports::coverageRows(table);
        PlanningMarks marks;
        if (mark)
            marks[QStringLiteral("P1")] = *mark;
        reports::applyPlanning(rows, {{QStringLiteral("P1"), rule}}, marks);
        const std::optional<qint64> packs = reports::reorderSuggestion(rows[0], 4);
        QCOMPARE(packs.has_value() ? int(*packs) : -1, suggestion);
        // The drill-down ends on the same figure.
        const QString explained = reports::suggestionExplanation(rows[0], 4);
        QVERIFY2(packs ? explained.endsWith(QStringLiteral("förslag %1 förp.").arg(*packs))
                       : explained.contains(QStringLiteral("inget förslag")),
                 qPrintable(explained));
    }

    // The saved list's workbook ends with the total to order, as the window shows it.
    void listWorkbookHasTheTotal() {
        ProduktTabell table;
        for (int r = 1; r <= 3; ++r) {
            table.at(r, 1) = text(QStringLiteral("P%1").arg(r).toUtf8().constData());
            table.at(r, 4) = num(r * 10);
            table.at(r, 15) = num(10); // 40 − 10, 40 − 20, 40 − 30
        }
        const std::vector<reports::CoverageRow> rows = reports::coverageRows(table);
        const QString file = m_home + QStringLiteral("/lista.xls");
        reports::saveCoverageListWorkbook(reports::allRows(rows),
                                          figures::Period::fromText(QStringLiteral("2010-11-18")),
                                          4, file);
        QString error;
        const QJsonObject dump = readback::xlrdDump(file, &error);
        QVERIFY2(!dump.isEmpty(), qPrintable(error));
        const QJsonObject cells = readback::cellsByPosition(dump);
        // Heading on row 3, products on 4 to 6, a blank row, the total on row 8.
        QCOMPARE(cells.value("8,16").toObject().value("value").toString(),
                 QStringLiteral("Att beställa"));
        QCOMPARE(cells.value("8,17").toObject().value("value").toDouble(), 60.0);
    }

    // After the list's columns the window's planning columns, the urgency against the day given.
    void listWorkbookHasThePlanningColumns() {
        ProduktTabell table;
        table.at(1, 1) = text("P1");
        table.at(1, 8) = text("5");  // weeks of cover
        table.at(1, 15) = text("4"); // weekly sales
        table.at(2, 1) = text("P2"); // no sales: no dates, no urgency
        std::vector<reports::CoverageRow> rows = reports::coverageRows(table);
        PlanningMark ordered;
        ordered.orderedOn = QDate(2010, 11, 19);
        ordered.orderedPacks = 1500;
        PlanningMark discontinued;
        discontinued.kind = PlanningMark::Kind::Discontinued;
        reports::applyPlanning(
            rows,
            {{QStringLiteral("P1"),
              {2, 0, 0, 1, 0, QStringLiteral("Acme"), QStringLiteral("=Pall")}}},
            {{QStringLiteral("P1"), ordered}, {QStringLiteral("P2"), discontinued}});
        const QString file = m_home + QStringLiteral("/planering.xls");
        reports::saveCoverageListWorkbook(reports::allRows(rows),
                                          figures::Period::fromText(QStringLiteral("2010-11-18")),
                                          4, file, QDate(2010, 11, 25));
        QString error;
        const QJsonObject dump = readback::xlrdDump(file, &error);
        QVERIFY2(!dump.isEmpty(), qPrintable(error));
        const QJsonObject cells = readback::cellsByPosition(dump);
        const auto at = [&](int row, int column) {
            return cells.value(QStringLiteral("%1,%2").arg(row).arg(column)).toObject();
        };
        // Columns 18 to 23 (R to W): headings on row 3, P1 on row 4, P2 on row 5.
        const QStringList headings{"Beställning", "Slut",      "Beställ senast",
                                   "Leverantör",  "Varugrupp", "Markering"};
        // 5 weeks from 2010-11-18, less 2 weeks' lead time: ordered by 2010-12-09, before the
        // period + the target (2010-12-16), after today.
        const QStringList p1{"beställ inom målet",
                             "2010-12-23",
                             "2010-12-09",
                             "Acme",
                             " =Pall",
                             QStringLiteral("beställd 2010-11-19, 1\u00a0500 förp.")};
        for (int c = 0; c < 6; ++c) {
            QCOMPARE(at(3, 18 + c).value("value").toString(), headings[c]);
            QCOMPARE(at(4, 18 + c).value("value").toString(), p1[c]);
            const QString p2 = c == 5 ? QStringLiteral("utgått") : QString();
            QCOMPARE(at(5, 18 + c).value("value").toString(), p2);
        }
        QVERIFY(at(3, 24).isEmpty());
    }

    // A description from the extract that a spreadsheet would run as a formula stays a text.
    void proposalTextsAreInert_data() {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QByteArray>("line");
        addRow("=", QStringLiteral("=HYPERLINK(\"x\")"),
               QByteArray("\r\n'@Acme;P1;\"'=HYPERLINK(\"\"x\"\")\";;8;"));
        addRow("- before a formula", QStringLiteral("-A1+B1"),
               QByteArray("\r\n'@Acme;P1;'-A1+B1;;8;"));
        addRow("- of a number", QStringLiteral("-12"), QByteArray("\r\n'@Acme;P1;-12;;8;"));
        addRow("- of a decimal comma", QStringLiteral("-1,5"),
               QByteArray("\r\n'@Acme;P1;-1,5;;8;"));
    }

    void proposalTextsAreInert() {
        QFETCH(QString, description);
        QFETCH(QByteArray, line);
        ProduktTabell table;
        table.at(1, 1) = text("P1");
        table.at(1, 2) = Variant::String(description);
        table.at(1, 15) = num(2);
        std::vector<reports::CoverageRow> rows = reports::coverageRows(table);
        rows[0].rule.supplier = QStringLiteral("@Acme");
        const QByteArray csv =
            reports::proposalCsv(reports::proposalLines(reports::allRows(rows), 4), QDate());
        QVERIFY2(csv.contains(line), csv.constData());
    }

    // pjomr listing a product twice, or in another case, does not order it twice.
    void proposalTakesAProductOnce() {
        ProduktTabell table;
        for (int r = 1; r <= 4; ++r) {
            table.at(r, 1) = text(r == 3 ? "åb-1" : r == 4 ? "P2" : "ÅB-1");
            table.at(r, 15) = num(2);
        }
        std::vector<reports::CoverageRow> rows = reports::coverageRows(table);
        const auto lines = reports::proposalLines(reports::allRows(rows), 4);
        QCOMPARE(lines.size(), size_t(2)); // P2, then Å after Z
        QCOMPARE(lines[0].row->product, QStringLiteral("P2"));
        QCOMPARE(lines[1].row, &rows[0]);
        // The totals to order count it once too: 2 × 4 weeks for ÅB-1 and for P2.
        const reports::OrderTotal total = reports::orderTotal(reports::allRows(rows), 4);
        QCOMPARE(total.packs, qint64(16));
        QCOMPARE(total.products, 2);
    }

    void stockoutAndOrderBy_data() {
        QTest::addColumn<Variant>("cover"); // H
        QTest::addColumn<Variant>("sales"); // O
        QTest::addColumn<double>("leadTime");
        QTest::addColumn<QString>("stockout");
        QTest::addColumn<QString>("orderBy");
        QTest::addColumn<int>("urgency");
        using U = reports::OrderUrgency;
        // Period 2010-11-18, target 4 weeks (to 2010-12-16), today 2010-11-25.
        addRow("5 weeks, no lead time", text("5"), text("4"), 0.0, QString("2010-12-23"),
               QString("2010-12-23"), int(U::Enough));
        addRow("5 weeks, 2 weeks' lead time", text("5"), text("4"), 2.0, QString("2010-12-23"),
               QString("2010-12-09"), int(U::WithinTarget));
        addRow("a part of a day counts as a day", text("5"), text("4"), 1.5, QString("2010-12-23"),
               QString("2010-12-12"), int(U::WithinTarget));
        addRow("order by today", text("2"), text("4"), 0.0, QString("2010-12-02"),
               QString("2010-12-02"), int(U::OrderNow));
        addRow("order by tomorrow", text("3"), text("4"), 6.0 / 7, QString("2010-12-09"),
               QString("2010-12-03"), int(U::WithinTarget));
        addRow("order by a past day", text("2"), text("4"), 1.0, QString("2010-12-02"),
               QString("2010-11-25"), int(U::OrderNow));
        addRow("cover 0 runs out on the period's date", text("0"), text("4"), 1.0,
               QString("2010-11-18"), QString("2010-11-11"), int(U::OrderNow));
        addRow("empty cover with sales", text(""), text("4"), 0.0, QString("2010-11-18"),
               QString("2010-11-18"), int(U::OrderNow));
        addRow("negative cover", text("-3"), text("4"), 0.0, QString("2010-11-18"),
               QString("2010-11-18"), int(U::OrderNow));
        addRow("no sales", Variant::Integer(0), text(""), 1.0, QString(), QString(), int(U::None));
        // Stock against a trace of sales: a date past year 9999 is written as none, and no
        // order is due; past any date a day count holds, the same.
        addRow("cover of a million years", num(52e6), text("4"), 1.0, QString(), QString(),
               int(U::Enough));
        addRow("cover past any date", num(1e300), text("4"), 1.0, QString(), QString(),
               int(U::Enough));
        addRow("lead time past any date", text("5"), text("4"), 1e300, QString("2010-12-23"),
               QString(), int(U::OrderNow));
    }

    void stockoutAndOrderBy() {
        QFETCH(Variant, cover);
        QFETCH(Variant, sales);
        QFETCH(double, leadTime);
        QFETCH(QString, stockout);
        QFETCH(QString, orderBy);
        QFETCH(int, urgency);
        ProduktTabell table;
        table.at(1, 1) = text("P1");
        table.at(1, 8) = cover;
        table.at(1, 15) = sales;
        std::vector<reports::CoverageRow> rows = reports::coverageRows(table);
        rows[0].rule.leadTimeWeeks = leadTime;
        const QDate period(2010, 11, 18);
        const auto iso = [](const std::optional<QDate> &d) {
            return d ? d->toString(Qt::ISODate) : QString();
        };
        QCOMPARE(iso(reports::stockoutDate(rows[0], period)), stockout);
        QCOMPARE(iso(reports::orderByDate(rows[0], period)), orderBy);
        QCOMPARE(int(reports::orderUrgency(rows[0], period, 4, QDate(2010, 12, 2))), urgency);
        // The lists write the same dates, and none where there is none (null in JSON).
        const auto cells = reports::planningCells(rows[0], period, 4, QDate(2010, 12, 2));
        const QStringList keys = reports::planningKeys();
        for (const auto &[key, date] :
             {std::pair{"stockout_date", stockout}, {"order_by", orderBy}}) {
            const reports::ListCell &cell = cells[size_t(keys.indexOf(QLatin1String(key)))];
            QCOMPARE(int(cell.kind), int(date.isEmpty() ? reports::ListCell::Kind::Empty
                                                        : reports::ListCell::Kind::Text));
            QCOMPARE(cell.text, date);
        }
    }

    void rulesCsv_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("errors"); // each a part of one message, in order
        QTest::addColumn<int>("rules");
        const QByteArray header =
            "product;lead_time_weeks;safety_weeks;safety_packs;multiple;minimum;supplier;group\n";
        addRow("semicolons, decimal comma, BOM",
               QByteArray("\xEF\xBB\xBF") + header + "A1;1,5;0,5;2;6;12;Acme AB;Pall\n",
               QStringList(), 1);
        addRow("commas, decimal point, no header", QByteArray("A1,1.5,0.5,2,6,12,Acme AB,Pall\n"),
               QStringList(), 1);
        addRow("quoted supplier, short line, blank lines",
               QByteArray("A1;1;;;;;\"Bolaget; \"\"Öst\"\"\";G\r\n\r\nA2;2\r\n"), QStringList(), 2);
        // A product number or name with blanks at an end reads back as it was saved.
        addRow("blanks and a tab at the ends of quoted fields",
               QByteArray("\"A1 \";1;;;;;\"  Acme  \";\"\tPall\"\n"), QStringList(), 1);
        addRow("a line break in a quoted field, lines counted past it",
               QByteArray("A1;1;;;;;\"Acme\r\nNorr\";G\nA2;1;;;;;S;G;x\n"),
               QStringList{"Rad 3: 9 kolumner"}, 0);
        addRow("each bad line and column",
               header + "A1;x;;;;\nA2;;;;0;\nA3;;-1;;;2,5\n;1\nA4;1;1;1;1;1;S;G;extra\n",
               QStringList{"Rad 2, kolumn lead_time_weeks", "Rad 3, kolumn multiple",
                           "Rad 4, kolumn safety_weeks", "Rad 4, kolumn minimum",
                           "Rad 5, kolumn product", "Rad 6: 9 kolumner"},
               0);
        addRow("a product called Product after the header",
               header + "Product;1;;;;;Acme\nA0;1,5;0,5;2;6;12;Acme AB;Pall\n", QStringList(), 2);
        addRow("a supplier over two lines", QByteArray("A1;1;;;;;\"Acme\nNorr\";G\n"),
               QStringList(), 1);
        addRow("a product twice", QByteArray("A1;1\nA2;1\nA1;2\n"),
               QStringList{"Rad 3, kolumn product: A1 står redan på rad 1"}, 0);
        addRow("decimal comma in a comma file", QByteArray("A1,1,5\nA2,1,5,0,1,0,S,G,H\n"),
               QStringList{"Rad 2: 9 kolumner"}, 0);
        addRow("a quote left open", QByteArray("A1;1;;;;;\"Acme\n"),
               QStringList{"Rad 1: ett citattecken"}, 0);
        // Nothing at all would replace every rule with none.
        addRow("an empty file", QByteArray(), QStringList{"Filen är tom"}, 0);
        addRow("a BOM and blank lines", QByteArray("\xEF\xBB\xBF\r\n \n"),
               QStringList{"Filen är tom"}, 0);
        // A spreadsheet's Windows-1252 CSV: Å read as UTF-8 would be stored as U+FFFD.
        addRow("a line not in UTF-8", QByteArray("A1;1;;;;;\xC5kes;G\nA2;1;;;;;\xC3\x85kes;G\n"),
               QStringList{"Rad 1: "}, 0);
    }

    void rulesCsv() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, errors);
        QFETCH(int, rules);
        QStringList found;
        const PlanningRules read = reports::parseRulesCsv(file, &found);
        QCOMPARE(found.size(), errors.size());
        for (int i = 0; i < errors.size(); ++i)
            QVERIFY2(found[i].startsWith(errors[i]), qPrintable(found[i]));
        if (!errors.isEmpty())
            return;
        QCOMPARE(int(read.size()), rules);
        // What is saved reads back the same.
        QStringList again;
        QCOMPARE(reports::parseRulesCsv(reports::rulesCsv(read), &again), read);
        QVERIFY(again.isEmpty());
        const PlanningRule &a1 = read.begin()->second;
        if (read.begin()->first == QStringLiteral("A1 "))
            QCOMPARE(a1, (PlanningRule{1, 0, 0, 1, 0, QStringLiteral("  Acme  "),
                                       QStringLiteral("\tPall")}));
        else if (a1.supplier.startsWith(QStringLiteral("Acme\n")))
            QCOMPARE(a1.supplier, QStringLiteral("Acme\nNorr"));
        else if (a1.supplier == QStringLiteral("Acme AB"))
            QCOMPARE(a1, (PlanningRule{1.5, 0.5, 2, 6, 12, QStringLiteral("Acme AB"),
                                       QStringLiteral("Pall")}));
        else
            QCOMPARE(a1.supplier, QStringLiteral("Bolaget; \"Öst\""));
    }

    // The rules and marks on the command line, kept in sokdata.db (read back with SQLite
    // directly), the proposal per supplier, and the marks through a re-run and an import.
    void planningOnCommandLine() {
        smallStore();
        const QString rulesFile = m_home + QStringLiteral("/regler.csv");
        const auto write = [&](const QByteArray &bytes) {
            QFile f(rulesFile);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        };
        write("product,lead_time_weeks,safety_weeks,safety_packs,multiple,minimum,supplier,group\n"
              "P1,2,,,5,,Bolaget,Pall\nP3,,,,,10,Acme,Pall\nP9,1,,,,,Acme,\n");
        ProgramRun run = runProgram(m_home, {"rules", "--load", rulesFile});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains(QStringLiteral("P9 finns inte i pjomr")), qPrintable(run.err));
        QCOMPARE(storedRules(),
                 QStringList({"P1|2|5|0|Bolaget", "P3|0|1|10|Acme", "P9|1|1|0|Acme"}));

        // A file with a bad line loads nothing.
        write("P1;1\nP2;1;;;0\n");
        run = runProgram(m_home, {"rules", "--load", rulesFile});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("Rad 2, kolumn multiple")), qPrintable(run.err));
        QCOMPARE(storedRules().size(), 3);

        // P1: 4 × (2 + 4) − 15 = 9 → 10 in fives; P3: 2 × 4 − 5 = 3 → minimum 10.
        // Read as bytes: a decoder would drop the BOM.
        const auto proposal = [&](const QStringList &extra) {
            const QString out = m_home + QStringLiteral("/out");
            const ProgramRun r = runProgram(
                m_home, QStringList{"coverage", "--period", "2010-11-18", "--format"} + extra, out);
            QFile file(out);
            return r.exitCode == 0 && file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                     : "exit " + r.err.toUtf8();
        };
        QByteArray csv = proposal({"proposal-csv"});
        QVERIFY2(csv.startsWith("\xEF\xBB\xBFLeverantör;Produkt;"), csv.constData());
        QList<QByteArray> lines = csv.split('\n');
        QCOMPARE(lines.size(), 4); // the header, Acme's P3, Bolaget's P1, the end
        QVERIFY2(lines[1].startsWith("Acme;P3;;Pall;10;1;2;"), lines[1].constData());
        QVERIFY2(lines[2].startsWith("Bolaget;P1;Pall röd;Pall;10;5;4;2010-12-16;2010-12-02"),
                 lines[2].constData());
        const QJsonDocument json =
            QJsonDocument::fromJson(proposal({"proposal-json", "--supplier", "Bolaget"}));
        const QJsonArray suppliers = json["suppliers"].toArray();
        QCOMPARE(suppliers.size(), 1);
        QCOMPARE(suppliers[0]["supplier"].toString(), QStringLiteral("Bolaget"));
        QCOMPARE(suppliers[0]["total_packs"].toDouble(), 10.0);
        // A supplier no rule names is said to be one, not given as an empty proposal only.
        run = runProgram(m_home, {"coverage", "--period", "2010-11-18", "--format", "proposal-csv",
                                  "--supplier", "bolaget"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains(QStringLiteral("\"bolaget\"")), qPrintable(run.err));
        run = runProgram(m_home, {"coverage", "--period", "2010-11-18", "--format", "proposal-csv",
                                  "--supplier", "Bolaget"});
        QVERIFY2(!run.err.contains(QStringLiteral("\"Bolaget\"")), qPrintable(run.err));

        // Marked rows leave the proposal; discontinued loses its suggestion until unmarked.
        QCOMPARE(
            runProgram(m_home, {"mark", "--period", "2010-11-18", "P3", "--discontinued"}).exitCode,
            0);
        QCOMPARE(runProgram(m_home, {"mark", "--period", "2010-11-18", "P1", "--ordered", "10",
                                     "--date", "2010-11-19"})
                     .exitCode,
                 0);
        QCOMPARE(proposal({"proposal-csv"}).count('\n'), 1);
        // A mark the list cannot show (the list's product is P1) is not taken in silence.
        run = runProgram(m_home, {"mark", "--period", "2010-11-18", "p1", "--discontinued"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains(QStringLiteral("p1 finns inte i pjomr")), qPrintable(run.err));
        const QString access = testDataFolder() + QStringLiteral("/access/datetest-jet4.mdb");
        if (QFileInfo::exists(access))
            QCOMPARE(runProgram(m_home, {"import-mdb", access}).exitCode, 0);
        const QJsonArray rows = QJsonDocument::fromJson(proposal({"json"}))["rows"].toArray();
        QCOMPARE(rows[0]["product"].toString(), QStringLiteral("P1"));
        QCOMPARE(rows[0]["mark"].toString(), QStringLiteral("ordered"));
        QCOMPARE(rows[0]["ordered_on"].toString(), QStringLiteral("2010-11-19"));
        QCOMPARE(rows[0]["suggestion"].toDouble(), 10.0);
        QCOMPARE(rows[0]["order_by"].toString(), QStringLiteral("2010-12-02"));
        QCOMPARE(rows[2]["mark"].toString(), QStringLiteral("discontinued"));
        QVERIFY(rows[2]["suggestion"].isNull());
        QCOMPARE(runProgram(m_home, {"mark", "--period", "2010-11-18", "P3", "--clear"}).exitCode,
                 0);
        QCOMPARE(proposal({"proposal-csv"}).count('\n'), 2);
        if (!QFileInfo::exists(access))
            QSKIP(qPrintable(QStringLiteral("the marks through an import: ") + testDataMissing()));
    }

private:
    // planning_rule of sokdata.db as product|lead time|multiple|minimum|supplier.
    QStringList storedRules() {
        QStringList rules;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "rules");
            db.setDatabaseName(m_home + QStringLiteral("/sokdata.db"));
            if (db.open()) {
                QSqlQuery q(QStringLiteral("SELECT product, lead_time_weeks, multiple, minimum, "
                                           "supplier FROM planning_rule ORDER BY product"),
                            db);
                while (q.next())
                    rules << QStringList{q.value(0).toString(), q.value(1).toString(),
                                         q.value(2).toString(), q.value(3).toString(),
                                         q.value(4).toString()}
                                 .join(QLatin1Char('|'));
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("rules"));
        return rules;
    }
    void insert(const QString &table, const QStringList &columns, const std::vector<Variant> &row);
    // Three products whose figures are worked out by hand, period November 2010:
    // P1 (1 unit per pack): FRN 30 - 20 available = 10, DP 5, PJ none, sales 104/26 = 4 a week,
    //    FRN sales 6 months x 13 / 26 = 3 a week; coverage 15/4 = 3.75 -> 4, FRN 10/3 -> 3.
    // P2 (2 per pack, umfaktor 2000): FRN 8 - 20 = -12, DP none, PJ 5000/2000 = 2.5 -> 3,
    //    back orders PJ 3*1000/2000 + 1*1000/2000 = 2, FRN 5*1000/2000 = 2.5 -> 3, orders PJ
    //    7*1000/2000 = 3.5 -> 4, FRN 1*1000/2000 = 0.5 -> 1, sales 13*1000/2000/26 = 0.25 -> ""
    //    (below half a pack) so coverage 0.
    // P3 (1 per pack): FRN none, DP 9 - 4 = 5, sales 52/26 = 2; coverage 5/2 = 2.5 -> 3.
    // P5 (1 per pack): FRN 10, DP 4, PJ 6000/1000 = 6, sales 78/26 = 3; coverage 20/3 -> 7
    //    (each stock term counts), FRN 10 / (26/26 = 1) = 10.
    void smallStore() {
        const QStringList omr{"iblitm", "imdsc1", "umconv"};
        insert("pjomr", omr, {text("P2"), text("Pall blå"), num(2)});
        insert("pjomr", omr, {text("P1"), text("Pall röd"), num(1)});
        insert("pjomr", omr, {text("P3"), Variant::Null(), num(1)});
        insert("pjomr", omr, {text("P5"), text("Pall grön"), num(1)});
        insert("pjstkfrn", {"ivcitm", "lipqoh"}, {text("P5"), num(10)});
        insert("avail", {"ivcitm", "quantity"}, {text("P5"), num(0)});
        insert("DTSPL", {"Fält2", "Fält39"}, {text("P5"), num(4)});
        insert("pjstk", {"imlitm", "lipqoh"}, {text("P5"), num(6000)});
        insert("pjsfakt", {"sdlitm", "sdpqor"}, {text("P5"), num(78)});
        insert("pjstkfrn", {"ivcitm", "lipqoh"}, {text("P1"), num(30)});
        insert("avail", {"ivcitm", "quantity"}, {text("P1"), num(20)});
        insert("pjstkfrn", {"ivcitm", "lipqoh"}, {text("P2"), num(8)});
        insert("avail", {"ivcitm", "quantity"}, {text("P2"), num(20)});
        insert("DTSPL", {"Fält2", "Fält39"}, {text("P1"), num(5)});
        insert("DTSPL", {"Fält2", "Fält39", "Fält18"}, {text("P3"), num(9), num(4)});
        insert("pjstk", {"imlitm", "lipqoh"}, {text("P2"), num(5000)});
        insert("PJOTBALLA", {"sdaitm", "antaltusen"}, {text("P2"), num(3)});
        insert("pjpvmens", {"mflitm", "mffqt"}, {text("P2"), num(1)});
        insert("PJOFBACK", {"sdaitm", "antaltusen"}, {text("P2"), num(5)});
        insert("PJOTALLA", {"sdaitm", "antaltusen"}, {text("P2"), num(7)});
        insert("PJOFFRAM", {"sdaitm", "antaltusen"}, {text("P2"), num(1)});
        insert("pjsfakt", {"sdlitm", "sdpqor"}, {text("P1"), num(104)});
        insert("pjsfakt", {"sdlitm", "sdpqor"}, {text("P2"), num(13)});
        insert("pjsfakt", {"sdlitm", "sdpqor"}, {text("P3"), num(52)});
        QStringList hist{"ivcitm"};
        std::vector<Variant> values{text("P1")};
        for (int m = 1; m <= 12; ++m) {
            hist << QStringLiteral("IHSQ%1").arg(m, 2, 10, QLatin1Char('0'));
            values.push_back(num(13));
        }
        insert("frnhist", hist, values);
        std::vector<Variant> p4(13, num(0));
        p4[0] = text("P5");
        p4[5] = num(20); // May and August of the six months before November
        p4[8] = num(6);
        insert("frnhist", hist, p4);
    }
    QString m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestReports::insert(const QString &table, const QStringList &columns,
                         const std::vector<Variant> &row) {
    dao::Database db = dao::Database::OpenDatabase(m_home + QStringLiteral("/local.mdb"));
    QStringList marks;
    QStringList names;
    for (const QString &c : columns) {
        marks << QStringLiteral("?");
        names << '"' + c + '"';
    }
    db.Execute(QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                   .arg(table, names.join(','), marks.join(',')),
               row);
}

QTEST_MAIN(TestReports)
#include "tst_reports.moc"

#include "../common/DataRows.h"
#include "MDlib/NumberText.h"
#include "ReadBack.h"
#include "reports/ListColumns.h"
#include "reports/ListWriters.h"
#include "reports/ProposalFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <charconv>
#include <cmath>
#include <limits>

using reports::CoverageRow;
using N = std::optional<double>;

namespace {

// A value as QJsonDocument writes it as an object's member.
QByteArray compactMember(const QJsonValue &value) {
    const QByteArray object =
        QJsonDocument(QJsonObject{{QStringLiteral("a"), value}}).toJson(QJsonDocument::Compact);
    return object.mid(5, object.size() - 6); // {"a":…}
}

// A C-locale number, whatever the test's locale.
double readNumber(const QByteArray &text) {
    double d = 0;
    std::from_chars(text.constData(), text.constData() + text.size(), d);
    return d;
}

CoverageRow row(const char *product, N stockTotal, N cover, N sales) {
    CoverageRow r;
    r.product = QString::fromUtf8(product);
    r.description = QStringLiteral("Pall ") + r.product;
    r.stockTotal = stockTotal;
    r.coverWeeks = cover;
    r.salesPj = sales;
    return r;
}

// Period 2010-11-18, target 4, today 2010-11-25, lead times 2 weeks: A to order now
// (10 × 6 − 10 = 50), B within the target (4.5 × 6 − 20 = 7), C ordered and waiting for it, D
// discontinued.
std::vector<CoverageRow> plannedRows() {
    std::vector<CoverageRow> rows{row("A", 10, 1, 10), row("B", 20, 5, 4.5), row("C", 30, 3, 10),
                                  row("D", 5, 0, {})};
    rows[0].rule = {2, 0, 0, 1, 0, QStringLiteral("Acme"), QStringLiteral("=Pall")};
    rows[1].rule.leadTimeWeeks = 2;
    rows[2].rule.leadTimeWeeks = 2;
    rows[2].mark = PlanningMark{PlanningMark::Kind::Ordered, QDate(2010, 11, 19), 1500};
    rows[3].mark = PlanningMark{PlanningMark::Kind::Discontinued, {}, 0};
    return rows;
}

const QDate today(2010, 11, 25);

} // namespace

class TestLists : public QObject {
    Q_OBJECT

private slots:
    // The writers' own texts of numbers equal Qt's general ones: plainNumber for CSV,
    // QJsonDocument for JSON; the CSV's number reads back as the same double.
    void listNumberTexts_data() {
        QTest::addColumn<double>("number");
        const double inf = std::numeric_limits<double>::infinity();
        for (const double d :
             {0.0, -0.0, -7.0, 0.5, 1.0 / 3, -123456.789, 1e-5, 1e-4, 1e15 - 1, 1e15, -1e15,
              1e15 + 0.5, 9007199254740992.0, 9007199254740994.0, 1e16, 4611686018427387904.0,
              9.3e18, 1e300, std::numeric_limits<double>::max(),
              std::numeric_limits<double>::denorm_min(), 0.1234567890123456, 568271178161066.5,
              568271178161067.5, -0.0001220703125, inf, -inf,
              std::numeric_limits<double>::quiet_NaN(),
              // 15 digits would give another number: a CSV would disagree with the workbook.
              4503599627370496.0, 12345678901234567890.0, 0.1 + 0.2, -0.12345678901234568})
            QTest::addRow("%.17g", d) << d;
    }
    void listNumberTexts() {
        QFETCH(double, number);
        QByteArray plain;
        reports::appendPlainNumber(plain, number);
        QCOMPARE(plain, lodvik::plainNumber(number).toUtf8());
        if (std::isfinite(number)) {
            QCOMPARE(readNumber(plain), number);
            const QString digits15 = QString::number(number, 'g', 15);
            if (digits15.toDouble() == number) // 15 digits where they keep the number
                QCOMPARE(plain, digits15.toUtf8());
        }
        QByteArray json;
        reports::appendJsonNumber(json, number);
        QCOMPARE(json, compactMember(number));
    }

    void listTexts_data() {
        QTest::addColumn<QString>("text");
        QStringList texts =
            QString::fromUtf8("10-0010 EUR-PALL|PALL TRÄ åäö|24\" skruv|C:\\temp|"
                              "a\x01\x1f\b\f\tb|a\r\nb\n|a\x7f|a,b|=1+2|-12|-2-pack|"
                              "@SUM(A1)|\t=1|pall \xF0\x9F\x93\xA6|Ö\"Ä,")
                .split(QLatin1Char('|'));
        // No text, lone surrogates, noncharacters and U+0000.
        texts << QString() << QString(QChar(0xD83D)) + QLatin1Char('x')
              << QStringLiteral("x") + QChar(0xDC00)
              << QString(QChar(0xFFFE)) + QChar(0xFFFF) + QChar(0xFDD0)
              << QString(QChar(0)) + QLatin1Char('x');
        for (const QString &t : texts)
            QTest::addRow("%s", qPrintable(t.toUtf8().toPercentEncoding())) << t;
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

    // The lists' dates as QDate writes them, in any year a cover reaches.
    void listDates_data() {
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
    void listDates() {
        QFETCH(QDate, period);
        QFETCH(double, coverWeeks);
        CoverageRow r = row("P1", {}, coverWeeks, 1);
        r.mark = PlanningMark{PlanningMark::Kind::Ordered, period, 1};
        const std::optional<QDate> stockout = planning::stockoutDate(r, period);
        for (const bool words : {false, true})
            QCOMPARE(reports::listCell(r, reports::ListColumn::Stockout, {period, 4, period, words})
                         .text,
                     stockout->toString(Qt::ISODate));
        QCOMPARE(
            reports::listCell(r, reports::ListColumn::OrderedOn, {period, 4, period, false}).text,
            period.toString(Qt::ISODate));
    }

    // A description a spreadsheet would run as a formula reaches the list's CSV and the
    // proposal's Swedish CSV (its supplier too) as a text, read back with Python's csv module;
    // a number stays one in the writer's own notation (JSON: listTexts).
    void csvKeepsFormulasText_data() {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("listField");
        QTest::addColumn<QString>("proposalField");
        const auto inert = [](const char *name, const QString &text) {
            addRow(name, text, "'" + text, "'" + text);
        };
        inert("formula with quotes", "=HYPERLINK(\"x\")");
        inert("formula", "=cmd|' /C calc'!A0");
        inert("plus", "+1+1");
        inert("minus, not a number", "-2-pack");
        inert("at", "@SUM(A1)");
        inert("tab", "\t=1");
        inert("carriage return", "\r=1");
        addRow("negative number", "-12", "-12", "-12");
        addRow("decimal comma", "-1,5", "'-1,5", "-1,5");
        addRow("formula sign inside", "Pall = 2", "Pall = 2", "Pall = 2");
    }
    void csvKeepsFormulasText() {
        QFETCH(QString, description);
        QFETCH(QString, listField);
        QFETCH(QString, proposalField);
        CoverageRow r = row("P1", {}, {}, 2);
        r.description = description;
        r.rule.supplier = QStringLiteral("@Acme");
        const auto period = figures::Period::fromText(QStringLiteral("2010-11-18"));
        // The second line's fields, as Python's csv module reads the file.
        const auto readBack = [](const QByteArray &csv, const char *separator) {
            QProcess reader;
            reader.start(QStringLiteral("python3"),
                         {"-c", QStringLiteral("import csv, io, sys; print('\\0'.join(list(csv."
                                               "reader(io.StringIO(sys.stdin.read(), newline=''),"
                                               " delimiter='%1'))[1]), end='')")
                                    .arg(QLatin1String(separator))});
            reader.write(csv);
            reader.closeWriteChannel();
            return reader.waitForFinished()
                       ? QString::fromUtf8(reader.readAllStandardOutput()).split(QChar(0))
                       : QStringList();
        };
        const auto &machine = reports::machineColumns();
        const auto at = std::find(machine.begin(), machine.end(), reports::ListColumn::Description);
        QCOMPARE(readBack(reports::coverageCsv({&r}, period, 4), ",").value(at - machine.begin()),
                 listField);
        const QStringList proposal =
            readBack(reports::proposalCsv(planning::proposalLines({&r}, 4), QDate()), ";");
        QCOMPARE(proposal.value(0), QStringLiteral("'@Acme"));
        QCOMPARE(proposal.value(2), proposalField);
    }

    // The saved list: the window's columns and words, the "Att beställa" total under the
    // suggestion, as a workbook and as a Swedish CSV; the proposal's workbook: its dates as
    // dates, and its total.
    void savedListAndProposal() {
        const std::vector<CoverageRow> rows = plannedRows();
        const auto period = figures::Period::fromText(QStringLiteral("2010-11-18"));
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("lista.xls"));
        const QString proposal = dir.filePath(QStringLiteral("forslag.xls"));
        reports::saveCoverageListWorkbook(reports::allRows(rows), period, 4, file, today);
        reports::saveProposalWorkbook(planning::proposalLines(reports::allRows(rows), 4), period,
                                      proposal);
        QString error;
        const QJsonObject dump = readback::xlrdDump(file, &error);
        const QJsonObject proposed =
            readback::cellsByPosition(readback::xlrdDump(proposal, &error));
        QVERIFY2(!dump.isEmpty() && !proposed.isEmpty(), qPrintable(error));
        const QJsonObject cells = readback::cellsByPosition(dump);
        const auto at = [&](int r, int c) {
            const QJsonValue v = cells.value(QStringLiteral("%1,%2").arg(r).arg(c))["value"];
            return v.isDouble() ? QString::number(v.toDouble()) : v.toString();
        };
        // Row 3 the headings, A on row 4, the total two rows under the last product.
        const QStringList a = QStringLiteral("under halva målet|A|Pall A||||10|10||1|||||||50|"
                                             "beställ nu|2010-11-25|2010-11-11|Acme| =Pall|")
                                  .split(QLatin1Char('|'));
        for (int c = 1; c <= reports::ShownColumnCount; ++c) {
            QCOMPARE(at(3, c),
                     QString::fromUtf8(reports::listColumn(reports::ListColumn(c - 1)).heading));
            QCOMPARE(at(4, c), a[c - 1]);
        }
        QCOMPARE(at(6, 18), QString()); // C awaits its order: no urgency
        QCOMPARE(at(6, 23), QStringLiteral("beställd 2010-11-19, 1\u00a0500 förp."));
        QCOMPARE(at(7, 23), QStringLiteral("utgått"));
        QCOMPARE(at(9, 16), QStringLiteral("Att beställa"));
        QCOMPARE(at(9, 17), QStringLiteral("57"));
        QCOMPARE(dump["widths"].toObject().value("18").toInt(), 18 * 256);

        const QByteArray csv = reports::swedishListCsv(reports::allRows(rows), period, 4, today);
        const QList<QByteArray> lines = csv.split('\n');
        QVERIFY2(lines[0].startsWith("\xEF\xBB\xBFStatus;Produkt;Benämning;Lager FRN;"),
                 lines[0].constData());
        QCOMPARE(QString::fromUtf8(lines[1]),
                 QStringLiteral("under halva målet;A;Pall A;;;;10;10;;1;;;;;;;50;beställ nu;"
                                "2010-11-25;2010-11-11;Acme;'=Pall;\r"));
        QCOMPARE(lines.size(), 6); // the header, four rows, the end

        const QDate epoch(1899, 12, 30);
        for (const auto &[column, date] :
             {std::pair{8, QDate(2010, 11, 25)}, {9, QDate(2010, 11, 11)}}) {
            const QJsonObject cell = proposed.value(QStringLiteral("4,%1").arg(column)).toObject();
            QCOMPARE(cell["type"].toString(), QStringLiteral("date"));
            QCOMPARE(cell["value"].toDouble(), double(epoch.daysTo(date)));
        }
        QCOMPARE(proposed.value(QStringLiteral("4,2"))["value"].toString(), QStringLiteral("A"));
        QCOMPARE(proposed.value(QStringLiteral("7,5"))["value"].toDouble(), 57.0);
    }
};

QTEST_MAIN(TestLists)
#include "tst_lists.moc"

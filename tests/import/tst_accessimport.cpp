#include "MDlib/Error.h"
#include "data/LocalDatabase.h"
#include "data/SqlText.h"
#include "data/TableCatalogue.h"
#include "import/AccessImport.h"

#include <sqlite3.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using lodvik::Variant;

namespace {

QString sample(const char *name) {
    return QStringLiteral(LODVIK_SHARED_TESTDATA "/access/") + QString::fromUtf8(name);
}

struct Cell {
    QString text;
    bool quoted = false; // mdb-export quotes text and dates, never numbers or nulls
};

// mdb-export's CSV: commas, double quotes doubled inside quoted fields, new lines kept.
QList<QList<Cell>> parseCsv(const QByteArray &data) {
    const QString text = QString::fromUtf8(data);
    QList<QList<Cell>> rows;
    QList<Cell> row;
    Cell cell;
    bool inQuotes = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (inQuotes) {
            if (c == '"' && i + 1 < text.size() && text.at(i + 1) == '"') {
                cell.text += '"';
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                cell.text += c;
            }
        } else if (c == '"') {
            inQuotes = true;
            cell.quoted = true;
        } else if (c == ',') {
            row.append(cell);
            cell = {};
        } else if (c == '\n') {
            row.append(cell);
            rows.append(row);
            row.clear();
            cell = {};
        } else {
            cell.text += c;
        }
    }
    if (!row.isEmpty() || !cell.text.isEmpty())
        rows.append(row << cell);
    return rows;
}

QByteArray mdbExport(const QString &file, const QString &table) {
    QProcess process;
    process.start(QStringLiteral("mdb-export"),
                  {QStringLiteral("-D"), QStringLiteral("%Y-%m-%d %H:%M:%S"), QStringLiteral("-T"),
                   QStringLiteral("%Y-%m-%d %H:%M:%S"), file, table});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

QStringList columnTypes(dao::Database &db, const QString &table) {
    QStringList types;
    dao::Recordset info = db.OpenRecordset(
        QStringLiteral("SELECT type FROM pragma_table_info(%1)").arg(sqltext::literal(table)));
    for (; !info.isEOF(); info.MoveNext())
        types.append(info.Fields(0).toText());
    return types;
}

QByteArray fileHash(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestAccessImport : public QObject {
    Q_OBJECT

private slots:
    void matchesMdbExport_data();
    void matchesMdbExport();
    void dateText_data();
    void dateText();
    void datesOutsideMdbExportRange();
    void replacesOnlyTheTablesItBrings();
    void failedImportLeavesStoreWhole_data();
    void failedImportLeavesStoreWhole();
    void accessFileInPlaceOfStore();
    void figuresReadImportedTable();

private:
    QTemporaryDir m_dir;
    QHash<QString, QString> m_stores;
    QHash<QString, QList<accessimport::ImportedTable>> m_imported;
};

void TestAccessImport::matchesMdbExport_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("rows");
    const char *nwind = "nwind-jet3.mdb";
    QTest::newRow("jet3 Order Details") << sample(nwind) << "Order Details" << 2155;
    QTest::newRow("jet3 Orders") << sample(nwind) << "Orders" << 830;
    QTest::newRow("jet3 Products") << sample(nwind) << "Products" << 77;
    QTest::newRow("jet3 Shippers") << sample(nwind) << "Shippers" << 3;
    QTest::newRow("jet3 Categories") << sample(nwind) << "Categories" << 8;
    QTest::newRow("jet3 Customers") << sample(nwind) << "Customers" << 91;
    QTest::newRow("jet3 Employees") << sample(nwind) << "Employees" << 9;
    QTest::newRow("jet3 Suppliers") << sample(nwind) << "Suppliers" << 29;
    QTest::newRow("jet3 Umsätze") << sample(nwind) << QStringLiteral("Umsätze") << 830;
    QTest::newRow("jet4 DateTest") << sample("datetest-jet4.mdb") << "DateTest" << 6;
}

void TestAccessImport::matchesMdbExport() {
    QFETCH(QString, file);
    QFETCH(QString, table);
    QFETCH(int, rows);
    if (QStandardPaths::findExecutable(QStringLiteral("mdb-export")).isEmpty())
        QSKIP("mdb-export is not installed");

    // each sample is imported once, into a store of its own
    if (!m_stores.contains(file)) {
        const QString store = m_dir.filePath(QFileInfo(file).completeBaseName() + ".mdb");
        m_stores.insert(file, store);
        m_imported.insert(file, accessimport::importAccessDatabase(file, store));
    }
    const QString store = m_stores.value(file);
    const QList<accessimport::ImportedTable> &imported = m_imported[file];
    auto found = std::find_if(imported.begin(), imported.end(),
                              [&](const auto &t) { return t.name == table; });
    QVERIFY2(found != imported.end(), qPrintable(table));
    QCOMPARE(found->rows, rows);

    const QList<QList<Cell>> expected = parseCsv(mdbExport(file, table));
    QCOMPARE(expected.size(), rows + 1);

    dao::Database db = dao::Database::OpenDatabase(store);
    const QStringList types = columnTypes(db, table);
    dao::Recordset rs =
        db.OpenRecordset(QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table));
    QCOMPARE(rs.fieldCount(), expected.first().size());
    for (int c = 0; c < rs.fieldCount(); ++c)
        QCOMPARE(rs.fieldName(c), expected.first().at(c).text);

    static const QRegularExpression dateTime(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$)"));
    int row = 1;
    for (; !rs.isEOF(); rs.MoveNext(), ++row) {
        QVERIFY(row < expected.size());
        const QList<Cell> &want = expected.at(row);
        QCOMPARE(want.size(), rs.fieldCount());
        for (int c = 0; c < rs.fieldCount(); ++c) {
            if (types.at(c) == QLatin1String("BLOB"))
                continue; // pictures: mdb-export writes raw bytes into its CSV
            const Variant got = rs.Fields(c);
            const Cell &cell = want.at(c);
            // the message is made only for a failure: this loop visits every cell
            auto where = [&] {
                return QStringLiteral("%1 row %2 column %3: got %4, want %5")
                    .arg(table)
                    .arg(row)
                    .arg(rs.fieldName(c), got.toDisplayText(), cell.text)
                    .toUtf8();
            };
            bool right = false;
            if (!cell.quoted && cell.text.isEmpty()) {
                right = got.isNull();
            } else if (!cell.quoted) {
                // singles: mdb-export prints 0.15000001 where the import keeps 0.15
                const double want = cell.text.toDouble();
                right = got.isNumber() &&
                        std::fabs(got.number() - want) <= 1e-7 * std::max(1.0, std::fabs(want));
            } else if (cell.text.contains(dateTime)) {
                // mdb-export gives no real date outside 1899-4637 ("1900-01-00"); checked apart
                if (cell.text.startsWith(QLatin1String("1900-01-00")))
                    continue;
                QString ours = got.toText();
                if (ours.size() == 10)
                    ours += QStringLiteral(" 00:00:00");
                right = got.isString() && ours == cell.text;
            } else {
                right = got.isString() && got.text() == cell.text;
            }
            if (!right)
                QFAIL(where().constData());
        }
    }
    QCOMPARE(row, rows + 1);
}

void TestAccessImport::dateText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("day zero") << 0.0 << "1899-12-30";
    QTest::newRow("noon next day") << 1.5 << "1899-12-31 12:00:00";
    QTest::newRow("before day zero, time by size") << -1.25 << "1899-12-29 06:00:00";
    QTest::newRow("modern date") << 44532.0 << "2021-12-02";
    QTest::newRow("with seconds") << 44532.0 + (13 * 3600 + 5 * 60 + 9) / 86400.0
                                  << "2021-12-02 13:05:09";
    QTest::newRow("rounds up to midnight") << 44532.99999999 << "2021-12-03";
    QTest::newRow("last Access day") << 2958465.0 << "9999-12-31";
    QTest::newRow("first Access day") << -657434.0 << "0100-01-01";
}

void TestAccessImport::dateText() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(accessimport::accessDateText(value), text);
}

// The Jet 4 sample holds dates that mdb-export cannot show; their texts say which years they are.
void TestAccessImport::datesOutsideMdbExportRange() {
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("local.mdb"));
    accessimport::importAccessDatabase(sample("datetest-jet4.mdb"), store);
    dao::Database db = dao::Database::OpenDatabase(store);
    dao::Recordset rs = db.OpenRecordset(
        QStringLiteral("SELECT DateTimeCol, LongTextCol FROM DateTest WHERE IDCol IN (2, 3, 4) "
                       "ORDER BY IDCol"));
    const QStringList years{QStringLiteral("9999"), QStringLiteral("189"), QStringLiteral("0")};
    const QStringList said{QStringLiteral("Year 9999"), QStringLiteral("Pre-1900 years"),
                           QStringLiteral("Pre-1000 years")};
    for (int i = 0; i < 3; ++i, rs.MoveNext()) {
        QVERIFY(!rs.isEOF());
        QCOMPARE(rs.Fields(1).text(), said.at(i));
        const QString date = rs.Fields(0).text();
        QVERIFY2(date.startsWith(years.at(i)), qPrintable(date));
        QVERIFY2(QDate::fromString(date.left(10), Qt::ISODate).isValid(), qPrintable(date));
    }
}

void TestAccessImport::replacesOnlyTheTablesItBrings() {
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("local.mdb"));
    catalogue::createEmptyLocalStore(store);
    {
        dao::Database db = dao::Database::OpenDatabase(store);
        db.Execute(QStringLiteral("INSERT INTO pjomr (iblitm, imdsc1, umconv) VALUES "
                                  "('P-1', 'Påse', 12)"));
        db.Execute(QStringLiteral("CREATE TABLE Orders (gammal TEXT)"));
        db.Execute(QStringLiteral("INSERT INTO Orders VALUES ('kvar?')"));
    }
    accessimport::importAccessDatabase(sample("nwind-jet3.mdb"), store);
    accessimport::importAccessDatabase(sample("datetest-jet4.mdb"), store);

    dao::Database db = dao::Database::OpenDatabase(store);
    dao::Recordset kept = db.OpenRecordset(QStringLiteral("SELECT * FROM pjomr"));
    QVERIFY(!kept.isEOF());
    QCOMPARE(kept.Fields(QStringLiteral("IMDSC1")).text(), QStringLiteral("Påse"));
    QVERIFY(db.TableExists(QStringLiteral("tillfall")));
    dao::Recordset orders = db.OpenRecordset(QStringLiteral("SELECT COUNT(*) FROM Orders"));
    QCOMPARE(orders.Fields(0).number(), 830.0);
    QCOMPARE(db.OpenRecordset(QStringLiteral("SELECT * FROM Orders")).fieldCount(), 14);
    // the second file's import kept the first file's tables
    QVERIFY(db.TableExists(QStringLiteral("Umsätze")));
    QVERIFY(db.TableExists(QStringLiteral("DateTest")));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("local.mdb")});
}

void TestAccessImport::failedImportLeavesStoreWhole_data() {
    QTest::addColumn<QString>("what");
    QTest::newRow("missing file") << "missing";
    QTest::newRow("not an Access file") << "text";
    QTest::newRow("Access file cut short") << "truncated";
}

void TestAccessImport::failedImportLeavesStoreWhole() {
    QFETCH(QString, what);
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("local.mdb"));
    catalogue::createEmptyLocalStore(store);
    {
        dao::Database db = dao::Database::OpenDatabase(store);
        db.Execute(QStringLiteral("INSERT INTO avail VALUES ('X', 5)"));
    }
    const QByteArray before = fileHash(store);

    const QString source = dir.filePath(QStringLiteral("in.mdb"));
    if (what != QLatin1String("missing")) {
        QFile out(source);
        QVERIFY(out.open(QIODevice::WriteOnly));
        if (what == QLatin1String("text")) {
            out.write("inte en databas\n");
        } else {
            QFile in(sample("nwind-jet3.mdb"));
            QVERIFY(in.open(QIODevice::ReadOnly));
            out.write(in.read(in.size() / 3));
        }
    }
    bool raised = false;
    try {
        accessimport::importAccessDatabase(source, store);
    } catch (const lodvik::Error &e) {
        raised = !e.message().isEmpty();
    }
    QVERIFY(raised);
    QCOMPARE(fileHash(store), before);
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    left.removeAll(QStringLiteral("in.mdb"));
    QCOMPARE(left, QStringList{QStringLiteral("local.mdb")});
}

void TestAccessImport::accessFileInPlaceOfStore() {
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("local.mdb"));
    QVERIFY(QFile::copy(sample("datetest-jet4.mdb"), store));
    QVERIFY_THROWS_EXCEPTION(lodvik::Error, dao::Database::OpenDatabase(store));

    accessimport::importAccessDatabase(store, store);
    dao::Database db = dao::Database::OpenDatabase(store);
    QVERIFY(db.TableExists(QStringLiteral("DateTest")));
    QCOMPARE(fileHash(store + QStringLiteral(".access")), fileHash(sample("datetest-jet4.mdb")));
}

// An imported table is read by the figures through the local store layer: by name without
// regard to case, and by position.
void TestAccessImport::figuresReadImportedTable() {
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("local.mdb"));
    accessimport::importAccessDatabase(sample("nwind-jet3.mdb"), store);
    dao::Database db = dao::Database::OpenDatabase(store);
    dao::Recordset rs = db.OpenRecordset(
        QStringLiteral("SELECT SUM(freight) AS Summa FROM [Umsätze] WHERE customerid = 'lilas'"));
    QVERIFY(rs.RecordCount() > 0);
    QVERIFY(rs.Fields(QStringLiteral("summa")).number() > 0);
    dao::Recordset products =
        db.OpenRecordset(QStringLiteral("SELECT * FROM products WHERE productname = 'CHAI'"));
    QVERIFY(!products.isEOF());
    QCOMPARE(products.Fields(1).text(), QStringLiteral("Chai"));
    QCOMPARE(products.Fields(5).number(), 18.0);
    QCOMPARE(products.Fields(9).number(), 0.0);
}

QTEST_GUILESS_MAIN(TestAccessImport)
#include "tst_accessimport.moc"

// The coverage run's one pass over the extracts against each figure's own query.
//
// Input: a byte choosing the period, then rows: a byte choosing the table, one the product key,
// one how many of its columns get a value (0-3), and for each a byte choosing the column and one
// the value. Keys and values come from small sets of the cases that matter: case and Latin-1
// variants of one product number, blanks at the ends, numbers stored as texts, blank texts,
// blobs, numbers past what an integer sum holds.

#include "MDlib/Progress.h"
#include "figures/Period.h"
#include "store/LocalDatabase.h"
#include "store/TableCatalogue.h"
#include "tests/common/ScanAgainstQueries.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

class Input {
public:
    Input(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_pos >= m_size; }
    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// The tables the figures read, pjomr first.
const char *const tables[] = {"pjomr", "pjstkfrn", "avail",    "PJOFFRAM", "PJOFBACK",  "frnhist",
                              "DTSPL", "pjstk",    "PJOTALLA", "pjsfakt",  "PJOTBALLA", "pjpvmens"};

// Product numbers as SQL literals, and the ones asked for (every text among them).
const char *const keys[] = {"'P1'", "'p1'", "'P1 '", "' P1'", "'å-1'", "'Å-1'",
                            "'ÿ2'", "'P2'", "''",    "NULL",  "7",     "'7'"};
const char *const asked[] = {"P1", "p1", "P1 ", " P1", "å-1", "Å-1", "ÿ2", "P2", "", "7"};

const char *const values[] = {"NULL",  "0",      "3",       "-2",       "9223372036854775807",
                              "0.5",   "2.25",   "-1.5",    "1e300",    "-1e300",
                              "''",    "' '",    "'12'",    "'1,5'",    "' 7 '",
                              "'abc'", "'1e3'",  "x'00'",   "4.9e-324", "'-0'",
                              "-0.0",  "'0x10'", "1000000", "'3'"};

const char *const periods[] = {"2010-11-18", "2026-03-15", "2024-02-29", "2026-12-31"};
const double packSizes[] = {1000, 1, 0.5, 0};

// An empty store with every catalogue table, made once and copied for each input.
QByteArray emptyStore() {
    static const QByteArray bytes = [] {
        QTemporaryDir folder;
        check(folder.isValid(), "no temporary folder");
        const QString path = folder.filePath(QStringLiteral("local.mdb"));
        catalogue::createEmptyLocalStore(path);
        QFile file(path);
        check(file.open(QIODevice::ReadOnly), "the empty store cannot be read");
        return file.readAll();
    }();
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in(data, size);
    const uint8_t choice = in.byte();
    const figures::Period period =
        figures::Period::fromText(QString::fromLatin1(periods[choice % std::size(periods)]));
    const double u = packSizes[(choice / std::size(periods)) % std::size(packSizes)];

    QTemporaryDir folder;
    check(folder.isValid(), "no temporary folder");
    const QString local = folder.filePath(QStringLiteral("local.mdb"));
    {
        QFile file(local);
        check(file.open(QIODevice::WriteOnly) && file.write(emptyStore()) == emptyStore().size(),
              "the store cannot be written");
    }
    {
        dao::Database db = dao::Database::OpenDatabase(local);
        db.Execute(QStringLiteral("BEGIN")); // one write to the disk, not one a row
        for (int row = 0; row < 64 && !in.atEnd(); ++row) {
            const catalogue::Table *table = catalogue::findLocalTable(
                QString::fromLatin1(tables[in.byte() % std::size(tables)]));
            check(table != nullptr, "a table of the figures is not in the catalogue");
            QStringList columns, literals;
            if (!table->indexed.isEmpty()) {
                columns << table->indexed.first();
                literals << QString::fromUtf8(keys[in.byte() % std::size(keys)]);
            }
            for (int n = in.byte() % 4; n > 0; --n) {
                const QString column = table->columns.at(in.byte() % table->columns.size()).name;
                const QString value = QString::fromLatin1(values[in.byte() % std::size(values)]);
                if (columns.contains(column))
                    continue;
                columns << column;
                literals << value;
            }
            if (columns.isEmpty())
                continue;
            db.Execute(QStringLiteral("INSERT INTO \"%1\" (\"%2\") VALUES (%3)")
                           .arg(table->name, columns.join(QStringLiteral("\", \"")),
                                literals.join(QStringLiteral(", "))));
        }
        db.Execute(QStringLiteral("COMMIT"));
    }

    // One operation holds the store, as a run does: the pass and every query share its
    // connection (a connection each would take most of the time here).
    dao::Database operation = dao::Database::OpenExtractStore(local);
    operation.holdSnapshot();
    lodvik::NoProgress quiet;
    reports::CoverageScan scan(local, period, quiet);
    figures::StockFigures f(local, quiet);
    // Whatever the stored values, the pass gives each product's figure as the figure's own
    // query does: the same type and bits, or the same message.
    for (const char *key : asked) {
        const QString difference =
            scancheck::difference(scan, f, QString::fromUtf8(key), u, period);
        if (!difference.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(difference));
            std::abort();
        }
    }
    return 0;
}

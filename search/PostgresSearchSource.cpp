#include "search/PostgresSearchSource.h"

#include "MDlib/Error.h"
#include "store/Libpq.h"
#include "store/SqliteError.h"

#include <QAtomicInt>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

using lodvik::Error;

namespace {

// Reads a query through a cursor of its own, in a transaction that lasts while rows remain: the
// first screen in one small batch, the rest in growing ones, so that reading a whole result
// stays quick and takes little memory. The transaction only reads; it ends with the rows, or
// when the reader goes.
class CursorReader : public RowReader {
public:
    static std::unique_ptr<RowReader> open(QSqlDatabase db, const QString &sql, QSqlError *error) {
        static QAtomicInt counter;
        std::unique_ptr<CursorReader> reader(new CursorReader(
            db, QStringLiteral("lodvik_rader_%1").arg(counter.fetchAndAddRelaxed(1))));
        if (!db.transaction()) {
            *error = db.lastError();
            return nullptr;
        }
        reader->m_open = true;
        QSqlQuery declare(db);
        if (!declare.exec(
                QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2").arg(reader->m_cursor, sql))) {
            *error = declare.lastError();
            return nullptr; // the reader rolls the transaction back
        }
        if (!reader->fetch()) {
            *error = reader->m_error;
            return nullptr;
        }
        reader->m_record = reader->m_batch->record();
        return reader;
    }

    ~CursorReader() override {
        if (m_open) {
            m_batch.reset();
            m_db.rollback();
        }
    }

    bool next() override {
        while (m_batch) {
            if (m_batch->next()) {
                ++m_inBatch;
                return true;
            }
            // A short batch was the last one.
            if (m_inBatch < m_fetched || !fetch()) {
                finish();
                return false;
            }
        }
        return false;
    }
    QVariant value(int column) const override { return m_batch->value(column); }
    QSqlRecord record() const override { return m_record; }
    QSqlError lastError() const override { return m_error; }

private:
    CursorReader(QSqlDatabase db, const QString &cursor) : m_db(db), m_cursor(cursor) {}

    bool fetch() {
        m_batch = std::make_unique<QSqlQuery>(m_db);
        m_batch->setForwardOnly(true);
        m_fetched = m_next;
        m_inBatch = 0;
        m_next = std::min(m_next * 4, 16384);
        if (!m_batch->exec(QStringLiteral("FETCH %1 FROM %2").arg(m_fetched).arg(m_cursor))) {
            m_error = m_batch->lastError();
            m_batch.reset();
            return false;
        }
        return true;
    }

    void finish() {
        m_batch.reset();
        if (!m_open)
            return;
        m_open = false;
        // Ending the transaction closes the cursor; a read has nothing to commit.
        if (!m_error.isValid())
            m_db.commit();
        else
            m_db.rollback();
    }

    QSqlDatabase m_db;
    QString m_cursor;
    std::unique_ptr<QSqlQuery> m_batch;
    QSqlRecord m_record;
    QSqlError m_error;
    bool m_open = false;
    int m_fetched = 0;
    int m_inBatch = 0;
    int m_next = 64; // one screen first
};

// The query with each of its texts ('O''Hara', as the search writes them) as an escape string
// (E'O''Hara'): a backslash in it doubled, so that the server reads the text as typed whatever
// its standard_conforming_strings says. With that off, a plain text takes a backslash as an
// escape: the operator's \' would end it, and the rest of the search text would run as SQL.
QString withEscapeStrings(const QString &sql) {
    QString out;
    out.reserve(sql.size() + 8);
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('"')) { // a quoted name: copied as it stands
            const qsizetype end = sql.indexOf(QLatin1Char('"'), i + 1);
            const qsizetype last = end < 0 ? sql.size() - 1 : end;
            out += QStringView(sql).mid(i, last - i + 1);
            i = last;
            continue;
        }
        if (c != QLatin1Char('\'')) {
            out += c;
            continue;
        }
        out += QStringLiteral(" E'");
        for (++i; i < sql.size(); ++i) {
            const QChar t = sql.at(i);
            if (t == QLatin1Char('\'')) {
                if (i + 1 < sql.size() && sql.at(i + 1) == QLatin1Char('\'')) {
                    out += QStringLiteral("''");
                    ++i;
                    continue;
                }
                break;
            }
            if (t == QLatin1Char('\\'))
                out += QLatin1Char('\\');
            out += t;
        }
        out += QLatin1Char('\'');
    }
    return out;
}

// A query a cursor can be declared for.
bool isSelect(const QString &sql) {
    const QString t = sql.trimmed();
    return t.startsWith(QLatin1String("SELECT"), Qt::CaseInsensitive) ||
           t.startsWith(QLatin1String("VALUES"), Qt::CaseInsensitive);
}

} // namespace

std::unique_ptr<RowReader> PostgresSearchSource::read(const QString &query,
                                                      QSqlError *error) const {
    const QString sql = withEscapeStrings(query);
    QSqlDatabase db = database();
    if (db.driverName() != QLatin1String("QPSQL") || !isSelect(sql))
        return SearchSource::read(sql, error);
    return CursorReader::open(db, sql, error);
}

PostgresSearchSource::PostgresSearchSource(std::unique_ptr<ServerLogin> login)
    : m_login(std::move(login)) {}

PostgresSearchSource::~PostgresSearchSource() = default;

QSqlDatabase PostgresSearchSource::database() const {
    return m_login->database();
}

QVariant PostgresSearchSource::fromStore(const QVariant &value) const {
    if (value.typeId() != QMetaType::QString)
        return value;
    QString text = value.toString();
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    text.truncate(end);
    return text;
}

std::unique_ptr<SearchSource> openServerSearchSource(const SearchSourceSettings &settings,
                                                     const QString &contents,
                                                     const QString &script) {
    return std::make_unique<PostgresSearchSource>(
        std::make_unique<ServerLogin>(settings, contents, script));
}

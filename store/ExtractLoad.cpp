#include "store/ExtractLoad.h"

#include "MDlib/Error.h"
#include "MDlib/Progress.h"
#include "MDlib/SystemError.h"
#include "store/ExtractStore.h"
#include "store/Libpq.h"
#include "store/LocalDatabase.h"
#include "store/SqlText.h"
#include "store/SqliteError.h"
#include "store/StoredValue.h"
#include "store/TableCatalogue.h"

#include <sqlite3.h>

#include <QDir>
#include <QHash>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>

#include <charconv>
#include <cmath>
#include <memory>
#include <vector>

using lodvik::Error;

namespace extractload {

namespace {

// A value as the server reads it from text; nothing for NULL.
using Field = std::optional<QByteArray>;

// Rows go to the server in pieces of about this size.
constexpr qsizetype kChunkBytes = 1 << 20;
// Rows per INSERT through ODBC.
constexpr int kInsertRows = 500;

const QString unchanged = QStringLiteral(" Tabellerna på servern är oförändrade.");

QString serverIdentifier(const QString &name) {
    return sqltext::identifier(name.toLower());
}

// One transaction on the server, through libpq or through Qt.
class Session {
public:
    virtual ~Session() = default;
    virtual void begin() = 0;
    virtual void execute(const QString &sql) = 0;
    // The rows of a query, each value as text.
    virtual QList<QStringList> rows(const QString &sql) = 0;
    virtual void beginCopy(const QString &table, const QStringList &columns) = 0;
    virtual void row(const std::vector<Field> &fields) = 0;
    virtual void endCopy() = 0;
    virtual void commit() = 0;
    virtual void rollback() noexcept = 0;
};

// The server's words for a failure: its message, its detail and where it happened.
struct ServerWords {
    QString message;
    QString context;
    QString text() const { return context.isEmpty() ? message : message + " (" + context + ')'; }
};

// Where a refused value stood: the row's number in the table's load (from 1), the server's
// column name and the value.
struct RefusedPlace {
    qint64 line = 0;
    QString column;
    QString value;
};

class ServerFailure : public Error {
public:
    ServerFailure(const ServerWords &words, const QString &what,
                  std::optional<RefusedPlace> place = std::nullopt)
        : Error(QStringLiteral("%1 misslyckades på servern.%2%3")
                    .arg(what, unchanged, lodvik::details(words.text()))),
          m_words(words), m_place(std::move(place)) {
        // COPY names the place in its context: "COPY t, line 5, column c: "abc"".
        static const QRegularExpression copyPlace(
            QStringLiteral("^COPY [^,]+, \\S+ (\\d+), \\S+ ([^:]+): \"(.*)\"$"),
            QRegularExpression::DotMatchesEverythingOption);
        if (const QRegularExpressionMatch m = copyPlace.match(words.context);
            !m_place && m.hasMatch())
            m_place = RefusedPlace{m.captured(1).toLongLong(), m.captured(2), m.captured(3)};
    }
    const ServerWords &words() const { return m_words; }
    const std::optional<RefusedPlace> &place() const { return m_place; }

private:
    ServerWords m_words;
    std::optional<RefusedPlace> m_place;
};

// COPY's text format: tab between fields, \N for NULL, backslash escapes for the rest.
void appendCopyField(QByteArray &line, const Field &field) {
    if (!field) {
        line += "\\N";
        return;
    }
    for (const char c : *field) {
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        case '\t':
            line += "\\t";
            break;
        default:
            line += c;
        }
    }
}

class LibpqSession : public Session {
public:
    explicit LibpqSession(PGconn *connection) : m_pq(dao::libpq()), m_connection(connection) {}

    void begin() override { execute(QStringLiteral("BEGIN")); }

    void execute(const QString &sql) override { check(run(sql)); }

    QList<QStringList> rows(const QString &sql) override {
        std::unique_ptr<PGresult, decltype(m_pq.PQclear)> result(run(sql), m_pq.PQclear);
        if (m_pq.PQresultStatus(result.get()) != PGRES_TUPLES_OK)
            fail(result.get());
        QList<QStringList> rows;
        for (int r = 0; r < m_pq.PQntuples(result.get()); ++r) {
            QStringList row;
            for (int c = 0; c < m_pq.PQnfields(result.get()); ++c)
                row.append(QString::fromUtf8(m_pq.PQgetvalue(result.get(), r, c)));
            rows.append(row);
        }
        return rows;
    }

    void beginCopy(const QString &table, const QStringList &columns) override {
        const QString sql = QStringLiteral("COPY %1 (%2) FROM STDIN")
                                .arg(table, columns.join(QStringLiteral(", ")));
        std::unique_ptr<PGresult, decltype(m_pq.PQclear)> result(run(sql), m_pq.PQclear);
        if (m_pq.PQresultStatus(result.get()) != PGRES_COPY_IN)
            fail(result.get());
        m_copying = true;
        m_buffer.clear();
    }

    void row(const std::vector<Field> &fields) override {
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                m_buffer += '\t';
            appendCopyField(m_buffer, fields[i]);
        }
        m_buffer += '\n';
        if (m_buffer.size() >= kChunkBytes)
            flush();
    }

    void endCopy() override {
        flush();
        m_copying = false;
        if (m_pq.PQputCopyEnd(m_connection, nullptr) != 1)
            throw ServerFailure({connectionWords(), {}}, QStringLiteral("Inläsningen"));
        finishCopy();
    }

    void commit() override { execute(QStringLiteral("COMMIT")); }

    void rollback() noexcept override {
        if (m_copying) {
            m_copying = false;
            m_pq.PQputCopyEnd(m_connection, "avbruten");
            while (PGresult *result = m_pq.PQgetResult(m_connection))
                m_pq.PQclear(result);
        }
        if (m_pq.PQstatus(m_connection) == CONNECTION_OK)
            m_pq.PQclear(m_pq.PQexec(m_connection, "ROLLBACK"));
    }

private:
    PGresult *run(const QString &sql) {
        return m_pq.PQexec(m_connection, sql.toUtf8().constData());
    }

    void check(PGresult *raw) {
        std::unique_ptr<PGresult, decltype(m_pq.PQclear)> result(raw, m_pq.PQclear);
        const ExecStatusType status = m_pq.PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            fail(result.get());
    }

    QString connectionWords() const {
        return QString::fromUtf8(m_pq.PQerrorMessage(m_connection)).trimmed();
    }

    [[noreturn]] void fail(const PGresult *result) {
        ServerWords words;
        const char *message =
            result ? m_pq.PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        words.message = message ? QString::fromUtf8(message) : connectionWords();
        if (const char *context =
                result ? m_pq.PQresultErrorField(result, PG_DIAG_CONTEXT) : nullptr)
            words.context = QString::fromUtf8(context);
        throw ServerFailure(words, QStringLiteral("Inläsningen"));
    }

    void flush() {
        if (m_buffer.isEmpty())
            return;
        if (m_pq.PQputCopyData(m_connection, m_buffer.constData(), int(m_buffer.size())) != 1) {
            m_copying = false;
            throw ServerFailure({connectionWords(), {}}, QStringLiteral("Inläsningen"));
        }
        m_buffer.clear();
    }

    // The result of the COPY: a refused value shows here, with the line and column it was in.
    void finishCopy() {
        std::unique_ptr<PGresult, decltype(m_pq.PQclear)> last(nullptr, m_pq.PQclear);
        while (PGresult *result = m_pq.PQgetResult(m_connection)) {
            if (!last || m_pq.PQresultStatus(result) != PGRES_COMMAND_OK)
                last.reset(result);
            else
                m_pq.PQclear(result);
        }
        if (!last || m_pq.PQresultStatus(last.get()) != PGRES_COMMAND_OK)
            fail(last.get());
    }

    const dao::Libpq &m_pq;
    PGconn *m_connection;
    QByteArray m_buffer;
    bool m_copying = false;
};

// A value as an SQL literal: every value goes as text, which the server reads in the column's
// type exactly as COPY does.
QString literal(const Field &field) {
    if (!field)
        return QStringLiteral("NULL");
    return QLatin1Char('\'') +
           QString::fromUtf8(*field).replace(QLatin1Char('\''), QStringLiteral("''")) +
           QLatin1Char('\'');
}

// Through QODBC (or a driver without libpq): plain INSERT batches in the same one transaction.
class QuerySession : public Session {
public:
    explicit QuerySession(QSqlDatabase db) : m_db(db) {}

    void begin() override {
        if (!m_db.transaction())
            throw failure(m_db.lastError());
        m_open = true;
    }

    void execute(const QString &sql) override {
        QSqlQuery query(m_db);
        if (!query.exec(sql))
            throw failure(query.lastError());
    }

    QList<QStringList> rows(const QString &sql) override {
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        if (!query.exec(sql))
            throw failure(query.lastError());
        QList<QStringList> rows;
        while (query.next()) {
            QStringList row;
            for (int c = 0; c < query.record().count(); ++c)
                row.append(query.value(c).toString());
            rows.append(row);
        }
        return rows;
    }

    void beginCopy(const QString &table, const QStringList &columns) override {
        m_table = table;
        m_columns = columns;
        m_insert = QStringLiteral("INSERT INTO %1 (%2) VALUES ")
                       .arg(table, columns.join(QStringLiteral(", ")));
        m_values.clear();
        m_batch.clear();
        m_sent = 0;
    }

    void row(const std::vector<Field> &fields) override {
        QStringList values;
        values.reserve(qsizetype(fields.size()));
        for (const Field &field : fields)
            values.append(literal(field));
        if (!m_batch.empty())
            m_values += QLatin1Char(',');
        m_values += QLatin1Char('(') + values.join(QLatin1Char(',')) + QLatin1Char(')');
        m_batch.push_back(fields);
        if (qsizetype(m_batch.size()) >= kInsertRows || m_values.size() >= kChunkBytes)
            flush();
    }

    void endCopy() override { flush(); }

    void commit() override {
        if (!m_db.commit())
            throw failure(m_db.lastError());
        m_open = false;
    }

    void rollback() noexcept override {
        if (m_open)
            m_db.rollback();
        m_open = false;
    }

private:
    static ServerFailure failure(const QSqlError &error) {
        return ServerFailure(
            {error.databaseText().trimmed().isEmpty() ? error.text() : error.databaseText(), {}},
            QStringLiteral("Inläsningen"));
    }

    // A batch the server refuses is rolled back to its savepoint and tried again a row and then
    // a value at a time, so that the operator learns the place as COPY would tell it.
    void flush() {
        if (m_batch.empty())
            return;
        execute(QStringLiteral("SAVEPOINT lodvik_parti"));
        QSqlQuery insert(m_db);
        if (!insert.exec(m_insert + m_values)) {
            const ServerFailure failure = QuerySession::failure(insert.lastError());
            execute(QStringLiteral("ROLLBACK TO SAVEPOINT lodvik_parti"));
            throw ServerFailure(failure.words(), QStringLiteral("Inläsningen"), refusedPlace());
        }
        execute(QStringLiteral("RELEASE SAVEPOINT lodvik_parti"));
        m_sent += qint64(m_batch.size());
        m_values.clear();
        m_batch.clear();
    }

    bool refuses(const QStringList &columns, const QStringList &values) {
        QSqlQuery probe(m_db);
        const bool refused = !probe.exec(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(m_table, columns.join(QStringLiteral(", ")), values.join(QLatin1Char(','))));
        execute(QStringLiteral("ROLLBACK TO SAVEPOINT lodvik_parti"));
        return refused;
    }

    std::optional<RefusedPlace> refusedPlace() {
        for (size_t r = 0; r < m_batch.size(); ++r) {
            QStringList values;
            for (const Field &field : m_batch[r])
                values.append(literal(field));
            if (!refuses(m_columns, values))
                continue;
            // The row number alone, then one value beside it at a time.
            for (qsizetype c = 0; c + 1 < m_columns.size(); ++c)
                if (refuses({m_columns.at(c), m_columns.last()}, {values.at(c), values.last()}))
                    return RefusedPlace{m_sent + qint64(r) + 1,
                                        QString(m_columns.at(c)).remove(QLatin1Char('"')),
                                        QString::fromUtf8(m_batch[r][size_t(c)].value_or(""))};
        }
        return std::nullopt;
    }

    QSqlDatabase m_db;
    QString m_table;
    QStringList m_columns;
    QString m_insert;
    QString m_values;
    std::vector<std::vector<Field>> m_batch;
    qint64 m_sent = 0; // rows of the table in earlier batches
    bool m_open = false;
};

std::unique_ptr<Session> openSession(QSqlDatabase db) {
    if (PGconn *connection = dao::pgConnection(db))
        return std::make_unique<LibpqSession>(connection);
    return std::make_unique<QuerySession>(db);
}

// Rolls the transaction back unless it was committed.
class Transaction {
public:
    explicit Transaction(Session &session) : m_session(session) { m_session.begin(); }
    ~Transaction() {
        if (!m_committed)
            m_session.rollback();
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit() {
        m_session.commit();
        m_committed = true;
    }

private:
    Session &m_session;
    bool m_committed = false;
};

// ---- the store's side

struct SourceColumn {
    QString name;
    QString declaredType;
    bool holdsText = false; // a value of it is stored as text
};

struct SourceTable {
    QString name;
    QList<SourceColumn> columns;
    qint64 rows = 0;
};

struct StatementFinalizer {
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

StatementPtr prepare(dao::Database &store, const QString &sql) {
    sqlite3_stmt *raw = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(store.handle(), utf8.constData(), int(utf8.size()), &raw, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(raw);
        throw Error(QStringLiteral("%1 kan inte läsas: %2")
                        .arg(store.path(), dao::sqliteFailure(store.handle())));
    }
    return StatementPtr(raw);
}

QList<SourceTable> sourceTables(dao::Database &store, const std::optional<QStringList> &only) {
    QList<SourceTable> tables;
    StatementPtr list = prepare(store, QStringLiteral("SELECT name FROM main.sqlite_schema WHERE "
                                                      "type = 'table' AND name NOT LIKE "
                                                      "'sqlite\\_%' ESCAPE '\\' ORDER BY rowid"));
    while (sqlite3_step(list.get()) == SQLITE_ROW) {
        const QString name =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(list.get(), 0)));
        if (only && !only->contains(name, Qt::CaseInsensitive))
            continue;
        tables.append({name, {}, 0});
    }
    for (SourceTable &table : tables) {
        StatementPtr columns =
            prepare(store, QStringLiteral("SELECT name, type FROM pragma_table_info(%1)")
                               .arg(sqltext::literal(table.name)));
        while (sqlite3_step(columns.get()) == SQLITE_ROW)
            table.columns.append({QString::fromUtf8(reinterpret_cast<const char *>(
                                      sqlite3_column_text(columns.get(), 0))),
                                  QString::fromUtf8(reinterpret_cast<const char *>(
                                      sqlite3_column_text(columns.get(), 1)))});
        StatementPtr count = prepare(
            store, QStringLiteral("SELECT count(*) FROM %1").arg(sqltext::identifier(table.name)));
        if (sqlite3_step(count.get()) == SQLITE_ROW)
            table.rows = sqlite3_column_int64(count.get(), 0);
    }
    return tables;
}

// A file with none of the extract tables (sokdata.db, say) is no extract store: its tables
// would only stand beside the extracts on the server.
void refuseWithoutExtracts(const QList<SourceTable> &tables, const QString &storePath) {
    for (const catalogue::Table &extract : catalogue::localTables())
        for (const SourceTable &table : tables)
            if (table.name.compare(extract.name, Qt::CaseInsensitive) == 0)
                return;
    throw Error(QStringLiteral("%1 innehåller ingen av extrakttabellerna (pjomr, DTSPL, pjsfakt "
                               "och de andra) och är ingen local.mdb; inget är ändrat på servern.")
                    .arg(QDir::toNativeSeparators(storePath)));
}

// The name under which the row's rowid can be selected: one the table has no column of.
QString rowidName(const SourceTable &table) {
    for (const char *name : {"rowid", "_rowid_", "oid"}) {
        bool taken = false;
        for (const SourceColumn &c : table.columns)
            taken = taken || c.name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
        if (!taken)
            return QLatin1String(name);
    }
    return {};
}

// The server type the schema gives a column of the catalogue's tables that holds numbers only:
// integer for the running numbers, double precision for the rest; another type (text, say) that
// the column has on the server when it holds no number column stays.
QString numberType(const QString &table, const QString &column, const QString &current) {
    const catalogue::Table *known = catalogue::findLocalTable(table);
    if (!known)
        return current;
    for (const catalogue::Column &c : known->columns)
        if (c.name.compare(column, Qt::CaseInsensitive) == 0) {
            if (c.kind != catalogue::ColumnKind::Number)
                return current;
            return column.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0
                       ? QStringLiteral("integer")
                       : QStringLiteral("double precision");
        }
    return current;
}

// The server type for a column of a table the catalogue does not know, by SQLite's rules for
// the declared type.
QString serverType(const QString &declared) {
    const QString t = declared.toUpper();
    if (t.contains(QLatin1String("INT")))
        return QStringLiteral("bigint");
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) ||
        t.contains(QLatin1String("TEXT")) || t.isEmpty())
        return QStringLiteral("text");
    if (t.contains(QLatin1String("BLOB")))
        return QStringLiteral("bytea");
    return QStringLiteral("double precision");
}

QByteArray doubleText(double value) {
    if (std::isinf(value))
        return value > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity");
    // The shortest text that reads back as the same double.
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return QByteArray(digits, end - digits);
}

// A value for a server column, as text. Into a text column a real number keeps a point, so
// that it reads back as a real number, not as the integer of its digits.
Field fieldOf(sqlite3_stmt *statement, int column, bool bytea, bool text) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        return std::nullopt;
    case SQLITE_INTEGER:
        return QByteArray::number(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT: {
        QByteArray number = doubleText(sqlite3_column_double(statement, column));
        if (text && !number.contains('.') && !number.contains('e') && !number.contains('n'))
            number += ".0";
        return number;
    }
    case SQLITE_BLOB: {
        const QByteArray bytes(static_cast<const char *>(sqlite3_column_blob(statement, column)),
                               sqlite3_column_bytes(statement, column));
        return bytea ? "\\x" + bytes.toHex() : bytes;
    }
    default: {
        const QByteArray text(
            reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
            sqlite3_column_bytes(statement, column));
        return bytea ? "\\x" + text.toHex() : text;
    }
    }
}

// Which columns of a table of the catalogue hold texts where the figures read numbers, and a
// value there that no figure accepts (a blob, an infinity, a text that is no number) refused
// with its table, row and column before the server is touched. The row is the row's place in
// the table, from 1, in rowid order: the line COPY would name.
void checkNumbers(dao::Database &store, SourceTable &table, const QString &rowid) {
    const catalogue::Table *known = catalogue::findLocalTable(table.name);
    QList<int> numbers; // positions among table.columns
    QStringList flags;
    // A column of the catalogue that the figures read numbers from, or one of another table that
    // the server would type as numbers.
    const auto readsNumbers = [&](const SourceColumn &column) {
        if (!known) {
            const QString type = serverType(column.declaredType);
            return type != QLatin1String("text") && type != QLatin1String("bytea");
        }
        for (const catalogue::Column &c : known->columns)
            if (c.name.compare(column.name, Qt::CaseInsensitive) == 0)
                return c.kind == catalogue::ColumnKind::Number;
        return false;
    };
    for (qsizetype i = 0; i < table.columns.size(); ++i)
        if (readsNumbers(table.columns.at(i))) {
            const QString column = sqltext::identifier(table.columns.at(i).name);
            numbers.append(int(i));
            flags.append(
                QStringLiteral("max(typeof(%1) = 'text'), max(typeof(%1) = 'blob' OR "
                               "(typeof(%1) = 'real' AND abs(%1) > 1.7976931348623157e308))")
                    .arg(column));
        }
    if (numbers.isEmpty())
        return;
    StatementPtr scan =
        prepare(store, QStringLiteral("SELECT %1 FROM %2")
                           .arg(flags.join(QStringLiteral(", ")), sqltext::identifier(table.name)));
    if (sqlite3_step(scan.get()) != SQLITE_ROW)
        return;
    QList<int> suspect;
    for (qsizetype n = 0; n < numbers.size(); ++n) {
        const bool texts = sqlite3_column_int(scan.get(), int(2 * n)) != 0;
        const bool refused = sqlite3_column_int(scan.get(), int(2 * n + 1)) != 0;
        table.columns[numbers.at(n)].holdsText = texts;
        // No figure reads the other tables: what they hold goes as it is.
        if (known && (texts || refused))
            suspect.append(numbers.at(n));
    }
    for (const int i : suspect) {
        const QString column = sqltext::identifier(table.columns.at(i).name);
        StatementPtr values = prepare(
            store, QStringLiteral("SELECT %1 FROM %2%3")
                       .arg(column, sqltext::identifier(table.name),
                            rowid.isEmpty() ? QString() : QStringLiteral(" ORDER BY ") + rowid));
        for (qint64 row = 1; sqlite3_step(values.get()) == SQLITE_ROW; ++row) {
            sqlite3_stmt *v = values.get();
            QString shown;
            switch (sqlite3_column_type(v, 0)) {
            case SQLITE_BLOB:
                shown = QStringLiteral("x'%1'").arg(QString::fromLatin1(
                    QByteArray(static_cast<const char *>(sqlite3_column_blob(v, 0)),
                               sqlite3_column_bytes(v, 0))
                        .toHex()
                        .toUpper()));
                break;
            case SQLITE_FLOAT:
                if (!std::isfinite(sqlite3_column_double(v, 0)))
                    shown = sqlite3_column_double(v, 0) < 0 ? QStringLiteral("-Inf")
                                                            : QStringLiteral("Inf");
                break;
            case SQLITE_TEXT: {
                const QByteArrayView text(reinterpret_cast<const char *>(sqlite3_column_text(v, 0)),
                                          sqlite3_column_bytes(v, 0));
                // What one figure or another reads as a number (the sums as SQLite converts a
                // text, the row walks as NullToValue does) must reach the server as it is.
                const dao::StoredNumber sum = dao::storedText(text, dao::ValueRule::Sum);
                const dao::StoredNumber quantity = dao::storedText(text, dao::ValueRule::Quantity);
                const bool summed =
                    sum.kind == dao::StoredNumber::Kind::Integer ||
                    (sum.kind == dao::StoredNumber::Kind::Real && std::isfinite(sum.real));
                if (!summed && quantity.kind == dao::StoredNumber::Kind::Refused)
                    shown = QStringLiteral("\"%1\"").arg(QString::fromUtf8(text));
                break;
            }
            default:
                break;
            }
            if (!shown.isEmpty())
                throw Error(QStringLiteral("Värdet %1 i tabellen %2, kolumnen %3, rad %4 är inget "
                                           "tal, och ingen siffra kan räkna med det; "
                                           "extrakttabellerna lästes inte in.%5 Rätta värdet i "
                                           "%6 och läs in igen.")
                                .arg(shown, table.name, table.columns.at(i).name,
                                     QString::number(row), unchanged, store.path()));
        }
    }
}

// ---- the server's side

struct ServerColumn {
    QString name;
    QString type;
};

// The tables of the server's current schema with their columns, by name.
QHash<QString, QList<ServerColumn>> serverTables(Session &session) {
    QHash<QString, QList<ServerColumn>> tables;
    const QList<QStringList> rows = session.rows(QStringLiteral(
        "SELECT c.relname, a.attname, format_type(a.atttypid, a.atttypmod) FROM pg_class c "
        "JOIN pg_attribute a ON a.attrelid = c.oid WHERE c.relnamespace = (SELECT oid FROM "
        "pg_namespace WHERE nspname = current_schema()) AND c.relkind IN ('r', 'p') AND "
        "a.attnum > 0 AND NOT a.attisdropped ORDER BY c.relname, a.attnum"));
    for (const QStringList &row : rows)
        tables[row.value(0)].append({row.value(1), row.value(2)});
    return tables;
}

bool isTrue(const QString &value) {
    return value == QLatin1String("1") || value == QLatin1String("t") ||
           value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

void takeLock(Session &session, lodvik::Progress &progress, const LoadOptions &options,
              const QString &description) {
    const QString sql =
        QStringLiteral("SELECT CASE WHEN pg_try_advisory_xact_lock(%1) THEN 1 ELSE 0 END")
            .arg(extractLoadLockKey);
    if (isTrue(session.rows(sql).value(0).value(0)))
        return;
    if (options.whenBusy == WhenBusy::Refuse)
        throw Error(QStringLiteral("Extrakttabellerna i %1 läses redan in från en annan "
                                   "arbetsstation. Försök igen när den inläsningen är klar.")
                        .arg(description));
    if (options.waiting)
        options.waiting();
    progress.caption(QStringLiteral("Väntar på en annan inläsning till servern"),
                     lodvik::Progress::Show::Now);
    // Asked again and again rather than waited for in one call, so that Avbryt and Ctrl+C work.
    do {
        progress.checkCancelled();
        QThread::msleep(250);
    } while (!isTrue(session.rows(sql).value(0).value(0)));
}

// Where the store's rows go on the server: the server's columns and their types.
struct Plan {
    QString serverTable;
    QStringList serverColumns; // quoted, the row number last
    QList<int> sourceColumns;  // positions in the store's SELECT, for each but the row number
    QList<bool> bytea;
    QList<bool> text;     // the server column is text: numbers go as texts that read back the same
    QList<QString> names; // the store's column names, for messages
};

Plan planTable(Session &session, const SourceTable &table,
               const QHash<QString, QList<ServerColumn>> &server, bool canGiveAway) {
    Plan plan;
    const QString serverName = table.name.toLower();
    plan.serverTable = serverIdentifier(table.name);
    const bool known = catalogue::findLocalTable(table.name) != nullptr;
    QList<ServerColumn> columns;
    if (known) {
        if (!server.contains(serverName))
            throw Error(QStringLiteral("Tabellen %1 saknas i extraktdatabasen på servern; "
                                       "kör extrakt-postgresql.sql där först.%2")
                            .arg(table.name, unchanged));
        columns = server.value(serverName);
        session.execute(QStringLiteral("DELETE FROM %1").arg(plan.serverTable));
    } else {
        // Not read by the figures: made anew with the store's columns.
        QStringList definitions;
        for (const SourceColumn &c : table.columns) {
            const QString type = c.holdsText ? QStringLiteral("text") : serverType(c.declaredType);
            columns.append({c.name.toLower(), type});
            definitions.append(serverIdentifier(c.name) + QLatin1Char(' ') + type);
        }
        definitions.append(QStringLiteral("%1 bigint NOT NULL PRIMARY KEY")
                               .arg(QLatin1String(extractRowNumberColumn)));
        columns.append({QLatin1String(extractRowNumberColumn), QStringLiteral("bigint")});
        session.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(plan.serverTable));
        session.execute(QStringLiteral("CREATE TABLE %1 (%2)")
                            .arg(plan.serverTable, definitions.join(QStringLiteral(", "))));
        if (canGiveAway) {
            // Every loading workstation may replace it next time, and every reading one read it.
            session.execute(QStringLiteral("GRANT SELECT ON %1 TO lodvik_extrakt_lasare")
                                .arg(plan.serverTable));
            session.execute(QStringLiteral("ALTER TABLE %1 OWNER TO lodvik_extrakt_laddare")
                                .arg(plan.serverTable));
        }
    }
    bool hasRowNumber = false;
    for (const ServerColumn &c : columns)
        hasRowNumber = hasRowNumber || c.name == QLatin1String(extractRowNumberColumn);
    if (!hasRowNumber)
        throw Error(QStringLiteral("Tabellen %1 på servern saknar kolumnen %2; kör "
                                   "extrakt-postgresql.sql där först.%3")
                        .arg(table.name, QLatin1String(extractRowNumberColumn), unchanged));
    for (qsizetype i = 0; i < table.columns.size(); ++i) {
        const SourceColumn &source = table.columns.at(i);
        const QString name = source.name;
        if (name.toLower() == QLatin1String(extractRowNumberColumn))
            throw Error(QStringLiteral("Tabellen %1 har en kolumn %2, som servern använder för "
                                       "radernas ordning; byt namn på kolumnen.%3")
                            .arg(table.name, name, unchanged));
        auto match = std::find_if(columns.begin(), columns.end(),
                                  [&](const ServerColumn &c) { return c.name == name.toLower(); });
        // What the column holds decides its server type: a column with texts where numbers are
        // read holds text on the server (readers read it as the local figures read the file).
        const QString wanted = source.holdsText ? QStringLiteral("text")
                               : match != columns.end() && known
                                   ? numberType(table.name, name, match->type)
                                   : serverType(source.declaredType);
        if (match == columns.end()) {
            // A column the schema does not name is added, so that the server holds what the
            // file holds.
            session.execute(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                                .arg(plan.serverTable, serverIdentifier(name), wanted));
            columns.append({name.toLower(), wanted});
            match = columns.end() - 1;
        } else if (known && match->type != wanted) {
            // The table is empty in this transaction: nothing to convert but the type.
            session.execute(QStringLiteral("ALTER TABLE %1 ALTER COLUMN %2 TYPE %3 USING %2::%3")
                                .arg(plan.serverTable, sqltext::identifier(match->name), wanted));
            match->type = wanted;
        }
        plan.serverColumns.append(sqltext::identifier(match->name));
        plan.sourceColumns.append(int(i) + 1);
        plan.bytea.append(match->type == QLatin1String("bytea"));
        plan.text.append(match->type == QLatin1String("text"));
        plan.names.append(name);
    }
    plan.serverColumns.append(QLatin1String(extractRowNumberColumn));
    return plan;
}

// The operator's message for a value the server refused, from the place COPY names.
[[noreturn]] void refused(const ServerFailure &failure, const SourceTable &table,
                          const Plan &plan) {
    if (const std::optional<RefusedPlace> &place = failure.place()) {
        QString column = place->column;
        for (const QString &name : plan.names)
            if (name.toLower() == column)
                column = name;
        throw Error(QStringLiteral("Servern tog inte emot värdet \"%1\" i tabellen %2, kolumnen "
                                   "%3, rad %4, och extrakttabellerna lästes inte in.%5%6")
                        .arg(place->value, table.name, column, QString::number(place->line),
                             unchanged, lodvik::details(failure.words().text())));
    }
    throw Error(QStringLiteral("Tabellen %1 kunde inte läsas in på servern, och "
                               "extrakttabellerna lästes inte in.%2%3")
                    .arg(table.name, unchanged, lodvik::details(failure.words().text())));
}

qint64 copyTable(Session &session, dao::Database &store, const SourceTable &table, const Plan &plan,
                 lodvik::Progress &progress, qint64 &done, qint64 total) {
    const QString rowid = rowidName(table);
    QStringList selected{rowid.isEmpty() ? QStringLiteral("NULL") : rowid};
    for (const SourceColumn &c : table.columns)
        selected.append(sqltext::identifier(c.name));
    StatementPtr read = prepare(
        store, QStringLiteral("SELECT %1 FROM %2%3")
                   .arg(selected.join(QStringLiteral(", ")), sqltext::identifier(table.name),
                        rowid.isEmpty() ? QString() : " ORDER BY " + rowid));
    try {
        session.beginCopy(plan.serverTable, plan.serverColumns);
        std::vector<Field> fields(size_t(plan.serverColumns.size()));
        qint64 rows = 0;
        int rc;
        while ((rc = sqlite3_step(read.get())) == SQLITE_ROW) {
            progress.checkCancelled();
            for (qsizetype i = 0; i < plan.sourceColumns.size(); ++i)
                fields[size_t(i)] = fieldOf(read.get(), plan.sourceColumns.at(i), plan.bytea.at(i),
                                            plan.text.at(i));
            // A table without rowid keeps its rows' order.
            fields.back() = rowid.isEmpty()
                                ? QByteArray::number(rows + 1)
                                : QByteArray::number(sqlite3_column_int64(read.get(), 0));
            session.row(fields);
            ++rows;
            progress.count(++done, total);
        }
        if (rc != SQLITE_DONE)
            // The reason ends on SQLite's own words: what the server kept goes before it.
            throw Error(
                QStringLiteral("Tabellen %1 i %2 kan inte läsas.%3 Orsak: %4")
                    .arg(table.name, store.path(), unchanged, dao::sqliteFailure(store.handle())));
        session.endCopy();
        return rows;
    } catch (const ServerFailure &failure) {
        refused(failure, table, plan);
    }
}

} // namespace

LoadResult loadServerStore(const QString &storePath, const SearchSourceSettings &settings,
                           lodvik::Progress &progress, const LoadOptions &options) {
    dao::Database store = dao::Database::OpenDatabase(storePath);
    // Every table from one state of the store, whoever writes it meanwhile.
    store.Execute(QStringLiteral("BEGIN"));
    QList<SourceTable> tables = sourceTables(store, options.tables);
    if (!options.tables) // a whole store, not an Access file's tables on their way
        refuseWithoutExtracts(tables, storePath);
    qint64 total = 0;
    for (SourceTable &t : tables) {
        total += t.rows;
        checkNumbers(store, t, rowidName(t));
    }

    progress.caption(QStringLiteral("Ansluter till servern"), lodvik::Progress::Show::Now);
    const std::unique_ptr<ServerLogin> server = openExtractServer(settings);
    const std::unique_ptr<Session> session = openSession(server->database());
    LoadResult result;
    {
        Transaction transaction(*session);
        // A large table takes longer than the time a query of the window may.
        session->execute(QStringLiteral("SET LOCAL statement_timeout = 0"));
        // "does not exist, skipping" and the like are no news for the operator.
        session->execute(QStringLiteral("SET LOCAL client_min_messages = warning"));
        takeLock(*session, progress, options, server->description());
        const QHash<QString, QList<ServerColumn>> onServer = serverTables(*session);
        const bool canGiveAway =
            isTrue(session
                       ->rows(QStringLiteral(
                           "SELECT CASE WHEN (SELECT count(*) FROM pg_roles WHERE rolname IN "
                           "('lodvik_extrakt_laddare', 'lodvik_extrakt_lasare')) < 2 THEN 0 WHEN "
                           "pg_has_role('lodvik_extrakt_laddare', 'MEMBER') THEN 1 ELSE 0 END"))
                       .value(0)
                       .value(0));
        qint64 done = 0;
        for (const SourceTable &table : tables) {
            progress.caption(QStringLiteral("Läser in %1 på servern").arg(table.name));
            progress.checkCancelled();
            const Plan plan = planTable(*session, table, onServer, canGiveAway);
            const qint64 rows = copyTable(*session, store, table, plan, progress, done, total);
            result.tables.append({table.name, rows});
        }
        progress.checkCancelled();
        progress.caption(QStringLiteral("Sparar på servern"), lodvik::Progress::Show::Now);
        transaction.commit();
    }
    store.Execute(QStringLiteral("COMMIT"));
    return result;
}

} // namespace extractload

#include "store/ServerStore.h"

#include "MDlib/Error.h"
#include "MDlib/SystemError.h"
#include "store/CheckedSum.h"
#include "store/ExtractStore.h"
#include "store/LocalDatabase.h"
#include "store/SqlText.h"
#include "store/TableCatalogue.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <limits>

using lodvik::Error;
using lodvik::Variant;

namespace dao {

namespace {

// Rows fetched at a time from a query's cursor: few round trips, little memory for DTSPL.
constexpr int batchRows = 2000;

// The write lock of the extract store, held by a date conversion for the whole of its
// transaction: two workstations converting at once convert each row once, and a load never
// replaces the rows under a conversion (it takes the same lock).
constexpr qint64 writeLockKey = extractLoadLockKey;

// A name as the server keeps it unquoted: A-Z folded, other letters as they are.
QString serverName(const QString &name) {
    QString folded = name;
    for (QChar &c : folded)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 0x20);
    return sqltext::identifier(folded);
}

Variant fromServer(const QVariant &value) {
    if (value.isNull())
        return Variant::Null();
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong: {
        const qint64 v = value.toLongLong();
        if (v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max())
            return Variant::Long(qint32(v));
        return Variant::Double(double(v));
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return numericValue(value.toDouble());
    default:
        return Variant::String(value.toString());
    }
}

QVariant toServer(const Variant &value) {
    switch (value.type()) {
    case Variant::Type::Empty:
    case Variant::Type::Null:
        return QVariant(QMetaType(QMetaType::QString));
    case Variant::Type::Integer:
    case Variant::Type::Long:
    case Variant::Type::Boolean:
        return QVariant(qint64(value.number()));
    case Variant::Type::Double:
        return QVariant(value.number());
    default:
        return QVariant(value.toText());
    }
}

// What went wrong, from the server's SQLSTATE (or the driver's kind of error when there is none).
QString reasonOf(const QSqlError &error) {
    const QString state = error.nativeErrorCode();
    const QString words = error.text();
    if (state == QLatin1String("57014"))
        return QStringLiteral("servern avbröt frågan (tidsgränsen statement_timeout nåddes, eller "
                              "frågan avbröts av administratören)");
    if (state.startsWith(QLatin1String("57P")) || state.startsWith(QLatin1String("08")) ||
        error.type() == QSqlError::ConnectionError ||
        words.contains(QLatin1String("server closed the connection")) ||
        words.contains(QLatin1String("no connection to the server")) ||
        words.contains(QLatin1String("terminating connection")))
        return QStringLiteral("förbindelsen med servern bröts (servern kan ha startats om eller "
                              "stängt anslutningen); inget av arbetet sparades");
    if (state == QLatin1String("40001") || state == QLatin1String("40P01"))
        return QStringLiteral("en annan arbetsstation ändrade samma rader samtidigt; försök igen");
    if (state.startsWith(QLatin1String("28")))
        return QStringLiteral("inloggningen nekades (fel användare eller lösenord)");
    if (state == QLatin1String("42501"))
        return QStringLiteral("rollen saknar behörighet till tabellen");
    if (state == QLatin1String("42P01"))
        return QStringLiteral("en tabell saknas");
    if (state == QLatin1String("42703"))
        return QStringLiteral("en kolumn saknas");
    return QStringLiteral("servern vägrade frågan");
}

QString serverWords(const QSqlError &error) {
    const QString words = error.databaseText().trimmed();
    return words.isEmpty() ? error.text().trimmed() : words;
}

} // namespace

std::optional<SearchSourceSettings> serverStoreOf(const QString &localDatabase) {
    return readExtractStoreSettings(QFileInfo(localDatabase).absolutePath());
}

ServerConnection::ServerConnection(const SearchSourceSettings &settings, Access access,
                                   const QString &snapshot)
    : m_source(openExtractServer(settings)), m_description(m_source->description()),
      m_writes(access == Access::Write) {
    {
        // Waits for another workstation's conversion before the snapshot is taken, so that
        // its codes are seen and left as they are.
        if (m_writes) {
            // Waiting for a load or another conversion is no slow query: no time limit for it.
            const QString limit = value(QStringLiteral("SHOW statement_timeout"));
            run(QStringLiteral("SET statement_timeout = 0"));
            run(QStringLiteral("SELECT pg_advisory_lock(%1)").arg(writeLockKey));
            run(QStringLiteral("SET statement_timeout = ") + sqltext::literal(limit));
        }
        m_begin = QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ") +
                  (m_writes ? QString() : QStringLiteral(" READ ONLY"));
        begin();
        if (!snapshot.isEmpty())
            run(QStringLiteral("SET TRANSACTION SNAPSHOT ") + sqltext::literal(snapshot));
    }
}

ServerConnection::~ServerConnection() {
    m_prepared.clear();
    QSqlDatabase db = database();
    if (db.isOpen()) {
        QSqlQuery end(db);
        // What a reader did needs no keeping; a writer's rows are committed by commit().
        if (m_open)
            end.exec(QStringLiteral("ROLLBACK"));
        if (m_writes)
            end.exec(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(writeLockKey));
    }
}

QSqlDatabase ServerConnection::database() const {
    return m_source->database();
}

void ServerConnection::fail(const QSqlError &error, const QString &sql) const {
    QString message = QStringLiteral("Databasfel i extraktdatabasen, %1: %2.")
                          .arg(m_description, reasonOf(error));
    if (!sql.isEmpty())
        message += QStringLiteral("\nFråga: %1").arg(sql);
    throw Error(message + lodvik::details(serverWords(error)));
}

void ServerConnection::run(const QString &sql) {
    QSqlQuery query(database());
    if (!query.exec(sql))
        fail(query.lastError(), sql);
}

void ServerConnection::begin() {
    run(m_begin);
    m_open = true;
}

void ServerConnection::commit() {
    if (m_open) {
        m_open = false;
        run(QStringLiteral("COMMIT"));
    }
    begin();
}

QString ServerConnection::value(const QString &sql) {
    QSqlQuery query(database());
    if (!query.exec(sql) || !query.next())
        fail(query.lastError(), sql);
    return query.value(0).toString();
}

QString ServerConnection::exportSnapshot() {
    return value(QStringLiteral("SELECT pg_export_snapshot()"));
}

QSqlQuery &ServerConnection::prepared(const QString &sql, const QVariantList &values) {
    std::shared_ptr<QSqlQuery> &query = m_prepared[sql];
    if (!query) {
        query = std::make_shared<QSqlQuery>(database());
        query->setForwardOnly(true);
        if (!query->prepare(sql)) {
            const QSqlError error = query->lastError();
            m_prepared.remove(sql);
            fail(error, sql);
        }
    }
    for (qsizetype i = 0; i < values.size(); ++i)
        query->bindValue(int(i), values[i]);
    if (!query->exec()) {
        const QSqlError error = query->lastError();
        m_prepared.remove(sql);
        fail(error, sql);
    }
    return *query;
}

void ServerConnection::execute(const QString &sql, const std::vector<Variant> &values) {
    if (values.empty()) {
        run(sql);
        return;
    }
    QVariantList bound;
    for (const Variant &value : values)
        bound.append(toServer(value));
    prepared(sql, bound).finish();
}

void ServerConnection::update(const QString &table, const QString &column, const Variant &value,
                              qint64 radnr) {
    prepared(QStringLiteral("UPDATE %1 SET %2 = ? WHERE lodvik_radnr = ?")
                 .arg(serverName(table), serverName(column)),
             {toServer(value), QVariant(radnr)})
        .finish();
}

bool ServerConnection::tableExists(const QString &name) {
    QSqlQuery &query =
        prepared(QStringLiteral("SELECT 1 FROM information_schema.tables WHERE table_schema = ANY "
                                "(current_schemas(false)) AND lower(table_name) = lower(?)"),
                 {QVariant(name)});
    const bool found = query.next();
    query.finish();
    return found;
}

std::unique_ptr<ServerRows>
ServerConnection::query(const QString &sql, const std::vector<Variant> &values, QString *table) {
    QString text = sql;
    table->clear();
    const auto all = sqltext::tableQuery(sql);
    if (all && !all->table.startsWith(QLatin1Char('('))) {
        // A table's rows in the order SQLite gives them, lodvik_radnr kept for an update.
        *table = all->table;
        text = QStringLiteral("SELECT * FROM ") + serverName(all->table) + all->rest;
        if (all->rest.trimmed().isEmpty())
            text = text.trimmed() + QStringLiteral(" ORDER BY lodvik_radnr") +
                   (m_writes ? QStringLiteral(" FOR UPDATE") : QString());
    }
    auto rows = std::unique_ptr<ServerRows>(new ServerRows(*this, text, *table));
    if (!values.empty()) {
        QVariantList bound;
        for (const Variant &value : values)
            bound.append(toServer(value));
        rows->take(prepared(text, bound));
        return rows;
    }
    rows->m_cursor = QStringLiteral("lodvik_rader_%1").arg(++m_cursors);
    run(QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2").arg(rows->m_cursor, text));
    rows->fetch();
    return rows;
}

std::unique_ptr<ServerRows> ServerConnection::productRows(const QString &table, const QString &key,
                                                          const QString &select,
                                                          const QString &product) {
    // The product comparison of the store (dao::productKey on the server), in row order.
    QString sql = QStringLiteral("SELECT * FROM %1 WHERE lodvik_nyckel(%2) = lodvik_nyckel(?) "
                                 "ORDER BY lodvik_radnr")
                      .arg(serverName(table), serverName(key));
    if (!select.isEmpty())
        sql = QStringLiteral("SELECT %1 FROM (%2) AS rader").arg(select, sql);
    auto rows = std::unique_ptr<ServerRows>(new ServerRows(*this, sql, table));
    rows->take(prepared(sql, {QVariant(product)}));
    return rows;
}

Variant ServerConnection::sum(const QString &table, const QString &column, const QString &key,
                              const QString &product) {
    // The values in row order, added by the code that adds them on SQLite.
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(serverName(column), serverName(table));
    std::unique_ptr<ServerRows> rows;
    QString none;
    if (key.isEmpty()) {
        rows = query(sql + QStringLiteral(" ORDER BY lodvik_radnr"), {}, &none);
    } else {
        sql += QStringLiteral(" WHERE lodvik_nyckel(%1) = lodvik_nyckel(?) ORDER BY lodvik_radnr")
                   .arg(serverName(key));
        rows = std::make_unique<ServerRows>(*this, sql, table);
        rows->take(prepared(sql, {QVariant(product)}));
    }
    CheckedSum total(table, column);
    while (rows->next()) {
        const Variant &value = rows->row().at(0);
        QString failure;
        if (value.isNull())
            continue;
        if (value.isNumber())
            failure = total.addNumber(value.number());
        else
            failure = total.addText(value.toText());
        if (!failure.isEmpty())
            throw Error(failure);
    }
    return total.result();
}

ServerRows::ServerRows(ServerConnection &connection, const QString &sql, const QString &table)
    : m_connection(&connection), m_sql(sql), m_table(table) {}

ServerRows::ServerRows(const QString &name, const Variant &value) {
    m_names = {name};
    m_buffer.push_back({value});
    m_radnrs.push_back(0);
}

ServerRows::~ServerRows() {
    if (!m_cursor.isEmpty() && m_connection && m_connection->database().isOpen()) {
        QSqlQuery close(m_connection->database());
        close.exec(QStringLiteral("CLOSE ") + m_cursor);
    }
}

void ServerRows::take(QSqlQuery &query) {
    if (!m_named) {
        const QSqlRecord record = query.record();
        const catalogue::Table *known = catalogue::findLocalTable(m_table);
        for (int i = 0; i < record.count(); ++i) {
            const QString name = record.fieldName(i);
            if (name == QLatin1String("lodvik_radnr")) {
                m_radnrField = i;
                continue;
            }
            QString shown = name;
            // The catalogue's spelling, as the SQLite store names its columns.
            if (known)
                for (const catalogue::Column &c : known->columns)
                    if (c.name.compare(name, Qt::CaseInsensitive) == 0)
                        shown = c.name;
            m_names.append(shown);
            m_visible.push_back(i);
        }
        m_named = true;
    }
    while (query.next()) {
        std::vector<Variant> row;
        row.reserve(m_visible.size());
        for (const int field : m_visible)
            row.push_back(fromServer(query.value(field)));
        m_buffer.push_back(std::move(row));
        m_radnrs.push_back(m_radnrField >= 0 ? query.value(m_radnrField).toLongLong() : 0);
    }
    if (query.lastError().isValid())
        m_connection->fail(query.lastError(), m_sql);
    query.finish();
}

bool ServerRows::fetch() {
    QSqlQuery batch(m_connection->database());
    batch.setForwardOnly(true);
    const QString sql = QStringLiteral("FETCH %1 FROM %2").arg(batchRows).arg(m_cursor);
    if (!batch.exec(sql))
        m_connection->fail(batch.lastError(), m_sql);
    const size_t before = m_buffer.size();
    take(batch);
    if (m_buffer.size() - before < size_t(batchRows)) {
        QSqlQuery close(m_connection->database());
        close.exec(QStringLiteral("CLOSE ") + m_cursor);
        m_cursor.clear();
    }
    return m_buffer.size() > before;
}

bool ServerRows::next() {
    if (m_buffer.empty() && (m_cursor.isEmpty() || !fetch()))
        return false;
    m_row = std::move(m_buffer.front());
    m_buffer.pop_front();
    m_radnr = m_radnrs.front();
    m_radnrs.pop_front();
    return true;
}

} // namespace dao

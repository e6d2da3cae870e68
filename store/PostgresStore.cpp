#include "store/PostgresStore.h"

#include "MDlib/Error.h"
#include "MDlib/SystemError.h"
#include "store/CheckedSum.h"
#include "store/ExtractStore.h"
#include "store/LocalDatabase.h"
#include "store/PostgresScan.h"
#include "store/ScanTables.h"
#include "store/SqlText.h"
#include "store/TableCatalogue.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <deque>
#include <limits>
#include <vector>

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

// The rows of one query, read in batches from a cursor (or all at once for a prepared query);
// the current row's visible fields.
class ServerRows : public StoreRows {
public:
    ServerRows(PostgresStore &store, const QString &sql, const QString &table)
        : m_store(&store), m_sql(sql), m_table(table) {}
    // One row made here (a sum the connection added up), named name.
    ServerRows(const QString &name, const Variant &value) {
        m_names = {name};
        m_buffer.push_back({value});
        m_radnrs.push_back(0);
    }
    ~ServerRows() override {
        if (!m_cursor.isEmpty() && m_store && m_store->database().isOpen()) {
            QSqlQuery close(m_store->database());
            close.exec(QStringLiteral("CLOSE ") + m_cursor);
        }
    }

    bool next() override {
        if (m_buffer.empty() && (m_cursor.isEmpty() || !fetch()))
            return false;
        m_row = std::move(m_buffer.front());
        m_buffer.pop_front();
        m_radnr = m_radnrs.front();
        m_radnrs.pop_front();
        return true;
    }
    bool rewind() override { return false; }
    int fieldCount() const override { return int(m_names.size()); }
    QString fieldName(int position) const override { return m_names.at(position); }
    int find(const QString &name) const override {
        for (int i = fieldCount() - 1; i >= 0; --i)
            if (m_names.at(i).compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }
    Variant value(int position) const override { return m_row.at(size_t(position)); }
    StoredNumber number(int position, ValueRule rule) const override {
        return storedValue(m_row.at(size_t(position)), rule);
    }
    std::optional<QString> blob(int) const override { return std::nullopt; }
    qint64 place() const override { return m_radnr; }

    // Takes the rows of a query that has run.
    void take(QSqlQuery &query);
    // Reads the rows of the query through a cursor of this name, a batch at a time.
    void declare(const QString &cursor);

private:
    bool fetch();

    PostgresStore *m_store = nullptr;
    QString m_sql;    // for messages
    QString m_table;  // names its columns as the catalogue does
    QString m_cursor; // empty when every row is read already
    std::deque<std::vector<Variant>> m_buffer;
    std::deque<qint64> m_radnrs;
    QStringList m_names;
    std::vector<int> m_visible; // the query's field of each visible column
    int m_radnrField = -1;
    bool m_named = false;
    std::vector<Variant> m_row;
    qint64 m_radnr = 0;
};

namespace {

// Rows into one table through one prepared INSERT.
class ServerWriter : public TableWriter {
public:
    ServerWriter(PostgresStore &store, const QString &sql, int columns)
        : m_store(store), m_sql(sql), m_values(columns, null()) {}
    void setNull(int position) override { m_values[position] = null(); }
    void setInteger(int position, qint64 value) override { m_values[position] = value; }
    void setReal(int position, double value) override { m_values[position] = value; }
    // Qt SQL binds a null QString or QByteArray as Null: an empty text or blob stays one.
    void setText(int position, QByteArrayView utf8) override {
        m_values[position] = utf8.isEmpty() ? QStringLiteral("") : QString::fromUtf8(utf8);
    }
    void setBlob(int position, QByteArrayView bytes) override {
        m_values[position] = bytes.isEmpty() ? QByteArray("") : bytes.toByteArray();
    }
    void write() override {
        m_store.prepared(m_sql, m_values).finish();
        m_values.fill(null());
    }

private:
    static QVariant null() { return QVariant(QMetaType(QMetaType::QString)); }
    PostgresStore &m_store;
    QString m_sql;
    QVariantList m_values;
};

} // namespace

QString PostgresStore::name(const QString &name) {
    QString folded = name;
    for (QChar &c : folded)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 0x20);
    return sqltext::identifier(folded);
}

std::optional<SearchSourceSettings> serverStoreOf(const QString &localDatabase) {
    return readExtractStoreSettings(QFileInfo(localDatabase).absolutePath());
}

PostgresStore::PostgresStore(const SearchSourceSettings &settings, Access access,
                             const QString &snapshot)
    : m_source(openExtractServer(settings)), m_settings(settings),
      m_description(m_source->description()), m_writes(access == Access::Write) {
    // Waits for another workstation's conversion before the snapshot is taken, so that its
    // codes are seen and left as they are.
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

PostgresStore::~PostgresStore() {
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

QSqlDatabase PostgresStore::database() const {
    return m_source->database();
}

QString PostgresStore::description() const {
    return QStringLiteral("extraktdatabasen, ") + m_description;
}

void PostgresStore::fail(const QSqlError &error, const QString &sql) const {
    QString message = QStringLiteral("Databasfel i extraktdatabasen, %1: %2.")
                          .arg(m_description, reasonOf(error));
    if (!sql.isEmpty())
        message += QStringLiteral("\nFråga: %1").arg(sql);
    throw Error(message + lodvik::details(serverWords(error)));
}

void PostgresStore::run(const QString &sql) {
    QSqlQuery query(database());
    if (!query.exec(sql))
        fail(query.lastError(), sql);
}

void PostgresStore::begin() {
    run(m_begin);
    m_open = true;
}

void PostgresStore::commit() {
    if (m_open) {
        m_open = false;
        run(QStringLiteral("COMMIT"));
    }
    begin();
}

QString PostgresStore::value(const QString &sql) {
    QSqlQuery query(database());
    if (!query.exec(sql) || !query.next())
        fail(query.lastError(), sql);
    return query.value(0).toString();
}

std::function<std::shared_ptr<ExtractStore>()> PostgresStore::joinSnapshot() {
    // psqlODBC runs each statement after a transaction's first in a savepoint, where no
    // snapshot is taken.
    if (database().driverName() != QLatin1String("QPSQL"))
        return {};
    const QString snapshot = value(QStringLiteral("SELECT pg_export_snapshot()"));
    const SearchSourceSettings settings = m_settings;
    return [settings, snapshot]() -> std::shared_ptr<ExtractStore> {
        return std::make_shared<PostgresStore>(settings, Access::Read, snapshot);
    };
}

QSqlQuery &PostgresStore::prepared(const QString &sql, const QVariantList &values) {
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

void PostgresStore::execute(const QString &sql, const Parameters &values) {
    if (values.empty()) {
        run(sql);
        return;
    }
    QVariantList bound;
    for (const Variant &value : values)
        bound.append(toServer(value));
    prepared(sql, bound).finish();
}

void PostgresStore::update(const QString &table, qint64 radnr, const QString &column,
                           const Variant &value) {
    prepared(QStringLiteral("UPDATE %1 SET %2 = ? WHERE lodvik_radnr = ?")
                 .arg(name(table), name(column)),
             {toServer(value), QVariant(radnr)})
        .finish();
}

bool PostgresStore::tableExists(const QString &table) {
    QSqlQuery &query =
        prepared(QStringLiteral("SELECT 1 FROM information_schema.tables WHERE table_schema = ANY "
                                "(current_schemas(false)) AND lower(table_name) = lower(?)"),
                 {QVariant(table)});
    const bool found = query.next();
    query.finish();
    return found;
}

std::unique_ptr<StoreRows> PostgresStore::query(const QString &sql, const Parameters &values,
                                                QString *table) {
    QString text = sql;
    table->clear();
    const auto all = sqltext::tableQuery(sql);
    if (all && !all->table.startsWith(QLatin1Char('('))) {
        // A table's rows in the order SQLite gives them, lodvik_radnr kept for an update.
        *table = all->table;
        text = QStringLiteral("SELECT * FROM ") + name(all->table) + all->rest;
        if (all->rest.trimmed().isEmpty())
            text = text.trimmed() + QStringLiteral(" ORDER BY lodvik_radnr") +
                   (m_writes ? QStringLiteral(" FOR UPDATE") : QString());
    }
    auto rows = std::make_unique<ServerRows>(*this, text, *table);
    if (!values.empty()) {
        QVariantList bound;
        for (const Variant &value : values)
            bound.append(toServer(value));
        rows->take(prepared(text, bound));
        return rows;
    }
    rows->declare(QStringLiteral("lodvik_rader_%1").arg(++m_cursors));
    return rows;
}

std::unique_ptr<StoreRows> PostgresStore::product(const ProductQuery &query, const QString &product,
                                                  QString *updatableTable) {
    updatableTable->clear();
    if (!query.summed.isEmpty())
        return std::make_unique<ServerRows>(query.alias,
                                            sum(query.table, query.summed, query.key, product));
    // The product comparison of the store (dao::productKey on the server), in row order.
    QString sql = QStringLiteral("SELECT * FROM %1 WHERE lodvik_nyckel(%2) = lodvik_nyckel(?) "
                                 "ORDER BY lodvik_radnr")
                      .arg(name(query.table), name(query.key));
    if (!query.select.isEmpty())
        sql = QStringLiteral("SELECT %1 FROM (%2) AS rader").arg(query.select, sql);
    else
        *updatableTable = query.table;
    auto rows = std::make_unique<ServerRows>(*this, sql, query.table);
    rows->take(prepared(sql, {QVariant(product)}));
    return rows;
}

Variant PostgresStore::tableSum(const QString &table, const QString &column) {
    return sum(table, column);
}

Variant PostgresStore::sum(const QString &table, const QString &column, const QString &key,
                           const QString &product) {
    // The values in row order, added by the code that adds them on SQLite.
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(name(column), name(table));
    std::unique_ptr<StoreRows> rows;
    QString none;
    if (key.isEmpty()) {
        rows = query(sql + QStringLiteral(" ORDER BY lodvik_radnr"), {}, &none);
    } else {
        sql += QStringLiteral(" WHERE lodvik_nyckel(%1) = lodvik_nyckel(?) ORDER BY lodvik_radnr")
                   .arg(name(key));
        auto some = std::make_unique<ServerRows>(*this, sql, table);
        some->take(prepared(sql, {QVariant(product)}));
        rows = std::move(some);
    }
    CheckedSum total(table, column);
    while (rows->next()) {
        const Variant value = rows->value(0);
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

std::unique_ptr<TableWriter> PostgresStore::writer(const QString &table,
                                                   const QStringList &columns) {
    QStringList names, marks;
    for (const QString &column : columns) {
        names.append(name(column));
        marks.append(QStringLiteral("?"));
    }
    return std::make_unique<ServerWriter>(
        *this,
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(name(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
        int(columns.size()));
}

// The pass names the server as its messages always have: through QPSQL by the server alone.
QString PostgresStore::scanDescription() const {
    return database().driverName() == QLatin1String("QPSQL") ? m_description : description();
}

void PostgresStore::readProducts(ScanProducts &products, const ScanStop &stop) {
    PostgresScan(database(), scanDescription()).readProducts(products, stop);
}

void PostgresStore::scanTables(const std::vector<ScanTable *> &tables, const ScanProducts &products,
                               const ScanStop &stop) {
    PostgresScan(database(), scanDescription()).scanTables(tables, products, stop);
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
        m_store->fail(query.lastError(), m_sql);
    query.finish();
}

void ServerRows::declare(const QString &cursor) {
    m_cursor = cursor;
    m_store->run(QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2").arg(cursor, m_sql));
    fetch();
}

bool ServerRows::fetch() {
    QSqlQuery batch(m_store->database());
    batch.setForwardOnly(true);
    const QString sql = QStringLiteral("FETCH %1 FROM %2").arg(batchRows).arg(m_cursor);
    if (!batch.exec(sql))
        m_store->fail(batch.lastError(), m_sql);
    const size_t before = m_buffer.size();
    take(batch);
    if (m_buffer.size() - before < size_t(batchRows)) {
        QSqlQuery close(m_store->database());
        close.exec(QStringLiteral("CLOSE ") + m_cursor);
        m_cursor.clear();
    }
    return m_buffer.size() > before;
}

} // namespace dao

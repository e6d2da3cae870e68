#include "store/LocalDatabase.h"

#include "MDlib/Error.h"
#include "MDlib/SystemError.h"
#include "store/PostgresStore.h"
#include "store/ProductKey.h"
#include "store/SqlText.h"
#include "store/SqliteStore.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <utility>

using lodvik::Error;
using lodvik::Variant;

namespace dao {

namespace {

// Live connections by file, so that a nested lookup shares the connection of its operation.
QHash<QString, std::weak_ptr<ExtractStore>> &liveConnections() {
    thread_local QHash<QString, std::weak_ptr<ExtractStore>> connections;
    return connections;
}

// The server store's live connection of a program folder, apart from the file's.
QString serverKey(const QString &localDatabase) {
    return QStringLiteral("server:") + localDatabase;
}

[[noreturn]] void closed() {
    throw Error(QStringLiteral("Databasen är stängd."));
}

} // namespace

Database::Database(std::shared_ptr<ExtractStore> store) : m_store(std::move(store)) {}
Database::Database(Database &&other) noexcept = default;
Database &Database::operator=(Database &&other) noexcept = default;
Database::~Database() = default;

ExtractStore &Database::store() const {
    if (!m_store)
        closed();
    return *m_store;
}

Database Database::OpenDatabase(const QString &path) {
    // A nested open names the file as its operation did: share without asking the file system.
    if (auto live = liveConnections().value(path).lock())
        return Database(live);
    SqliteStore::checkPath(path);
    const QString key = QFileInfo(path).canonicalFilePath();
    if (auto live = liveConnections().value(key).lock())
        return Database(live);
    std::shared_ptr<ExtractStore> store = SqliteStore::openExisting(path);
    liveConnections().insert(key, store);
    liveConnections().insert(path, store);
    return Database(store);
}

Database Database::CreateDatabase(const QString &path) {
    if (QFileInfo::exists(path))
        throw Error(QStringLiteral("Filen %1 finns redan.").arg(path));
    return Database(
        SqliteStore::open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX));
}

Database Database::OpenExtractStore(const QString &localDatabase, Access access) {
    if (auto live = liveConnections().value(serverKey(localDatabase)).lock())
        return Database(live);
    if (auto live = liveConnections().value(localDatabase).lock())
        return Database(live);
    const std::optional<SearchSourceSettings> settings = serverStoreOf(localDatabase);
    if (!settings)
        return OpenDatabase(localDatabase);
    std::shared_ptr<ExtractStore> store = std::make_shared<PostgresStore>(*settings, access);
    store->path = localDatabase;
    liveConnections().insert(serverKey(localDatabase), store);
    return Database(store);
}

Recordset Database::OpenRecordset(const QString &sql, const Parameters &parameters) {
    QString table;
    std::unique_ptr<StoreRows> rows = store().query(sql, parameters, &table);
    return Recordset(m_store, std::move(rows), sql, table);
}

Recordset Database::OpenTable(const QString &name) {
    if (!TableExists(name))
        throw Error(QStringLiteral("Tabellen %1 saknas i %2.").arg(name, description()));
    return OpenRecordset(QStringLiteral("SELECT * FROM ") + sqltext::identifier(name));
}

void Database::Execute(const QString &sql, const Parameters &parameters) {
    if (parameters.empty())
        store().requiredTables.clear(); // a schema may drop or rename a table
    store().execute(sql, parameters);
}

bool Database::TableExists(const QString &name) {
    return store().tableExists(name);
}

void Database::RequireTable(const QString &name) {
    ExtractStore &s = store();
    if (s.requiredTables.contains(name))
        return;
    if (!s.tableExists(name))
        throw Error(QStringLiteral("Tabellen %1 saknas i %2.").arg(name, description()));
    s.requiredTables.insert(name);
}

void Database::Close() {
    m_store.reset();
}

void Database::Commit() {
    store().commit();
}

bool Database::holdSnapshot() {
    return store().holdSnapshot();
}

std::function<Database()> Database::JoinSnapshot() {
    std::function<std::shared_ptr<ExtractStore>()> join = store().joinSnapshot();
    if (!join)
        return {};
    const QString path = m_store->path;
    return [join, path] {
        std::shared_ptr<ExtractStore> joined = join();
        joined->path = path;
        return Database(std::move(joined));
    };
}

Recordset Database::OpenProduct(const ProductQuery &query, const QString &product) {
    QString table;
    std::unique_ptr<StoreRows> rows = store().product(query, product, &table);
    return Recordset(m_store, std::move(rows), query.sql, table);
}

Variant Database::TableSum(const QString &table, const QString &column) {
    return store().tableSum(table, column);
}

std::unique_ptr<TableWriter> Database::OpenWriter(const QString &table,
                                                  const QStringList &columns) {
    return store().writer(table, columns);
}

void Database::PrepareIndexes(lodvik::Progress &progress, catalogue::MissingIndexes where) {
    store().prepareIndexes(progress, where);
}

const QString &Database::path() const {
    return store().path;
}

QString Database::description() const {
    return store().description();
}

Recordset::Recordset(std::shared_ptr<ExtractStore> store, std::unique_ptr<StoreRows> rows,
                     const QString &sql, const QString &updatableTable)
    : m_store(std::move(store)), m_rows(std::move(rows)), m_sql(sql), m_table(updatableTable) {
    step();
}

Recordset::Recordset(Recordset &&other) noexcept = default;
Recordset &Recordset::operator=(Recordset &&other) noexcept {
    if (this != &other) {
        // The rows go back to their connection while that connection is surely alive.
        m_rows.reset();
        m_store = std::move(other.m_store);
        m_rows = std::move(other.m_rows);
        m_sql = std::move(other.m_sql);
        m_table = std::move(other.m_table);
        m_eof = other.m_eof;
        m_rowsSeen = other.m_rowsSeen;
        m_editing = other.m_editing;
        m_pending = std::move(other.m_pending);
        m_lastName = std::move(other.m_lastName);
        m_lastPosition = other.m_lastPosition;
        other.m_eof = true;
    }
    return *this;
}

Recordset::~Recordset() {
    m_rows.reset(); // before the connection it belongs to
}

void Recordset::Close() {
    m_rows.reset();
    m_store.reset();
    m_eof = true;
}

void Recordset::step() {
    if (!m_rows) {
        m_eof = true;
        return;
    }
    m_eof = true; // a failure leaves the recordset at its end
    m_eof = !m_rows->next();
    if (!m_eof)
        ++m_rowsSeen;
}

void Recordset::MoveFirst() {
    if (!m_rows)
        throw Error(QStringLiteral("Recordset är stängt."));
    if (!m_rows->rewind())
        throw Error(QStringLiteral("Frågan kan inte läsas om från början: %1").arg(m_sql));
    m_rowsSeen = 0;
    step();
}

void Recordset::MoveNext() {
    if (m_eof)
        throw Error(QStringLiteral("Ingen aktuell post: slutet av tabellen är nått."));
    m_editing = false;
    m_pending.clear();
    step();
}

qint64 Recordset::rowid() const {
    if (m_eof || m_table.isEmpty())
        return 0;
    return m_rows->place();
}

int Recordset::fieldCount() const {
    return m_rows ? m_rows->fieldCount() : 0;
}

QString Recordset::fieldName(int position) const {
    if (position < 0 || position >= fieldCount())
        return {};
    return m_rows->fieldName(position);
}

int Recordset::position(const QString &name) const {
    if (m_lastPosition >= 0 && name == m_lastName)
        return m_lastPosition;
    const int found = m_rows ? m_rows->find(name) : -1;
    if (found < 0)
        throw Error(
            QStringLiteral("Fältet %1 finns inte i resultatet av frågan: %2").arg(name, m_sql));
    m_lastName = name;
    m_lastPosition = found;
    return found;
}

void Recordset::current(int pos) const {
    if (m_eof)
        throw Error(QStringLiteral("Ingen aktuell post (fråga: %1).").arg(m_sql));
    if (pos < 0 || pos >= fieldCount())
        throw Error(QStringLiteral("Fältet på plats %1 finns inte; frågan gav %2 fält: %3")
                        .arg(pos)
                        .arg(fieldCount())
                        .arg(m_sql));
}

Variant Recordset::Fields(const QString &name) const {
    return Fields(position(name));
}

Variant Recordset::Fields(int pos) const {
    current(pos);
    for (const auto &[at, value] : m_pending)
        if (at == pos)
            return value;
    return m_rows->value(pos);
}

StoredNumber Recordset::stored(int pos, ValueRule rule) const {
    current(pos);
    for (const auto &[at, value] : m_pending)
        if (at == pos)
            return storedValue(value, rule);
    return m_rows->number(pos, rule);
}

StoredNumber Recordset::stored(const QString &name, ValueRule rule) const {
    return stored(position(name), rule);
}

std::optional<QString> Recordset::storedBlob(int pos) const {
    if (m_eof || pos < 0 || pos >= fieldCount() ||
        std::any_of(m_pending.begin(), m_pending.end(),
                    [&](const auto &p) { return p.first == pos; }))
        return std::nullopt;
    return m_rows->blob(pos);
}

std::optional<QString> Recordset::storedBlob(const QString &name) const {
    return storedBlob(position(name));
}

void Recordset::Edit() {
    if (m_eof)
        throw Error(QStringLiteral("Ingen aktuell post att ändra (fråga: %1).").arg(m_sql));
    if (m_table.isEmpty())
        throw Error(QStringLiteral("Frågan kan inte uppdateras: %1").arg(m_sql));
    m_editing = true;
    m_pending.clear();
}

void Recordset::SetField(const QString &name, const Variant &value) {
    if (!m_editing)
        throw Error(QStringLiteral("Posten ändras utan Edit (fråga: %1).").arg(m_sql));
    const int pos = position(name);
    for (auto &[at, pending] : m_pending)
        if (at == pos) {
            pending = value;
            return;
        }
    m_pending.emplace_back(pos, value);
}

void Recordset::Update() {
    if (!m_editing)
        throw Error(QStringLiteral("Update utan Edit (fråga: %1).").arg(m_sql));
    const qint64 place = m_rows->place();
    for (const auto &[at, value] : m_pending)
        m_store->update(m_table, place, fieldName(at), value);
    m_editing = false;
}

QString notANumberMessage(const QString &table, const QString &column, const QString &value,
                          NotANumber kind) {
    switch (kind) {
    case NotANumber::Blob:
        return QStringLiteral("Värdet %1 i kolumnen %2 i tabellen %3 är binära data, inget tal; "
                              "summan kan inte räknas. Rätta värdet i tabellen.")
            .arg(value, column, table);
    case NotANumber::Infinite:
        return QStringLiteral("Värdet %1 i kolumnen %2 i tabellen %3 är oändligt stort; summan "
                              "kan inte räknas. Rätta värdet i tabellen.")
            .arg(value, column, table);
    case NotANumber::Text:
        break;
    }
    return QStringLiteral("Texten \"%1\" i kolumnen %2 i tabellen %3 är inget tal; summan kan "
                          "inte räknas. Rätta värdet i tabellen.")
        .arg(value, column, table);
}

QString sumOverflowMessage(const QString &table, const QString &column) {
    return QStringLiteral("Summan av kolumnen %1 i tabellen %2 blir för stor för att räknas. "
                          "Kontrollera värdena i tabellen.")
        .arg(column, table);
}

QString checkedSum(const QString &table, const QString &column) {
    // The column goes in unquoted, so that a missing column is reported as missing rather than
    // read as a quoted text.
    return QStringLiteral("lodvik_sum(%1, %2, %3)")
        .arg(column, sqltext::literal(table), sqltext::literal(column));
}

FileKind fileKindOfHead(const QByteArray &head) {
    if (head.isEmpty() || head.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return FileKind::Sqlite;
    if (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB")
        return FileKind::Access;
    return FileKind::Other;
}

FileKind fileKind(const QString &path, const QString &what) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const int error = errno;
        throw Error(QStringLiteral("%1 %2 kan inte läsas: %3")
                        .arg(what, path, lodvik::fileFailure(file, error)));
    }
    return fileKindOfHead(file.read(32));
}

namespace {

QString productQuerySql(const QString &table, const QString &select,
                        const ProductCondition &condition) {
    QString rows = QStringLiteral("SELECT * FROM %1 WHERE %2").arg(table, condition.sql);
    if (condition.kind != ProductCondition::Kind::Variants)
        return select.isEmpty()
                   ? rows
                   : QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(select, table, condition.sql);
    // The variants' rows come one key after the other; the sum adds them in row order as it
    // adds one key's rows.
    rows += QStringLiteral(" ORDER BY rowid");
    return select.isEmpty() ? rows : QStringLiteral("SELECT %1 FROM (%2)").arg(select, rows);
}

} // namespace

ProductQuery productQuery(const QString &table, const QString &key, const QString &select) {
    return {productQuerySql(table, select, productCondition(key, QString())),
            table,
            key,
            select,
            {},
            {}};
}

ProductQuery productSumQuery(const QString &table, const QString &key, const QString &column,
                             const QString &alias) {
    ProductQuery query =
        productQuery(table, key, QStringLiteral("%1 AS %2").arg(checkedSum(table, column), alias));
    query.summed = column;
    query.alias = alias;
    return query;
}

BoundQuery forProduct(const ProductQuery &query, const QString &product) {
    const ProductCondition condition = productCondition(query.key, product);
    Parameters parameters;
    parameters.reserve(size_t(condition.values.size()));
    for (const QString &value : condition.values)
        parameters.push_back(Variant::String(value));
    // The same text as the query's own, which a cached statement serves.
    if (condition.kind == ProductCondition::Kind::OneKey)
        return {query.sql, std::move(parameters)};
    return {productQuerySql(query.table, query.select, condition), std::move(parameters)};
}

} // namespace dao

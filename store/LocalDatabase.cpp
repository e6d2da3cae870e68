#include "store/LocalDatabase.h"

#include "MDlib/Error.h"
#include "MDlib/SystemError.h"
#include "store/CheckedSum.h"
#include "store/ProductKey.h"
#include "store/ServerStore.h"
#include "store/SqlText.h"
#include "store/SqliteError.h"
#include "store/StoreWriteLock.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <utility>
#include <vector>

using lodvik::Error;
using lodvik::Variant;

namespace dao {

struct Database::Connection {
    QString path;
    sqlite3 *db = nullptr;
    std::unique_ptr<ServerConnection> server; // the server store instead of the file
    // Statements of queries that have ended, reset and ready to run the same SQL text again.
    struct Prepared {
        QString sql;
        sqlite3_stmt *statement;
        QString table; // the base table of the updatable (rowid) form, else empty
    };
    std::vector<Prepared> prepared;
    QSet<QString> requiredTables; // names as RequireTable was given them
    bool snapshotHeld = false;    // a read transaction holds the operation's state
    bool snapshotFresh = false;   // begun by holdSnapshot, and taken again only by JoinSnapshot

    ~Connection() {
        server.reset();
        for (const Prepared &p : prepared)
            sqlite3_finalize(p.statement);
        if (db)
            sqlite3_close_v2(db);
    }

    // The figures' query texts are constants, so a text mostly comes back as the same string.
    std::vector<Prepared>::iterator find(const QString &sql) {
        return std::find_if(prepared.begin(), prepared.end(), [&](const Prepared &p) {
            return p.sql.size() == sql.size() &&
                   (p.sql.constData() == sql.constData() || p.sql == sql);
        });
    }

    std::optional<Prepared> take(const QString &sql) {
        const auto it = find(sql);
        if (it == prepared.end())
            return std::nullopt;
        Prepared p = std::move(*it);
        *it = std::move(prepared.back());
        prepared.pop_back();
        return p;
    }
};

namespace {

// Enough for every query text the figures and reports run; statements past it are finalized.
constexpr size_t maxPreparedStatements = 64;

} // namespace

namespace {

// Live connections by file, so that a nested lookup shares the connection of its operation.
QHash<QString, std::weak_ptr<Database::Connection>> &liveConnections() {
    thread_local QHash<QString, std::weak_ptr<Database::Connection>> connections;
    return connections;
}

// A failure an SQL function of this layer raised, in the operator's words; fail() passes it on
// as it is. Connections belong to one thread, and so do their functions' calls.
thread_local QString functionFailure;

// lodvik_sum(value, table, column): SQLite's SUM (3.40: the integers exactly while they fit, else
// one double added in row order), which SQLite cannot be asked to do with a check per value.
// SUM would count a text that is no number as 0 (or as the number it starts with), a blob as
// its bytes read as a text, and would give Null for +inf + -inf; CheckedSum stops the query
// there with the table, the column and the value named, and so does a sum past the largest
// number. The aggregate's memory holds the sum, made on the first value.
struct SumState {
    bool made;
    alignas(CheckedSum) unsigned char storage[sizeof(CheckedSum)];
    CheckedSum *sum() { return std::launder(reinterpret_cast<CheckedSum *>(storage)); }
};

// A blob as SQL writes it, x'3132', for a message.
QString blobLiteral(const void *bytes, int size) {
    return QStringLiteral("x'%1'").arg(QString::fromLatin1(
        QByteArray::fromRawData(static_cast<const char *>(bytes), size).toHex().toUpper()));
}

QString argumentText(sqlite3_value *value) {
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(value)),
                             sqlite3_value_bytes(value));
}

void stopSum(sqlite3_context *context, const QString &message) {
    functionFailure = message;
    sqlite3_result_error(context, message.toUtf8().constData(), -1);
}

void sumStep(sqlite3_context *context, int, sqlite3_value **argv) {
    auto *state = static_cast<SumState *>(sqlite3_aggregate_context(context, sizeof(SumState)));
    if (!state) {
        sqlite3_result_error_nomem(context);
        return;
    }
    sqlite3_value *value = argv[0];
    const int stored = sqlite3_value_type(value);
    if (stored == SQLITE_NULL)
        return;
    if (!state->made) {
        new (state->storage) CheckedSum(argumentText(argv[1]), argumentText(argv[2]));
        state->made = true;
    }
    CheckedSum &sum = *state->sum();
    QString failure;
    if (stored == SQLITE_BLOB) {
        failure = sum.addBlob(blobLiteral(sqlite3_value_blob(value), sqlite3_value_bytes(value)));
    } else {
        // Kept for the message: the conversion below replaces a numeric text by its number.
        const QString text = stored == SQLITE_TEXT ? argumentText(value) : QString();
        // numeric_type converts a numeric text in place, as SUM itself converts it.
        const int type = sqlite3_value_numeric_type(value);
        if (type == SQLITE_INTEGER)
            failure = sum.addInteger(sqlite3_value_int64(value));
        else if (type == SQLITE_TEXT)
            failure = sum.addText(text);
        else
            failure =
                sum.addReal(sqlite3_value_double(value),
                            stored == SQLITE_TEXT ? QStringLiteral("\"%1\"").arg(text) : QString());
    }
    if (!failure.isEmpty())
        stopSum(context, failure);
}

void sumFinal(sqlite3_context *context) {
    auto *state = static_cast<SumState *>(sqlite3_aggregate_context(context, 0));
    if (!state || !state->made)
        return; // no value: Null, as SUM gives
    const ExactSum &sum = state->sum()->sum();
    if (sum.approximate())
        sqlite3_result_double(context, sum.real());
    else if (sum.counted())
        sqlite3_result_int64(context, sum.integer());
    state->sum()->~CheckedSum();
    state->made = false;
}

// The engine's failure in the operator's words, its own words after "Detaljer:".
[[noreturn]] void fail(sqlite3 *db, const QString &sql) {
    if (!functionFailure.isEmpty())
        throw Error(std::exchange(functionFailure, QString()));
    const QString engine = QString::fromUtf8(sqlite3_errmsg(db));
    const QString missing = sqltext::missingObject(engine);
    if (!missing.isEmpty()) {
        QString message = missing + QStringLiteral(" i den lokala databasen.");
        if (!sql.isEmpty())
            message += QStringLiteral("\nFråga: %1").arg(sql);
        throw Error(message);
    }
    const int code = sqlite3_extended_errcode(db);
    QString message = QStringLiteral("Databasfel i den lokala databasen: %1.")
                          .arg(sqliteReason(code, engine, sqliteSystemError(db)));
    if (!sql.isEmpty())
        message += QStringLiteral("\nFråga: %1").arg(sql);
    throw Error(message +
                lodvik::details(QStringLiteral("SQLite-fel %1: %2").arg(code).arg(engine)));
}

} // namespace

void Recordset::Release::operator()(sqlite3_stmt *statement) const {
    if (!statement)
        return;
    // A statement that is still stepping holds a read transaction open; reset ends it.
    sqlite3_reset(statement);
    if (keep && connection && connection->prepared.size() < maxPreparedStatements &&
        connection->find(sql) == connection->prepared.end()) {
        sqlite3_clear_bindings(statement);
        connection->prepared.push_back({sql, statement, table});
        return;
    }
    sqlite3_finalize(statement);
}

namespace {

// Tells an SQLite file from a Jet/ACE (Access) file before SQLite gives its terse message.
void checkFileFormat(sqlite3 *db, const QString &path) {
    switch (fileKind(db, QStringLiteral("Den lokala databasen"))) {
    case FileKind::Sqlite:
        return;
    case FileKind::Access:
        throw Error(QStringLiteral("%1 är en Access-databas. Programmet läser den lokala databasen "
                                   "i SQLite-format; importera Access-filen med kommandot "
                                   "\"lodvikprodsok import-mdb FIL\" eller menyn Arkiv, "
                                   "\"Importera Access-databas...\".")
                        .arg(path));
    case FileKind::Other:
        throw Error(QStringLiteral("%1 är ingen databas som programmet kan läsa.").arg(path));
    }
}

sqlite3_stmt *prepare(sqlite3 *db, const QString &sql) {
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &statement, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(statement);
        fail(db, sql);
    }
    if (!statement)
        throw Error(QStringLiteral("Tom fråga till den lokala databasen."));
    return statement;
}

} // namespace

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

namespace {

FileKind kindOfHead(const QByteArray &head) {
    if (head.isEmpty() || head.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return FileKind::Sqlite;
    if (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB")
        return FileKind::Access;
    return FileKind::Other;
}

} // namespace

FileKind fileKind(const QString &path, const QString &what) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const int error = errno;
        throw Error(QStringLiteral("%1 %2 kan inte läsas: %3")
                        .arg(what, path, lodvik::fileFailure(file, error)));
    }
    return kindOfHead(file.read(32));
}

FileKind fileKind(sqlite3 *db, const QString &what) {
    sqlite3_file *file = nullptr;
    sqlite3_int64 size = 0;
    char head[32] = {};
    int rc = sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file);
    if (rc == SQLITE_OK && (!file || !file->pMethods))
        rc = SQLITE_CANTOPEN;
    if (rc == SQLITE_OK)
        rc = file->pMethods->xFileSize(file, &size);
    if (rc == SQLITE_OK && size > 0)
        rc = file->pMethods->xRead(file, head, int(std::min<sqlite3_int64>(size, sizeof head)), 0);
    if (rc != SQLITE_OK)
        throw Error(
            QStringLiteral("%1 %2 kan inte läsas: %3")
                .arg(what, QString::fromUtf8(sqlite3_db_filename(db, "main")), sqliteFailure(rc)));
    return kindOfHead(QByteArray(head, int(std::min<sqlite3_int64>(size, sizeof head))));
}

Variant columnValue(sqlite3_stmt *statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        return Variant::Null();
    case SQLITE_INTEGER: {
        const sqlite3_int64 v = sqlite3_column_int64(statement, column);
        if (v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max())
            return Variant::Long(qint32(v));
        return Variant::Double(double(v));
    }
    case SQLITE_FLOAT:
        return Variant::Double(sqlite3_column_double(statement, column));
    default: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
        return Variant::String(QString::fromUtf8(text, sqlite3_column_bytes(statement, column)));
    }
    }
}

void bindValue(sqlite3_stmt *statement, int index, const Variant &value) {
    switch (value.type()) {
    case Variant::Type::Empty:
    case Variant::Type::Null:
        sqlite3_bind_null(statement, index);
        break;
    case Variant::Type::Integer:
    case Variant::Type::Long:
    case Variant::Type::Boolean:
        sqlite3_bind_int64(statement, index, sqlite3_int64(value.number()));
        break;
    case Variant::Type::Double:
        sqlite3_bind_double(statement, index, value.number());
        break;
    default: {
        const QByteArray utf8 = value.toText().toUtf8();
        sqlite3_bind_text(statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    }
}

Database::Database(std::shared_ptr<Connection> connection) : m_connection(std::move(connection)) {}
Database::Database(Database &&other) noexcept = default;
Database &Database::operator=(Database &&other) noexcept = default;
Database::~Database() = default;

Database Database::OpenDatabase(const QString &path) {
    // A nested open names the file as its operation did: share without asking the file system.
    if (auto live = liveConnections().value(path).lock())
        return Database(live);
    if (const QString problem = StoreWriteLock::pathProblem(path); !problem.isEmpty())
        throw Error(problem);
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(QStringLiteral("Den lokala databasen %1 finns inte.").arg(path));
    const QString key = info.canonicalFilePath();
    if (auto live = liveConnections().value(key).lock())
        return Database(live);
    // One thread uses a connection (see liveConnections), so SQLite need not lock it per call.
    Database db = open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    // Through the connection's own descriptor: a second one, closed again, would drop the locks
    // another connection of this process (an import, a conversion) holds on the file.
    checkFileFormat(db.handle(), path);
    liveConnections().insert(key, db.m_connection);
    liveConnections().insert(path, db.m_connection);
    return db;
}

namespace {

// The server store's live connection of a program folder, apart from the file's.
QString serverKey(const QString &localDatabase) {
    return QStringLiteral("server:") + localDatabase;
}

} // namespace

Database Database::OpenExtractStore(const QString &localDatabase, Access access) {
    if (auto live = liveConnections().value(serverKey(localDatabase)).lock())
        return Database(live);
    if (auto live = liveConnections().value(localDatabase).lock())
        return Database(live);
    return openStore(localDatabase, access, QString());
}

namespace {

// Begins the read transaction that holds a state of the file: BEGIN takes no lock, the first
// read takes the shared one. A busy file gives SQLITE_BUSY after the connection's busy timeout.
int beginRead(sqlite3 *db) {
    int rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK && !sqlite3_get_autocommit(db))
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc;
}

// Pages are read through a memory map of the file rather than one pread() each (SQLite maps at
// most its own limit, 2 GB on Debian); a run reads every page of its extracts once.
void mapFile(sqlite3 *db) {
    sqlite3_exec(db, "PRAGMA mmap_size = 2147418112", nullptr, nullptr, nullptr);
}

} // namespace

Database Database::JoinSnapshot(const QString &localDatabase, const QString &snapshot) {
    const std::optional<SearchSourceSettings> settings = serverStoreOf(localDatabase);
    if (!settings)
        throw Error(
            QStringLiteral("Den lokala databasen har ingen ögonblicksbild att ansluta till."));
    auto connection = std::make_shared<Connection>();
    connection->path = localDatabase;
    connection->server = std::make_unique<ServerConnection>(*settings, Access::Read, snapshot);
    return Database(connection);
}

bool Database::holdSnapshot() {
    if (!m_connection)
        throw Error(QStringLiteral("Databasen är stängd."));
    // A writer's own transaction (a date conversion) already holds the file.
    if (isServer() || m_connection->snapshotHeld || !sqlite3_get_autocommit(m_connection->db))
        return false;
    mapFile(m_connection->db);
    if (beginRead(m_connection->db) != SQLITE_OK)
        fail(m_connection->db, QStringLiteral("BEGIN"));
    m_connection->snapshotHeld = m_connection->snapshotFresh = true;
    return true;
}

bool Database::snapshotJoinable() {
    if (!m_connection)
        throw Error(QStringLiteral("Databasen är stängd."));
    if (isServer())
        return serverDatabase().driverName() == QLatin1String("QPSQL");
    Recordset mode = OpenRecordset(QStringLiteral("PRAGMA journal_mode"));
    return mode.isEOF() ||
           mode.Fields(0).toText().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0;
}

Database Database::JoinSnapshot() {
    if (!m_connection)
        throw Error(QStringLiteral("Databasen är stängd."));
    if (isServer())
        return JoinSnapshot(m_connection->path, exportSnapshot());
    holdSnapshot();
    for (int attempt = 1;; ++attempt) {
        Database joined = open(m_connection->path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        checkFileFormat(joined.handle(), m_connection->path);
        mapFile(joined.handle());
        // While this connection holds its shared lock no writer can commit, so the joined one
        // reads the same state, unless a writer already waits for the lock to commit: then no
        // new reader gets one until it has.
        sqlite3_busy_timeout(joined.handle(),
                             attempt < 50 && m_connection->snapshotFresh ? 0 : 5000);
        const int rc = beginRead(joined.handle());
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(joined.handle(), 5000);
            joined.m_connection->snapshotHeld = true;
            return joined;
        }
        if ((rc & 0xff) != SQLITE_BUSY || attempt >= 50 || !m_connection->snapshotFresh)
            fail(joined.handle(), QStringLiteral("BEGIN"));
        // Let the writer commit, then take the state again for both.
        sqlite3_exec(m_connection->db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_connection->snapshotHeld = false;
        QThread::msleep(10 * attempt);
        if (beginRead(m_connection->db) != SQLITE_OK)
            fail(m_connection->db, QStringLiteral("BEGIN"));
        m_connection->snapshotHeld = true;
    }
}

Database Database::openStore(const QString &localDatabase, Access access, const QString &snapshot) {
    const std::optional<SearchSourceSettings> settings = serverStoreOf(localDatabase);
    if (!settings)
        return OpenDatabase(localDatabase);
    auto connection = std::make_shared<Connection>();
    connection->path = localDatabase;
    connection->server = std::make_unique<ServerConnection>(*settings, access, snapshot);
    liveConnections().insert(serverKey(localDatabase), connection);
    return Database(connection);
}

Database Database::CreateDatabase(const QString &path) {
    if (QFileInfo::exists(path))
        throw Error(QStringLiteral("Filen %1 finns redan.").arg(path));
    return open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
}

Database Database::open(const QString &path, int flags) {
    // A connection takes its page cache (SQLite's default, 2 MB) in one allocation instead of a
    // page at a time: a scan thread's heap would otherwise grow by one mprotect() per page. Only
    // possible before SQLite's first use in the process; later it is refused and changes nothing.
    [[maybe_unused]] static const int pageCache =
        sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, -2000);
    auto connection = std::make_shared<Connection>();
    connection->path = path;
    const int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &connection->db, flags, nullptr);
    if (rc != SQLITE_OK)
        throw Error(
            QStringLiteral("Den lokala databasen %1 kan inte öppnas: %2")
                .arg(path, connection->db ? sqliteFailure(connection->db) : sqliteFailure(rc)));
    // Another program may hold the file; wait a moment for its lock instead of failing at once.
    sqlite3_busy_timeout(connection->db, 5000);
    sqlite3_extended_result_codes(connection->db, 1);
    sqlite3_create_function_v2(connection->db, "lodvik_sum", 3,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                               nullptr, sumStep, sumFinal, nullptr);
    registerProductCollation(connection->db);
    return Database(connection);
}

const QString &Database::path() const {
    return m_connection->path;
}

sqlite3 *Database::handle() const {
    return m_connection->db;
}

bool Database::isServer() const {
    return m_connection && m_connection->server;
}

QSqlDatabase Database::serverDatabase() const {
    return isServer() ? m_connection->server->database() : QSqlDatabase();
}

QString Database::exportSnapshot() {
    return isServer() ? m_connection->server->exportSnapshot() : QString();
}

QString Database::description() const {
    if (isServer())
        return QStringLiteral("extraktdatabasen, ") + m_connection->server->description();
    return QStringLiteral("den lokala databasen ") + m_connection->path;
}

void Database::Close() {
    m_connection.reset();
}

void Database::Commit() {
    if (!m_connection)
        throw Error(QStringLiteral("Databasen är stängd."));
    if (isServer())
        m_connection->server->commit();
}

Recordset Database::OpenProduct(const ProductQuery &query, const QString &product) {
    if (!isServer()) {
        const BoundQuery bound = forProduct(query, product);
        return OpenRecordset(bound.sql, bound.parameters);
    }
    ServerConnection &server = *m_connection->server;
    if (!query.summed.isEmpty())
        return Recordset(
            m_connection,
            std::make_unique<ServerRows>(query.alias,
                                         server.sum(query.table, query.summed, query.key, product)),
            query.sql, QString());
    return Recordset(m_connection,
                     server.productRows(query.table, query.key, query.select, product), query.sql,
                     query.select.isEmpty() ? query.table : QString());
}

Variant Database::TableSum(const QString &table, const QString &column) {
    if (isServer())
        return m_connection->server->sum(table, column);
    Recordset rs = OpenRecordset(QStringLiteral("SELECT ") + checkedSum(table, column) +
                                 QStringLiteral(" AS Summa FROM ") + table);
    return rs.isEOF() ? Variant::Null() : rs.Fields(0);
}

Recordset Database::OpenRecordset(const QString &sql, const Parameters &parameters) {
    if (!m_connection)
        throw Error(QStringLiteral("Databasen är stängd."));
    Connection *connection = m_connection.get();
    connection->snapshotFresh = false;
    if (connection->server) {
        QString table;
        std::unique_ptr<ServerRows> rows = connection->server->query(sql, parameters, &table);
        return Recordset(m_connection, std::move(rows), sql, table);
    }
    sqlite3 *db = connection->db;
    Recordset::Statement statement(nullptr, {connection, sql, {}, true});
    if (const auto cached = connection->take(sql)) {
        statement.reset(cached->statement);
        statement.get_deleter().table = cached->table;
    } else if (const auto query = sqltext::tableQuery(sql)) {
        // A table query gets the hidden rowid in front, so that its rows can be updated; other
        // queries (views, joins, and what the rowid form does not suit) run as given.
        const QByteArray utf8 =
            (QStringLiteral("SELECT rowid, * FROM ") + query->tableText + query->rest).toUtf8();
        sqlite3_stmt *withRowid = nullptr;
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &withRowid, nullptr) ==
                SQLITE_OK &&
            withRowid) {
            statement.reset(withRowid);
            statement.get_deleter().table = query->table;
        } else {
            sqlite3_finalize(withRowid);
        }
    }
    if (!statement)
        statement.reset(prepare(db, sql));
    for (size_t i = 0; i < parameters.size(); ++i)
        bindValue(statement.get(), int(i) + 1, parameters[i]);
    const QString table = statement.get_deleter().table;
    return Recordset(m_connection, std::move(statement), sql, table);
}

Recordset Database::OpenTable(const QString &name) {
    if (!TableExists(name))
        throw Error(QStringLiteral("Tabellen %1 saknas i %2.").arg(name, description()));
    return OpenRecordset(QStringLiteral("SELECT * FROM ") + sqltext::identifier(name));
}

bool Database::TableExists(const QString &name) {
    if (!m_connection)
        throw Error(QStringLiteral("Databasen är stängd."));
    if (isServer())
        return m_connection->server->tableExists(name);
    Recordset rs = OpenRecordset(QStringLiteral("SELECT name FROM sqlite_master WHERE type IN "
                                                "('table', 'view') AND lower(name) = lower(?)"),
                                 {Variant::String(name)});
    if (!rs.isEOF())
        return true;
    // lower() folds ASCII only; compare the names with full case folding as a last resort.
    Recordset all = OpenRecordset(
        QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', 'view')"));
    for (; !all.isEOF(); all.MoveNext())
        if (all.Fields(0).text().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void Database::RequireTable(const QString &name) {
    if (!m_connection)
        throw Error(QStringLiteral("Databasen är stängd."));
    if (m_connection->requiredTables.contains(name))
        return;
    // The server store reads no row for it: a query there reads a batch of rows.
    if (isServer() && !TableExists(name))
        throw Error(QStringLiteral("Tabellen %1 saknas i %2.").arg(name, description()));
    if (!isServer())
        OpenTable(name);
    m_connection->requiredTables.insert(name);
}

void Database::Execute(const QString &sql, const Parameters &parameters) {
    if (!m_connection)
        throw Error(QStringLiteral("Databasen är stängd."));
    Connection *connection = m_connection.get();
    connection->snapshotFresh = false;
    if (connection->server) {
        if (parameters.empty())
            connection->requiredTables.clear();
        connection->server->execute(sql, parameters);
        return;
    }
    sqlite3 *db = connection->db;
    if (parameters.empty()) {
        // Several statements (a schema) run in one go; they may drop or rename a table.
        connection->requiredTables.clear();
        char *message = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            sqlite3_free(message);
            fail(db, sql);
        }
        return;
    }
    Recordset::Statement statement(nullptr, {connection, sql, {}, true});
    if (const auto cached = connection->take(sql))
        statement.reset(cached->statement);
    else
        statement.reset(prepare(db, sql));
    for (size_t i = 0; i < parameters.size(); ++i)
        bindValue(statement.get(), int(i) + 1, parameters[i]);
    const int rc = sqlite3_step(statement.get());
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        statement.get_deleter().keep = false;
        fail(db, sql);
    }
}

Recordset::Recordset(std::shared_ptr<Database::Connection> connection, Statement statement,
                     const QString &sql, const QString &updatableTable)
    : m_connection(std::move(connection)), m_statement(std::move(statement)), m_sql(sql),
      m_table(updatableTable), m_firstField(updatableTable.isEmpty() ? 0 : 1) {
    step();
}

Recordset::Recordset(std::shared_ptr<Database::Connection> connection,
                     std::unique_ptr<ServerRows> rows, const QString &sql,
                     const QString &updatableTable)
    : m_connection(std::move(connection)), m_statement(nullptr, {}), m_rows(std::move(rows)),
      m_sql(sql), m_table(updatableTable) {
    step();
}

Recordset::Recordset(Recordset &&other) noexcept = default;
Recordset &Recordset::operator=(Recordset &&other) noexcept {
    if (this != &other) {
        // The statement goes back to its connection while that connection is surely alive.
        m_statement.reset();
        m_rows.reset();
        m_connection = std::move(other.m_connection);
        m_statement = std::move(other.m_statement);
        m_rows = std::move(other.m_rows);
        m_sql = std::move(other.m_sql);
        m_table = std::move(other.m_table);
        m_firstField = other.m_firstField;
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

Recordset::~Recordset() = default;

void Recordset::Close() {
    m_rows.reset();
    m_statement.reset();
    m_connection.reset();
    m_eof = true;
}

void Recordset::step() {
    if (m_rows) {
        m_eof = !m_rows->next();
        if (!m_eof)
            ++m_rowsSeen;
        return;
    }
    if (!m_statement) {
        m_eof = true;
        return;
    }
    const int rc = sqlite3_step(m_statement.get());
    if (rc == SQLITE_ROW) {
        m_eof = false;
        ++m_rowsSeen;
        return;
    }
    m_eof = true;
    if (rc != SQLITE_DONE) {
        m_statement.get_deleter().keep = false;
        fail(m_connection->db, m_sql);
    }
}

void Recordset::MoveFirst() {
    if (m_rows)
        throw Error(QStringLiteral("Frågan kan inte läsas om från början: %1").arg(m_sql));
    if (!m_statement)
        throw Error(QStringLiteral("Recordset är stängt."));
    sqlite3_reset(m_statement.get());
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
    if (m_rows)
        return m_rows->radnr();
    return sqlite3_column_int64(m_statement.get(), 0);
}

int Recordset::fieldCount() const {
    if (m_rows)
        return int(m_rows->names().size());
    return m_statement ? sqlite3_column_count(m_statement.get()) - m_firstField : 0;
}

QString Recordset::fieldName(int position) const {
    if (position < 0 || position >= fieldCount())
        return {};
    if (m_rows)
        return m_rows->names().at(position);
    return QString::fromUtf8(sqlite3_column_name(m_statement.get(), position + m_firstField));
}

namespace {

char16_t asciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
}

// Whether a field name as SQLite gives it (UTF-8) is name without regard to case.
bool sameName(const char *field, const QString &name) {
    const QChar *n = name.constData();
    const qsizetype length = name.size();
    qsizetype i = 0;
    for (; i < length; ++i) {
        const auto a = static_cast<unsigned char>(field[i]);
        const char16_t b = n[i].unicode();
        if (a >= 0x80 || b >= 0x80)
            break; // beyond ASCII case folding takes over
        if (a == 0 || asciiLower(a) != asciiLower(b))
            return false;
    }
    if (i == length && field[i] == '\0')
        return true;
    if (i == length && static_cast<unsigned char>(field[i]) < 0x80)
        return false;
    return QAnyStringView::compare(QUtf8StringView(field), name, Qt::CaseInsensitive) == 0;
}

} // namespace

int Recordset::position(const QString &name) const {
    if (m_lastPosition >= 0 && name == m_lastName)
        return m_lastPosition;
    // A plain walk over the names: a query has few, and a table of folded names per query would
    // cost more. Of two fields of one name, the last.
    for (int i = fieldCount() - 1; i >= 0; --i) {
        if (m_rows ? m_rows->names().at(i).compare(name, Qt::CaseInsensitive) == 0
                   : sameName(sqlite3_column_name(m_statement.get(), i + m_firstField), name)) {
            m_lastName = name;
            m_lastPosition = i;
            return i;
        }
    }
    throw Error(QStringLiteral("Fältet %1 finns inte i resultatet av frågan: %2").arg(name, m_sql));
}

Variant Recordset::Fields(const QString &name) const {
    return Fields(position(name));
}

Variant Recordset::Fields(int pos) const {
    if (m_eof)
        throw Error(QStringLiteral("Ingen aktuell post (fråga: %1).").arg(m_sql));
    if (pos < 0 || pos >= fieldCount())
        throw Error(QStringLiteral("Fältet på plats %1 finns inte; frågan gav %2 fält: %3")
                        .arg(pos)
                        .arg(fieldCount())
                        .arg(m_sql));
    const auto pending = m_pending.constFind(pos);
    if (pending != m_pending.constEnd())
        return *pending;
    if (m_rows)
        return m_rows->row().at(size_t(pos));
    return columnValue(m_statement.get(), pos + m_firstField);
}

std::optional<double> Recordset::storedNumber(int pos) const {
    if (m_eof || pos < 0 || pos >= fieldCount() || !m_pending.isEmpty())
        return std::nullopt;
    if (m_rows) {
        const Variant &value = m_rows->row().at(size_t(pos));
        return value.isNumber() ? std::optional<double>(value.number()) : std::nullopt;
    }
    sqlite3_stmt *statement = m_statement.get();
    switch (sqlite3_column_type(statement, pos + m_firstField)) {
    case SQLITE_INTEGER:
        return double(sqlite3_column_int64(statement, pos + m_firstField));
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, pos + m_firstField);
    default:
        return std::nullopt;
    }
}

std::optional<double> Recordset::storedNumber(const QString &name) const {
    return storedNumber(position(name));
}

std::optional<QString> Recordset::storedBlob(int pos) const {
    if (m_eof || pos < 0 || pos >= fieldCount() || m_pending.contains(pos) || m_rows ||
        sqlite3_column_type(m_statement.get(), pos + m_firstField) != SQLITE_BLOB)
        return std::nullopt;
    const void *bytes = sqlite3_column_blob(m_statement.get(), pos + m_firstField);
    return blobLiteral(bytes, sqlite3_column_bytes(m_statement.get(), pos + m_firstField));
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
    m_pending.insert(position(name), value);
}

void Recordset::Update() {
    if (!m_editing)
        throw Error(QStringLiteral("Update utan Edit (fråga: %1).").arg(m_sql));
    if (m_rows) {
        for (auto it = m_pending.constBegin(); it != m_pending.constEnd(); ++it)
            m_connection->server->update(m_table, fieldName(it.key()), *it, m_rows->radnr());
        m_editing = false;
        return;
    }
    const qint64 rowid = sqlite3_column_int64(m_statement.get(), 0);
    for (auto it = m_pending.constBegin(); it != m_pending.constEnd(); ++it) {
        const QString sql =
            QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                .arg(sqltext::identifier(m_table), sqltext::identifier(fieldName(it.key())));
        Database(m_connection).Execute(sql, {*it, Variant::Double(double(rowid))});
    }
    m_editing = false;
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

std::optional<QString> servingIndex(Database &db, const QString &table, const QString &column) {
    if (sqlite3_table_column_metadata(db.handle(), nullptr, table.toUtf8().constData(),
                                      column.toUtf8().constData(), nullptr, nullptr, nullptr,
                                      nullptr, nullptr) != SQLITE_OK)
        return std::nullopt;
    const QString own = QStringLiteral("NOCASE");
    QStringList indexes;
    for (Recordset rs = db.OpenRecordset(
             QStringLiteral("SELECT name FROM pragma_index_list(?) WHERE partial = 0"),
             {Variant::String(table)});
         !rs.isEOF(); rs.MoveNext())
        indexes.append(rs.Fields(0).toText());
    for (const QString &index : indexes) {
        Recordset first = db.OpenRecordset(
            QStringLiteral("SELECT name, coll FROM pragma_index_xinfo(?) WHERE seqno = 0"),
            {Variant::String(index)});
        if (!first.isEOF() && first.Fields(0).toText().compare(column, Qt::CaseInsensitive) == 0 &&
            first.Fields(1).toText().compare(own, Qt::CaseInsensitive) == 0)
            return index;
    }
    return std::nullopt;
}

} // namespace dao

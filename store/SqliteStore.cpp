#include "store/SqliteStore.h"

#include "MDlib/Error.h"
#include "MDlib/SystemError.h"
#include "store/CheckedSum.h"
#include "store/ProductKey.h"
#include "store/ReadAhead.h"
#include "store/SqlText.h"
#include "store/SqliteError.h"
#include "store/SqliteValue.h"
#include "store/StoreWriteLock.h"
#include "store/TableCatalogue.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

using lodvik::Error;
using lodvik::Variant;

namespace dao {

namespace {

// Enough for every query text the figures and reports run; statements past it are finalized.
constexpr size_t maxPreparedStatements = 64;

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
    switch (stored) {
    case SQLITE_BLOB:
        failure = sum.addBlob(blobLiteral(sqlite3_value_blob(value), sqlite3_value_bytes(value)));
        break;
    case SQLITE_INTEGER:
        failure = sum.addInteger(sqlite3_value_int64(value));
        break;
    case SQLITE_FLOAT:
        failure = sum.addReal(sqlite3_value_double(value));
        break;
    default:
        failure = sum.addText(argumentText(value));
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

// The message's part after the reason: the query, then the engine's words.
QString queryPart(const QString &sql) {
    return sql.isEmpty() ? QString() : QStringLiteral("\nFråga: %1").arg(sql);
}

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

// Begins the read transaction that holds a state of the file: BEGIN takes no lock, the first
// read takes the shared one. A busy file gives SQLITE_BUSY after the connection's busy timeout.
// On failure the transaction stays open, with the connection's error: the ROLLBACK would clear
// it (failRead tells it, then rolls back).
int beginRead(sqlite3 *db) {
    int rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    return rc;
}

void endRead(sqlite3 *db) {
    if (!sqlite3_get_autocommit(db))
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

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

// The rows of one statement; a table query's hidden rowid in front when it is updatable.
class SqliteRows : public StoreRows {
public:
    explicit SqliteRows(SqliteStore::Statement statement)
        : m_statement(std::move(statement)), m_first(m_statement.table.isEmpty() ? 0 : 1) {}

    bool next() override {
        const int rc = sqlite3_step(m_statement.get());
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE) {
            m_statement.keep = false;
            m_statement.store->fail(m_statement.sql);
        }
        return false;
    }
    bool rewind() override {
        sqlite3_reset(m_statement.get());
        return true;
    }
    int fieldCount() const override { return sqlite3_column_count(m_statement.get()) - m_first; }
    QString fieldName(int position) const override {
        return QString::fromUtf8(sqlite3_column_name(m_statement.get(), position + m_first));
    }
    int find(const QString &name) const override {
        // A plain walk over the names: a query has few, and a table of folded names per query
        // would cost more.
        for (int i = fieldCount() - 1; i >= 0; --i)
            if (sameName(sqlite3_column_name(m_statement.get(), i + m_first), name))
                return i;
        return -1;
    }
    Variant value(int position) const override {
        return columnValue(m_statement.get(), position + m_first);
    }
    StoredNumber number(int position, ValueRule rule) const override {
        return storedSqliteValue(sqlite3_column_value(m_statement.get(), position + m_first), rule);
    }
    std::optional<QString> blob(int position) const override {
        sqlite3_stmt *s = m_statement.get();
        if (sqlite3_column_type(s, position + m_first) != SQLITE_BLOB)
            return std::nullopt;
        return blobLiteral(sqlite3_column_blob(s, position + m_first),
                           sqlite3_column_bytes(s, position + m_first));
    }
    qint64 place() const override {
        return m_first ? sqlite3_column_int64(m_statement.get(), 0) : 0;
    }

private:
    SqliteStore::Statement m_statement;
    int m_first; // 1 when column 0 is the hidden rowid
};

// Rows into one table through one prepared INSERT. A failure raises SQLite's reason alone
// (sqliteFailure), for the writer's caller to say what it was writing.
class SqliteWriter : public TableWriter {
public:
    SqliteWriter(sqlite3 *db, const QString &sql) : m_db(db) {
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_statement, nullptr) !=
            SQLITE_OK)
            throw Error(sqliteFailure(db));
    }
    ~SqliteWriter() override { sqlite3_finalize(m_statement); }
    void setNull(int position) override { sqlite3_bind_null(m_statement, position + 1); }
    void setInteger(int position, qint64 value) override {
        sqlite3_bind_int64(m_statement, position + 1, value);
    }
    void setReal(int position, double value) override {
        sqlite3_bind_double(m_statement, position + 1, value);
    }
    // SQLite binds a null pointer as Null: an empty text or blob stays one.
    void setText(int position, QByteArrayView utf8) override {
        sqlite3_bind_text64(m_statement, position + 1, utf8.data() ? utf8.data() : "",
                            sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    void setBlob(int position, QByteArrayView bytes) override {
        sqlite3_bind_blob64(m_statement, position + 1, bytes.data() ? bytes.data() : "",
                            sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT);
    }
    void write() override {
        const int rc = sqlite3_step(m_statement);
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
        if (rc != SQLITE_DONE)
            throw Error(sqliteFailure(m_db));
    }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_statement = nullptr;
};

} // namespace

SqliteStore::Statement::Statement(Statement &&other) noexcept
    : store(other.store), sql(std::move(other.sql)),
      statement(std::exchange(other.statement, nullptr)), table(std::move(other.table)),
      keep(other.keep) {}

SqliteStore::Statement::~Statement() {
    if (!statement)
        return;
    // A statement that is still stepping holds a read transaction open; reset ends it.
    sqlite3_reset(statement);
    std::vector<Prepared> &kept = store->m_prepared;
    if (keep && kept.size() < maxPreparedStatements &&
        std::none_of(kept.begin(), kept.end(), [&](const Prepared &p) { return p.sql == sql; })) {
        sqlite3_clear_bindings(statement);
        kept.push_back({sql, statement, table});
        return;
    }
    sqlite3_finalize(statement);
}

std::shared_ptr<SqliteStore> SqliteStore::open(const QString &path, int flags) {
    // A connection takes its page cache (SQLite's default, 2 MB) in one allocation instead of a
    // page at a time: a scan thread's heap would otherwise grow by one mprotect() per page. Only
    // possible before SQLite's first use in the process; later it is refused and changes nothing.
    // The pages come into it by pread(), each once on a scan and a run of them at a time
    // (ReadAhead), as SQLite reads without a memory map: a page first touched through a map costs
    // a fault, dearer on a virtual machine than the copy, and a map of a file that another program
    // shortens ends the process with SIGBUS.
    [[maybe_unused]] static const int pageCache =
        sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, -2000);
    std::shared_ptr<SqliteStore> store(new SqliteStore);
    store->path = path;
    const int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &store->m_db, flags, readAheadLayer());
    if (rc != SQLITE_OK)
        throw Error(QStringLiteral("Den lokala databasen %1 kan inte öppnas: %2")
                        .arg(path, store->m_db ? sqliteFailure(store->m_db) : sqliteFailure(rc)));
    // Another program may hold the file; wait a moment for its lock instead of failing at once.
    sqlite3_busy_timeout(store->m_db, 5000);
    sqlite3_extended_result_codes(store->m_db, 1);
    sqlite3_create_function_v2(store->m_db, "lodvik_sum", 3,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                               nullptr, sumStep, sumFinal, nullptr);
    registerProductCollation(store->m_db);
    return store;
}

std::shared_ptr<SqliteStore> SqliteStore::openExisting(const QString &path) {
    // One thread uses a connection, so SQLite need not lock it per call.
    std::shared_ptr<SqliteStore> store = open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    // Through the connection's own descriptor: a second one, closed again, would drop the locks
    // another connection of this process (an import, a conversion) holds on the file.
    checkFileFormat(store->m_db, path);
    return store;
}

void SqliteStore::checkPath(const QString &path) {
    if (const QString problem = StoreWriteLock::pathProblem(path); !problem.isEmpty())
        throw Error(problem);
    if (!QFileInfo::exists(path))
        throw Error(QStringLiteral("Den lokala databasen %1 finns inte.").arg(path));
}

std::shared_ptr<SqliteStore> SqliteStore::openFile(const QString &path) {
    checkPath(path);
    return openExisting(path);
}

SqliteStore::~SqliteStore() {
    for (const Prepared &p : m_prepared)
        sqlite3_finalize(p.statement);
    if (m_db)
        sqlite3_close_v2(m_db);
}

Error SqliteStore::failure(const QString &sql) const {
    if (!functionFailure.isEmpty())
        return Error(std::exchange(functionFailure, QString()));
    const QString engine = QString::fromUtf8(sqlite3_errmsg(m_db));
    const QString missing = sqltext::missingObject(engine);
    if (!missing.isEmpty())
        return Error(missing + QStringLiteral(" i den lokala databasen.") + queryPart(sql));
    const int code = sqlite3_extended_errcode(m_db);
    return Error(QStringLiteral("Databasfel i den lokala databasen: %1.")
                     .arg(sqliteReason(code, engine, sqliteSystemError(m_db))) +
                 queryPart(sql) +
                 lodvik::details(QStringLiteral("SQLite-fel %1: %2").arg(code).arg(engine)));
}

void SqliteStore::fail(const QString &sql) const {
    throw failure(sql);
}

void SqliteStore::failRead() const {
    const Error error = failure(QStringLiteral("BEGIN"));
    endRead(m_db);
    throw error;
}

SqliteStore::Statement SqliteStore::statement(const QString &sql, bool rowid) {
    m_snapshotFresh = false;
    Statement s(this, sql);
    // The figures' query texts are constants, so a text mostly comes back as the same string.
    const auto cached = std::find_if(m_prepared.begin(), m_prepared.end(), [&](const Prepared &p) {
        return p.sql.size() == sql.size() && (p.sql.constData() == sql.constData() || p.sql == sql);
    });
    if (cached != m_prepared.end()) {
        s.statement = cached->statement;
        s.table = std::move(cached->table);
        *cached = std::move(m_prepared.back());
        m_prepared.pop_back();
        return s;
    }
    if (const auto query = rowid ? sqltext::tableQuery(sql) : std::nullopt) {
        // A table query gets the hidden rowid in front, so that its rows can be updated; other
        // queries (views, joins, and what the rowid form does not suit) run as given.
        const QByteArray utf8 =
            (QStringLiteral("SELECT rowid, * FROM ") + query->tableText + query->rest).toUtf8();
        if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &s.statement, nullptr) ==
                SQLITE_OK &&
            s.statement) {
            s.table = query->table;
            return s;
        }
        sqlite3_finalize(std::exchange(s.statement, nullptr));
    }
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &s.statement, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(std::exchange(s.statement, nullptr));
        fail(sql);
    }
    if (!s.statement)
        throw Error(QStringLiteral("Tom fråga till den lokala databasen."));
    return s;
}

std::unique_ptr<StoreRows> SqliteStore::query(const QString &sql, const Parameters &parameters,
                                              QString *updatableTable) {
    Statement s = statement(sql, true);
    for (size_t i = 0; i < parameters.size(); ++i)
        bindValue(s.get(), int(i) + 1, parameters[i]);
    *updatableTable = s.table;
    return std::make_unique<SqliteRows>(std::move(s));
}

void SqliteStore::execute(const QString &sql, const Parameters &parameters) {
    if (parameters.empty()) {
        m_snapshotFresh = false;
        // Several statements (a schema) run in one go.
        char *message = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            sqlite3_free(message);
            fail(sql);
        }
        return;
    }
    Statement s = statement(sql, false);
    for (size_t i = 0; i < parameters.size(); ++i)
        bindValue(s.get(), int(i) + 1, parameters[i]);
    const int rc = sqlite3_step(s.get());
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        s.keep = false;
        fail(sql);
    }
}

bool SqliteStore::tableExists(const QString &name) {
    QString none;
    std::unique_ptr<StoreRows> rows =
        query(QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', 'view') AND "
                             "lower(name) = lower(?)"),
              {Variant::String(name)}, &none);
    if (rows->next())
        return true;
    // lower() folds ASCII only; compare the names with full case folding as a last resort.
    rows = query(QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', 'view')"),
                 {}, &none);
    while (rows->next())
        if (rows->value(0).text().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

std::unique_ptr<StoreRows> SqliteStore::product(const ProductQuery &query, const QString &product,
                                                QString *updatableTable) {
    const BoundQuery bound = forProduct(query, product);
    return this->query(bound.sql, bound.parameters, updatableTable);
}

Variant SqliteStore::tableSum(const QString &table, const QString &column) {
    QString none;
    std::unique_ptr<StoreRows> rows = query(QStringLiteral("SELECT ") + checkedSum(table, column) +
                                                QStringLiteral(" AS Summa FROM ") + table,
                                            {}, &none);
    return rows->next() ? rows->value(0) : Variant::Null();
}

void SqliteStore::update(const QString &table, qint64 place, const QString &column,
                         const Variant &value) {
    execute(QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                .arg(sqltext::identifier(table), sqltext::identifier(column)),
            {value, Variant::Double(double(place))});
}

std::unique_ptr<TableWriter> SqliteStore::writer(const QString &table, const QStringList &columns) {
    QStringList names, marks;
    for (const QString &column : columns) {
        names.append(sqltext::identifier(column));
        marks.append(QStringLiteral("?"));
    }
    return std::make_unique<SqliteWriter>(m_db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                                    .arg(sqltext::identifier(table),
                                                         names.join(QStringLiteral(", ")),
                                                         marks.join(QStringLiteral(", "))));
}

bool SqliteStore::holdSnapshot() {
    // A writer's own transaction (a date conversion) already holds the file.
    if (m_snapshotHeld || !sqlite3_get_autocommit(m_db))
        return false;
    if (beginRead(m_db) != SQLITE_OK)
        failRead();
    m_snapshotHeld = m_snapshotFresh = true;
    return true;
}

std::function<std::shared_ptr<ExtractStore>()> SqliteStore::joinSnapshot() {
    // The mode reads no table: a state held since holdSnapshot stays the one it began, which a
    // waiting writer may still be let through before (below).
    const bool fresh = m_snapshotFresh;
    QString none;
    std::unique_ptr<StoreRows> mode = query(QStringLiteral("PRAGMA journal_mode"), {}, &none);
    if (mode->next() &&
        mode->value(0).toText().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0)
        return {};
    mode.reset();
    m_snapshotFresh = fresh;
    holdSnapshot();
    for (int attempt = 1;; ++attempt) {
        std::shared_ptr<SqliteStore> joined = openExisting(path);
        // While this connection holds its shared lock no writer can commit, so the joined one
        // reads the same state, unless a writer already waits for the lock to commit: then no
        // new reader gets one until it has.
        sqlite3_busy_timeout(joined->m_db, attempt < 50 && m_snapshotFresh ? 0 : 5000);
        const int rc = beginRead(joined->m_db);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(joined->m_db, 5000);
            joined->m_snapshotHeld = true;
            // Handed over once, so that the connection goes with its thread's work.
            auto handed = std::make_shared<std::shared_ptr<ExtractStore>>(std::move(joined));
            return [handed] { return std::exchange(*handed, nullptr); };
        }
        if ((rc & 0xff) != SQLITE_BUSY || attempt >= 50 || !m_snapshotFresh)
            joined->failRead();
        endRead(joined->m_db);
        // Let the writer commit, then take the state again for both.
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_snapshotHeld = false;
        QThread::msleep(10 * attempt);
        if (beginRead(m_db) != SQLITE_OK)
            failRead();
        m_snapshotHeld = true;
    }
}

void SqliteStore::prepareIndexes(lodvik::Progress &progress, catalogue::MissingIndexes where) {
    catalogue::prepareSqliteIndexes(*this, progress, where);
}

QString SqliteStore::description() const {
    return QStringLiteral("den lokala databasen ") + path;
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
    return fileKindOfHead(QByteArray(head, int(std::min<sqlite3_int64>(size, sizeof head))));
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

std::optional<QString> servingIndex(SqliteStore &db, const QString &table, const QString &column) {
    if (sqlite3_table_column_metadata(db.handle(), nullptr, table.toUtf8().constData(),
                                      column.toUtf8().constData(), nullptr, nullptr, nullptr,
                                      nullptr, nullptr) != SQLITE_OK)
        return std::nullopt;
    const QString own = QStringLiteral("NOCASE");
    QStringList indexes;
    QString none;
    for (std::unique_ptr<StoreRows> rows =
             db.query(QStringLiteral("SELECT name FROM pragma_index_list(?) WHERE partial = 0"),
                      {Variant::String(table)}, &none);
         rows->next();)
        indexes.append(rows->value(0).toText());
    for (const QString &index : indexes) {
        std::unique_ptr<StoreRows> first =
            db.query(QStringLiteral("SELECT name, coll FROM pragma_index_xinfo(?) WHERE seqno = 0"),
                     {Variant::String(index)}, &none);
        if (first->next() && first->value(0).toText().compare(column, Qt::CaseInsensitive) == 0 &&
            first->value(1).toText().compare(own, Qt::CaseInsensitive) == 0)
            return index;
    }
    return std::nullopt;
}

} // namespace dao

#include "search/SqliteSearchSource.h"

#include "MDlib/Error.h"
#include "search/SwedishCollation.h"
#include "store/SqliteError.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

using lodvik::Error;

namespace {

QString nextConnectionName() {
    static QAtomicInteger<int> counter;
    return QStringLiteral("sokdata-%1").arg(counter.fetchAndAddRelaxed(1) + 1);
}

sqlite3 *sqliteHandle(const QSqlDatabase &db) {
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

void run(QSqlDatabase &db, const QString &sql) {
    QSqlQuery query(db);
    if (!query.exec(sql))
        throw Error(QStringLiteral("Sökdatabasen %1 kunde inte förberedas: %2")
                        .arg(db.databaseName(), dao::databaseFailure(db, query.lastError())));
}

// What stops SQLite in a folder the user may not write in: a new file cannot be made there, and
// a WAL file is not read without its -wal and -shm beside it, which SQLite makes on first use.
QString folderFailure(const QString &path, bool existed, int code) {
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (folder.isWritable() || !folder.isDir())
        return QString();
    if (!existed)
        return QStringLiteral("Sökdatabasen %1 finns inte och kan inte skapas: programmet får inte "
                              "skriva i mappen %2.")
            .arg(path, folder.filePath());
    if (code != SQLITE_READONLY_DIRECTORY && (code & 0xff) != SQLITE_CANTOPEN)
        return QString();
    return QStringLiteral("Sökdatabasen %1 kan inte läsas: programmet får inte skriva i mappen %2, "
                          "och SQLite måste lägga %3-wal och %3-shm där för att kunna läsa "
                          "databasen. Ge användaren skrivbehörighet i mappen, eller låt "
                          "LODVIKPRODSOK_HOME peka på en mapp som användaren får skriva i.")
        .arg(path, folder.filePath(), file.fileName());
}

int nativeCode(const QSqlError &error) {
    return error.nativeErrorCode().toInt();
}

} // namespace

QString SqliteSearchSource::libraryVersion() {
    return QString::fromLatin1(sqlite3_libversion());
}

QString SqliteSearchSource::pathProblem(const QString &path) {
    // SQLite would report a pipe or a device as a disk error, or wait on it.
    const QFileInfo file(path);
    if (file.exists() && !file.isFile())
        return QStringLiteral("Sökdatabasen %1 är ingen vanlig fil (den är en mapp, en namngiven "
                              "pipe, en enhet eller liknande) och kan inte vara en databas.")
            .arg(path);
    return QString();
}

SqliteSearchSource::SqliteSearchSource(const QString &path)
    : m_path(path), m_connectionName(nextConnectionName()) {
    if (const QString problem = pathProblem(path); !problem.isEmpty())
        throw Error(problem);
    const bool existed = QFileInfo::exists(path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(path);
        // Another workstation or program may hold the file for a moment.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            if (const QString why = folderFailure(path, existed, nativeCode(db.lastError()));
                !why.isEmpty()) {
                db = QSqlDatabase();
                QSqlDatabase::removeDatabase(m_connectionName);
                throw Error(why);
            }
            const QString reason = dao::databaseFailure(db.lastError(), true);
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connectionName);
            throw Error(QStringLiteral("Sökdatabasen %1 kan inte öppnas: %2").arg(path, reason));
        }
    }
    try {
        QSqlDatabase db = database();
        sqlite3 *handle = sqliteHandle(db);
        if (!handle)
            throw Error(QStringLiteral("Qt:s SQLite-drivrutin ger ingen förbindelse att "
                                       "registrera sorteringsordningen på."));
        swedish::registerCollation(handle);
        // The first read opens the WAL file's companions.
        if (QSqlQuery probe(db);
            !probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
            QString why = folderFailure(path, existed, nativeCode(probe.lastError()));
            if (why.isEmpty())
                why = QStringLiteral("Sökdatabasen %1 kan inte läsas: %2")
                          .arg(path, dao::databaseFailure(probe.lastError(), true));
            throw Error(why);
        }
        if (!existed) {
            // Readers then never block the operator's edits from another window.
            run(db, QStringLiteral("PRAGMA journal_mode=WAL"));
        }
        createSchema();
    } catch (...) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw;
    }
}

SqliteSearchSource::~SqliteSearchSource() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase SqliteSearchSource::database() const {
    return QSqlDatabase::database(m_connectionName, false);
}

QString SqliteSearchSource::exactMatch(const QString &column) const {
    // The Swedish order counts "abc" and "ABC " alike; the check of a row must not.
    return QStringLiteral("%1 = ? COLLATE BINARY").arg(column);
}

QString SqliteSearchSource::description() const {
    return QStringLiteral("sökdatabasen %1").arg(m_path);
}

void SqliteSearchSource::createSchema() {
    QSqlDatabase db = database();
    const QString collate = QString::fromLatin1(swedish::collationName);
    // The two-column indexes also give the search's ORDER BY, so the first rows come at once.
    const QStringList statements = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS ProduktSok (Soknamn TEXT COLLATE %1, "
                       "Produktnummer TEXT COLLATE %1)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS ProduktSok_Produktnummer ON ProduktSok "
                       "(Produktnummer COLLATE %1, Soknamn COLLATE %1)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS ProduktSok_Soknamn ON ProduktSok "
                       "(Soknamn COLLATE %1, Produktnummer COLLATE %1)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS LagerA (lagerplats TEXT COLLATE %1)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS LagerA_lagerplats ON LagerA "
                       "(lagerplats COLLATE %1)"),
    };
    for (const QString &sql : statements)
        run(db, sql.arg(collate));
}

std::unique_ptr<SearchSource> openSqliteSearchSource(const QString &path) {
    return std::make_unique<SqliteSearchSource>(path);
}

#include "reports/CoverageScanServer.h"

#include "MDlib/Error.h"
#include "MDlib/SystemError.h"
#include "data/ExtractStore.h"
#include "data/LocalDatabase.h"
#include "data/SqliteError.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QtEndian>

#include <libpq-fe.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace reports {

ServerValue numericValue(double value) {
    ServerValue v;
    // SQLite keeps a whole double in a NUMERIC column as an integer, within its range.
    if (value > -9223372036854775808.0 && value < 9223372036854775808.0) {
        const qint64 whole = qint64(value);
        if (double(whole) == value && whole != std::numeric_limits<qint64>::min()) {
            v.kind = ServerValue::Kind::Integer;
            v.integer = whole;
            return v;
        }
    }
    v.kind = std::isfinite(value) ? ServerValue::Kind::Real : ServerValue::Kind::NotANumber;
    v.real = value;
    return v;
}

ServerValue numericValue(QByteArrayView text) {
    ServerValue v;
    if (text.isEmpty() ||
        (text.size() == 1 && text.front() == ' ')) { // counted as 0, as the figures count them
        v.kind = ServerValue::Kind::Real;
        return v;
    }
    const QByteArray copy = text.toByteArray();
    char *end = nullptr;
    errno = 0;
    const long long whole = std::strtoll(copy.constData(), &end, 10);
    if (end == copy.constData() + copy.size() && errno == 0) {
        v.kind = ServerValue::Kind::Integer;
        v.integer = whole;
        return v;
    }
    const double real = std::strtod(copy.constData(), &end);
    if (end != copy.constData() + copy.size() || !std::isfinite(real)) {
        v.kind = ServerValue::Kind::NotANumber;
        return v;
    }
    return numericValue(real);
}

namespace {

PGconn *libpqHandle(const QSqlDatabase &db) {
    const QVariant handle = db.driver()->handle();
    // Qt names the type by the struct PGconn stands for.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

QString serverWords(PGconn *conn) {
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

struct Result {
    PGresult *result;
    ~Result() { PQclear(result); }
};

// Type oids of pg_type that arrive in COPY's binary format as plain numbers.
enum : Oid { Int8 = 20, Int2 = 21, Int4 = 23, Float4 = 700, Float8 = 701 };

bool binaryNumber(Oid type) {
    return type == Int8 || type == Int2 || type == Int4 || type == Float4 || type == Float8;
}

// The rows of COPY ... TO STDOUT (FORMAT binary): a header, then per row a field count and each
// field as its length (-1 for Null) and bytes in network order, then -1 for the end.
class BinaryRows {
public:
    BinaryRows(Oid valueType, const ServerSnapshot::Row &row) : m_type(valueType), m_row(row) {}

    // One message of the copy; false at a malformed one.
    bool take(const char *data, int size) {
        const char *p = data;
        const char *end = data + size;
        if (!m_headerRead) {
            static const char signature[] = "PGCOPY\n\377\r\n\0";
            if (size < 19 || std::memcmp(p, signature, 11) != 0)
                return false;
            const quint32 extension = qFromBigEndian<quint32>(p + 15);
            if (extension > quint32(size - 19))
                return false;
            p += 19 + extension;
            m_headerRead = true;
        }
        while (p < end) {
            if (end - p < 2)
                return false;
            const qint16 fields = qFromBigEndian<qint16>(p);
            p += 2;
            if (fields == -1)
                return p == end;
            if (fields != 2)
                return false;
            const char *field[2];
            qint32 length[2];
            for (int f = 0; f < 2; ++f) {
                if (end - p < 4)
                    return false;
                length[f] = qFromBigEndian<qint32>(p);
                p += 4;
                field[f] = p;
                if (length[f] > 0) {
                    if (end - p < length[f])
                        return false;
                    p += length[f];
                }
            }
            if (length[0] < 0)
                continue; // a Null product number equals no product
            ServerValue value;
            if (length[1] >= 0 && !decode(field[1], length[1], value))
                return false;
            m_row(QByteArrayView(field[0], length[0]), value);
        }
        return true;
    }

private:
    bool decode(const char *p, qint32 length, ServerValue &value) const {
        const auto integer = [&](qint64 v) {
            value.kind = ServerValue::Kind::Integer;
            value.integer = v;
            return true;
        };
        const auto real = [&](double v) {
            value = numericValue(v);
            return true;
        };
        switch (m_type) {
        case Int8:
            return length == 8 && integer(qFromBigEndian<qint64>(p));
        case Int4:
            return length == 4 && integer(qFromBigEndian<qint32>(p));
        case Int2:
            return length == 2 && integer(qFromBigEndian<qint16>(p));
        case Float4:
            return length == 4 && real(std::bit_cast<float>(qFromBigEndian<quint32>(p)));
        case Float8:
            return length == 8 && real(std::bit_cast<double>(qFromBigEndian<quint64>(p)));
        default: // selected as text
            value = numericValue(QByteArrayView(p, length));
            return true;
        }
    }

    Oid m_type;
    const ServerSnapshot::Row &m_row;
    bool m_headerRead = false;
};

} // namespace

ServerSnapshot::ServerSnapshot(const SearchSourceSettings &settings, const QString &snapshot)
    : m_source(openExtractServer(settings)), m_db(m_source->database()),
      m_description(m_source->description()) {
    QSqlQuery q(m_db);
    // Set for the session, so that the snapshot is the transaction's first statement: psqlODBC
    // wraps every later one in a savepoint, where a snapshot can be neither taken nor joined.
    if (!q.exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL "
                               "REPEATABLE READ, READ ONLY")) ||
        !m_db.transaction())
        fail(q.lastError().isValid() ? q.lastError().text() : m_db.lastError().text());
    if (snapshot.isEmpty()) {
        if (!q.exec(QStringLiteral("SELECT pg_export_snapshot()")) || !q.next())
            fail(q.lastError().text());
        m_snapshot = q.value(0).toString();
    } else {
        // The id comes from pg_export_snapshot on another connection of this run.
        if (!q.exec(QStringLiteral("SET TRANSACTION SNAPSHOT '%1'")
                        .arg(QString(snapshot).remove(QLatin1Char('\'')))))
            fail(q.lastError().text());
        m_snapshot = snapshot;
    }
}

ServerSnapshot::ServerSnapshot(dao::Database &run)
    : m_db(run.serverDatabase()), m_description(run.description()) {}

ServerSnapshot::~ServerSnapshot() {
    if (m_source)
        m_db.rollback(); // it only read
}

void ServerSnapshot::fail(const QString &words) const {
    throw lodvik::Error(QStringLiteral("Utdragen kunde inte läsas från %1.").arg(m_description) +
                        lodvik::details(words));
}

QString scanSnapshot(dao::Database &run) {
    if (!run.isServer() || run.serverDatabase().driverName() != QLatin1String("QPSQL"))
        return {};
    return run.exportSnapshot();
}

bool ServerSnapshot::readColumn(const QString &table, const QString &key, const QString &column,
                                const Row &row, const std::function<void()> &everyFewRows) {
    const QString select =
        QStringLiteral("SELECT %1, %2%4 FROM %3 ORDER BY lodvik_radnr").arg(key, column, table);
    if (libpqHandle(m_db))
        return readCopy(select, row, everyFewRows);
    return readQuery(select.arg(QString()), row, everyFewRows);
}

bool ServerSnapshot::readCopy(const QString &select, const Row &row,
                              const std::function<void()> &everyFewRows) {
    PGconn *conn = libpqHandle(m_db);
    // The column's type, and whether it is there at all, without spoiling the transaction.
    {
        Result savepoint{PQexec(conn, "SAVEPOINT lodvik_las")};
        if (PQresultStatus(savepoint.result) != PGRES_COMMAND_OK)
            fail(serverWords(conn));
    }
    Oid type = 0;
    {
        const QByteArray probe = (select.arg(QString()) + QStringLiteral(" LIMIT 0")).toUtf8();
        Result described{PQexec(conn, probe.constData())};
        if (PQresultStatus(described.result) != PGRES_TUPLES_OK) {
            const char *state = PQresultErrorField(described.result, PG_DIAG_SQLSTATE);
            // 42P01 undefined_table, 42703 undefined_column
            if (!state || (qstrcmp(state, "42P01") != 0 && qstrcmp(state, "42703") != 0))
                fail(serverWords(conn));
            Result back{PQexec(conn, "ROLLBACK TO SAVEPOINT lodvik_las")};
            if (PQresultStatus(back.result) != PGRES_COMMAND_OK)
                fail(serverWords(conn));
            return false;
        }
        type = PQftype(described.result, 1);
    }
    // Product numbers as text, numbers in their binary form, anything else as text.
    const QString copy = select.arg(binaryNumber(type) ? QString() : QStringLiteral("::text"));
    const QByteArray sql =
        (QStringLiteral("COPY (") + copy + QStringLiteral(") TO STDOUT (FORMAT binary)")).toUtf8();
    Result started{PQexec(conn, sql.constData())};
    if (PQresultStatus(started.result) != PGRES_COPY_OUT)
        fail(serverWords(conn));
    BinaryRows rows(binaryNumber(type) ? type : 0, row);
    bool wellFormed = true;
    for (qint64 n = 1;; ++n) {
        char *data = nullptr;
        const int size = PQgetCopyData(conn, &data, 0);
        if (size < 0)
            break; // -1 at the end, -2 on failure: the result tells
        if (wellFormed)
            wellFormed = rows.take(data, size);
        PQfreemem(data);
        if (n % 4096 == 0)
            everyFewRows(); // a stop here leaves the copy to the connection's closing
    }
    for (;;) {
        Result finished{PQgetResult(conn)};
        if (!finished.result)
            break;
        if (PQresultStatus(finished.result) != PGRES_COMMAND_OK)
            fail(serverWords(conn));
    }
    if (!wellFormed)
        fail(QStringLiteral("COPY gav rader i ett oväntat format."));
    return true;
}

bool ServerSnapshot::readQuery(const QString &select, const Row &row,
                               const std::function<void()> &everyFewRows) {
    QSqlDatabase db = m_db;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SAVEPOINT lodvik_las")))
        fail(q.lastError().text());
    q.setForwardOnly(true);
    if (!q.exec(select)) {
        const QString state = q.lastError().nativeErrorCode();
        if (state != QLatin1String("42P01") && state != QLatin1String("42703"))
            fail(q.lastError().text());
        QSqlQuery back(db);
        if (!back.exec(QStringLiteral("ROLLBACK TO SAVEPOINT lodvik_las")))
            fail(back.lastError().text());
        return false;
    }
    QByteArray key;
    for (qint64 n = 1; q.next(); ++n) {
        if (n % 4096 == 0)
            everyFewRows();
        const QVariant k = q.value(0);
        if (k.isNull())
            continue;
        key = k.toString().toUtf8();
        const QVariant v = q.value(1);
        ServerValue value;
        switch (v.typeId()) {
        case QMetaType::UnknownType:
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::LongLong:
            value.kind = v.isNull() ? ServerValue::Kind::Null : ServerValue::Kind::Integer;
            value.integer = v.toLongLong();
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            if (!v.isNull())
                value = numericValue(v.toDouble());
            break;
        default:
            if (!v.isNull())
                value = numericValue(QByteArrayView(v.toString().toUtf8()));
        }
        row(key, value);
    }
    if (q.lastError().isValid())
        fail(q.lastError().text());
    return true;
}

} // namespace reports

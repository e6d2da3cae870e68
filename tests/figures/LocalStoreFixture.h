#pragma once

#include "MDlib/MDlib.h"
#include "MDlib/Variant.h"
#include "Startmeny/StartmenyOperations.h"
#include "data/LocalDatabase.h"
#include "data/TableCatalogue.h"

#include <QStringList>
#include <QTemporaryDir>

#include <vector>

// A fresh local.mdb with every catalogue table, empty, in a temporary program folder.
class LocalStoreFixture {
public:
    LocalStoreFixture() {
        gAppPath = m_dir.path();
        catalogue::createEmptyLocalStore(StartmenyOperations::localDatabasePath());
    }

    QString folder() const { return m_dir.path(); }

    void insert(const QString &table, const std::vector<lodvik::Variant> &values) {
        QStringList marks;
        for (size_t i = 0; i < values.size(); ++i)
            marks.append(QStringLiteral("?"));
        db().Execute(QStringLiteral("INSERT INTO \"%1\" VALUES (%2)")
                         .arg(table, marks.join(QLatin1Char(','))),
                     values);
    }

    // A DTSPL row: the product at position 2 and the given quantities by position (4-45); the
    // other quantities are Null.
    void dtspl(const lodvik::Variant &product, const QList<QPair<int, lodvik::Variant>> &values) {
        std::vector<lodvik::Variant> row(46, lodvik::Variant::Null());
        row[0] = lodvik::Variant::Long(++m_dtsplId);
        row[1] = lodvik::Variant::String(QStringLiteral("DP1"));
        row[2] = product;
        for (const auto &[position, value] : values)
            row[size_t(position)] = value;
        insert(QStringLiteral("DTSPL"), row);
    }

    void execute(const QString &sql) { db().Execute(sql); }

    // The first column of the first row of a query.
    lodvik::Variant value(const QString &sql) {
        dao::Recordset rs = db().OpenRecordset(sql);
        return rs.isEOF() ? lodvik::Variant() : rs.Fields(0);
    }

private:
    dao::Database db() {
        return dao::Database::OpenDatabase(StartmenyOperations::localDatabasePath());
    }

    QTemporaryDir m_dir;
    int m_dtsplId = 0;
};

namespace testvalues {
inline lodvik::Variant S(const QString &text) {
    return lodvik::Variant::String(text);
}
inline lodvik::Variant D(double d) {
    return lodvik::Variant::Double(d);
}
inline lodvik::Variant L(int i) {
    return lodvik::Variant::Long(i);
}
inline lodvik::Variant N() {
    return lodvik::Variant::Null();
}
} // namespace testvalues

// The window's operations with their progress captions recorded.
class RecordingOperations : public StartmenyOperations {
public:
    QStringList captions;

protected:
    void showProgress(const QString &caption) override { captions.append(caption); }
};

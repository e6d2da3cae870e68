#pragma once

#include "MDlib/Progress.h"
#include "MDlib/Variant.h"
#include "store/LocalDatabase.h"
#include "store/TableCatalogue.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <vector>

// A program folder of its own for a test: local.mdb with every catalogue table (empty) and the
// rapporter folder. Nothing global is changed; the code under test is given the paths.
class ProgramFolder {
public:
    ProgramFolder() {
        catalogue::createEmptyLocalStore(localDatabase());
        QDir(path()).mkdir(QStringLiteral("rapporter"));
    }

    QString path() const { return m_dir.path(); }
    QString localDatabase() const { return m_dir.filePath(QStringLiteral("local.mdb")); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

    // One row into a table, all columns in order, or the named ones.
    void insert(const QString &table, const std::vector<lodvik::Variant> &values,
                const QStringList &columns = {}) {
        QStringList marks;
        for (size_t i = 0; i < values.size(); ++i)
            marks.append(QStringLiteral("?"));
        QString names;
        if (!columns.isEmpty())
            names = QStringLiteral("(\"%1\")").arg(columns.join(QStringLiteral("\",\"")));
        db().Execute(QStringLiteral("INSERT INTO \"%1\" %2 VALUES (%3)")
                         .arg(table, names, marks.join(QLatin1Char(','))),
                     values);
    }

    void execute(const QString &sql) { db().Execute(sql); }

    dao::Database db() { return dao::Database::OpenDatabase(localDatabase()); }

private:
    QTemporaryDir m_dir;
};

// Progress that keeps every caption it is given.
class RecordingProgress : public lodvik::Progress {
public:
    RecordingProgress() : Progress(0) {}
    QStringList captions;

protected:
    void show() override { captions.append(currentCaption()); }
};

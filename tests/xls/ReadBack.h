#pragma once

// Reads workbooks back through programs independent of our writer: xlrd, and LibreOffice Calc.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace readback {

// A Python that has module: the system one first, since a user's own Python may lack it.
inline QString pythonWith(const char *module) {
    QStringList candidates{QStringLiteral("/usr/bin/python3")};
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (!onPath.isEmpty())
        candidates << onPath;
    for (const QString &python : candidates) {
        if (!QFileInfo::exists(python))
            continue;
        QProcess p;
        p.start(python, {QStringLiteral("-c"), QStringLiteral("import ") + QLatin1String(module)});
        if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return python;
    }
    return {};
}

inline QString script(const char *name) {
    return QStringLiteral(LODVIK_SOURCE_DIR "/tests/xls/") + QLatin1String(name);
}

// Runs a dump script; on failure error holds why and the result is empty.
inline QJsonDocument runScript(const QString &python, const char *name, const QString &file,
                               QString *error, const QStringList &more = {}) {
    QProcess p;
    p.start(python, QStringList{script(name), file} + more);
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = QString::fromUtf8(p.readAllStandardError());
        return {};
    }
    QJsonParseError parseError;
    QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput(), &parseError);
    if (doc.isNull())
        *error = parseError.errorString();
    return doc;
}

// The xlrd view of a file: see xlrd_dump.py.
inline QJsonObject xlrdDump(const QString &file, QString *error) {
    const QString python = pythonWith("xlrd");
    if (python.isEmpty()) {
        *error = QStringLiteral("no python3 with xlrd (Debian package python3-xlrd)");
        return {};
    }
    return runScript(python, "xlrd_dump.py", file, error).object();
}

// The openpyxl view of an .xlsx file, in the shape of xlrdDump's (see openpyxl_dump.py); with
// columns ("1,7") only their cells are listed.
inline QJsonObject openpyxlDump(const QString &file, QString *error, const QString &columns = {}) {
    const QString python = pythonWith("openpyxl");
    if (python.isEmpty()) {
        *error = QStringLiteral("no python3 with openpyxl (Debian package python3-openpyxl)");
        return {};
    }
    const QStringList more =
        columns.isEmpty() ? QStringList() : QStringList{QStringLiteral("--columns"), columns};
    return runScript(python, "openpyxl_dump.py", file, error, more).object();
}

// A map "row,col" -> cell object of an xlrd dump.
inline QJsonObject cellsByPosition(const QJsonObject &dump) {
    QJsonObject byPosition;
    for (const auto &v : dump.value(QStringLiteral("cells")).toArray()) {
        const QJsonObject c = v.toObject();
        byPosition.insert(QStringLiteral("%1,%2")
                              .arg(c.value(QStringLiteral("row")).toInt())
                              .arg(c.value(QStringLiteral("col")).toInt()),
                          c);
    }
    return byPosition;
}

inline QString libreOffice() {
    for (const char *name : {"libreoffice", "soffice"}) {
        const QString path = QStandardPaths::findExecutable(QLatin1String(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

// Lets Calc open the file and save it as .xlsx, then reads the cells (formula and value).
inline QJsonObject calcDump(const QString &file, QString *error) {
    QTemporaryDir work;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), work.path()); // a private profile
    p.setProcessEnvironment(env);
    p.start(libreOffice(), {QStringLiteral("--headless"), QStringLiteral("--norestore"),
                            QStringLiteral("--convert-to"), QStringLiteral("xlsx"),
                            QStringLiteral("--outdir"), work.path(), file});
    if (!p.waitForFinished(300000)) {
        *error = QStringLiteral("libreoffice did not finish");
        return {};
    }
    const QString xlsx = work.filePath(QFileInfo(file).completeBaseName() + ".xlsx");
    if (!QFileInfo::exists(xlsx)) {
        *error = QStringLiteral("libreoffice wrote no xlsx: ") +
                 QString::fromUtf8(p.readAllStandardError() + p.readAllStandardOutput());
        return {};
    }
    const QString python = QFileInfo::exists(QStringLiteral("/usr/bin/python3"))
                               ? QStringLiteral("/usr/bin/python3")
                               : QStandardPaths::findExecutable(QStringLiteral("python3"));
    return runScript(python, "calc_dump.py", xlsx, error).object();
}

} // namespace readback

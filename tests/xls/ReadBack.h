#pragma once

// Reads workbooks back through programs independent of our writer: xlrd, openpyxl and
// LibreOffice Calc.

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
    for (const QString &python : {QStringLiteral("/usr/bin/python3"),
                                  QStandardPaths::findExecutable(QStringLiteral("python3"))}) {
        QProcess p;
        if (QFileInfo::exists(python))
            p.start(python, {QStringLiteral("-c"), QStringLiteral("import ") + module});
        if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return python;
    }
    return {};
}

// Runs a dump script of this folder with the Python that has module; on failure error holds
// why and the result is empty.
inline QJsonObject runScript(const char *module, const char *name, const QString &file,
                             QString *error, const QStringList &more = {}) {
    const QString python = pythonWith(module);
    if (python.isEmpty()) {
        *error = QStringLiteral("no python3 with %1 (Debian package python3-%1)").arg(module);
        return {};
    }
    QProcess p;
    p.start(python,
            QStringList{QStringLiteral(LODVIK_SOURCE_DIR "/tests/xls/") + name, file} + more);
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = QString::fromUtf8(p.readAllStandardError());
        return {};
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput(), &parseError);
    if (doc.isNull())
        *error = parseError.errorString();
    return doc.object();
}

// The xlrd view of a file: see xlrd_dump.py.
inline QJsonObject xlrdDump(const QString &file, QString *error) {
    return runScript("xlrd", "xlrd_dump.py", file, error);
}

// The openpyxl view of an .xlsx file, in the shape of xlrdDump's (see openpyxl_dump.py); with
// columns ("1,7") only their cells are listed.
inline QJsonObject openpyxlDump(const QString &file, QString *error, const QString &columns = {}) {
    const QStringList more =
        columns.isEmpty() ? QStringList() : QStringList{QStringLiteral("--columns"), columns};
    return runScript("openpyxl", "openpyxl_dump.py", file, error, more);
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
    const QString path = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    return path.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("soffice")) : path;
}

// Lets Calc open the file and save it as .xlsx, then reads that as openpyxlDump does.
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
    return openpyxlDump(xlsx, error);
}

} // namespace readback

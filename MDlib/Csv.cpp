#include "MDlib/Csv.h"

namespace lodvik {

namespace {

bool runsAsFormula(const QString &text) {
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && formulaStarts.contains(text.front());
}

} // namespace

const QByteArray Utf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");

QString spreadsheetText(const QString &text, bool (*isNumber)(const QString &)) {
    if (!runsAsFormula(text) || isNumber(text))
        return text;
    return QLatin1Char('\'') + text;
}

QString reversibleSpreadsheetText(const QString &text, bool (*isNumber)(const QString &)) {
    if (text.size() > 1 && text.front() == QLatin1Char('\'') &&
        (text.at(1) == QLatin1Char('\'') || runsAsFormula(text.mid(1))))
        return QLatin1Char('\'') + text;
    return spreadsheetText(text, isNumber);
}

QString storedText(const QString &field) {
    if (field.size() > 1 && field.front() == QLatin1Char('\'') &&
        (field.at(1) == QLatin1Char('\'') || runsAsFormula(field.mid(1))))
        return field.mid(1);
    return field;
}

QString csvField(const QString &text, QChar separator, bool blankEdges) {
    if (!text.contains(separator) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) &&
        !(blankEdges && text != text.trimmed()))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray swedishCsv(const QList<QStringList> &lines, bool blankEdges) {
    QString out;
    for (const QStringList &line : lines) {
        QStringList fields;
        for (const QString &f : line)
            fields << csvField(f, QLatin1Char(';'), blankEdges);
        out += fields.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    }
    return Utf8Bom + out.toUtf8();
}

bool readCsvRecord(const QString &text, qsizetype *pos, QChar separator, QStringList *fields,
                   int *lines) {
    fields->clear();
    *lines = 1;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    qsizetype i = *pos;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('\n'))
                ++*lines;
            if (c != QLatin1Char('"'))
                field += c;
            else if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
                field += text.at(++i);
            else
                quoted = false;
        } else if (c == QLatin1Char('\n')) {
            ++i;
            break;
        } else if (c == QLatin1Char('"') && field.trimmed().isEmpty() && !wasQuoted) {
            field.clear();
            quoted = wasQuoted = true;
        } else if (c == separator) {
            *fields << (wasQuoted ? field : field.trimmed());
            field.clear();
            wasQuoted = false;
        } else {
            field += c;
        }
    }
    *pos = i;
    *fields << (wasQuoted ? field : field.trimmed());
    return !quoted;
}

} // namespace lodvik

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// CSV files as a spreadsheet opens them: one field writer, one record reader.
namespace lodvik {

// A text as a spreadsheet that opens the file must show it: one it would run as a formula
// (beginning with =, +, -, @, a tab or a carriage return: "=cmd|…", "@SUM(…)", "-A1+B1") gets a
// leading apostrophe, unless isNumber reads it as one of the file's numbers ("-12").
QString spreadsheetText(const QString &text, bool (*isNumber)(const QString &));
// The same for a file that is read back: a text that begins with an apostrophe before what gets
// one, or before another apostrophe, gets one more, so that storedText gives every text back.
QString reversibleSpreadsheetText(const QString &text, bool (*isNumber)(const QString &));
// The text of a field reversibleSpreadsheetText wrote.
QString storedText(const QString &field);

// A field between separators: quoted ("" for a quote inside) when it holds the separator, a
// quote or a line break, and with blankEdges when it begins or ends with a blank or a tab, which
// a reader drops from a field that is not quoted.
QString csvField(const QString &text, QChar separator = QLatin1Char(','), bool blankEdges = false);

// Lines as a Swedish spreadsheet opens them on a double-click: UTF-8 with BOM, ';' between
// fields, CRLF. The fields are written by csvField.
QByteArray swedishCsv(const QList<QStringList> &lines, bool blankEdges = false);
extern const QByteArray Utf8Bom;

// The fields of the record that starts at *pos, with "…" quoting and "" for a quote inside; a
// quoted field may hold line breaks. A field that is not quoted loses its blanks at both ends.
// *pos moves past the record's line break (text holds "\n" alone) and *lines counts the lines
// it spans. False on a quote left open.
bool readCsvRecord(const QString &text, qsizetype *pos, QChar separator, QStringList *fields,
                   int *lines);

} // namespace lodvik

#pragma once

#include "figures/Period.h"
#include "reports/CoverageRow.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <functional>
#include <string>
#include <vector>

// The coverage list written out (reports/ListColumns): for scripts as CSV or JSON, for a buyer's
// spreadsheet as the overview shows it, as a Swedish CSV or a workbook.
namespace reports {

// The command line's CSV and JSON of rows, in the order given: the columns of
// machineColumns(), numbers as plain C-locale numbers, an empty cell an empty field (CSV) or null
// (JSON), the urgencies and marks by their machine names; the suggestion and the urgencies follow
// the target, the order urgency today. CSV is RFC 4180 (',', CRLF, quotes where needed) with
// formula-like texts neutralised (csvField); JSON is what QJsonDocument writes, indented.
QByteArray coverageCsv(const std::vector<const CoverageRow *> &rows, const figures::Period &period,
                       double targetWeeks, const QDate &today = QDate::currentDate());
QByteArray coverageJson(const std::vector<const CoverageRow *> &rows, const figures::Period &period,
                        double targetWeeks, const QDate &today = QDate::currentDate());
// The same two documents written as the rows come, each part handed to out as soon as it is
// complete, so that nothing grows with the number of rows: the same bytes as coverageCsv and
// coverageJson give for the same rows. A row's part holds the writer's own buffer: it is valid
// during the call, and a copy kept of it must be a deep one (QByteArray(part.constData(), …)).
class CoverageListWriter {
public:
    enum class Format { Csv, Json };
    CoverageListWriter(Format format, const figures::Period &period, double targetWeeks,
                       std::function<void(const QByteArray &)> out,
                       const QDate &today = QDate::currentDate());
    void add(const CoverageRow &row);
    void finish();

private:
    Format m_format;
    QDate m_period;
    QDate m_today; // the order urgency's "today", fixed for the whole list
    double m_targetWeeks;
    std::function<void(const QByteArray &)> m_out;
    QByteArray m_jsonEnd;
    std::string m_line; // the row being written, its room kept from row to row
    qint64 m_rows = 0;
};

// A text as a field of the command line's CSV: an apostrophe before what a spreadsheet would run
// as a formula (lodvik::spreadsheetText, the C-locale numbers left alone), quoted as RFC 4180
// says.
QString csvField(const QString &text);
// The writers' texts, appended to out: a number as lodvik::plainNumber writes it, a number and a
// text as QJsonDocument writes a member's value, a text as csvField (in UTF-8). The faster paths
// of the writers, kept equal to the general ones by tests.
void appendPlainNumber(QByteArray &out, double d);
void appendJsonNumber(QByteArray &out, double d);
void appendJsonString(QByteArray &out, const QString &text);
void appendCsvField(QByteArray &out, const QString &text);

// The overview's columns (those with a heading) of rows, as the window words them, for a Swedish
// spreadsheet: UTF-8 with BOM, ';', decimal comma, the window's headings, formula-like texts
// neutralised.
QByteArray swedishListCsv(const std::vector<const CoverageRow *> &rows,
                          const figures::Period &period, double targetWeeks,
                          const QDate &today = QDate::currentDate());
// The same columns as a workbook headed by the period and the target, with the "Att beställa"
// total under the suggestion column; raises lodvik::Error when it cannot be saved (an earlier
// file stays as it was).
void saveCoverageListWorkbook(const std::vector<const CoverageRow *> &rows,
                              const figures::Period &period, double targetWeeks,
                              const QString &fileName, const QDate &today = QDate::currentDate());

// Pointers to every row, in order.
std::vector<const CoverageRow *> allRows(const std::vector<CoverageRow> &rows);

} // namespace reports

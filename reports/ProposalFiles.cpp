#include "reports/ProposalFiles.h"

#include "MDlib/Csv.h"
#include "MDlib/NumberText.h"
#include "MDlib/SafeFile.h"
#include "reports/ListColumns.h"
#include "xls/Workbook.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace reports {

namespace {

using planning::ProposalLine;

// A text a spreadsheet opening the file on a double-click must not take for a formula; its
// numbers are read as the file writes them, with a decimal comma.
QString inert(const QString &text) {
    return lodvik::spreadsheetText(
        text, [](const QString &t) { return lodvik::readSpreadsheetNumber(t).has_value(); });
}

// A date that no file writes: none, or outside the years 1 to 9999.
bool unwritten(const std::optional<QDate> &date) {
    return !date || date->year() < 1 || date->year() > 9999;
}

QJsonValue jsonDate(const std::optional<QDate> &date) {
    return unwritten(date) ? QJsonValue(QJsonValue::Null) : QJsonValue(date->toString(Qt::ISODate));
}

QJsonObject proposalRow(const ProposalLine &line, const QDate &period) {
    const planning::Item &row = *line.row;
    QJsonObject o;
    o.insert(QStringLiteral("product"), row.product);
    o.insert(QStringLiteral("description"), row.description);
    o.insert(QStringLiteral("group"), row.rule.group);
    o.insert(QStringLiteral("packs"), double(line.packs));
    o.insert(QStringLiteral("multiple"), double(row.rule.multiple));
    o.insert(QStringLiteral("sales_per_week_pj"),
             row.salesPj ? QJsonValue(*row.salesPj) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("stockout_date"), jsonDate(planning::stockoutDate(row, period)));
    o.insert(QStringLiteral("order_by"), jsonDate(planning::orderByDate(row, period)));
    return o;
}

QStringList proposalHeadings() {
    return {QStringLiteral("Leverantör"),    QStringLiteral("Produkt"),
            QStringLiteral("Benämning"),     QStringLiteral("Varugrupp"),
            QStringLiteral("Antal förp."),   QStringLiteral("Multipel"),
            QStringLiteral("Förs./v PJ"),    QStringLiteral("Slut"),
            QStringLiteral("Beställ senast")};
}

} // namespace

QByteArray proposalCsv(const std::vector<ProposalLine> &lines, const QDate &period) {
    QList<QStringList> out;
    out << proposalHeadings();
    for (const ProposalLine &line : lines) {
        const planning::Item &row = *line.row;
        out << QStringList{inert(row.rule.supplier),
                           inert(row.product),
                           inert(row.description),
                           inert(row.rule.group),
                           QString::number(line.packs),
                           QString::number(row.rule.multiple),
                           row.salesPj ? lodvik::commaNumber(*row.salesPj) : QString(),
                           isoDate(planning::stockoutDate(row, period)),
                           isoDate(planning::orderByDate(row, period))};
    }
    return lodvik::swedishCsv(out);
}

void saveProposalWorkbook(const std::vector<ProposalLine> &lines, const figures::Period &period,
                          const QString &fileName) {
    using lodvik::Variant;
    const QDate date = period.date();
    xls::Workbook book;
    xls::Worksheet &sheet = book.worksheet();
    sheet.setCell(1, 1,
                  Variant::String(QStringLiteral("Inköpsförslag, period %1").arg(period.text())));
    sheet.setBold(QStringLiteral("A1"));
    sheet.setColumnWidth(QStringLiteral("A:I"), 14);
    sheet.setColumnWidth(QStringLiteral("C:C"), 30);
    sheet.setBold(QStringLiteral("A3:I3"));
    const QStringList headings = proposalHeadings();
    for (int c = 0; c < headings.size(); ++c)
        sheet.setCell(3, c + 1, Variant::String(headings[c]));
    // Typed input would take a leading "=" for a formula.
    const auto text = [](const QString &t) {
        return Variant::String(t.startsWith(QLatin1Char('=')) ? QLatin1Char(' ') + t : t);
    };
    const auto dateCell = [&](int r, int c, const std::optional<QDate> &d) {
        if (!unwritten(d))
            sheet.setDate(r, c, *d);
    };
    int r = 4;
    double total = 0;
    for (const ProposalLine &line : lines) {
        const planning::Item &row = *line.row;
        sheet.setCell(r, 1, text(row.rule.supplier));
        sheet.setCell(r, 2, text(row.product));
        sheet.setCell(r, 3, text(row.description));
        sheet.setCell(r, 4, text(row.rule.group));
        sheet.setCell(r, 5, Variant::Double(double(line.packs)));
        sheet.setCell(r, 6, Variant::Double(double(row.rule.multiple)));
        if (row.salesPj)
            sheet.setCell(r, 7, Variant::Double(*row.salesPj));
        dateCell(r, 8, planning::stockoutDate(row, date));
        dateCell(r, 9, planning::orderByDate(row, date));
        total += double(line.packs);
        ++r;
    }
    sheet.setCell(r + 1, 4, Variant::String(QStringLiteral("Att beställa")));
    sheet.setCell(r + 1, 5, Variant::Double(total));
    sheet.setBold(QStringLiteral("D%1:E%1").arg(r + 1));
    book.saveAs(fileName);
}

QByteArray proposalJson(const std::vector<ProposalLine> &lines, const figures::Period &period,
                        double targetWeeks) {
    QJsonArray suppliers;
    for (size_t i = 0; i < lines.size();) {
        const QString &supplier = lines[i].row->rule.supplier;
        QJsonArray rows;
        double total = 0;
        for (; i < lines.size() && lines[i].row->rule.supplier == supplier; ++i) {
            rows.append(proposalRow(lines[i], period.date()));
            total += double(lines[i].packs);
        }
        QJsonObject group;
        group.insert(QStringLiteral("supplier"), supplier);
        group.insert(QStringLiteral("total_packs"), total);
        group.insert(QStringLiteral("rows"), rows);
        suppliers.append(group);
    }
    QJsonObject doc;
    doc.insert(QStringLiteral("period"), period.text());
    doc.insert(QStringLiteral("target_weeks"), targetWeeks);
    doc.insert(QStringLiteral("suppliers"), suppliers);
    return QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

} // namespace reports

namespace reports {

namespace {

// A supplier's name as a part of a file name.
QString fileNamePart(const QString &supplier) {
    if (supplier.isEmpty())
        return QStringLiteral("utan-leverantor");
    QString part = supplier;
    for (QChar &c : part)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-'))
            c = QLatin1Char('_');
    return part;
}

} // namespace

QStringList saveProposalPerSupplier(const std::vector<planning::ProposalLine> &lines,
                                    const figures::Period &period, const QString &folder) {
    QStringList files;
    for (size_t i = 0; i < lines.size();) {
        const QString supplier = lines[i].row->rule.supplier;
        std::vector<planning::ProposalLine> group;
        for (; i < lines.size() && lines[i].row->rule.supplier == supplier; ++i)
            group.push_back(lines[i]);
        const QString base = QDir(folder).filePath(
            QStringLiteral("Inkopsforslag%1-%2").arg(period.text(), fileNamePart(supplier)));
        saveProposalWorkbook(group, period, base + QStringLiteral(".xls"));
        const QByteArray csv = proposalCsv(group, period.date());
        lodvik::saveFile(base + QStringLiteral(".csv"),
                         QStringLiteral("Inköpsförslaget %1.csv").arg(base),
                         [&](QIODevice &device) { device.write(csv); });
        files << base + QStringLiteral(".xls") << base + QStringLiteral(".csv");
    }
    return files;
}

} // namespace reports

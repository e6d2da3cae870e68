#include "reports/Planning.h"

#include "reports/CoverageSources.h"
#include "search/SwedishCollation.h"
#include "xls/Workbook.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cmath>

namespace reports {

namespace {

// The cells are whole numbers; the tolerance keeps a fractional target or rule from asking for a
// pack more through a rounding error.
constexpr double tolerance = 1e-9;

const char *const ruleColumns[] = {"product",  "lead_time_weeks", "safety_weeks", "safety_packs",
                                   "multiple", "minimum",         "supplier",     "group"};
constexpr int ruleColumnCount = 8;

const QByteArray bom = QByteArrayLiteral("\xEF\xBB\xBF");

// What a Swedish spreadsheet reads as a number: a decimal comma, no digit grouping.
QString commaNumber(double d) {
    return plainNumber(d).replace(QLatin1Char('.'), QLatin1Char(','));
}

// "yyyy-MM-dd" as QDate::toString(Qt::ISODate) writes it; written here for the years it writes
// that way, because each row of a list has two or three dates.
QString makeIsoDate(const QDate &date) {
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    if (year < 1 || year > 9999)
        return date.toString(Qt::ISODate);
    const auto digit = [](int n) { return QChar(u'0' + n % 10); };
    const QChar text[10] = {digit(year / 1000),
                            digit(year / 100),
                            digit(year / 10),
                            digit(year),
                            u'-',
                            digit(month / 10),
                            digit(month),
                            u'-',
                            digit(day / 10),
                            digit(day)};
    return QString(text, 10);
}

// The same from the texts made last: a list's dates are few, and repeat from row to row.
QString isoDate(const std::optional<QDate> &date) {
    if (!date)
        return {};
    thread_local std::array<std::pair<qint64, QString>, 256> made;
    const qint64 day = date->toJulianDay();
    auto &[madeDay, text] = made[size_t(day) % made.size()];
    if (text.isNull() || madeDay != day) {
        madeDay = day;
        text = makeIsoDate(*date);
    }
    return text;
}

// A date that no list writes: none, or outside the years 1 to 9999 (a cover of thousands of
// years, or a lead time as long).
bool unwritten(const std::optional<QDate> &date) {
    return !date || date->year() < 1 || date->year() > 9999;
}

QJsonValue jsonDate(const std::optional<QDate> &date) {
    return unwritten(date) ? QJsonValue(QJsonValue::Null) : QJsonValue(date->toString(Qt::ISODate));
}

// A field for a ';' file: quoted when it holds the separator, a quote or a line break, and
// with blankEdges when it begins or ends with a blank or a tab, which the rules reader drops
// from a field that is not quoted.
QString semicolonField(const QString &field, bool blankEdges) {
    if (!field.contains(QLatin1Char(';')) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')) &&
        !(blankEdges && field != field.trimmed()))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray semicolonLines(const QList<QStringList> &lines, bool blankEdges = false) {
    QString out;
    for (const QStringList &line : lines) {
        QStringList fields;
        for (const QString &f : line)
            fields << semicolonField(f, blankEdges);
        out += fields.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    }
    return bom + out.toUtf8();
}

// The fields of the record that starts at *pos, with "…" quoting and "" for a quote inside; a
// quoted field may hold line breaks, as rules --save writes them. *pos moves past the record's
// line break and *lines counts the lines it spans. False on a quote left open.
bool splitRecord(const QString &text, qsizetype *pos, QChar separator, QStringList *fields,
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

// A number with a decimal comma or point; blanks (a spreadsheet's digit grouping) are dropped.
std::optional<double> readNumber(QString text) {
    text.remove(QLatin1Char(' ')).remove(QChar(0x00A0)).remove(QChar(0x202F));
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    text.replace(QChar(0x2212), QLatin1Char('-'));
    bool ok = false;
    const double d = text.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

// A text a spreadsheet opening the file on a double-click must not take for a formula; its
// numbers are read as the file writes them, with a decimal comma.
QString inert(const QString &text) {
    return spreadsheetText(text, [](const QString &t) { return readNumber(t).has_value(); });
}

// One rule field: the message of what is wrong with it, or "" when it is right.
QString readRuleField(int column, const QString &text, PlanningRule *rule) {
    if (column >= 6) {
        (column == 6 ? rule->supplier : rule->group) = text;
        return {};
    }
    if (text.isEmpty())
        return {}; // the default rule's value
    const std::optional<double> n = readNumber(text);
    if (!n)
        return QStringLiteral("\"%1\" är inget tal").arg(text);
    if (*n < 0)
        return QStringLiteral("%1 är negativt").arg(text);
    if (column <= 3) {
        (column == 1   ? rule->leadTimeWeeks
         : column == 2 ? rule->safetyWeeks
                       : rule->safetyPacks) = *n;
        return {};
    }
    if (*n != std::floor(*n) || *n > 1e12)
        return QStringLiteral("%1 är inget helt antal förpackningar").arg(text);
    if (column == 4 && *n < 1)
        return QStringLiteral("multipeln måste vara minst 1");
    (column == 4 ? rule->multiple : rule->minimum) = qint64(*n);
    return {};
}

QJsonObject proposalRow(const ProposalLine &line, const QDate &period) {
    const CoverageRow &row = *line.row;
    QJsonObject o;
    o.insert(QStringLiteral("product"), row.product);
    o.insert(QStringLiteral("description"), row.description);
    o.insert(QStringLiteral("group"), row.rule.group);
    o.insert(QStringLiteral("packs"), double(line.packs));
    o.insert(QStringLiteral("multiple"), double(row.rule.multiple));
    o.insert(QStringLiteral("sales_per_week_pj"),
             row.salesPj ? QJsonValue(*row.salesPj) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("stockout_date"), jsonDate(stockoutDate(row, period)));
    o.insert(QStringLiteral("order_by"), jsonDate(orderByDate(row, period)));
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

void applyPlanning(CoverageRow &row, const PlanningRules &rules, const PlanningMarks &marks) {
    const auto rule = rules.find(row.product);
    row.rule = rule == rules.end() ? PlanningRule{} : rule->second;
    const auto mark = marks.find(row.product);
    row.mark = mark == marks.end() ? std::nullopt : std::optional(mark->second);
}

void applyPlanning(std::vector<CoverageRow> &rows, const PlanningRules &rules,
                   const PlanningMarks &marks) {
    for (CoverageRow &row : rows)
        applyPlanning(row, rules, marks);
}

SuggestionSteps suggestionSteps(const CoverageRow &row, double targetWeeks) {
    const PlanningRule &rule = row.rule;
    SuggestionSteps s;
    s.weeks = rule.leadTimeWeeks + targetWeeks + rule.safetyWeeks;
    s.need = row.salesPj.value_or(0) * s.weeks + rule.safetyPacks - row.stockTotal.value_or(0) -
             row.orderPj.value_or(0) + row.backOrderPj.value_or(0);
    const double packs = std::ceil(s.need - tolerance);
    if (!(packs > 0))
        return s;
    s.packs = qint64(packs);
    const qint64 multiple = std::max<qint64>(rule.multiple, 1);
    s.multiple = (s.packs + multiple - 1) / multiple * multiple;
    s.minimum = std::max(s.multiple, rule.minimum);
    return s;
}

namespace {

// The days of so many weeks, a part of a day counting as a day. At most about 270 million
// years: stock against a trace of sales gives covers that no date holds, and that no integer
// of days may overflow on.
qint64 daysIn(double weeks) {
    constexpr double MostDays = 1e11;
    const double days = std::ceil(weeks * 7 - tolerance);
    if (!(days < MostDays)) // NaN too
        return qint64(MostDays);
    return days > -MostDays ? qint64(days) : -qint64(MostDays);
}

} // namespace

std::optional<QDate> stockoutDate(const CoverageRow &row, const QDate &period) {
    if (!row.hasSales() || !period.isValid())
        return std::nullopt;
    const double cover = row.coverWeeks.value_or(0);
    if (!(cover > 0))
        return period;
    return period.addDays(daysIn(cover));
}

std::optional<QDate> orderByDate(const CoverageRow &row, const QDate &period) {
    const std::optional<QDate> stockout = stockoutDate(row, period);
    if (!stockout)
        return std::nullopt;
    return stockout->addDays(-daysIn(row.rule.leadTimeWeeks));
}

namespace {

OrderUrgency urgencyOf(const std::optional<QDate> &orderBy, const QDate &period, double targetWeeks,
                       const QDate &today) {
    if (!orderBy)
        return OrderUrgency::None;
    if (*orderBy <= today)
        return OrderUrgency::OrderNow;
    if (*orderBy < period.addDays(daysIn(targetWeeks)))
        return OrderUrgency::WithinTarget;
    return OrderUrgency::Enough;
}

} // namespace

OrderUrgency orderUrgency(const CoverageRow &row, const QDate &period, double targetWeeks,
                          const QDate &today) {
    return urgencyOf(orderByDate(row, period), period, targetWeeks, today);
}

// By OrderUrgency: the machine name and the operator's words.
const char *const orderUrgencyNames[][2] = {
    {"", ""},
    {"order_now", "beställ nu"},
    {"order_within_target", "beställ inom målet"},
    {"enough", "räcker"},
};

QString orderUrgencyKey(OrderUrgency urgency) {
    // Made once: each row of a list asks for one.
    static const std::array<QString, 4> keys = [] {
        std::array<QString, 4> k;
        for (size_t i = 0; i < k.size(); ++i)
            k[i] = QLatin1String(orderUrgencyNames[i][0]);
        return k;
    }();
    return keys[size_t(urgency)];
}

QString orderUrgencyText(OrderUrgency urgency) {
    return QString::fromUtf8(orderUrgencyNames[int(urgency)][1]);
}

QStringList planningKeys() {
    QStringList keys;
    for (int c = 1; c < ruleColumnCount; ++c)
        keys << QLatin1String(ruleColumns[c]);
    keys << QStringLiteral("stockout_date") << QStringLiteral("order_by")
         << QStringLiteral("order_urgency") << QStringLiteral("mark")
         << QStringLiteral("ordered_on") << QStringLiteral("ordered_packs");
    return keys;
}

std::array<ListCell, PlanningColumnCount> planningCells(const CoverageRow &row, const QDate &period,
                                                        double targetWeeks, const QDate &today) {
    const auto number = [](double d) { return ListCell{ListCell::Kind::Number, d, {}}; };
    const auto text = [](const QString &t) { return ListCell{ListCell::Kind::Text, 0, t}; };
    const auto date = [](const std::optional<QDate> &d) {
        return unwritten(d) ? ListCell{} : ListCell{ListCell::Kind::Text, 0, isoDate(d)};
    };
    const PlanningRule &rule = row.rule;
    const std::optional<QDate> orderBy = orderByDate(row, period);
    const OrderUrgency urgency = urgencyOf(orderBy, period, targetWeeks, today);
    const bool ordered = row.mark && row.mark->kind == PlanningMark::Kind::Ordered;
    return {number(rule.leadTimeWeeks),
            number(rule.safetyWeeks),
            number(rule.safetyPacks),
            number(double(rule.multiple)),
            number(double(rule.minimum)),
            text(rule.supplier),
            text(rule.group),
            date(stockoutDate(row, period)),
            date(orderBy),
            urgency == OrderUrgency::None ? ListCell{} : text(orderUrgencyKey(urgency)),
            !row.mark ? ListCell{}
            : ordered ? text(QStringLiteral("ordered"))
                      : text(QStringLiteral("discontinued")),
            ordered ? date(row.mark->orderedOn) : ListCell{},
            ordered ? number(row.mark->orderedPacks) : ListCell{}};
}

QStringList planningCsvFields(const CoverageRow &row, const QDate &period, double targetWeeks,
                              const QDate &today) {
    QStringList fields;
    for (const ListCell &cell : planningCells(row, period, targetWeeks, today))
        fields << (cell.kind == ListCell::Kind::Number ? plainNumber(cell.number) : cell.text);
    return fields;
}

void addPlanningMembers(QJsonObject &o, const CoverageRow &row, const QDate &period,
                        double targetWeeks, const QDate &today) {
    const QStringList keys = planningKeys();
    const auto cells = planningCells(row, period, targetWeeks, today);
    for (int i = 0; i < PlanningColumnCount; ++i) {
        const ListCell &cell = cells[size_t(i)];
        o.insert(keys[i], cell.kind == ListCell::Kind::Number ? QJsonValue(cell.number)
                          : cell.kind == ListCell::Kind::Text ? QJsonValue(cell.text)
                                                              : QJsonValue(QJsonValue::Null));
    }
}

namespace {

const PlanningListColumnInfo planningListColumns[PlanningListColumnCount] = {
    {"Beställning",
     "Beställ senast mot i dag och perioden: beställ nu, beställ inom målet, räcker"},
    {"Slut", "Dagen lagret tar slut: perioden + täckningen i veckor × 7 dagar"},
    {"Beställ senast", "Slutdagen minus produktens ledtid"},
    {"Leverantör", "Planeringsregelns leverantör"},
    {"Varugrupp", "Planeringsregelns varugrupp"},
    {"Markering", "Beställd (datum, förpackningar) eller utgått för perioden"},
};

} // namespace

const PlanningListColumnInfo &planningListColumnInfo(PlanningListColumn column) {
    return planningListColumns[int(column)];
}

QString planningListText(const CoverageRow &row, PlanningListColumn column, const QDate &period,
                         double targetWeeks, const QDate &today) {
    switch (column) {
    case PlanningListColumn::OrderUrgency:
        return orderUrgencyText(orderUrgency(row, period, targetWeeks, today));
    case PlanningListColumn::Stockout:
        return isoDate(stockoutDate(row, period));
    case PlanningListColumn::OrderBy:
        return isoDate(orderByDate(row, period));
    case PlanningListColumn::Supplier:
        return row.rule.supplier;
    case PlanningListColumn::Group:
        return row.rule.group;
    case PlanningListColumn::Mark:
        if (!row.mark)
            return {};
        if (row.mark->kind == PlanningMark::Kind::Discontinued)
            return QStringLiteral("utgått");
        return QStringLiteral("beställd %1, %2 förp.")
            .arg(row.mark->orderedOn.toString(Qt::ISODate), swedishNumber(row.mark->orderedPacks));
    }
    return {};
}

QByteArray rulesCsv(const PlanningRules &rules) {
    QList<QStringList> lines;
    QStringList header;
    for (const char *c : ruleColumns)
        header << QLatin1String(c);
    lines << header;
    for (const auto &[product, rule] : rules)
        lines << QStringList{product,
                             commaNumber(rule.leadTimeWeeks),
                             commaNumber(rule.safetyWeeks),
                             commaNumber(rule.safetyPacks),
                             QString::number(rule.multiple),
                             QString::number(rule.minimum),
                             rule.supplier,
                             rule.group};
    return semicolonLines(lines, true);
}

PlanningRules parseRulesCsv(const QByteArray &data, QStringList *errors) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(data.startsWith(bom) ? data.mid(bom.size()) : data);
    // The lines that were no UTF-8 hold U+FFFD where their bytes were; read on, the rules
    // would keep that in place of Å, Ä, Ö.
    const bool notUtf8 = utf8.hasError();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    PlanningRules rules;
    std::map<QString, int> lineOf;
    QChar separator;
    QStringList fields;
    int next = 1;
    for (qsizetype pos = 0; pos < text.size();) {
        const int n = next;
        const qsizetype start = pos;
        qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), start);
        if (lineEnd < 0)
            lineEnd = text.size();
        const QStringView firstLine = QStringView(text).mid(start, lineEnd - start);
        if (firstLine.trimmed().isEmpty()) {
            pos = lineEnd + 1;
            ++next;
            continue;
        }
        // The first line with anything on it decides: a Swedish spreadsheet writes ';' and a
        // decimal comma, others ',' and a point.
        const bool first = separator.isNull();
        if (first)
            separator = firstLine.contains(QLatin1Char(';')) ? QLatin1Char(';') : QLatin1Char(',');
        int lines = 1;
        const bool closed = splitRecord(text, &pos, separator, &fields, &lines);
        next += lines;
        const QString where = QStringLiteral("Rad %1").arg(n);
        if (notUtf8 &&
            QStringView(text).mid(start, pos - start).contains(QChar::ReplacementCharacter)) {
            *errors << where + QStringLiteral(": texten är inte UTF-8 (spara filen som CSV "
                                              "UTF-8).");
            continue;
        }
        if (!closed) {
            *errors << where + QStringLiteral(": ett citattecken avslutas aldrig.");
            continue;
        }
        // Only the first line can be the header: a product may be called "Product".
        if (first &&
            fields.value(0).compare(QLatin1String(ruleColumns[0]), Qt::CaseInsensitive) == 0)
            continue;
        if (fields.size() > ruleColumnCount) {
            *errors << where + QStringLiteral(": %1 kolumner, högst %2 (är decimaltecknet "
                                              "samma som avgränsaren?).")
                                   .arg(fields.size())
                                   .arg(ruleColumnCount);
            continue;
        }
        const QString product = fields.at(0);
        if (product.isEmpty()) {
            *errors << where + QStringLiteral(", kolumn product: produktnumret saknas.");
            continue;
        }
        PlanningRule rule;
        bool good = true;
        for (int c = 1; c < fields.size(); ++c) {
            const QString problem = readRuleField(c, fields.at(c), &rule);
            if (!problem.isEmpty()) {
                *errors << where + QStringLiteral(", kolumn %1: %2.")
                                       .arg(QLatin1String(ruleColumns[c]), problem);
                good = false;
            }
        }
        if (const auto earlier = lineOf.find(product); earlier != lineOf.end()) {
            *errors << where + QStringLiteral(", kolumn product: %1 står redan på rad %2.")
                                   .arg(product)
                                   .arg(earlier->second);
            continue;
        }
        lineOf[product] = n;
        if (good)
            rules[product] = rule;
    }
    // An empty file is more likely a failed export than a wish to drop every rule; the header
    // alone says that.
    if (separator.isNull())
        *errors << QStringLiteral("Filen är tom: den har ingen rad, inte ens rubrikraden (en fil "
                                  "med bara rubrikraden tar bort alla regler).");
    return rules;
}

std::vector<ProposalLine> proposalLines(const std::vector<const CoverageRow *> &rows,
                                        double targetWeeks, const QString &supplier) {
    std::vector<ProposalLine> lines;
    for (const CoverageRow *row : eachProductOnce(rows)) {
        if (row->mark || (!supplier.isEmpty() && row->rule.supplier != supplier))
            continue;
        if (const std::optional<qint64> packs = reorderSuggestion(*row, targetWeeks))
            lines.push_back({row, *packs});
    }
    std::stable_sort(lines.begin(), lines.end(), [](const ProposalLine &a, const ProposalLine &b) {
        const QString &sa = a.row->rule.supplier;
        const QString &sb = b.row->rule.supplier;
        if (sa.isEmpty() != sb.isEmpty())
            return sb.isEmpty();
        if (const int c = swedish::compare(sa, sb))
            return c < 0;
        return swedish::compare(a.row->product, b.row->product) < 0;
    });
    return lines;
}

QByteArray proposalCsv(const std::vector<ProposalLine> &lines, const QDate &period) {
    QList<QStringList> out;
    out << proposalHeadings();
    for (const ProposalLine &line : lines) {
        const CoverageRow &row = *line.row;
        out << QStringList{inert(row.rule.supplier),
                           inert(row.product),
                           inert(row.description),
                           inert(row.rule.group),
                           QString::number(line.packs),
                           QString::number(row.rule.multiple),
                           row.salesPj ? commaNumber(*row.salesPj) : QString(),
                           isoDate(stockoutDate(row, period)),
                           isoDate(orderByDate(row, period))};
    }
    return semicolonLines(out);
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
    int r = 4;
    double total = 0;
    for (const ProposalLine &line : lines) {
        const CoverageRow &row = *line.row;
        sheet.setCell(r, 1, text(row.rule.supplier));
        sheet.setCell(r, 2, text(row.product));
        sheet.setCell(r, 3, text(row.description));
        sheet.setCell(r, 4, text(row.rule.group));
        sheet.setCell(r, 5, Variant::Double(double(line.packs)));
        sheet.setCell(r, 6, Variant::Double(double(row.rule.multiple)));
        if (row.salesPj)
            sheet.setCell(r, 7, Variant::Double(*row.salesPj));
        sheet.setCell(r, 8, Variant::String(isoDate(stockoutDate(row, date))));
        sheet.setCell(r, 9, Variant::String(isoDate(orderByDate(row, date))));
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

#include "planning/RulesFile.h"

#include "MDlib/Csv.h"
#include "MDlib/NumberText.h"

#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

namespace planning {

namespace {

const char *const ruleColumns[] = {"product",      "lead_time_weeks", "safety_weeks",
                                   "safety_packs", "multiple",        "minimum",
                                   "supplier",     "group",           "follow_trend"};
constexpr int ruleColumnCount = 9;

bool isNumber(const QString &text) {
    return lodvik::readSpreadsheetNumber(text).has_value();
}

QString fileText(const QString &text) {
    return lodvik::reversibleSpreadsheetText(text, isNumber);
}

// One rule field: the message of what is wrong with it, or "" when it is right.
QString readRuleField(int column, const QString &text, PlanningRule *rule) {
    if (column == 8) {
        const QString answer = text.trimmed().toLower();
        rule->followTrend = answer == QLatin1String("ja") || answer == QLatin1String("1");
        if (rule->followTrend || answer.isEmpty() || answer == QLatin1String("nej") ||
            answer == QLatin1String("0"))
            return {};
        return QStringLiteral("\"%1\" är varken ja eller nej").arg(text);
    }
    if (column >= 6) {
        (column == 6 ? rule->supplier : rule->group) = lodvik::storedText(text);
        return {};
    }
    if (text.isEmpty())
        return {}; // the default rule's value
    const std::optional<double> n = lodvik::readSpreadsheetNumber(text);
    if (!n)
        return QStringLiteral("\"%1\" är inget tal").arg(text);
    if (*n < 0)
        return QStringLiteral("%1 är negativt").arg(text);
    if (column <= 3) {
        const bool weeks = column != 3;
        if (*n > (weeks ? MostRuleWeeks : MostSafetyPacks))
            return weeks ? QStringLiteral("%1 är fler veckor än %2 (tio år)")
                               .arg(text, lodvik::swedishNumber(MostRuleWeeks))
                         : QStringLiteral("%1 är fler förpackningar än en miljard").arg(text);
        (column == 1   ? rule->leadTimeWeeks
         : column == 2 ? rule->safetyWeeks
                       : rule->safetyPacks) = *n;
        return {};
    }
    if (*n != std::floor(*n))
        return QStringLiteral("%1 är inget helt antal förpackningar").arg(text);
    if (*n > MostOrderPacks)
        return QStringLiteral("%1 är fler förpackningar än en miljon").arg(text);
    if (column == 4 && *n < 1)
        return QStringLiteral("multipeln måste vara minst 1");
    (column == 4 ? rule->multiple : rule->minimum) = qint64(*n);
    return {};
}

} // namespace

QByteArray rulesCsv(const PlanningRules &rules) {
    // follow_trend only where a rule follows it: a file of rules without is as it always was.
    const bool trend = std::any_of(rules.begin(), rules.end(),
                                   [](const auto &rule) { return rule.second.followTrend; });
    QList<QStringList> lines;
    QStringList header;
    for (const char *c : ruleColumns)
        header << QLatin1String(c);
    if (!trend)
        header.removeLast();
    lines << header;
    for (const auto &[product, rule] : rules) {
        lines << QStringList{fileText(product),
                             lodvik::commaNumber(rule.leadTimeWeeks),
                             lodvik::commaNumber(rule.safetyWeeks),
                             lodvik::commaNumber(rule.safetyPacks),
                             QString::number(rule.multiple),
                             QString::number(rule.minimum),
                             fileText(rule.supplier),
                             fileText(rule.group),
                             rule.followTrend ? QStringLiteral("ja") : QStringLiteral("nej")};
        if (!trend)
            lines.last().removeLast();
    }
    return lodvik::swedishCsv(lines, true);
}

PlanningRules parseRulesCsv(const QByteArray &data, QStringList *errors) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(data.startsWith(lodvik::Utf8Bom) ? data.mid(lodvik::Utf8Bom.size()) : data);
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
        const bool closed = lodvik::readCsvRecord(text, &pos, separator, &fields, &lines);
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
        // A NUL is in no product number or name, and would end the text of every message about
        // it.
        if (const auto nul = std::find_if(fields.cbegin(), fields.cend(),
                                          [](const QString &f) { return f.contains(QChar()); });
            nul != fields.cend()) {
            *errors << where + QStringLiteral(", kolumn %1: ett nolltecken (NUL) i texten.")
                                   .arg(QLatin1String(ruleColumns[nul - fields.cbegin()]));
            continue;
        }
        const QString product = lodvik::storedText(fields.at(0));
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

} // namespace planning

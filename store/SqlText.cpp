#include "store/SqlText.h"

#include <QRegularExpression>

namespace sqltext {

namespace {

QString unquoted(const QString &name) {
    if (name.size() >= 2 &&
        ((name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"'))) ||
         (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))))
        return name.mid(1, name.size() - 2);
    return name;
}

} // namespace

QString identifier(const QString &name) {
    QString id = name;
    return QLatin1Char('"') + id.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

QString literalBody(const QString &text) {
    QString body = text;
    return body.replace(QLatin1Char('\''), QStringLiteral("''"));
}

QString literal(const QString &text) {
    return QLatin1Char('\'') + literalBody(text) + QLatin1Char('\'');
}

std::optional<TableQuery> tableQuery(const QString &sql) {
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*select\s+\*\s+from\s+("[^"]+"|\[[^\]]+\]|[^\s"\[;]+)(.*)$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = re.match(sql);
    if (!m.hasMatch())
        return std::nullopt;
    return TableQuery{m.captured(1), unquoted(m.captured(1)), m.captured(2)};
}

QString missingObject(const QString &engineMessage) {
    static const QRegularExpression missing(
        QStringLiteral(R"(^no such (table|column): (?:main\.)?(\S+))"));
    const QRegularExpressionMatch m = missing.match(engineMessage);
    if (!m.hasMatch())
        return {};
    return (m.captured(1) == QLatin1String("table") ? QStringLiteral("Tabellen %1 saknas")
                                                    : QStringLiteral("Kolumnen %1 saknas"))
        .arg(m.captured(2));
}

} // namespace sqltext

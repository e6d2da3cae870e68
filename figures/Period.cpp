#include "figures/Period.h"

namespace figures {

std::optional<Period> Period::parse(const QString &text) {
    if (text.size() != 10)
        return std::nullopt;
    for (int i = 0; i < 10; ++i) {
        const bool separator = i == 4 || i == 7;
        const QChar c = text.at(i);
        if (separator ? c != QLatin1Char('-') : (c < QLatin1Char('0') || c > QLatin1Char('9')))
            return std::nullopt;
    }
    const QDate date(text.left(4).toInt(), text.mid(5, 2).toInt(), text.mid(8, 2).toInt());
    if (!date.isValid())
        return std::nullopt;
    return Period(text, date);
}

Period Period::fromText(const QString &text) {
    if (text.isEmpty())
        throw missing();
    if (const std::optional<Period> period = parse(text))
        return *period;
    throw lodvik::Error(QStringLiteral("Perioddatumet \"%1\" är inte ett datum skrivet ÅÅÅÅ-MM-DD; "
                                       "ange perioden igen.")
                            .arg(text));
}

std::optional<Period> Period::fromTextIfGiven(const QString &text) {
    if (text.isEmpty())
        return std::nullopt;
    return fromText(text);
}

lodvik::Error Period::missing() {
    return lodvik::Error(QStringLiteral("Perioddatum saknas; ange perioden som ÅÅÅÅ-MM-DD."));
}

} // namespace figures

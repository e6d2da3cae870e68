#include "MDlib/NumberText.h"

#include <QLocale>

#include <cmath>

namespace lodvik {

QString plainNumber(double d) {
    const QString digits15 = QString::number(d, 'g', 15);
    if (!std::isfinite(d) || digits15.toDouble() == d)
        return digits15;
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

QString commaNumber(double d) {
    return plainNumber(d).replace(QLatin1Char('.'), QLatin1Char(','));
}

QString swedishNumber(double value) {
    static const QLocale swedish(QLocale::Swedish, QLocale::Sweden);
    const double rounded = std::round(value * 100) / 100;
    QString text = swedish.toString(rounded, 'f', 2);
    if (text.contains(swedish.decimalPoint())) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(swedish.decimalPoint()))
            text.chop(swedish.decimalPoint().size());
    }
    if (text == QStringLiteral("-0"))
        text = QStringLiteral("0");
    return text.replace(QLatin1Char('-'), QChar(0x2212)); // a real minus sign
}

std::optional<double> readSpreadsheetNumber(QString text) {
    text.remove(QLatin1Char(' ')).remove(QChar(0x00A0)).remove(QChar(0x202F));
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    text.replace(QChar(0x2212), QLatin1Char('-'));
    bool ok = false;
    const double d = text.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

} // namespace lodvik

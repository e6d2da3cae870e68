#include "MDlib/MDlib.h"

#include "MDlib/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <array>
#include <cmath>
#include <iterator>

using lodvik::Variant;

QString gAppPath;
QString gRefDate;

QString GetAppPath() {
    QString path = qEnvironmentVariable("LODVIKPRODSOK_HOME");
    if (path.isEmpty()) {
        if (QCoreApplication::instance())
            path = QCoreApplication::applicationDirPath();
        else
            path =
                QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section('/', 0, -2);
    }
    if (path.endsWith('/'))
        path.chop(1);
    return path;
}

namespace {
void (*busyCursorShape)(bool busy) = nullptr;
} // namespace

void setBusyCursorShape(void (*shape)(bool busy)) {
    busyCursorShape = shape;
}

void BusyCursorOn() {
    if (busyCursorShape)
        busyCursorShape(true);
}

void BusyCursorOff() {
    if (busyCursorShape)
        busyCursorShape(false);
}

Variant NullToValue(const Variant &value, const QString &code) {
    const bool wantText = code == QLatin1String("S");
    switch (value.type()) {
    case Variant::Type::Empty:
    case Variant::Type::Null:
        return wantText ? Variant::String(QString()) : Variant::Integer(0);
    case Variant::Type::String: {
        if (wantText)
            return value;
        if (lodvik::blankCountsZero(value.text()))
            return Variant::Double(0);
        return Variant::Double(value.toDouble());
    }
    default:
        return value;
    }
}

namespace {

// The texts of the whole numbers below 1000 in size, made once: most cells of a coverage run
// hold one, and a copy of a made text costs no allocation. Never destroyed, so that work still
// running at exit can use them.
constexpr int SmallNumbers = 999;
const QString &smallNumberText(int n) {
    static const auto *texts = [] {
        auto *made = new std::array<QString, 2 * SmallNumbers + 1>;
        for (int i = -SmallNumbers; i <= SmallNumbers; ++i)
            (*made)[size_t(i + SmallNumbers)] = QString::number(i);
        return made;
    }();
    return (*texts)[size_t(n + SmallNumbers)];
}

} // namespace

QString Format(const Variant &value, const QString &pattern) {
    Q_UNUSED(pattern); // every pattern the program uses is a run of "#": a whole number
    double number = 0;
    switch (value.type()) {
    case Variant::Type::Empty:
    case Variant::Type::Null:
        return {};
    case Variant::Type::String:
        if (!lodvik::parseNumber(value.text(), &number))
            return value.text();
        break;
    default:
        number = value.toDouble();
    }
    // Printed, an infinity or NaN would read as the text "inf" or "nan" in a report.
    if (!std::isfinite(number))
        throw lodvik::Error(QStringLiteral("Ett värde är för stort eller inget tal och kan inte "
                                           "skrivas som ett heltal."));
    const double rounded = std::round(number); // half away from zero
    if (rounded == 0.0)
        return {};
    if (std::fabs(rounded) <= SmallNumbers)
        return smallNumberText(int(rounded));
    // Below 2^53 every whole double is an exact integer: its digits without the locale's
    // general number conversion, which costs several times more a cell.
    if (std::fabs(rounded) < 9007199254740992.0) {
        char16_t digits[20];
        qsizetype first = std::size(digits);
        for (qint64 left = qint64(std::fabs(rounded)); left != 0; left /= 10)
            digits[--first] = char16_t(u'0' + left % 10);
        if (rounded < 0)
            digits[--first] = u'-';
        return QString(reinterpret_cast<const QChar *>(digits + first),
                       qsizetype(std::size(digits)) - first);
    }
    return QString::number(rounded, 'f', 0);
}

#include "../common/DataRows.h"
#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using lodvik::Variant;

Q_DECLARE_METATYPE(lodvik::Variant)

class TestMDlib : public QObject {
    Q_OBJECT

private slots:
    void nullToValue_data() {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<QString>("code");
        QTest::addColumn<Variant>("expected");
        // Empty and Null: "" for text, the 16-bit integer 0 (not the double 0) for a number.
        addRow("empty S", Variant(), "S", Variant::String(QString()));
        addRow("empty T", Variant(), "T", Variant::Integer(0));
        addRow("null S", Variant::Null(), "S", Variant::String(QString()));
        addRow("null T", Variant::Null(), "T", Variant::Integer(0));
        // Text: unchanged for "S", a double for any other code.
        addRow("text S", Variant::String("abc"), "S", Variant::String("abc"));
        addRow("blank S", Variant::String(" "), "S", Variant::String(" "));
        addRow("'' T", Variant::String(QString()), "T", Variant::Double(0));
        addRow("' ' T", Variant::String(" "), "T", Variant::Double(0));
        addRow("12 T", Variant::String("12"), "T", Variant::Double(12));
        addRow("decimal T", Variant::String("12.5"), "T", Variant::Double(12.5));
        addRow("exponent T", Variant::String("2.5e-3"), "T", Variant::Double(2.5e-3));
        addRow("lower-case s is numeric", Variant::String("12"), "s", Variant::Double(12));
        addRow("any code numeric", Variant::String("3"), "X", Variant::Double(3));
        // Other types pass unchanged under either code.
        addRow("number S", Variant::Long(12), "S", Variant::Long(12));
        addRow("integer T", Variant::Integer(7), "T", Variant::Integer(7));
        addRow("double S", Variant::Double(1.5), "S", Variant::Double(1.5));
        addRow("date T", Variant::Date(QDate(2024, 1, 31)), "T", Variant::Date(QDate(2024, 1, 31)));
        addRow("boolean S", Variant::Boolean(true), "S", Variant::Boolean(true));
    }
    void nullToValue() {
        QFETCH(Variant, value);
        QFETCH(QString, code);
        QFETCH(Variant, expected);
        const Variant actual = NullToValue(value, code);
        QCOMPARE(actual.type(), expected.type());
        QVERIFY(actual == expected);
    }

    void nullToValueRaises_data() {
        QTest::addColumn<QString>("text");
        addRow("two blanks", "  ");
        addRow("word", "abc");
        addRow("number and word", "12 st");
    }
    void nullToValueRaises() {
        QFETCH(QString, text);
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, NullToValue(Variant::String(text), "T"));
        // Under "S" the same text is fine.
        QCOMPARE(NullToValue(Variant::String(text), "S"), Variant::String(text));
    }

    // Null spreads through arithmetic; whole numbers stay whole until they leave the 32-bit
    // range; a division gives a double and refuses a zero divisor; a text must be a number.
    void arithmetic_data() {
        QTest::addColumn<Variant>("a");
        QTest::addColumn<QChar>("op");
        QTest::addColumn<Variant>("b");
        QTest::addColumn<Variant>("expected"); // Empty: the operation raises
        const Variant null = Variant::Null(), none;
        addRow("Null + 1", null, QChar('+'), Variant::Long(1), null);
        addRow("1 - Null", Variant::Long(1), QChar('-'), null, null);
        addRow("Null / 0", null, QChar('/'), Variant::Long(0), null);
        addRow("Integer * Long", Variant::Integer(3), QChar('*'), Variant::Long(4),
               Variant::Long(12));
        addRow("Empty + 2", none, QChar('+'), Variant::Long(2), Variant::Long(2));
        addRow("past the largest Long", Variant::Long(2147483647), QChar('+'), Variant::Long(1),
               Variant::Double(2147483648.0));
        addRow("below the smallest Long", Variant::Long(-2147483647 - 1), QChar('-'),
               Variant::Long(1), Variant::Double(-2147483649.0));
        addRow("product past the range", Variant::Long(65536), QChar('*'), Variant::Long(65536),
               Variant::Double(4294967296.0));
        addRow("Double + Long", Variant::Double(0.5), QChar('+'), Variant::Long(1),
               Variant::Double(1.5));
        addRow("numeric text", Variant::String("2.5"), QChar('*'), Variant::Long(2),
               Variant::Double(5));
        addRow("whole division is a double", Variant::Long(7), QChar('/'), Variant::Long(2),
               Variant::Double(3.5));
        addRow("division by zero", Variant::Long(1), QChar('/'), Variant::Long(0), none);
        addRow("division by Empty", Variant::Long(1), QChar('/'), none, none);
        addRow("text that is no number", Variant::String("x"), QChar('+'), Variant::Long(1), none);
    }
    void arithmetic() {
        QFETCH(Variant, a);
        QFETCH(QChar, op);
        QFETCH(Variant, b);
        QFETCH(Variant, expected);
        const auto calculate = [&] {
            switch (op.unicode()) {
            case '+':
                return a + b;
            case '-':
                return a - b;
            case '*':
                return a * b;
            default:
                return a / b;
            }
        };
        if (expected.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(lodvik::Error, calculate());
            return;
        }
        const Variant actual = calculate();
        QCOMPARE(int(actual.type()), int(expected.type()));
        QCOMPARE(actual.toDisplayText(), expected.toDisplayText());
    }

    void format_data() {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<QString>("expected");
        addRow("whole", Variant::Long(1234), "1234");
        addRow("half up", Variant::Double(2.5), "3");
        addRow("half away from zero", Variant::Double(-2.5), "-3");
        addRow("below half", Variant::Double(2.49), "2");
        addRow("zero", Variant::Integer(0), "");
        addRow("rounds to zero", Variant::Double(0.4), "");
        addRow("null", Variant::Null(), "");
        addRow("empty", Variant(), "");
        addRow("large", Variant::Double(1234567.6), "1234568");
        addRow("numeric text", Variant::String("12.6"), "13");
        addRow("other text", Variant::String("abc"), "abc");
    }
    void format() {
        QFETCH(Variant, value);
        QFETCH(QString, expected);
        QCOMPARE(Format(value, QStringLiteral("####")), expected);
    }

    // Whole numbers written from their digits against the locale's own conversion.
    void formatDigitsAsLocale_data() {
        QTest::addColumn<double>("value");
        const double big = 9007199254740992.0; // 2^53: from here on the locale writes them
        for (double v : {-7.0,
                         999.4,
                         999.5,
                         -999.4,
                         -999.5,
                         1000.0,
                         -1000.0,
                         0.5,
                         -0.5,
                         1.5,
                         -1.5,
                         0.49999999999999994,
                         999999999999999.4,
                         4503599627370495.5,
                         -4503599627370495.5,
                         big - 1,
                         -(big - 1),
                         big,
                         big + 2,
                         -big,
                         1e20,
                         -1e300,
                         1.7976931348623157e308,
                         1e-300,
                         -1e-300,
                         123456789.5,
                         -2147483648.5,
                         4294967295.0})
            QTest::addRow("%.17g", v) << v;
    }
    void formatDigitsAsLocale() {
        QFETCH(double, value);
        const double rounded = std::round(value);
        const QString expected = rounded == 0 ? QString() : QString::number(rounded, 'f', 0);
        QCOMPARE(Format(Variant::Double(value), QStringLiteral("####")), expected);
    }

    // Plain decimals read without the locale's parser against the C locale's reading, bit for
    // bit, and texts that leave the short cut for the general reading.
    void parseNumberAsCLocale_data() {
        QTest::addColumn<QString>("text");
        for (const char *t : {"0.1",
                              "-0.0",
                              "0.0",
                              "123.456",
                              "-12.50",
                              "0.30000000000000004",
                              "9007199254740993.5",
                              "2.2250738585072011",
                              "0.000000000000000000000000000000000001",
                              "99999999999999999999999999999999999999.9",
                              "1.0000000000000001110223024625156540",
                              "1.00000000000000011102230246251565404236316680908203125",
                              "01.5",
                              ".5",
                              "5.",
                              "-.5",
                              "1.2.3",
                              "1-2.5",
                              "-",
                              "1e5",
                              " 2.5",
                              "2.5 ",
                              "+2.5",
                              "1,5"})
            QTest::addRow("%s", t) << QString::fromLatin1(t);
    }
    void parseNumberAsCLocale() {
        QFETCH(QString, text);
        bool expectedOk = false;
        double expected = QLocale::c().toDouble(text.trimmed(), &expectedOk);
        if (!expectedOk)
            expected = QLocale().toDouble(text.trimmed(), &expectedOk);
        // A text as stored (UTF-8 bytes) reads the same.
        const QByteArray utf8 = text.toUtf8();
        for (const bool bytes : {false, true}) {
            double actual = 0;
            QCOMPARE(bytes ? lodvik::parseNumber(QByteArrayView(utf8), &actual)
                           : lodvik::parseNumber(text, &actual),
                     expectedOk);
            if (expectedOk)
                QCOMPARE(std::bit_cast<quint64>(actual), std::bit_cast<quint64>(expected));
        }
    }

    // A save into no folder says what is in the way, and leaves it as it was.
    void saveFileRefused_data() {
        QTest::addColumn<QString>("inTheWay"); // what lies at rapporter/ or at the file's name
        QTest::addColumn<QString>("reason");
        addRow("no folder", QString(), QStringLiteral("mappen %1 finns inte."));
        addRow("a file in the folder's place", QStringLiteral("file"),
               QStringLiteral("%1 är en fil, inte en mapp."));
        addRow("a folder in the file's place", QStringLiteral("folder"),
               QStringLiteral("det finns en mapp med det namnet."));
    }
    void saveFileRefused() {
        QFETCH(QString, inTheWay);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("rapporter"));
        QString target = folder + QStringLiteral("/lista.xls");
        if (inTheWay == QLatin1String("file")) {
            QFile file(folder);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("gammal");
        } else if (inTheWay == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(target));
        }
        QString failure;
        try {
            lodvik::saveFile(target, QStringLiteral("Listan"),
                             [](QIODevice &device) { device.write("ny"); });
        } catch (const lodvik::Error &e) {
            failure = e.message();
        }
        QVERIFY2(failure.contains(reason.arg(QDir::toNativeSeparators(folder))),
                 qPrintable(failure));
        if (inTheWay == QLatin1String("file")) {
            QFile file(folder);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("gammal"));
        } else if (inTheWay == QLatin1String("folder")) {
            QVERIFY(QFileInfo(target).isDir());
        }
    }

    // A save replaces a regular file by renaming, through a link that stays a link; a FIFO is
    // written in place (it stays a FIFO), and a reader that stops makes the save fail.
    void saveFileTargets_data() {
        QTest::addColumn<QString>("target");
        addRow("symbolic link to a file", "link");
        addRow("symbolic link to itself", "link loop");
        addRow("FIFO read to its end", "fifo");
        addRow("FIFO whose reader stops", "fifo stops");
        addRow("FIFO whose reader comes later", "fifo late");
        addRow("FIFO nobody reads, Ctrl+C", "fifo unread");
    }
    void saveFileTargets() {
        QFETCH(QString, target);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ut.pdf"));
        const QString real = dir.filePath(QStringLiteral("mål.pdf"));
        const QByteArray bytes(1 << 20, 'x'); // more than a pipe holds
        const bool fifo = target.startsWith(QLatin1String("fifo"));
        if (fifo) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (target == QLatin1String("link loop")) {
            QVERIFY(QFile::link(path, path));
        } else {
            QFile old(real);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("gammal");
            old.close();
            QVERIFY(QFile::link(real, path));
        }
        std::atomic<bool> saved{false};
        std::atomic<bool> stop{false};
        lodvik::setSaveStopFlag(&stop);
        QByteArray read;
        std::thread reader;
        if (fifo) {
            const bool stops = target == QLatin1String("fifo stops");
            const bool unread = target == QLatin1String("fifo unread");
            reader = std::thread([&, stops, unread] {
                // Unread: Ctrl+C comes while the save waits; should it go on waiting, a reader
                // after 5 s lets it finish, and the test fails.
                std::this_thread::sleep_for(std::chrono::milliseconds(unread ? 200 : 0));
                stop = unread;
                for (int i = 0; i < (unread                                 ? 25
                                     : target == QLatin1String("fifo late") ? 2
                                                                            : 0);
                     ++i) {
                    if (saved)
                        return;
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                }
                const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
                char buffer[4096];
                for (;;) {
                    const ssize_t n = ::read(fd, buffer, sizeof buffer);
                    if (n > 0)
                        read.append(buffer, n);
                    if ((n == 0 && saved) || (stops && read.size() >= 10))
                        break;
                    if (n <= 0)
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                ::close(fd);
            });
        }
        QString failure;
        bool cancelled = false;
        try {
            lodvik::saveFile(path, QStringLiteral("Filen"),
                             [&](QIODevice &device) { device.write(bytes); });
        } catch (const lodvik::Cancelled &) {
            cancelled = true;
        } catch (const lodvik::Error &e) {
            failure = e.message();
        }
        saved = true;
        if (reader.joinable())
            reader.join();
        lodvik::setSaveStopFlag(nullptr);
        QCOMPARE(cancelled, target == QLatin1String("fifo unread"));

        struct stat after {};
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &after), 0);
        if (fifo) {
            QVERIFY(S_ISFIFO(after.st_mode));
            if (target == QLatin1String("fifo stops")) {
                QVERIFY(!failure.isEmpty());
            } else if (cancelled) {
                QVERIFY(read.isEmpty());
            } else {
                QVERIFY2(failure.isEmpty(), qPrintable(failure));
                QCOMPARE(read, bytes);
            }
            return;
        }
        QVERIFY(S_ISLNK(after.st_mode));
        if (target == QLatin1String("link loop")) {
            QVERIFY(!failure.isEmpty());
            return;
        }
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QFile written(real);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), bytes);
    }
};

QTEST_GUILESS_MAIN(TestMDlib)
#include "tst_mdlib.moc"

#include "../common/DataRows.h"
#include "../common/Files.h"
#include "../common/Refusal.h"
#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/RunMemory.h"
#include "MDlib/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <bit>
#include <chrono>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <vector>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

using lodvik::Variant;

Q_DECLARE_METATYPE(lodvik::Variant)

class TestMDlib : public QObject {
    Q_OBJECT

private slots:
    // The general reading falls back on the operator's locale; the rows below are read in C.
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    // Empty and Null: "" for text, the 16-bit integer 0 (not the double 0) for a number. A text
    // stays for "S" and is a double for any other code; other types pass. Empty expected: refused.
    void nullToValue_data() {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<QString>("code");
        QTest::addColumn<Variant>("expected");
        const Variant refused;
        addRow("empty T", Variant(), "T", Variant::Integer(0));
        addRow("null S", Variant::Null(), "S", Variant::String(QString()));
        addRow("null T", Variant::Null(), "T", Variant::Integer(0));
        addRow("text S", Variant::String("abc"), "S", Variant::String("abc"));
        addRow("blank S", Variant::String(" "), "S", Variant::String(" "));
        addRow("'' T", Variant::String(QString()), "T", Variant::Double(0));
        addRow("' ' T", Variant::String(" "), "T", Variant::Double(0));
        addRow("decimal T", Variant::String("12.5"), "T", Variant::Double(12.5));
        addRow("exponent T", Variant::String("2.5e-3"), "T", Variant::Double(2.5e-3));
        addRow("lower-case s is numeric", Variant::String("12"), "s", Variant::Double(12));
        addRow("two blanks T", Variant::String("  "), "T", refused);
        addRow("word T", Variant::String("abc"), "T", refused);
        addRow("number and word T", Variant::String("12 st"), "T", refused);
        addRow("number S", Variant::Long(12), "S", Variant::Long(12));
        addRow("date T", Variant::Date(QDate(2024, 1, 31)), "T", Variant::Date(QDate(2024, 1, 31)));
        addRow("boolean S", Variant::Boolean(true), "S", Variant::Boolean(true));
    }
    void nullToValue() {
        QFETCH(Variant, value);
        QFETCH(QString, code);
        QFETCH(Variant, expected);
        if (expected.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(lodvik::Error, NullToValue(value, code));
            return;
        }
        const Variant actual = NullToValue(value, code);
        QCOMPARE(actual.type(), expected.type());
        QVERIFY(actual == expected);
    }

    // A run keeps what it frees for its own next blocks; when it ends, that goes back to the
    // kernel, and after it memory freed at the heap's end goes back as usual (the window lives on).
    // (Before the huge-page case, whose rooms can leave blocks at the heap's end that outlive it.)
    void runMemoryKeptOnlyWhileTheRunLasts() {
#if defined(__SANITIZE_ADDRESS__) || !defined(__GLIBC__)
        QSKIP("the heap is not glibc's own here");
#else
        lodvik::setUpHeap();
        const auto touchAndFree = [] { const std::vector<char> block(48 << 20, 1); };
        {
            lodvik::RunMemory room(std::size_t(64) << 20);
            touchAndFree();
            QCOMPARE_GE(mallinfo2().keepcost, std::size_t(48) << 20);
        }
        QCOMPARE_LT(mallinfo2().keepcost, std::size_t(1) << 20);
        touchAndFree();
        QCOMPARE_LT(mallinfo2().keepcost, std::size_t(1) << 20);
#endif
    }

    // A block the run takes after its room is made lies in pages advised as huge: from the heap
    // (not a mapping of its own) and inside the room, also on a thread of its own (the window's
    // runs), whose heaps hold 64 MiB each. Without huge pages there is nothing to see.
    void runMemoryInHugePages_data() {
        QTest::addColumn<bool>("ownThread");
        QTest::newRow("the program's first thread") << false;
        QTest::newRow("a thread of its own, past its first heap") << true;
    }
    void runMemoryInHugePages() {
#if defined(__SANITIZE_ADDRESS__) || !defined(__GLIBC__)
        QSKIP("the heap is not glibc's own here");
#endif
        QFile mode(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
        if (!mode.open(QIODevice::ReadOnly) || mode.readAll().contains("[never]"))
            QSKIP("the kernel gives no transparent huge pages");
        // The kernel's word on the mapping that holds an address.
        const auto hugeEligible = [](const void *p) {
            QFile smaps(QStringLiteral("/proc/self/smaps"));
            if (!smaps.open(QIODevice::ReadOnly))
                return QByteArray("no smaps");
            const auto at = quintptr(p);
            bool inside = false;
            for (const QByteArray &line : smaps.readAll().split('\n')) {
                // A mapping's line begins with its range ("55d0e000-55d0f000 rw-p ..."), each of
                // its fields with a name ("THPeligible:    1").
                const QByteArray first = line.left(line.indexOf(' '));
                if (const qsizetype dash = first.indexOf('-'); dash > 0 && !first.endsWith(':')) {
                    inside = at >= first.left(dash).toULongLong(nullptr, 16) &&
                             at < first.mid(dash + 1).toULongLong(nullptr, 16);
                } else if (inside && line.startsWith("THPeligible:")) {
                    return line.simplified();
                }
            }
            return QByteArray("not found");
        };
        QFETCH(bool, ownThread);
        lodvik::setUpHeap();
        // 120 blocks of 1 MiB, as a run takes its memory in pieces: on a thread of its own they
        // fill two heaps and begin a third. (The first few may fill gaps the heap had before.)
        QList<QByteArray> seen;
        const auto run = [&] {
            lodvik::RunMemory room(std::size_t(160) << 20);
            std::vector<std::unique_ptr<char[]>> blocks;
            for (int i = 0; i < 120; ++i) {
                blocks.emplace_back(new char[std::size_t(1) << 20]);
                if (i == 30 || i == 90 || i == 119)
                    seen << hugeEligible(blocks.back().get());
            }
        };
        if (ownThread)
            std::thread(run).join();
        else
            run();
        QCOMPARE(seen, QList<QByteArray>(3, "THPeligible: 1"));
    }

    // Null spreads through arithmetic; whole numbers stay whole until they leave the 32-bit
    // range; a division gives a double and refuses a zero divisor; a text must be a number.
    void arithmetic_data() {
        QTest::addColumn<Variant>("a");
        QTest::addColumn<char>("op");
        QTest::addColumn<Variant>("b");
        QTest::addColumn<Variant>("expected"); // Empty: the operation raises
        const Variant null = Variant::Null(), none;
        const auto L = Variant::Long;
        const auto D = Variant::Double;
        addRow("Null + 1", null, '+', L(1), null);
        addRow("1 - Null", L(1), '-', null, null);
        addRow("Null / 0", null, '/', L(0), null);
        addRow("Integer * Long", Variant::Integer(3), '*', L(4), L(12));
        addRow("Empty + 2", none, '+', L(2), L(2));
        addRow("past the largest Long", L(2147483647), '+', L(1), D(2147483648.0));
        addRow("below the smallest Long", L(-2147483647 - 1), '-', L(1), D(-2147483649.0));
        addRow("product past the range", L(65536), '*', L(65536), D(4294967296.0));
        addRow("Double + Long", D(0.5), '+', L(1), D(1.5));
        addRow("numeric text", Variant::String("2.5"), '*', L(2), D(5));
        addRow("whole division is a double", L(7), '/', L(2), D(3.5));
        addRow("division by zero", L(1), '/', L(0), none);
        addRow("division by Empty", L(1), '/', none, none);
        addRow("text that is no number", Variant::String("x"), '+', L(1), none);
    }
    void arithmetic() {
        QFETCH(Variant, a);
        QFETCH(char, op);
        QFETCH(Variant, b);
        QFETCH(Variant, expected);
        const auto calculate = [&] {
            return op == '+' ? a + b : op == '-' ? a - b : op == '*' ? a * b : a / b;
        };
        if (expected.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(lodvik::Error, calculate());
            return;
        }
        const Variant actual = calculate();
        QCOMPARE(int(actual.type()), int(expected.type()));
        QCOMPARE(actual.toDisplayText(), expected.toDisplayText());
    }

    // A number's text has 15 significant digits; a whole number below 10^15 is its digits.
    void toText_data() {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<QString>("expected");
        addRow("largest in digits", Variant::Double(999999999999999.0), "999999999999999");
        addRow("10^15", Variant::Double(1e15), "1e+15");
        addRow("negative zero", Variant::Double(-0.0), "0");
        addRow("negative Long", Variant::Long(-42), "-42");
        addRow("fraction", Variant::Double(-2.5), "-2.5");
    }
    void toText() {
        QFETCH(Variant, value);
        QFETCH(QString, expected);
        QCOMPARE(value.toText(), expected);
    }

    // A whole number, half away from zero; zero is an empty text. Around the table of small
    // numbers, the own digits up to 2^53 and the locale's conversion past it.
    void format_data() {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<QString>("expected");
        addRow("null", Variant::Null(), "");
        addRow("empty", Variant(), "");
        addRow("zero", Variant::Integer(0), "");
        addRow("whole", Variant::Long(1234), "1234");
        addRow("numeric text", Variant::String("12.6"), "13");
        addRow("other text", Variant::String("abc"), "abc");
        const auto number = [](double value, const char *expected) {
            QTest::addRow("%.17g", value) << Variant::Double(value) << QString(expected);
        };
        number(2.5, "3");
        number(-2.5, "-3");
        number(2.49, "2");
        number(0.4, "");
        number(0.49999999999999994, "");
        number(-1e-300, "");
        number(-0.5, "-1");
        number(999.4, "999");
        number(999.5, "1000");
        number(-1000, "-1000");
        number(1234567.6, "1234568");
        number(-2147483648.5, "-2147483649");
        number(4503599627370495.5, "4503599627370496");
        number(9007199254740991.0, "9007199254740991");
        number(9007199254740992.0, "9007199254740992");
        number(1e20, "100000000000000000000");
    }
    void format() {
        QFETCH(Variant, value);
        QFETCH(QString, expected);
        QCOMPARE(Format(value, QStringLiteral("####")), expected);
    }

    // Read bit for bit as the compiler reads the same literal: plain decimals (read without the
    // locale's parser) and texts that leave that short cut for the general reading.
    void parseNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("expected");
        const auto number = [](const char *text, double value) {
            addRow(text, QString::fromLatin1(text), true, value);
        };
        number("0.1", 0.1);
        number("-0.0", -0.0);
        number("123.456", 123.456);
        number("0.30000000000000004", 0.30000000000000004);
        number("9007199254740993.5", 9007199254740993.5);
        number("2.2250738585072011", 2.2250738585072011);
        number("0.000000000000000000000000000000000001", 1e-36);
        number("99999999999999999999999999999999999999.9",
               99999999999999999999999999999999999999.9);
        number("1.0000000000000001110223024625156540", 1.0000000000000001110223024625156540);
        number("1.00000000000000011102230246251565404236316680908203125",
               1.00000000000000011102230246251565404236316680908203125);
        number("01.5", 1.5);
        number(".5", 0.5);
        number("5.", 5.0);
        number("-.5", -0.5);
        number("1e5", 1e5);
        number(" 2.5", 2.5);
        number("+2.5", 2.5);
        for (const char *text : {"1.2.3", "1-2.5", "-", "1,5", "inf", "-1e999"})
            addRow(text, QString::fromLatin1(text), false, 0.0);
    }
    void parseNumber() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(double, expected);
        // A text as stored (UTF-8 bytes) reads the same.
        const QByteArray utf8 = text.toUtf8();
        for (const bool bytes : {false, true}) {
            double actual = 0;
            QCOMPARE(bytes ? lodvik::parseNumber(QByteArrayView(utf8), &actual)
                           : lodvik::parseNumber(text, &actual),
                     ok);
            if (ok)
                QCOMPARE(std::bit_cast<quint64>(actual), std::bit_cast<quint64>(expected));
        }
    }

    // What lies at the file's place decides. A regular file, reached through a link that stays
    // a link, is replaced by renaming, and on a full disk kept; a FIFO is written in place and
    // stays a FIFO (a reader that stops fails the save, Ctrl+C ends the wait for one); a missing
    // folder, a file in the folder's place or a folder in the file's are refused, named, and
    // left as they were. Nothing is left beside the file.
    void saveFile_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reader");  // a FIFO's, as a shell command reading it
        QTest::addColumn<QString>("outcome"); // saved, cancelled, or words of the failure
        addRow("no folder", "no folder", "", "mappen %1 finns inte.");
        addRow("a file in the folder's place", "file for folder", "",
               "%1 är en fil, inte en mapp.");
        addRow("a folder in the file's place", "folder", "", "det finns en mapp med det namnet.");
        addRow("symbolic link to a file", "link", "", "saved");
        addRow("symbolic link to itself", "loop", "", "kan inte sparas");
        addRow("a full disk", "full disk", "", "kan inte sparas");
        addRow("FIFO read to its end", "fifo", "cat", "saved");
        addRow("FIFO whose reader stops", "fifo", "head -c 10", "kan inte sparas");
        addRow("FIFO whose reader comes later", "fifo", "sleep 0.4; cat", "saved");
        // Ctrl+C while the save waits; should it go on waiting, the reader lets it finish.
        addRow("FIFO nobody reads, Ctrl+C", "fifo", "sleep 5; cat", "cancelled");
    }
    void saveFile() {
        QFETCH(QString, target);
        QFETCH(QString, reader);
        QFETCH(QString, outcome);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("rapporter"));
        const QString path = folder + QStringLiteral("/ut.pdf");
        const QString real = folder + QStringLiteral("/mål.pdf");
        const QString read = dir.filePath(QStringLiteral("läst"));
        const bool fifo = target == QLatin1String("fifo");
        const QString inTheWay = target == QLatin1String("file for folder") ? folder : path;
        if (target == QLatin1String("file for folder"))
            QVERIFY(writeFile(folder, "gammal"));
        else if (target != QLatin1String("no folder"))
            QVERIFY(QDir().mkpath(target == QLatin1String("folder") ? path : folder));
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (target == QLatin1String("loop"))
            QVERIFY(QFile::link(path, path));
        else if (target == QLatin1String("link"))
            QVERIFY(writeFile(real, "gammal") && QFile::link(real, path));
        else if (target == QLatin1String("full disk"))
            QVERIFY(writeFile(path, "gammal"));
        struct stat before {};
        const bool there = ::lstat(QFile::encodeName(inTheWay).constData(), &before) == 0;
        const QStringList beside = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden);
        QProcess fifoReader; // killed, if still running, when the case ends
        if (fifo)
            fifoReader.start(
                QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), reader + QStringLiteral(" \"$0\" > \"$1\""), path, read});
        std::atomic<bool> stop{false};
        lodvik::setSaveStopFlag(&stop);
        std::thread ctrlC([&] {
            if (outcome != QLatin1String("cancelled"))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            stop = true;
        });
        // A file size limit makes writes fail as a full disk does.
        rlimit normal{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &normal), 0);
        rlimit limit = normal;
        if (target == QLatin1String("full disk"))
            limit.rlim_cur = 2048;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        const QByteArray bytes(1 << 20, 'x'); // more than a pipe holds
        QString happened = refusal([&] {
            lodvik::saveFile(path, QStringLiteral("Filen"),
                             [&](QIODevice &device) { device.write(bytes); });
        });
        if (happened.isEmpty() || happened == lodvik::Cancelled().message())
            happened = happened.isEmpty() ? QStringLiteral("saved") : QStringLiteral("cancelled");
        setrlimit(RLIMIT_FSIZE, &normal);
        std::signal(SIGXFSZ, previous);
        ctrlC.join();
        lodvik::setSaveStopFlag(nullptr);
        outcome.replace(QLatin1String("%1"), QDir::toNativeSeparators(folder));
        QVERIFY2(happened.contains(outcome), qPrintable(happened));

        struct stat after {};
        QCOMPARE(::lstat(QFile::encodeName(inTheWay).constData(), &after) == 0, there);
        QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden), beside);
        if (target == QLatin1String("file for folder") || target == QLatin1String("full disk"))
            QCOMPARE(readFile(inTheWay), QByteArray("gammal"));
        if (outcome == QLatin1String("saved") && fifo)
            QVERIFY(fifoReader.waitForFinished());
        if (outcome == QLatin1String("saved"))
            QCOMPARE(readFile(fifo ? read : real), bytes);
        if (outcome == QLatin1String("cancelled"))
            QVERIFY(!QFile::exists(read));
    }
};

QTEST_GUILESS_MAIN(TestMDlib)
#include "tst_mdlib.moc"

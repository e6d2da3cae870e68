#include "MDlib/Error.h"
#include "MDlib/MDlib.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

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
        QTest::newRow("empty S") << Variant() << "S" << Variant::String(QString());
        QTest::newRow("empty T") << Variant() << "T" << Variant::Integer(0);
        QTest::newRow("null S") << Variant::Null() << "S" << Variant::String(QString());
        QTest::newRow("null T") << Variant::Null() << "T" << Variant::Integer(0);
        // Text: unchanged for "S", a double for any other code.
        QTest::newRow("text S") << Variant::String("abc") << "S" << Variant::String("abc");
        QTest::newRow("blank S") << Variant::String(" ") << "S" << Variant::String(" ");
        QTest::newRow("'' T") << Variant::String(QString()) << "T" << Variant::Double(0);
        QTest::newRow("' ' T") << Variant::String(" ") << "T" << Variant::Double(0);
        QTest::newRow("12 T") << Variant::String("12") << "T" << Variant::Double(12);
        QTest::newRow("decimal T") << Variant::String("12.5") << "T" << Variant::Double(12.5);
        QTest::newRow("lower-case s is numeric")
            << Variant::String("12") << "s" << Variant::Double(12);
        QTest::newRow("any code numeric") << Variant::String("3") << "X" << Variant::Double(3);
        // Other types pass unchanged under either code.
        QTest::newRow("number S") << Variant::Long(12) << "S" << Variant::Long(12);
        QTest::newRow("integer T") << Variant::Integer(7) << "T" << Variant::Integer(7);
        QTest::newRow("double S") << Variant::Double(1.5) << "S" << Variant::Double(1.5);
        QTest::newRow("date T") << Variant::Date(QDate(2024, 1, 31)) << "T"
                                << Variant::Date(QDate(2024, 1, 31));
        QTest::newRow("boolean S") << Variant::Boolean(true) << "S" << Variant::Boolean(true);
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
        QTest::newRow("two blanks") << "  ";
        QTest::newRow("word") << "abc";
        QTest::newRow("number and word") << "12 st";
    }
    void nullToValueRaises() {
        QFETCH(QString, text);
        QVERIFY_THROWS_EXCEPTION(lodvik::Error, NullToValue(Variant::String(text), "T"));
        // Under "S" the same text is fine.
        QCOMPARE(NullToValue(Variant::String(text), "S"), Variant::String(text));
    }

    void format_data() {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole") << Variant::Long(1234) << "1234";
        QTest::newRow("half up") << Variant::Double(2.5) << "3";
        QTest::newRow("half away from zero") << Variant::Double(-2.5) << "-3";
        QTest::newRow("below half") << Variant::Double(2.49) << "2";
        QTest::newRow("zero") << Variant::Integer(0) << "";
        QTest::newRow("rounds to zero") << Variant::Double(0.4) << "";
        QTest::newRow("null") << Variant::Null() << "";
        QTest::newRow("empty") << Variant() << "";
        QTest::newRow("large") << Variant::Double(1234567.6) << "1234568";
        QTest::newRow("numeric text") << Variant::String("12.6") << "13";
        QTest::newRow("other text") << Variant::String("abc") << "abc";
    }
    void format() {
        QFETCH(Variant, value);
        QFETCH(QString, expected);
        QCOMPARE(Format(value, QStringLiteral("####")), expected);
    }

    void appPath_data() {
        QTest::addColumn<QByteArray>("home");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QByteArray("/opt/lodvik") << "/opt/lodvik";
        QTest::newRow("one slash removed") << QByteArray("/opt/lodvik/") << "/opt/lodvik";
        QTest::newRow("only one slash removed") << QByteArray("/opt/lodvik//") << "/opt/lodvik/";
        QTest::newRow("root") << QByteArray("/") << "";
        QTest::newRow("unset: folder of the executable") << QByteArray() << "EXE";
    }
    void appPath() {
        QFETCH(QByteArray, home);
        QFETCH(QString, expected);
        const QByteArray saved = qgetenv("LODVIKPRODSOK_HOME");
        if (home.isNull())
            qunsetenv("LODVIKPRODSOK_HOME");
        else
            qputenv("LODVIKPRODSOK_HOME", home);
        // The working directory must not matter.
        const QString savedCwd = QDir::currentPath();
        QDir::setCurrent(QDir::tempPath());
        const QString actual = GetAppPath();
        QDir::setCurrent(savedCwd);
        if (saved.isNull())
            qunsetenv("LODVIKPRODSOK_HOME");
        else
            qputenv("LODVIKPRODSOK_HOME", saved);
        if (expected == QLatin1String("EXE"))
            expected = QCoreApplication::applicationDirPath();
        QCOMPARE(actual, expected);
    }
};

QTEST_GUILESS_MAIN(TestMDlib)
#include "tst_mdlib.moc"

#include "../common/DataRows.h"
#include "../common/MessageBoxes.h"
#include "../common/TestData.h"
#include "../common/TestExtractServer.h"
#include "MDlib/MDlib.h"
#include "Startmeny/Startmeny.h"
#include "store/ExtractStore.h"
#include "store/LocalDatabase.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// Arkiv, "Importera Access-databas...": the file chosen, the import, and what the operator is told.

namespace {
// The window with the operator's choice of file answered at once.
class ChoosingWindow : public Startmeny {
public:
    using Startmeny::Startmeny;
    QString chosen;
    int asked = 0;

protected:
    QString chooseAccessFile() override {
        ++asked;
        return chosen;
    }
};
} // namespace
class TestImportMenu : public QObject {
    Q_OBJECT

    // Chooses Arkiv, "Importera Access-databas..." and waits for the work; what the box said.
    static QString runImport(ChoosingWindow &window) {
        window.Form_Load();
        QAction *import = nullptr;
        for (QAction *menu : window.menuBar()->actions())
            if (menu->menu())
                for (QAction *action : menu->menu()->actions())
                    if (action->text().remove(QLatin1Char('&')) ==
                        QLatin1String("Importera Access-databas..."))
                        import = action;
        if (!import)
            return QStringLiteral("no import action");
        BoxAnswerer answerer;
        import->trigger();
        if (!QTest::qWaitFor([&] { return !window.isWorking(); }, 60000)) // a thread imports
            return QStringLiteral("still importing");
        if (!QTest::qWaitFor([&] { return window.chosen.isEmpty() || answerer.count() > 0; }))
            return QStringLiteral("no message");
        return answerer.text();
    }

private slots:
    void importFromMenu_data() {
        QTest::addColumn<QString>("chosen"); // empty: the operator cancels the dialog
        QTest::addColumn<QString>("boxSays");
        QTest::addColumn<bool>("storeMade");
        addRow("Jet 3 file", testDataFolder() + QStringLiteral("/access/nwind-jet3.mdb"),
               QStringLiteral("Umsätze (830 rader)"), true);
        addRow("Jet 4 file", testDataFolder() + QStringLiteral("/access/datetest-jet4.mdb"),
               QStringLiteral("DateTest (6 rader)"), true);
        addRow("not an Access file", QStringLiteral(LODVIK_SOURCE_DIR "/CMakeLists.txt"),
               QStringLiteral("ingen Access-databas"), false);
        addRow("dialog cancelled", QString(), QString(), false);
    }

    void importFromMenu() {
        QFETCH(QString, chosen);
        QFETCH(QString, boxSays);
        QFETCH(bool, storeMade);
        if (chosen.startsWith(testDataFolder()) && !QFileInfo::exists(chosen))
            QSKIP(qPrintable(testDataMissing()));
        QTemporaryDir home;
        ChoosingWindow window(home.path());
        window.chosen = chosen;
        const QString boxText = runImport(window);
        QCOMPARE(window.asked, 1);
        QVERIFY2(boxSays.isEmpty() ? boxText.isEmpty() : boxText.contains(boxSays),
                 qPrintable(boxText));
        const QString store = home.filePath(QStringLiteral("local.mdb"));
        QCOMPARE(QFile::exists(store), storeMade);
        if (storeMade) {
            dao::Database db = dao::Database::OpenDatabase(store);
            QVERIFY(db.TableExists(QFileInfo(chosen).baseName().startsWith(QLatin1String("nwind"))
                                       ? QStringLiteral("Umsätze")
                                       : QStringLiteral("DateTest")));
        }
        // the hourglass is gone again
        QVERIFY(!QApplication::overrideCursor() ||
                QApplication::overrideCursor()->shape() != Qt::WaitCursor);
    }

    // With [extrakt] the tables go to the server; while another workstation loads it, the window
    // refuses instead of waiting.
    void importToServer_data() {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QString>("boxSays");
        QTest::addColumn<int>("rows");
        QTest::newRow("free") << false << "importerats till extrakttabellerna på servern" << 830;
        QTest::newRow("another load") << true << "annan arbetsstation" << 0;
    }
    void importToServer() {
        QFETCH(bool, busy);
        QFETCH(QString, boxSays);
        QFETCH(int, rows);
        if (!TestExtractServer::missing().isEmpty())
            QSKIP(qPrintable(TestExtractServer::missing()));
        const QString mdb = testDataFolder() + QStringLiteral("/access/nwind-jet3.mdb");
        if (!QFileInfo::exists(mdb))
            QSKIP(qPrintable(testDataMissing()));
        TestExtractServer server(QStringLiteral("menu"));
        QTemporaryDir home;
        QFile ini(home.filePath(QStringLiteral("lodvikprodsok.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(server.iniText(QStringLiteral("QPSQL")).toUtf8());
        ini.close();
        ini.setPermissions(QFile::ReadOwner | QFile::WriteOwner);

        QSqlQuery holder(server.connection(QStringLiteral("holder")));
        QVERIFY(holder.exec(QStringLiteral("BEGIN")));
        if (busy)
            QVERIFY(holder.exec(
                QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(extractLoadLockKey)));
        ChoosingWindow window(home.path());
        window.chosen = mdb;
        const QString boxText = runImport(window);
        QVERIFY(holder.exec(QStringLiteral("ROLLBACK")));

        QVERIFY2(boxText.contains(boxSays), qPrintable(boxText));
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("local.mdb"))));
        int loaded = 0; // no such table when nothing was loaded
        if (holder.exec(QStringLiteral("SELECT count(*) FROM \"umsätze\"")) && holder.next())
            loaded = holder.value(0).toInt();
        QCOMPARE(loaded, rows);
        holder = QSqlQuery();
        QSqlDatabase::removeDatabase(QStringLiteral("holder"));
        QVERIFY(window.isEnabled());
    }
};

QTEST_MAIN(TestImportMenu)
#include "tst_importmenu.moc"

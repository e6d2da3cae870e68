#include "../common/DataRows.h"
#include "../common/MessageBoxes.h"
#include "../common/ServerStore.h"
#include "../common/TestData.h"
#include "MDlib/MDlib.h"
#include "Startmeny/Startmeny.h"
#include "store/ExtractStore.h"
#include "store/LocalDatabase.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

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
            for (QAction *action : menu->menu() ? menu->menu()->actions() : QList<QAction *>())
                if (action->text().remove('&') == QLatin1String("Importera Access-databas..."))
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
    // To the program folder's store, or with [extrakt] to the server's extract tables; while
    // another workstation loads those, the window refuses instead of waiting.
    void importFromMenu_data() {
        QTest::addColumn<QString>("chosen"); // empty: the operator cancels the dialog
        QTest::addColumn<QString>("store");  // local, server, or busy: the server while loaded
        QTest::addColumn<QString>("boxSays");
        QTest::addColumn<int>("rows"); // of Umsätze in the store afterwards; -1: no local store
        const QString mdb = testDataFolder() + QStringLiteral("/access/nwind-jet3.mdb");
        addRow("Access file", mdb, "local", "Umsätze (830 rader)", 830);
        addRow("dialog cancelled", QString(), "local", QString(), -1);
        addRow("to the server", mdb, "server", "importerats till extrakttabellerna på servern",
               830);
        addRow("to the server while another loads it", mdb, "busy", "annan arbetsstation", 0);
    }
    void importFromMenu() {
        QFETCH(QString, chosen);
        QFETCH(QString, store);
        QFETCH(QString, boxSays);
        QFETCH(int, rows);
        if (chosen.startsWith(testDataFolder()) && !QFileInfo::exists(chosen))
            QSKIP(qPrintable(testDataMissing()));
        const bool server = store != QLatin1String("local");
        if (server && !TestServer::missing().isEmpty())
            QSKIP(qPrintable(TestServer::missing()));
        QTemporaryDir home;
        std::optional<ServerStore> extract;
        QSqlQuery holder; // another workstation's, on the server
        if (server) {
            extract.emplace();
            extract->configure(home.path(), QStringLiteral("QPSQL"));
            holder = QSqlQuery(extract->connection(QStringLiteral("holder")));
            QVERIFY(holder.exec(QStringLiteral("BEGIN")));
            if (store == QLatin1String("busy"))
                QVERIFY(holder.exec(
                    QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(extractLoadLockKey)));
        }
        ChoosingWindow window(home.path());
        window.chosen = chosen;
        const QString boxText = runImport(window);
        int loaded = server ? 0 : -1; // no such table when nothing was loaded
        if (server) {
            QVERIFY(holder.exec(QStringLiteral("ROLLBACK")));
            if (holder.exec(QStringLiteral("SELECT count(*) FROM \"umsätze\"")) && holder.next())
                loaded = holder.value(0).toInt();
            holder = QSqlQuery();
            QSqlDatabase::removeDatabase(QStringLiteral("holder"));
        }
        QCOMPARE(window.asked, 1);
        QVERIFY2(boxSays.isEmpty() ? boxText.isEmpty() : boxText.contains(boxSays),
                 qPrintable(boxText));
        const QString local = home.filePath(QStringLiteral("local.mdb"));
        QCOMPARE(QFile::exists(local), !server && rows >= 0);
        if (QFile::exists(local))
            loaded = int(dao::Database::OpenDatabase(local)
                             .OpenRecordset(QStringLiteral("SELECT count(*) FROM \"Umsätze\""))
                             .Fields(0)
                             .toDouble());
        QCOMPARE(loaded, rows);
        QVERIFY(window.isEnabled());
        // the hourglass is gone again
        QVERIFY(!QApplication::overrideCursor() ||
                QApplication::overrideCursor()->shape() != Qt::WaitCursor);
    }
};

QTEST_MAIN(TestImportMenu)
#include "tst_importmenu.moc"

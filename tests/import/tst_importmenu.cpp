#include "../common/DataRows.h"
#include "../common/MessageBoxes.h"
#include "../common/TestData.h"
#include "MDlib/MDlib.h"
#include "Startmeny/Startmeny.h"
#include "data/LocalDatabase.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>
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
        window.Form_Load();

        QAction *import = nullptr;
        for (QAction *menu : window.menuBar()->actions())
            if (menu->menu())
                for (QAction *action : menu->menu()->actions())
                    if (action->text().remove(QLatin1Char('&')) ==
                        QLatin1String("Importera Access-databas..."))
                        import = action;
        QVERIFY(import);

        BoxAnswerer answerer;
        import->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isWorking(), 60000); // the import runs on a thread
        QTRY_VERIFY(boxSays.isEmpty() || answerer.count() > 0);
        const QString boxText = answerer.text();

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
};

QTEST_MAIN(TestImportMenu)
#include "tst_importmenu.moc"

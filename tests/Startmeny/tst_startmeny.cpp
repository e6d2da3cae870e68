#include "../common/DataRows.h"
#include "../common/Files.h"
#include "../common/MessageBoxes.h"

#include "MDlib/Error.h"
#include "MDlib/SafeFile.h"
#include "Startmeny/BackgroundWork.h"
#include "Startmeny/Desktop.h"
#include "Startmeny/Startmeny.h"
#include "search/DataControl.h"
#include "search/SearchSource.h"
#include "skriv/skriv.h"
#include "store/LocalDatabase.h"
#include "store/TableCatalogue.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <optional>
#include <sys/stat.h>

class TestStartmeny : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Startmeny> m_window;

    // sokdata.db on a connection of its own, as another program or the next run has it.
    std::unique_ptr<SearchSource> sokdata() {
        return openSqliteSearchSource(m_home->filePath(QStringLiteral("sokdata.db")));
    }
    void onSokdata(const char *sql) {
        QVERIFY2(QSqlQuery(sokdata()->database()).exec(QString::fromUtf8(sql)), sql);
    }
    void fillProducts() {
        onSokdata("INSERT INTO ProduktSok VALUES ('Abc', '12'), ('Abd', '120'), ('Zink', '13'), "
                  "('Ab', '12'), ('Öl', '9')");
    }

    Startmeny &openWindow() {
        m_window = std::make_unique<Startmeny>(m_home->path());
        m_window->Form_Load();
        return *m_window;
    }

    // An empty local.mdb and rapporter folder for the Rapporter menu.
    void makeStore() {
        catalogue::createEmptyLocalStore(m_home->filePath(QStringLiteral("local.mdb")));
        QVERIFY(QDir(m_home->path()).mkpath(QStringLiteral("rapporter")));
    }

    Startmeny &openWithPeriod() {
        Startmeny &w = openWindow();
        w.datumtxt->setText(QStringLiteral("2010-11-18"));
        w.AcceptPeriodDate();
        return w;
    }

    // Shown and active, as the operator has it before a key goes in.
    static bool shown(Startmeny &w) {
        w.show();
        return QTest::qWaitForWindowActive(&w);
    }

    int shownRows() { return m_window->Data1->recordCount(); }
    // Rapporter's checkable "always .xlsx" entry.
    static QAction *xlsxEntry(Startmeny &w) {
        for (QAction *menu : w.menuBar()->actions())
            for (QAction *action : menu->menu() ? menu->menu()->actions() : QList<QAction *>())
                if (action->isCheckable() && action->text().contains(QLatin1String(".&xlsx")))
                    return action;
        return nullptr;
    }

private slots:
    void initTestCase() {
        // As the program starts the window: named (so that it remembers, here in a test folder
        // of settings) and in Swedish.
        QStandardPaths::setTestModeEnabled(true);
        prepareDesktop();
    }

    void init() {
        QSettings().clear();
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        fillProducts();
    }

    void cleanup() {
        m_window.reset();
        m_home.reset();
    }

    // A save that waits for a FIFO nobody reads ends at Avbryt, on the window's thread (in the
    // dialog that shows the wait) and on a worker (the window's Avbryt), long before the 30 s.
    void fifoWaitEndsAtAvbryt_data() {
        QTest::addColumn<bool>("worker");
        QTest::newRow("the window's thread") << false;
        QTest::newRow("a worker") << true;
    }

    void fifoWaitEndsAtAvbryt() {
        QFETCH(bool, worker);
        const QString fifo = m_home->filePath(QStringLiteral("utskrift.pdf"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const auto save = [&] {
            lodvik::saveFile(fifo, QStringLiteral("Utskriften"),
                             [](QIODevice &device) { device.write("%PDF-1.4"); });
        };
        QElapsedTimer took;
        took.start();
        if (worker) {
            BackgroundWork work;
            std::optional<BackgroundWork::Outcome> outcome;
            QVERIFY(work.start([&](lodvik::Progress &) { save(); },
                               [&](BackgroundWork::Outcome o, const QString &) { outcome = o; }));
            QTest::qWait(300);
            work.cancel();
            QVERIFY(work.wait(10000));
            QCOMPARE(outcome, std::optional(BackgroundWork::Outcome::Cancelled));
        } else {
            QString shown;
            QTimer avbryt;
            avbryt.setInterval(50);
            connect(&avbryt, &QTimer::timeout, [&] {
                if (auto *dialog =
                        qobject_cast<QProgressDialog *>(QApplication::activeModalWidget())) {
                    shown = dialog->labelText();
                    dialog->cancel();
                }
            });
            avbryt.start();
            QVERIFY_THROWS_EXCEPTION(lodvik::Cancelled, save());
            QVERIFY2(shown.contains(fifo), qPrintable(shown));
            QVERIFY(!QApplication::activeModalWidget()); // gone with the wait
        }
        QVERIFY2(took.elapsed() < 10000, qPrintable(QString::number(took.elapsed())));
        QFileInfo after(fifo);
        QVERIFY(after.exists() && !after.isFile()); // still the FIFO
    }

    // The period, the search type, the .xlsx setting and the place of the window carry over to
    // the next run; a place off every screen does not.
    void remembersBetweenRuns_data() {
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<bool>("kept");
        addRow("on the screen", QPoint(40, 30), true);
        addRow("off every screen", QPoint(-5000, 4000), false);
    }
    void remembersBetweenRuns() {
        QFETCH(QPoint, position);
        QFETCH(bool, kept);
        {
            Startmeny &w = openWindow();
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            w.datumtxt->setText(QStringLiteral("2024-05-31"));
            w.AcceptPeriodDate();
            w.Sokprodukt->setChecked(true);
            QVERIFY(xlsxEntry(w) && !xlsxEntry(w)->isChecked());
            xlsxEntry(w)->setChecked(true);
            w.move(position);
            w.close();
        }
        Startmeny &w = openWindow();
        QCOMPARE(w.datumtxt->text(), QStringLiteral("2024-05-31"));
        QCOMPARE(w.perioddatum, QStringLiteral("2024-05-31"));
        QVERIFY(w.Sokprodukt->isChecked());
        QVERIFY(xlsxEntry(w)->isChecked());
        if (kept)
            QCOMPARE(w.pos(), position);
        else
            QVERIFY(QGuiApplication::screenAt(w.frameGeometry().center()));
    }

    // Enter and Sök run the same search (its rows by name and number: tst_search's
    // prefixSearch); an apostrophe typed gives no SQL error either.
    void searchByButtonAndEnterAlike_data() {
        QTest::addColumn<bool>("sokprodukt");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rows");
        addRow("product 12", true, "12", 3);
        addRow("apostrophe", false, "O'H", 0);
    }
    void searchByButtonAndEnterAlike() {
        QFETCH(bool, sokprodukt);
        QFETCH(QString, text);
        QFETCH(int, rows);
        Startmeny &w = openWindow();
        QVERIFY(shown(w));
        (sokprodukt ? w.Sokprodukt : w.Soklagerplats)->setChecked(true);
        w.periodtxt->setFocus();
        QTest::keyClicks(w.periodtxt, text);
        BoxAnswerer answerer;
        QTest::keyClick(w.periodtxt, Qt::Key_Return);
        const QString byEnter = w.Data1->recordSource();
        QCOMPARE(shownRows(), rows);
        w.Data1->setRecordSource(QString());
        QTest::mouseClick(w.Sok, Qt::LeftButton);
        QCOMPARE(w.Data1->recordSource(), byEnter);
        QCOMPARE(shownRows(), rows);
        QCOMPARE(w.periodtxt->text(), text); // the search text stays
        QVERIFY2(answerer.count() == 0, qPrintable(answerer.text()));
        w.Nollställa_Click();
        QVERIFY(w.periodtxt->text().isEmpty());
        QCOMPARE(shownRows(), 0);
    }

    // Radera asks first and deletes the current row only after OK; on the empty grid of a fresh
    // window it asks and does nothing more; a row that went meanwhile is told, after the question.
    void deleteAsksFirst_data() {
        QTest::addColumn<QString>("search"); // "": the grid left empty, as the window opens
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("goneMeanwhile");
        QTest::addColumn<int>("left"); // the search's rows afterwards
        addRow("ok", "12", int(QMessageBox::Ok), false, 2);
        addRow("cancel", "12", int(QMessageBox::Cancel), false, 3);
        addRow("enter at once", "12", int(QMessageBox::NoButton), false, 3);
        addRow("empty grid", "", int(QMessageBox::Ok), false, 5);
        addRow("gone meanwhile", "13", int(QMessageBox::Ok), true, 0);
    }
    void deleteAsksFirst() {
        QFETCH(QString, search);
        QFETCH(int, answer);
        QFETCH(bool, goneMeanwhile);
        QFETCH(int, left);
        Startmeny &w = openWindow();
        w.Sokprodukt->setChecked(true);
        w.periodtxt->setText(search);
        QString first; // the first row's name, which must stay
        if (!search.isEmpty()) {
            w.Sok_Click();
            w.TDBGrid1->setCurrentIndex(w.Data1->index(shownRows() > 1 ? 1 : 0, 0));
            first =
                goneMeanwhile ? QString() : w.Data1->field(0, QStringLiteral("Soknamn")).toText();
        }
        if (goneMeanwhile)
            onSokdata("DELETE FROM ProduktSok");
        BoxAnswerer answerer{QMessageBox::StandardButton(answer)};
        QTest::mouseClick(w.radera, Qt::LeftButton);
        QCOMPARE(answerer.texts.value(0), QStringLiteral("Vill du verkligen ta bort produkten ?"));
        QCOMPARE(answerer.count(), goneMeanwhile ? 2 : 1);
        QVERIFY(!goneMeanwhile || answerer.text().contains(QStringLiteral("togs inte bort")));
        w.periodtxt->setText(search);
        w.Sok_Click();
        QCOMPARE(shownRows(), left);
        QVERIFY(first.isEmpty() || w.Data1->field(0, QStringLiteral("Soknamn")).toText() == first);
    }

    // A search source that cannot be reached as the window opens, or that loses its table under
    // the window's feet: every search says so, the window stays usable, and once the source is
    // back the next search uses it.
    void failingSourceIsReported_data() {
        QTest::addColumn<bool>("unreachable");
        QTest::addColumn<QString>("reason");
        addRow("unreachable", true, "kunde inte nås");
        addRow("table dropped", false, "ProduktSok");
    }
    void failingSourceIsReported() {
        QFETCH(bool, unreachable);
        QFETCH(QString, reason);
        const QString ini = m_home->filePath(QStringLiteral("lodvikprodsok.ini"));
        if (unreachable)
            QVERIFY(
                writeFile(ini, "[sokdata]\ndriver=QSQLITE\ndatabase=/nonexistent/folder/x.db\n"));
        BoxAnswerer answerer;
        Startmeny &w = openWindow();
        QCOMPARE(answerer.count(), int(unreachable));
        if (!unreachable)
            onSokdata("DROP TABLE ProduktSok");
        QTest::mouseClick(w.Sok, Qt::LeftButton);
        QCOMPARE(answerer.count(), 1 + int(unreachable));
        QVERIFY2(answerer.text().contains(reason), qPrintable(answerer.text()));
        QVERIFY(w.Sok->isEnabled());
        QVERIFY(w.periodtxt->text().isEmpty());
        if (!unreachable)
            fillProducts();
        QFile::remove(ini);
        w.periodtxt->setText(QStringLiteral("Zi"));
        w.Sok_Click();
        QCOMPARE(shownRows(), 1);
    }

    // Text in an open cell editor is stored, once and without Qt complaining about the editor,
    // by every way of leaving the row that keeps the focus in the editor: Enter (which moves
    // down one row), closing the window, F5, Nollställa. Escape drops the change of the row, also
    // once a click on the row's other cell has closed the editor.
    void openEditorIsStored_data() {
        QTest::addColumn<QString>("leave");
        for (const char *leave : {"Enter", "close", "F5", "Nollställa", "Escape"})
            addRow(leave, QString::fromUtf8(leave));
    }
    void openEditorIsStored() {
        QFETCH(QString, leave);
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        Startmeny &w = openWindow();
        QVERIFY(shown(w));
        w.periodtxt->setText(QString());
        w.Sok_Click(); // five rows by search name
        w.TDBGrid1->setFocus();
        w.TDBGrid1->setCurrentIndex(w.Data1->index(1, 0));
        QTest::keyClick(w.TDBGrid1, Qt::Key_F2);
        QWidget *editor = QApplication::focusWidget();
        QVERIFY(qobject_cast<QLineEdit *>(editor));
        QTest::keyClick(editor, 'A', Qt::ControlModifier);
        QTest::keyClicks(editor, QStringLiteral("Nytt namn"));
        if (leave == QLatin1String("Enter")) {
            QTest::keyClick(editor, Qt::Key_Return);
            QCoreApplication::processEvents();
            QCOMPARE(w.TDBGrid1->currentIndex().row(), 2);
        } else if (leave == QLatin1String("close")) {
            w.close();
        } else if (leave == QLatin1String("F5")) {
            QTest::keyClick(editor, Qt::Key_F5);
        } else if (leave == QStringLiteral("Nollställa")) {
            w.Nollställa_Click();
        } else {
            const QRect other = w.TDBGrid1->visualRect(w.Data1->index(1, 1));
            QTest::mouseClick(w.TDBGrid1->viewport(), Qt::LeftButton, {}, other.center());
            QCOMPARE(QApplication::focusWidget(), w.TDBGrid1);
            QVERIFY(w.Data1->hasPendingEdit());
            QTest::keyClick(w.TDBGrid1, Qt::Key_Escape);
            QCOMPARE(w.Data1->data(w.Data1->index(1, 0)).toString(), QStringLiteral("Abc"));
            w.TDBGrid1->setCurrentIndex(w.Data1->index(2, 0)); // leaving the row stores nothing
        }
        QVERIFY(!w.Data1->hasPendingEdit());
        // Read back on a connection of its own, as the next run of the program would.
        auto source = sokdata();
        QSqlQuery q(source->database());
        QVERIFY(q.exec(QStringLiteral("SELECT Soknamn, Produktnummer FROM ProduktSok ORDER BY 1")));
        QStringList rows;
        while (q.next())
            rows << q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString();
        QStringList expected{"Ab 12", "Abd 120", "Zink 13", "Öl 9"};
        expected << (leave == QLatin1String("Escape") ? "Abc 12" : "Nytt namn 12");
        expected.sort();
        QCOMPARE(rows, expected);
    }

    // Closing the search window ends the program whatever else is open, and no window is left
    // behind with the program still running.
    void programEndsWithTheSearchWindow_data() {
        QTest::addColumn<QStringList>("steps");
        addRow("closed while the preview is open",
               QStringList{"preview", "close", "preview Avsluta"});
        addRow("preview put away first", QStringList{"preview", "preview Avsluta", "close"});
        // The run ends before the close is seen: what it would say goes with the window (the
        // summary's end takes the same way).
        addRow("closed as a coverage run ends", QStringList{"coverage", "close"});
    }
    void programEndsWithTheSearchWindow() {
        QFETCH(QStringList, steps);
        makeStore();
        Startmeny &w = openWithPeriod();
        w.show();
        BoxAnswerer answerer;
        skriv &preview = skriv::instance();
        QTimer::singleShot(0, &w, [&] {
            for (const QString &step : steps) {
                if (step == "preview")
                    preview.show();
                else if (step == "coverage") {
                    w.writeCoverageWorkbook();
                    QThread::msleep(500); // done, its end not yet taken over
                    continue;
                } else if (step == "close")
                    w.close(); // as the window manager's close button
                else if (step == "preview Avsluta")
                    preview.Avbryta->click();
                QCoreApplication::processEvents();
            }
        });
        QTimer::singleShot(10000, &w, [] { QCoreApplication::exit(99); }); // the program went on
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!preview.isVisible());
        QVERIFY2(answerer.count() == 0, qPrintable(answerer.text()));
    }

    // The Rapporter menu's long operations: run to the end, stopped with Avbryt at once, or
    // failing. A stopped or failed run writes no workbook and leaves the old one; a stopped date
    // conversion leaves every row either as it was or converted, a declined one (Nej, the default
    // at Enter, the box closed) every row as it was. "coverage as xlsx" has the .xlsx setting.
    void reportOperations_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("answer");   // to the question or message box
        QTest::addColumn<QString>("says"); // the failure's message
        for (const char *operation :
             {"coverage", "coverage as xlsx", "summary", "prognos", "order"})
            for (const bool cancel : {false, true})
                QTest::addRow("%s%s", operation, cancel ? " cancelled" : "")
                    << operation << cancel
                    << int(operation[0] == 'p' || operation[0] == 'o' ? QMessageBox::Yes
                                                                      : QMessageBox::Ok)
                    << QString();
        addRow("order, Nej", "order", false, int(QMessageBox::No), QString());
        addRow("order, Enter at once", "order", false, int(QMessageBox::NoButton), QString());
        // no such button: the box is rejected
        addRow("order, box closed", "order", false, int(QMessageBox::Cancel), QString());
        // a server store that cannot be reached: said with the driver's words, and the window
        // runs the next one on local.mdb
        addRow("summary, server unreachable", "summary", false, int(QMessageBox::Ok),
               "Kan inte ansluta");
    }
    void reportOperations() {
        QFETCH(QString, operation);
        QFETCH(bool, cancel);
        QFETCH(int, answer);
        QFETCH(QString, says);
        const bool xlsx = operation.endsWith(QLatin1String("xlsx"));
        if (xlsx)
            operation = QStringLiteral("coverage");
        const QString local = m_home->filePath(QStringLiteral("local.mdb"));
        makeStore();
        const int rows = cancel ? 3000 : 3;
        {
            dao::Database db = dao::Database::OpenDatabase(local);
            db.Execute(
                QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM "
                               "n WHERE i < %1) INSERT INTO pjomr (iblitm, umconv) SELECT "
                               "'P' || (10000 + i), 1 FROM n")
                    .arg(rows));
            for (const char *table : {"fpprognos", "fporder"})
                db.Execute(
                    QStringLiteral("INSERT INTO %1 SELECT iblitm, '2010-02-17', 1 FROM pjomr")
                        .arg(QLatin1String(table)));
            db.Execute(QStringLiteral("INSERT INTO tillfall VALUES (1)"));
        }
        const QString workbook = m_home->filePath(
            operation == QLatin1String("coverage")
                ? QStringLiteral("rapporter/Pallvikprodukter2010-11-18.xls") + (xlsx ? "x" : "")
                : QStringLiteral("rapporter/Pallvik2010-11-18.xls"));
        QVERIFY(writeFile(workbook, "gammal"));
        const QString ini = m_home->filePath(QStringLiteral("lodvikprodsok.ini"));
        if (!says.isEmpty())
            QVERIFY(writeFile(
                ini, "[extrakt]\ndriver=QPSQL\nhost=127.0.0.1\nport=1\ndatabase=extrakt\n"));
        Startmeny &w = openWithPeriod();
        xlsxEntry(w)->setChecked(xlsx);
        const bool dates =
            operation == QLatin1String("prognos") || operation == QLatin1String("order");
        // The date conversion rewrites the store for good and asks first.
        const bool declined = dates && answer != QMessageBox::Yes;
        BoxAnswerer answerer{QMessageBox::StandardButton(answer)};
        // Another program holds the store until Avbryt is pressed, so that the work cannot end
        // before the click: its first use of the store waits for the lock.
        std::optional<dao::Database> holder;
        if (cancel) {
            holder.emplace(dao::Database::OpenDatabase(local));
            holder->Execute(QStringLiteral("BEGIN EXCLUSIVE"));
        }
        const QMap<QString, void (Startmeny::*)()> menu{
            {"coverage", &Startmeny::writeCoverageWorkbook},
            {"summary", &Startmeny::saveSummaryWorkbook},
            {"prognos", &Startmeny::convertPrognosDates},
            {"order", &Startmeny::convertOrderDates}};
        const auto run = [&] { (w.*menu.value(operation))(); };
        // The coverage run writes into the window's table: rows past its products keep what an
        // earlier run left there, and a stopped run leaves every row.
        const bool coverage = operation == QLatin1String("coverage") && says.isEmpty();
        if (coverage) {
            w.produkttabell.at(2, 1) = lodvik::Variant::String(QStringLiteral("förra"));
            w.produkttabell.at(2000, 1) = lodvik::Variant::String(QStringLiteral("kvar"));
        }
        run();
        QCOMPARE(w.isWorking(), !declined);
        QCOMPARE(w.Avbryt->isHidden(), declined);
        if (cancel) {
            QTest::mouseClick(w.Avbryt, Qt::LeftButton);
            holder->Execute(QStringLiteral("COMMIT"));
            holder.reset();
        }
        QVERIFY(w.waitForWork(120000));
        QTRY_VERIFY(!w.isWorking());
        QCOMPARE(readFile(workbook) == "gammal", cancel || dates || !says.isEmpty());
        if (coverage) {
            QCOMPARE(w.produkttabell.at(2, 1).text(), cancel ? "förra" : "P10002");
            QCOMPARE(w.produkttabell.at(2000, 1).text(), QStringLiteral("kvar"));
        }
        if (dates) {
            const bool prognos = operation == QLatin1String("prognos");
            dao::Database db = dao::Database::OpenDatabase(local);
            dao::Recordset rs = db.OpenRecordset(
                QStringLiteral("SELECT sum(%2 = '10073'), sum(%2 = '2010-02-17') FROM %1")
                    .arg(prognos ? "fpprognos" : "fporder", prognos ? "MFDRQJ" : "SDpddj"));
            const int converted = int(rs.Fields(0).number());
            QCOMPARE(converted + int(rs.Fields(1).number()), rows);
            QVERIFY(cancel ? converted < rows : converted == (declined ? 0 : rows));
            // A stopped conversion tells how many rows it converted.
            if (cancel)
                QCOMPARE(answerer.text().section(QLatin1Char(' '), 1, 1).toInt(), converted);
        }
        if (cancel) {
            QCOMPARE(w.Label2->text(), QStringLiteral("Avbrutet"));
        } else if (declined) {
            QCOMPARE(answerer.count(), 1);
        } else if (!says.isEmpty()) {
            QTRY_COMPARE(answerer.count(), 1);
            QVERIFY2(answerer.text().contains(says) &&
                         answerer.text().contains(QStringLiteral("Detaljer: ")),
                     qPrintable(answerer.text()));
            QFile::remove(ini);
            run();
            QVERIFY(w.waitForWork(60000));
            QTRY_VERIFY(!w.isWorking());
            QVERIFY(readFile(workbook) != "gammal");
        } else if (operation == QLatin1String("coverage")) { // the window names the file it wrote
            QTRY_VERIFY2(answerer.text().endsWith(QDir::toNativeSeparators(workbook)),
                         qPrintable(answerer.text()));
        }
    }

    // The title doubles as the progress line: a caption too wide for it is set smaller or cut,
    // never clipped at the label's edges, and a short one keeps the title's size.
    void captionFitsTitle_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("titleSize");
        addRow("title", "Produktsökning", true);
        addRow("index creation", "Skapar index i local.mdb (första gången)", false);
        addRow("workbook path",
               "Skapar excelfilen /home/lager/" + QString(60, QChar('x')) +
                   "/rapporter/Pallvikprodukter2010-11-18.xls",
               false);
    }
    void captionFitsTitle() {
        QFETCH(QString, caption);
        QFETCH(bool, titleSize);
        Startmeny &w = openWindow();
        w.Label2->setText(caption);
        const QImage image = w.Label2->grab().toImage();
        int left = image.width(), right = -1, top = image.height(), bottom = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 96) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        QVERIFY2(
            left > 0 && right < image.width() - 1,
            qPrintable(
                QStringLiteral("ink from %1 to %2 of %3").arg(left).arg(right).arg(image.width())));
        // A title-sized caption stands at least 20 pixels high; a smaller one at most 15.
        QCOMPARE(bottom - top >= 20, titleSize);
        QCOMPARE(w.Label2->text(), caption);
    }

    // Qt's own file dialogs speak Swedish, the folder dialog's button and menus included.
    void fileDialogsInSwedish_data() {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("accept");
        addRow("choose a folder", true, "&Välj");
        addRow("save a file", false, "&Spara");
    }
    void fileDialogsInSwedish() {
        QFETCH(bool, folder);
        QFETCH(QString, accept);
        QFileDialog dialog(nullptr, QStringLiteral("Spara inköpsförslaget i"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(folder ? QFileDialog::Directory : QFileDialog::AnyFile);
        dialog.setAcceptMode(folder ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
        dialog.show();
        QStringList texts;
        for (const QAbstractButton *b : dialog.findChildren<QAbstractButton *>())
            texts << b->text() << b->toolTip();
        for (const QLabel *l : dialog.findChildren<QLabel *>())
            texts << l->text();
        for (const QAction *a : dialog.findChildren<QAction *>())
            texts << a->text();
        QVERIFY2(texts.contains(accept), qPrintable(texts.join('|')));
        static const QRegularExpression english(
            QStringLiteral("\\b(Choose|Cancel|Folder|Show|Look|Back|Forward|Parent|Detail|List|"
                           "Rename|Delete|hidden|Directory|Files|File name|Save|Open)\\b"));
        QVERIFY2(!texts.join('|').contains(english), qPrintable(texts.join('|')));
    }
};

QTEST_MAIN(TestStartmeny)
#include "tst_startmeny.moc"

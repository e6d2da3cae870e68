#include "MDlib/MDlib.h"
#include "Startmeny/Desktop.h"
#include "Startmeny/Startmeny.h"
#include "data/DataControl.h"
#include "data/SearchQueries.h"
#include "data/SearchSource.h"
#include "skriv/skriv.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// What the next message box said; the box is answered with the given button.
struct BoxSeen {
    QString title;
    QString text;
    QStringList buttons;
    int count = 0;
};

// Answers every message box that opens while the returned guard lives.
class BoxAnswerer {
public:
    BoxAnswerer(QMessageBox::StandardButton button, BoxSeen *seen) {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [button, seen] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->buttons.clear();
            for (const QAbstractButton *shown : box->buttons())
                seen->buttons.append(shown->text());
            ++seen->count;
            QAbstractButton *answer = box->button(button);
            if (button == QMessageBox::NoButton) // Enter at once: the default button
                QTest::keyClick(box, Qt::Key_Return);
            else if (answer)
                answer->click();
            else
                box->reject();
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

void writeIni(const QString &folder, const QByteArray &text) {
    QFile file(folder + QStringLiteral("/lodvikprodsok.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

} // namespace

class TestStartmeny : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Startmeny> m_window;

    void fillProducts() {
        auto source = openSqliteSearchSource(m_home->filePath(QStringLiteral("sokdata.db")));
        QSqlQuery q(source->database());
        for (const char *row :
             {"('Abc', '12')", "('Abd', '120')", "('Zink', '13')", "('Ab', '12')", "('Öl', '9')"})
            QVERIFY(q.exec(
                QStringLiteral("INSERT INTO ProduktSok VALUES %1").arg(QString::fromUtf8(row))));
    }

    Startmeny &openWindow() {
        m_window = std::make_unique<Startmeny>(m_home->path());
        m_window->Form_Load();
        return *m_window;
    }

    int shownRows() { return m_window->Data1->recordCount(); }

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

    void captions() {
        Startmeny &w = openWindow();
        QCOMPARE(w.windowTitle(), QStringLiteral("Sökningsbild"));
        QCOMPARE(w.Label2->text(), QStringLiteral("Produktsökning"));
        QCOMPARE(w.periodtx->text(), QStringLiteral("Söktext"));
        QCOMPARE(w.Sökningstyp->title(), QStringLiteral("Sökningstyp"));
        QCOMPARE(w.Soklagerplats->text(), QStringLiteral("Namn sökning"));
        QCOMPARE(w.Sokprodukt->text(), QStringLiteral("Produktnummer sökning"));
        QCOMPARE(w.Avsluta->text(), QStringLiteral("Avsluta"));
        QCOMPARE(w.Sok->text(), QStringLiteral("Sök"));
        QCOMPARE(w.Nollställa->text(), QStringLiteral("Nollställa"));
        QCOMPARE(w.Utskrift->text(), QStringLiteral("Utskrift"));
        QCOMPARE(w.radera->text(), QStringLiteral("Radera"));
        QCOMPARE(w.Label2->font().family(), QStringLiteral("Arial"));
        QCOMPARE(w.Label2->font().pointSizeF(), 21.75);
        QVERIFY(w.Label2->font().bold());
        QVERIFY(w.Label2->alignment() & Qt::AlignHCenter);
        QVERIFY(w.Sok->font().bold());
        QCOMPARE(w.Sok->font().family(), QStringLiteral("MS Sans Serif"));
        QVERIFY(!w.Picture1->pixmap().isNull());
        QCOMPARE(w.Picture1->pixmap().size(), QSize(200, 224));
        auto *grid = w.TDBGrid1;
        QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Soknamn"));
        QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("Produktnummer"));
        QCOMPARE(grid->model()->columnCount(), 2);
        QVERIFY(grid->verticalHeader()->isVisibleTo(&w));
        QVERIFY(!grid->horizontalHeader()->sectionsMovable());
    }

    void menus() {
        Startmeny &w = openWindow();
        QStringList seen;
        for (QAction *menu : w.menuBar()->actions()) {
            seen.append(menu->text().remove(QLatin1Char('&')));
            for (QAction *item : menu->menu()->actions())
                if (!item->isSeparator())
                    seen.append(QStringLiteral("  ") + item->text().remove(QLatin1Char('&')));
        }
        const QStringList expected = {"Arkiv",
                                      "  Importera Access-databas...",
                                      "  Utskrift",
                                      "  Avsluta",
                                      "Rapporter",
                                      "  Täckningskörning (produkter)...",
                                      "  Täckningsöversikt…",
                                      "  Lagersammanställning (spara)",
                                      "  Lagersammanställning (visa)",
                                      "  Konvertera prognosdatum",
                                      "  Konvertera orderdatum",
                                      "Hjälp",
                                      "  Handbok",
                                      "  Om LodvikProdSok"};
        QCOMPARE(seen, expected);
    }

    void geometry_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("Picture1") << "Picture1" << QRect(16, 304, 205, 229);
        QTest::newRow("Soklagerplats") << "Soklagerplats" << QRect(28, 64, 153, 33);
        QTest::newRow("Sokprodukt") << "Sokprodukt" << QRect(28, 40, 145, 33);
        QTest::newRow("periodtxt") << "periodtxt" << QRect(8, 208, 229, 19);
        QTest::newRow("Sökningstyp") << "Sökningstyp" << QRect(20, 28, 177, 81);
        QTest::newRow("Label2") << "Label2" << QRect(232, 16, 297, 41);
        QTest::newRow("periodtx") << "periodtx" << QRect(32, 184, 161, 17);
        QTest::newRow("TDBGrid1") << "TDBGrid1" << QRect(272, 136, 285, 313);
        QTest::newRow("Avsluta") << "Avsluta" << QRect(528, 456, 81, 21);
        QTest::newRow("Sok") << "Sok" << QRect(8, 248, 81, 21);
        QTest::newRow("Nollställa") << "Nollställa" << QRect(8, 276, 81, 21);
        QTest::newRow("Utskrift") << "Utskrift" << QRect(376, 480, 81, 21);
        QTest::newRow("radera") << "radera" << QRect(240, 456, 81, 21);
    }
    void geometry() {
        QFETCH(QString, name);
        QFETCH(QRect, pixels);
        Startmeny &w = openWindow();
        auto *control = w.findChild<QWidget *>(name);
        QVERIFY(control);
        QCOMPARE(control->parentWidget(), w.centralWidget());
        QCOMPARE(control->geometry(), pixels);
    }

    void clientAreaAndDateBox() {
        Startmeny &w = openWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.centralWidget()->size(), QSize(656, 552));
        QVERIFY(w.centralWidget()->geometry().top() >= w.menuBar()->geometry().bottom());
        // The date box and its label cover no control of the design.
        const QList<QWidget *> design = {w.Picture1,    w.Soklagerplats, w.Sokprodukt, w.periodtxt,
                                         w.Sökningstyp, w.Label2,        w.periodtx,   w.TDBGrid1,
                                         w.Avsluta,     w.Sok,           w.Nollställa, w.Utskrift,
                                         w.radera};
        for (QWidget *added :
             {static_cast<QWidget *>(w.datumtxt), static_cast<QWidget *>(w.datumlbl)}) {
            QVERIFY(w.centralWidget()->rect().contains(added->geometry()));
            for (QWidget *control : design)
                QVERIFY2(!added->geometry().intersects(control->geometry()),
                         qPrintable(added->objectName() + " covers " + control->objectName()));
        }
        QVERIFY(w.datumlbl->text().contains(QStringLiteral("ÅÅÅÅ-MM-DD")));
    }

    void opensEmptyWithFocusOnAvsluta() {
        Startmeny &w = openWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(QApplication::focusWidget(), w.Avsluta);
        QVERIFY(w.periodtxt->text().isEmpty());
        QVERIFY(w.Soklagerplats->isChecked());
        QVERIFY(!w.Sokprodukt->isChecked());
        QCOMPARE(w.Data1->recordSource(), resetQuery(QString()));
        QCOMPARE(shownRows(), 0);
    }

    void tabOrder() {
        Startmeny &w = openWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(QApplication::focusWidget(), w.Avsluta);
        QStringList order;
        for (int i = 0; i < 10; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(order, (QStringList{"periodtxt", "Sok", "Nollställa", "Soklagerplats", "Utskrift",
                                     "radera", "TDBGrid1", "Picture1", "Avsluta", "periodtxt"}));
        // With the other option selected, Tab stops at that one instead.
        w.Sokprodukt->setChecked(true);
        w.Nollställa->setFocus();
        QTest::keyClick(w.Nollställa, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.Sokprodukt);
    }

    // Alt+P reaches the period box, which Tab passes by; leaving it takes the period.
    void periodBoxFromTheKeyboard() {
        Startmeny &w = openWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_P, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), w.datumtxt);
        QTest::keyClicks(w.datumtxt, QStringLiteral("2024-05-31"));
        QTest::keyClick(w.datumtxt, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != w.datumtxt);
        QCOMPARE(w.perioddatum, QStringLiteral("2024-05-31"));
    }

    // The period, the search type and the place of the window carry over to the next run; a
    // place off every screen does not.
    void remembersBetweenRuns_data() {
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<bool>("kept");
        QTest::newRow("on the screen") << QPoint(40, 30) << true;
        QTest::newRow("off every screen") << QPoint(-5000, 4000) << false;
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
            w.move(position);
            w.close();
        }
        Startmeny &w = openWindow();
        QCOMPARE(w.datumtxt->text(), QStringLiteral("2024-05-31"));
        QCOMPARE(w.perioddatum, QStringLiteral("2024-05-31"));
        QVERIFY(w.Sokprodukt->isChecked());
        if (kept)
            QCOMPARE(w.pos(), position);
        else
            QVERIFY(QGuiApplication::screenAt(w.frameGeometry().center()));
    }

    void searchByButtonAndEnterAlike_data() {
        QTest::addColumn<bool>("sokprodukt");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rows");
        QTest::newRow("product 12") << true << "12" << 3;
        QTest::newRow("name ab") << false << "ab" << 3;
        QTest::newRow("name Ö") << false << "ö" << 1;
        QTest::newRow("apostrophe") << false << "O'H" << 0;
    }
    void searchByButtonAndEnterAlike() {
        QFETCH(bool, sokprodukt);
        QFETCH(QString, text);
        QFETCH(int, rows);
        Startmeny &w = openWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        (sokprodukt ? w.Sokprodukt : w.Soklagerplats)->setChecked(true);
        w.periodtxt->setFocus();
        // QTest types only ASCII; other letters go in as text.
        bool ascii = true;
        for (QChar c : text)
            ascii = ascii && c.unicode() < 128;
        if (ascii)
            QTest::keyClicks(w.periodtxt, text);
        else
            w.periodtxt->setText(text);
        QTest::keyClick(w.periodtxt, Qt::Key_Return);
        const QString byEnter = w.Data1->recordSource();
        QCOMPARE(byEnter, produktSokQuery(sokprodukt, text));
        QCOMPARE(shownRows(), rows);
        w.Data1->setRecordSource(QString());
        QTest::mouseClick(w.Sok, Qt::LeftButton);
        QCOMPARE(w.Data1->recordSource(), byEnter);
        QCOMPARE(shownRows(), rows);
        QCOMPARE(w.periodtxt->text(), text); // the search text stays
    }

    void resetBuildsItsQueryFromTheOldText() {
        Startmeny &w = openWindow();
        w.periodtxt->setText(QStringLiteral("Ab"));
        w.Sok_Click();
        QCOMPARE(shownRows(), 3);
        w.Nollställa_Click();
        QCOMPARE(w.Data1->recordSource(), resetQuery(QStringLiteral("Ab")));
        QVERIFY(w.periodtxt->text().isEmpty());
        QCOMPARE(shownRows(), 0);
    }

    void deleteAsksFirst_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("rowsLeft");
        QTest::newRow("ok") << int(QMessageBox::Ok) << 1;
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << 2;
        QTest::newRow("enter at once") << int(QMessageBox::NoButton) << 2;
    }
    void deleteAsksFirst() {
        QFETCH(int, answer);
        QFETCH(int, rowsLeft);
        Startmeny &w = openWindow();
        w.Sokprodukt->setChecked(true);
        w.periodtxt->setText(QStringLiteral("12"));
        w.Sok_Click();
        QCOMPARE(shownRows(), 3);
        w.TDBGrid1->setCurrentIndex(w.Data1->index(1, 0));
        const QString kept = w.Data1->field(0, QStringLiteral("Soknamn")).toText();
        BoxSeen seen;
        {
            BoxAnswerer answerer(QMessageBox::StandardButton(answer), &seen);
            w.radera_Click();
        }
        QCOMPARE(seen.count, 1);
        QCOMPARE(seen.title, QStringLiteral("Varning!"));
        QCOMPARE(seen.text, QStringLiteral("Vill du verkligen ta bort produkten ?"));
        QVERIFY2(seen.buttons.contains(QStringLiteral("Avbryt")),
                 qPrintable(seen.buttons.join(',')));
        w.Sok_Click();
        QCOMPARE(shownRows(), rowsLeft + 1);
        QCOMPARE(w.Data1->field(0, QStringLiteral("Soknamn")).toText(), kept);
    }

    void deleteOnEmptyGridDoesNothing() {
        Startmeny &w = openWindow();
        BoxSeen seen;
        {
            BoxAnswerer answerer(QMessageBox::Ok, &seen);
            w.radera_Click();
        }
        QCOMPARE(seen.count, 1); // the question only; no error afterwards
        w.periodtxt->setText(QString());
        w.Sok_Click();
        QCOMPARE(shownRows(), 5);
    }

    void enterInGridStoresAndMovesDown() {
        Startmeny &w = openWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.Sokprodukt->setChecked(true);
        w.periodtxt->setText(QStringLiteral("12"));
        w.Sok_Click();
        w.TDBGrid1->setFocus();
        w.TDBGrid1->setCurrentIndex(w.Data1->index(0, 0));
        QVERIFY(w.Data1->setData(w.Data1->index(0, 0), QStringLiteral("Ändrad")));
        QTest::keyClick(w.TDBGrid1, Qt::Key_Return);
        QVERIFY(!w.Data1->hasPendingEdit());
        QCOMPARE(w.TDBGrid1->currentIndex().row(), 1);
        QVERIFY(w.isVisible()); // Enter never ends the program
        w.Sok_Click();
        QStringList names;
        for (int row = 0; row < shownRows(); ++row)
            names.append(w.Data1->field(row, QStringLiteral("Soknamn")).toText());
        QVERIFY(names.contains(QStringLiteral("Ändrad")));
    }

    void typingInGridEditorAndEnterStores() {
        Startmeny &w = openWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.Nollställa_Click(); // the grid shows only the new row
        w.TDBGrid1->setFocus();
        w.TDBGrid1->setCurrentIndex(w.Data1->index(0, 1));
        QTest::keyClick(w.TDBGrid1, '7'); // the first key opens the editor, which takes the rest
        QWidget *editor = QApplication::focusWidget();
        QVERIFY(qobject_cast<QLineEdit *>(editor));
        QTest::keyClicks(editor, QStringLiteral("77"));
        QCOMPARE(qobject_cast<QLineEdit *>(editor)->maxLength(), 50);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!w.Data1->hasPendingEdit() && w.TDBGrid1->currentIndex().row() == 1);
        QCOMPARE(w.Data1->recordCount(), 1);
        w.Sokprodukt->setChecked(true);
        w.periodtxt->setText(QStringLiteral("777"));
        w.Sok_Click();
        QCOMPARE(shownRows(), 1);
    }

    void editorEnterMovesDownOneRow() {
        // The editor's text reaches the row once, without Qt complaining about the editor.
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        Startmeny &w = openWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.periodtxt->setText(QString());
        w.Sok_Click(); // five rows by search name
        w.TDBGrid1->setFocus();
        w.TDBGrid1->setCurrentIndex(w.Data1->index(1, 0));
        QTest::keyClick(w.TDBGrid1, 'x');
        QWidget *editor = QApplication::focusWidget();
        QVERIFY(qobject_cast<QLineEdit *>(editor));
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(w.TDBGrid1->currentIndex().row(), 2);
        QVERIFY(!w.Data1->hasPendingEdit());
        QCOMPARE(w.Data1->field(1, QStringLiteral("Soknamn")).toText(), QStringLiteral("x"));
        w.Sok_Click();
        QStringList names;
        for (int row = 0; row < shownRows(); ++row)
            names.append(w.Data1->field(row, QStringLiteral("Soknamn")).toText());
        QCOMPARE(names, (QStringList{"Ab", "Abd", "x", "Zink", "Öl"}));
    }

    // Escape drops the change of the row also once the cell editor has closed.
    void escapeAfterTheEditorClosedDropsTheChange() {
        Startmeny &w = openWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.Sok_Click();
        w.TDBGrid1->setFocus();
        w.TDBGrid1->setCurrentIndex(w.Data1->index(0, 0));
        QTest::keyClicks(w.TDBGrid1, QStringLiteral("Ny"));
        // A click on the row's other cell closes the editor; the row keeps the change.
        const QRect other = w.TDBGrid1->visualRect(w.Data1->index(0, 1));
        QTest::mouseClick(w.TDBGrid1->viewport(), Qt::LeftButton, {}, other.center());
        QCOMPARE(QApplication::focusWidget(), w.TDBGrid1);
        QVERIFY(w.Data1->hasPendingEdit());
        QTest::keyClick(w.TDBGrid1, Qt::Key_Escape);
        QVERIFY(!w.Data1->hasPendingEdit());
        QCOMPARE(w.Data1->data(w.Data1->index(0, 0)).toString(), QStringLiteral("Ab"));
        w.TDBGrid1->setCurrentIndex(w.Data1->index(2, 0)); // leaving the row stores nothing
        w.Sok_Click();
        QCOMPARE(w.Data1->field(0, QStringLiteral("Soknamn")).toText(), QStringLiteral("Ab"));
    }

    void failingSourceIsReportedAndWindowStaysUsable() {
        writeIni(m_home->path(), "[sokdata]\ndriver=QSQLITE\ndatabase=/nonexistent/folder/x.db\n");
        BoxSeen seen;
        {
            BoxAnswerer answerer(QMessageBox::Ok, &seen);
            openWindow();
        }
        QCOMPARE(seen.count, 1);
        QVERIFY2(seen.text.contains(QStringLiteral("kunde inte nås")), qPrintable(seen.text));
        Startmeny &w = *m_window;
        QVERIFY(w.periodtxt->text().isEmpty());
        // Every later search says so too, and nothing breaks.
        {
            BoxAnswerer answerer(QMessageBox::Ok, &seen);
            QTest::mouseClick(w.Sok, Qt::LeftButton);
        }
        QCOMPARE(seen.count, 2);
        // Once the source can be reached, the next search uses it.
        QFile::remove(m_home->filePath(QStringLiteral("lodvikprodsok.ini")));
        w.periodtxt->setText(QStringLiteral("Zi"));
        w.Sok_Click();
        QCOMPARE(shownRows(), 1);
    }

    void closingStoresTheEditedRow() {
        Startmeny &w = openWindow();
        w.show();
        w.Sok_Click();
        QVERIFY(w.Data1->setData(w.Data1->index(0, 1), QStringLiteral("4711")));
        w.close();
        QVERIFY(!w.Data1->hasPendingEdit());
        w.Sokprodukt->setChecked(true);
        w.periodtxt->setText(QStringLiteral("4711"));
        w.Sok_Click();
        QCOMPARE(shownRows(), 1);
    }

    // Closing the search window ends the program whatever else is open, and no window is left
    // behind with the program still running.
    void programEndsWithTheSearchWindow_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("closed while the preview is open")
            << QStringList{"preview", "close", "preview Avsluta"};
        QTest::newRow("preview put away first")
            << QStringList{"preview", "preview Avsluta", "close"};
    }
    void programEndsWithTheSearchWindow() {
        QFETCH(QStringList, steps);
        Startmeny &w = openWindow();
        w.show();
        skriv &preview = skriv::instance();
        QTimer::singleShot(0, &w, [&] {
            for (const QString &step : steps) {
                if (step == "preview")
                    preview.show();
                else if (step == "close")
                    w.close(); // as the window manager's close button
                else if (step == "preview Avsluta")
                    preview.Avbryta->click();
                QCoreApplication::processEvents();
            }
        });
        QTimer stillRunning; // the program did not end
        stillRunning.setSingleShot(true);
        connect(&stillRunning, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        stillRunning.start(10000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!preview.isVisible());
    }

    void refusedQueryIsReported() {
        Startmeny &w = openWindow();
        // The store loses its table under the window's feet.
        {
            auto other = openSqliteSearchSource(m_home->filePath(QStringLiteral("sokdata.db")));
            QSqlQuery q(other->database());
            QVERIFY(q.exec(QStringLiteral("DROP TABLE ProduktSok")));
        }
        BoxSeen seen;
        {
            BoxAnswerer answerer(QMessageBox::Ok, &seen);
            QTest::mouseClick(w.Sok, Qt::LeftButton);
        }
        QCOMPARE(seen.count, 1);
        QCOMPARE(seen.title, QStringLiteral("Sök"));
        QVERIFY2(seen.text.contains(QStringLiteral("ProduktSok")), qPrintable(seen.text));
        QVERIFY(w.Sok->isEnabled());
    }
};

QTEST_MAIN(TestStartmeny)
#include "tst_startmeny.moc"

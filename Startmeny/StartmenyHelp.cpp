#include "Startmeny/Startmeny.h"

#include "MDlib/Error.h"
#include "search/SearchSource.h"
#include "search/SqliteSearchSource.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

QString escaped(const QString &text) {
    return QDir::toNativeSeparators(text).toHtmlEscaped();
}

// Where the settings of this user are kept, for the texts below.
QString settingsFile() {
    if (QCoreApplication::organizationName().isEmpty())
        return QStringLiteral("(sparas inte)");
    QString file = QSettings().fileName();
    const QString home = QDir::homePath();
    if (file.startsWith(home + QLatin1Char('/')))
        file.replace(0, home.size(), QStringLiteral("~"));
    return file;
}

// The README as installed (share/doc/lodvikprodsok), or empty.
QString installedReadme() {
    for (const char *name : {"doc/lodvikprodsok/README.md", "doc/lodvikprodsok/README.md.gz"}) {
        const QString file =
            QStandardPaths::locate(QStandardPaths::GenericDataLocation, QLatin1String(name));
        if (!file.isEmpty())
            return file;
    }
    return {};
}

// The search data source the window uses, without its password.
QString describeSearchSource(const QString &appPath) {
    try {
        const SearchSourceSettings s = readSearchSourceSettings(appPath);
        QString text;
        if (s.driver == QLatin1String("QSQLITE"))
            return QStringLiteral("SQLite-filen %1").arg(escaped(s.database));
        if (s.driver == QLatin1String("QPSQL")) {
            text = QStringLiteral("PostgreSQL (QPSQL): databasen %1 på %2")
                       .arg(escaped(s.database),
                            escaped(s.host.isEmpty() ? QStringLiteral("localhost") : s.host));
            if (s.port > 0)
                text += QStringLiteral(":%1").arg(s.port);
        } else if (s.driver == QLatin1String("QODBC")) {
            text = QStringLiteral("ODBC (QODBC): datakällan %1").arg(escaped(s.dsn));
            if (!s.catalog.isEmpty())
                text += QStringLiteral(", katalogen %1").arg(escaped(s.catalog));
        } else {
            text = QStringLiteral("okänd drivrutin %1").arg(escaped(s.driver));
        }
        if (!s.user.isEmpty())
            text += QStringLiteral(", användaren %1").arg(escaped(s.user));
        return text + QStringLiteral(" (enligt %1)").arg(QLatin1String(searchSourceSettingsFile));
    } catch (const lodvik::Error &e) {
        return escaped(e.message());
    }
}

} // namespace

void Startmeny::showHelp() {
    // One guide window, kept and shown again; it goes with the search window.
    auto *guide = findChild<QDialog *>(QStringLiteral("handbok"));
    if (!guide) {
        guide = new QDialog(this);
        guide->setObjectName(QStringLiteral("handbok"));
        guide->setWindowTitle(QStringLiteral("Handbok – Sökningsbild"));
        auto *text = new QTextBrowser(guide);
        text->setOpenExternalLinks(true);
        text->setHtml(QStringLiteral(R"(
<h3>Söka</h3>
<p>Skriv början av ett produktnummer eller ett söknamn i <b>Söktext</b>, välj
<b>Produktnummer sökning</b> eller <b>Namn sökning</b> och tryck <b>Sök</b> (eller Enter).
Stora och små bokstäver räknas lika; en tom söktext listar alla produkter.
<b>Nollställa</b> tömmer söktexten och listan.</p>
<h3>Ändra och lägga till</h3>
<p>Skriv direkt i en cell. En ändrad rad sparas när du lämnar den: en annan rad, Enter, en ny
sökning eller när fönstret stängs. Esc ångrar radens ändring. En ny produkt skrivs i den tomma
raden längst ner (märkt *). <b>Radera</b> tar bort den markerade produkten efter en fråga.</p>
<h3>Period</h3>
<p>Rapporterna och utskriften använder perioden i rutan <b>Period (ÅÅÅÅ-MM-DD)</b>. Ett
blanksteg fyller i år, månad eller dag från dagens datum.</p>
<h3>Utskrift och rapporter</h3>
<p><b>Utskrift</b> visar listan i förhandsgranskningen; där skriver <b>Utskrift</b> ut alla
sidor och <b>Avsluta</b> stänger. Rapporterna under <b>Rapporter</b> körs medan fönstret går
att använda, och förloppet visas i rubriken. <b>Konvertera prognosdatum</b> och <b>Konvertera
orderdatum</b> skriver om datumen i local.mdb för gott och frågar därför först.</p>
<h3>Täckningsöversikt</h3>
<p><b>Rapporter → Täckningsöversikt</b> visar periodens produkter efter hur snart de tar slut,
med ett beställningsförslag mot målet i veckor, dagen lagret tar slut och när det senast måste
beställas. Förslaget följer produktens planeringsregel (ledtid, säkerhetslager, multipel,
minsta order), som läses in med <code>lodvikprodsok rules --load FIL</code>. Filtrera på
leverantör och varugrupp, markera rader som beställda eller utgångna och spara ett
inköpsförslag per leverantör. Enter eller mellanslag visar hur en rads värden räknades fram;
<b>Hjälp</b> i översikten visar formeln.</p>
<h3>Kortkommandon</h3>
<table cellspacing="0" cellpadding="2">
<tr><td>Alt, F10</td><td>menyerna (Alt+A Arkiv, Alt+R Rapporter, Alt+H Hjälp)</td></tr>
<tr><td>Enter i söktexten, F5</td><td>Sök</td></tr>
<tr><td>Enter i listan</td><td>spara raden och gå till nästa</td></tr>
<tr><td>Esc i listan</td><td>ångra radens ändring</td></tr>
<tr><td>Alt+P</td><td>till perioden</td></tr>
<tr><td>Ctrl+P</td><td>Utskrift</td></tr>
<tr><td>Esc</td><td>avbryt en pågående rapport (som Avbryt)</td></tr>
<tr><td>F1</td><td>den här handboken</td></tr>
<tr><td>Ctrl+Q</td><td>Avsluta</td></tr>
<tr><td colspan="2"><i>I förhandsgranskningen:</i></td></tr>
<tr><td>Page Up, Page Down, pilarna</td><td>föregående och nästa sida</td></tr>
<tr><td>Home, End</td><td>första och sista sidan</td></tr>
<tr><td>Esc</td><td>stänger</td></tr>
</table>
<p>Fönstret minns perioden, söktypen och var det stod till nästa gång (i %1).</p>
)")
                          .arg(escaped(settingsFile())));
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, guide);
        connect(buttons, &QDialogButtonBox::rejected, guide, &QDialog::hide);
        auto *layout = new QVBoxLayout(guide);
        layout->addWidget(text);
        layout->addWidget(buttons);
        guide->resize(560, 600);
    }
    guide->show();
    guide->raise();
    guide->activateWindow();
}

void Startmeny::showAbout() {
    const QString readme = installedReadme();
    const auto row = [](const QString &name, const QString &value) {
        return QStringLiteral("<tr><td>%1</td><td>%2</td></tr>").arg(name, value);
    };
    QString rows;
    rows += row(QStringLiteral("Version:"), QStringLiteral(LODVIK_VERSION));
    rows += row(QStringLiteral("Byggd:"), QStringLiteral(LODVIK_BUILD_DATE));
    rows += row(QStringLiteral("Qt:"), QString::fromLatin1(qVersion()));
    rows += row(QStringLiteral("SQLite:"), SqliteSearchSource::libraryVersion());
    rows += row(QStringLiteral("Programmapp:"), escaped(m_appPath));
    rows += row(QStringLiteral("Sökdatakälla:"), describeSearchSource(m_appPath));
    rows += row(QStringLiteral("Inställningar:"), escaped(settingsFile()));
    rows += row(QStringLiteral("Handbok:"),
                QStringLiteral("Hjälp → Handbok (F1); ") +
                    (readme.isEmpty() ? QStringLiteral("README.md i programmets källkod")
                                      : QStringLiteral("README i %1").arg(escaped(readme))));
    QMessageBox::about(this, QStringLiteral("Om LodvikProdSok"),
                       QStringLiteral("<h3>LodvikProdSok %1</h3><p>Produktsökning och "
                                      "lagerrapporter.</p><table cellspacing=\"0\" "
                                      "cellpadding=\"2\">%2</table>")
                           .arg(QStringLiteral(LODVIK_VERSION), rows));
}

#include "Startmeny/Startmeny.h"

#include "MDlib/MDlib.h"
#include "import/AccessImport.h"
#include "store/ExtractLoad.h"
#include "store/ExtractStore.h"

#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QStringList>

QString Startmeny::chooseAccessFile() {
    return QFileDialog::getOpenFileName(
        this, QStringLiteral("Importera Access-databas"), m_appPath,
        QStringLiteral("Access-databaser (*.mdb *.MDB);;Alla filer (*)"));
}

void Startmeny::importAccessDatabase() {
    const QString title = QStringLiteral("Importera Access-databas");
    const QString file = chooseAccessFile();
    if (file.isEmpty())
        return;
    const QString local = localDatabasePath();
    const QString appPath = m_appPath;
    auto result = std::make_shared<accessimport::ImportResult>();
    auto toServer = std::make_shared<bool>(false);
    Background importing;
    importing.work = [file, local, appPath, result, toServer](lodvik::Progress &progress) {
        // With [extrakt] the tables go to the server; a load another workstation runs there is
        // not waited for, so that the window stays the operator's.
        if (const std::optional<SearchSourceSettings> server = readExtractStoreSettings(appPath)) {
            *toServer = true;
            extractload::LoadOptions options;
            options.whenBusy = extractload::WhenBusy::Refuse;
            *result = accessimport::importAccessDatabaseToServer(file, *server, progress, options);
        } else {
            *result = accessimport::importAccessDatabase(file, local, progress);
        }
    };
    importing.done = [this, title, result, toServer] {
        QStringList lines;
        for (const accessimport::ImportedTable &table : result->tables)
            lines.append(QStringLiteral("%1 (%2 rader)").arg(table.name).arg(table.rows));
        QString text = QStringLiteral("Tabellerna har importerats till %1:\n%2")
                           .arg(*toServer ? QStringLiteral("extrakttabellerna på servern")
                                          : QStringLiteral("local.mdb"),
                                lines.join('\n'));
        if (!result->warnings.isEmpty())
            text += QStringLiteral("\n\nVarning:\n%1").arg(result->warnings.join('\n'));
        Label2->setText(QStringLiteral("Produktsökning"));
        QMessageBox::information(this, title, text);
    };
    runInBackground(title, importing);
}

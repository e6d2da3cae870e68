#include "Startmeny/Startmeny.h"

#include "MDlib/MDlib.h"
#include "import/AccessImport.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

QString Startmeny::chooseAccessFile() {
    return QFileDialog::getOpenFileName(
        this, QStringLiteral("Importera Access-databas"), m_appPath,
        QStringLiteral("Access-databaser (*.mdb *.MDB);;Alla filer (*)"));
}

void Startmeny::importAccessDatabase() {
    guarded(QStringLiteral("Importera Access-databas"), [this] {
        const QString file = chooseAccessFile();
        if (file.isEmpty())
            return;
        BusyCursorScope busy;
        const accessimport::ImportResult result =
            accessimport::importAccessDatabase(file, localDatabasePath(), m_progress);
        QStringList lines;
        for (const accessimport::ImportedTable &table : result.tables)
            lines.append(QStringLiteral("%1 (%2 rader)").arg(table.name).arg(table.rows));
        QString text =
            QStringLiteral("Tabellerna har importerats till local.mdb:\n%1").arg(lines.join('\n'));
        if (!result.warnings.isEmpty())
            text += QStringLiteral("\n\nVarning:\n%1").arg(result.warnings.join('\n'));
        m_progress.caption(QStringLiteral("Produktsökning"), lodvik::Progress::Show::Now);
        QMessageBox::information(this, QStringLiteral("Importera Access-databas"), text);
    });
}

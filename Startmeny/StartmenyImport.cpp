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
        const auto tables = accessimport::importAccessDatabase(
            file, m_appPath + QStringLiteral("/local.mdb"),
            [this](const QString &caption) { m_progress.caption(caption); });
        QStringList lines;
        for (const accessimport::ImportedTable &table : tables)
            lines.append(QStringLiteral("%1 (%2 rader)").arg(table.name).arg(table.rows));
        m_progress.caption(QStringLiteral("Produktsökning"), lodvik::Progress::Show::Now);
        QMessageBox::information(
            this, QStringLiteral("Importera Access-databas"),
            QStringLiteral("Tabellerna har importerats till local.mdb:\n%1").arg(lines.join('\n')));
    });
}

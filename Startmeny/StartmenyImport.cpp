#include "Startmeny/Startmeny.h"

#include "MDlib/MDlib.h"
#include "import/AccessImport.h"

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
    auto tables = std::make_shared<QList<accessimport::ImportedTable>>();
    Background import;
    import.work = [file, local, tables](lodvik::Progress &progress) {
        *tables = accessimport::importAccessDatabase(
            file, local, [&progress](const QString &caption) { progress.caption(caption);
});
}
;
import.done = [ this, title, tables ] { QStringList lines;
for (const accessimport::ImportedTable &table : *tables)
    lines.append(QStringLiteral("%1 (%2 rader)").arg(table.name).arg(table.rows));
Label2->setText(QStringLiteral("Produktsökning"));
QMessageBox::information(
    this, title,
    QStringLiteral("Tabellerna har importerats till local.mdb:\n%1").arg(lines.join('\n')));
}
;
runInBackground(title, import);
}

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
    auto result = std::make_shared<accessimport::ImportResult>();
    Background importing;
    importing.work = [file, local, result](lodvik::Progress &progress) {
        *result = accessimport::importAccessDatabase(file, local, progress);
    };
    importing.done = [this, title, result] {
        QStringList lines;
        for (const accessimport::ImportedTable &table : result->tables)
            lines.append(QStringLiteral("%1 (%2 rader)").arg(table.name).arg(table.rows));
        QString text =
            QStringLiteral("Tabellerna har importerats till local.mdb:\n%1").arg(lines.join('\n'));
        if (!result->warnings.isEmpty())
            text += QStringLiteral("\n\nVarning:\n%1").arg(result->warnings.join('\n'));
        Label2->setText(QStringLiteral("Produktsökning"));
        QMessageBox::information(this, title, text);
    };
    runInBackground(title, importing);
}

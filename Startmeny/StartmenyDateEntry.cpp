#include "Startmeny/Startmeny.h"

#include "MDlib/DateEntry.h"

#include <QLineEdit>
#include <QMessageBox>

void Startmeny::CompleteDateEntry() {
    // Setting the text below changes it again; that change must not complete a second time.
    static bool completing = false;
    if (completing || !datumtxt)
        return;
    completing = true;
    struct Done {
        ~Done() { completing = false; }
    } done;
    QString text = datumtxt->text();
    int rulesApplied = 0;
    FormatDateEntry(text, &rulesApplied);
    if (text != datumtxt->text())
        datumtxt->setText(text);
    if (rulesApplied > 0)
        datumtxt->end(false); // the caret behind the last character, as the End key puts it
}

void Startmeny::AcceptPeriodDate() {
    if (!datumtxt)
        return;
    const QString text = datumtxt->text();
    if (text.isEmpty())
        return;
    if (!IsDate(text)) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Fel"),
                        QStringLiteral("Ogiltigt datum!"), QMessageBox::Ok, this);
        box.exec();
        datumtxt->setFocus();
        return;
    }
    perioddatum = text; // as typed; other accepted layouts are kept too
}

#include "Startmeny/Startmeny.h"

#include "MDlib/DateEntry.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSignalBlocker>

void Startmeny::CompleteDateEntry() {
    if (!datumtxt)
        return;
    QString text = datumtxt->text();
    int rulesApplied = 0;
    FormatDateEntry(text, &rulesApplied);
    if (text != datumtxt->text()) {
        // The completed text is no new typing to complete again.
        const QSignalBlocker quiet(datumtxt);
        datumtxt->setText(text);
    }
    if (rulesApplied > 0)
        datumtxt->end(false); // the caret behind the last character, as the End key puts it
}

void Startmeny::AcceptPeriodDate() {
    // The message box takes the focus from the box, which may report leaving it once more.
    if (m_acceptingDate || !datumtxt)
        return;
    const QString text = datumtxt->text();
    if (text.isEmpty())
        return;
    if (!IsDate(text)) {
        m_acceptingDate = true;
        const auto done = qScopeGuard([this] { m_acceptingDate = false; });
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Fel"),
                        QStringLiteral("Ogiltigt datum!"), QMessageBox::Ok, this);
        box.exec();
        datumtxt->setFocus();
        return;
    }
    perioddatum = text; // as typed; other accepted layouts are kept too
}

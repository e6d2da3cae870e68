#include "Startmeny/Startmeny.h"

#include "data/SearchSource.h"

// TODO: replaced by its owner.
Startmeny::Startmeny(QWidget *parent) : QMainWindow(parent) {}
Startmeny::~Startmeny() = default;
void Startmeny::Form_Load() {}
void Startmeny::Sok_Click() {}
void Startmeny::periodtxt_KeyPress(int &) {}
void Startmeny::Nollställa_Click() {}
void Startmeny::radera_Click() {}
void Startmeny::TDBGrid1_KeyPress(int &) {}
void Startmeny::Avsluta_Click() {}
void Startmeny::showProgress(const QString &) {}
bool Startmeny::eventFilter(QObject *watched, QEvent *event) {
    return QMainWindow::eventFilter(watched, event);
}
void Startmeny::guarded(const QString &, const std::function<void()> &handler) {
    handler();
}
void Startmeny::reportError(const QString &, const QString &) {}

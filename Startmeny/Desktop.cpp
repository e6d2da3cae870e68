#include "Startmeny/Desktop.h"

#include "MDlib/SafeFile.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTranslator>

static void initDesktopResources() {
    Q_INIT_RESOURCE(Startmeny);
}

namespace {

// Debian 12 carries Qt's Swedish translation as qt_sv, written for older Qt releases. Texts that
// Qt 6 looks up under new names are found under the old ones: the standard buttons under
// QDialogButtonBox instead of QPlatformTheme, the editing menu of text boxes under QTextControl.
// The few texts of the file dialogs it lacks are given here. Whatever the catalogue holds under
// the new names comes first.
class OlderCatalogue : public QTranslator {
public:
    explicit OlderCatalogue(QObject *parent) : QTranslator(parent), m_qt(new QTranslator(this)) {}
    // The catalogue itself; a child, so that it goes only after this translator is taken out.
    QTranslator *qt() const { return m_qt; }

    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override {
        static const char *const renamed[][2] = {{"QPlatformTheme", "QDialogButtonBox"},
                                                 {"QWidgetTextControl", "QTextControl"}};
        for (const auto &names : renamed)
            if (qstrcmp(context, names[0]) == 0)
                return m_qt->translate(names[1], sourceText, disambiguation, n);
        static const char *const missing[][3] = {
            {"QFileDialog", "Look in:", "Leta i:"},
            {"QFileDialog", "&Choose", "&Välj"}, // the folder dialog's button
            {"QFileDialog", "&New Folder", "&Ny mapp"},
            {"QFileDialog", "Show ", "Visa "}, // "Visa Storlek": the detail view's columns
            {"QFileDialog", "Delete", "Ta bort"},
            {"QFileDialog", "Are you sure you want to delete '%1'?",
             "Vill du verkligen ta bort \"%1\"?"},
            {"QFileDialog", "Recent Places", "Senaste platser"},
            {"QFileSystemModel", "Computer", "Dator"},
            {"QAbstractFileIconProvider", "Folder", "Mapp"},
        };
        for (const auto &text : missing)
            if (qstrcmp(context, text[0]) == 0 && qstrcmp(sourceText, text[1]) == 0)
                return QString::fromUtf8(text[2]);
        return {};
    }
    bool isEmpty() const override { return false; }

private:
    QTranslator *m_qt;
};

void installSwedishTranslation() {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale swedish(QLocale::Swedish, QLocale::Sweden);
    auto *catalogue = new OlderCatalogue(QCoreApplication::instance());
    QTranslator *qt = catalogue->qt();
    // qtbase_sv where a Qt release carries it, else the older whole-Qt catalogue.
    if (!qt->load(swedish, QStringLiteral("qtbase"), QStringLiteral("_"), folder) &&
        !qt->load(swedish, QStringLiteral("qt"), QStringLiteral("_"), folder)) {
        delete catalogue;
        return; // qt6-translations-l10n is missing: Qt's own texts stay English
    }
    // The translator installed last is asked first.
    QApplication::installTranslator(catalogue);
    QApplication::installTranslator(qt);
}

} // namespace

bool waitForFifoReader(const QString &fileName, qint64 waitedMs) {
    // Shown after a moment; until then the window waits as for any short save.
    static QPointer<QProgressDialog> shown;
    if (waitedMs < 0) {
        delete shown;
        return false;
    }
    if (!shown && waitedMs >= 300) {
        shown = new QProgressDialog(
            QStringLiteral("Väntar på att ett program ska läsa från %1 (högst %2 sekunder)...")
                .arg(QDir::toNativeSeparators(fileName))
                .arg(lodvik::kFifoReaderWaitMs / 1000),
            QStringLiteral("Avbryt"), 0, 0, QApplication::activeWindow());
        shown->setWindowTitle(QStringLiteral("Spara"));
        // Nothing else in the program can be used meanwhile: the save is not over.
        shown->setWindowModality(Qt::ApplicationModal);
        shown->setMinimumDuration(0);
        shown->show();
    }
    if (!shown)
        return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 15);
    return shown->wasCanceled();
}

void prepareDesktop() {
    initDesktopResources();
    QApplication::setOrganizationName(QStringLiteral("lodvikprodsok"));
    QApplication::setApplicationName(QStringLiteral("lodvikprodsok"));
    QApplication::setApplicationVersion(QStringLiteral(LODVIK_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("lodvikprodsok"));
    QApplication::setWindowIcon(programIcon());
    // The design's fonts are Windows fonts. Fonts of the same widths keep captions within the
    // design's positions: Liberation Sans for Arial and for MS Sans Serif, whose width it comes
    // close to, Liberation Serif for Times New Roman. Installed originals still come first.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Times New Roman"),
                              QStringLiteral("Liberation Serif"));
    installSwedishTranslation();
    lodvik::setFifoWaitCheck(waitForFifoReader);
}

QIcon programIcon() {
    initDesktopResources();
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/Startmeny/icons/lodvikprodsok-%1.png").arg(size),
                     QSize(size, size));
    return icon;
}

QString cacheFolder() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    return base + QStringLiteral("/lodvikprodsok");
}

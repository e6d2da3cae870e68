#include "MDlib/SystemError.h"

#include <QFileDevice>

#include <cerrno>
#include <cstring>

namespace lodvik {

QString details(const QString &engineWords) {
    const QString words = engineWords.trimmed();
    return words.isEmpty() ? QString() : QStringLiteral("\nDetaljer: %1").arg(words);
}

QString systemReason(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("programmet saknar behörighet");
    case ENOENT:
        return QStringLiteral("filen eller mappen finns inte");
    case ENOTDIR:
        return QStringLiteral("en del av sökvägen är ingen mapp");
    case EISDIR:
        return QStringLiteral("det är en mapp");
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QStringLiteral("disken eller enheten är full");
    case EROFS:
        return QStringLiteral("disken är skrivskyddad");
    case EPIPE:
        return QStringLiteral("mottagaren har slutat läsa");
    case EIO:
        return QStringLiteral("disken gav ett läs- eller skrivfel");
    case EEXIST:
        return QStringLiteral("filen finns redan");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("filen används av ett annat program");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("programmet har för många filer öppna");
    case ENAMETOOLONG:
        return QStringLiteral("namnet är för långt");
    case ENOMEM:
        return QStringLiteral("minnet räckte inte");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("enheten finns inte eller tar inte emot något");
    case ELOOP:
        return QStringLiteral("symboliska länkar pekar på varandra i en slinga");
    default:
        return QStringLiteral("ett fel i filsystemet (felkod %1)").arg(error);
    }
}

QString fileFailure(const QFileDevice &file, int error) {
    QString why;
    if (error != 0) {
        why = systemReason(error);
    } else {
        switch (file.error()) {
        case QFileDevice::PermissionsError:
            why = systemReason(EACCES);
            break;
        case QFileDevice::ResourceError:
            why = systemReason(ENOSPC);
            break;
        case QFileDevice::WriteError:
        case QFileDevice::ReadError:
            why = systemReason(EIO);
            break;
        case QFileDevice::OpenError:
            why = QStringLiteral("filen kan inte öppnas");
            break;
        default:
            why = QStringLiteral("ett okänt fel");
        }
    }
    const QString words = file.errorString();
    return why + QLatin1Char('.') +
           details(words == QLatin1String("Unknown error") ? QString() : words);
}

} // namespace lodvik

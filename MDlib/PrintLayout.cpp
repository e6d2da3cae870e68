#include "MDlib/PrintLayout.h"

#include "printengine/PrintEngine.h"

#include <exception>

QString gLetterhead[4];

namespace {

// Runs one engine call; a failure is dropped so that the next call still runs.
template <typename Call> void ignoringErrors(Call call) {
    try {
        call();
    } catch (const std::exception &) {
    }
}

void setFont(PrintEngine &engine, int size, bool bold) {
    ignoringErrors([&] { engine.FontName(QStringLiteral("Times New Roman")); });
    ignoringErrors([&] { engine.FontSize(size); });
    ignoringErrors([&] { engine.FontBold(bold); });
}

} // namespace

void PrintAt(PrintEngine &engine, const QString &text, const qint16 &x, const qint16 &y) {
    if (x != -1)
        ignoringErrors([&] { engine.TextLeft(x); });
    if (y != -1)
        ignoringErrors([&] { engine.TextTop(y); });
    ignoringErrors([&] { engine.PrintText(text); });
}

void SetNormalFont(PrintEngine &engine) {
    setFont(engine, 10, false);
}

void SetBoldFont(PrintEngine &engine) {
    setFont(engine, 10, true);
}

void SetHeadingFont(PrintEngine &engine) {
    setFont(engine, 18, true);
}

void PrintLetterhead(PrintEngine &engine) {
    SetHeadingFont(engine);
    PrintAt(engine, gLetterhead[0], 1160, 58);
    SetNormalFont(engine);
    PrintAt(engine, gLetterhead[1], 1160, 464);
    PrintAt(engine, gLetterhead[2], 1160, 696);
    PrintAt(engine, gLetterhead[3], 1160, 928);
}

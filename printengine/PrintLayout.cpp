#include "printengine/PrintLayout.h"

#include "printengine/PrintEngine.h"

#include <exception>

namespace {

// The letterhead block keeps its fonts and positions; its lines have never been filled.
const QString letterhead[4];

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
    PrintAt(engine, letterhead[0], 1160, 58);
    SetNormalFont(engine);
    PrintAt(engine, letterhead[1], 1160, 464);
    PrintAt(engine, letterhead[2], 1160, 696);
    PrintAt(engine, letterhead[3], 1160, 928);
}

#pragma once

#include "ProgramFolder.h"

#include <QStringList>

#include <tuple>
#include <utility>
#include <vector>

// Four products whose figures are worked out by hand, period November 2010:
// P1 (1 unit per pack): FRN 30 - 20 available = 10, DP 5, PJ none, sales 104/26 = 4 a week,
//    FRN sales 6 months x 13 / 26 = 3 a week; coverage 15/4 = 3.75 -> 4, FRN 10/3 -> 3.
// P2 (2 per pack, umfaktor 2000): FRN 8 - 20 = -12, DP none, PJ 5000/2000 = 2.5 -> 3,
//    back orders PJ 3*1000/2000 + 1*1000/2000 = 2, FRN 5*1000/2000 = 2.5 -> 3, orders PJ
//    7*1000/2000 = 3.5 -> 4, FRN 1*1000/2000 = 0.5 -> 1, sales 13*1000/2000/26 = 0.25 -> empty
//    (below half a pack) so coverage 0.
// P3 (1 per pack, no description): FRN none, DP 9 - 4 = 5, sales 52/26 = 2; coverage 2.5 -> 3.
// P5 (1 per pack): FRN 10, DP 4, PJ 6000/1000 = 6, sales 78/26 = 3; coverage 20/3 -> 7
//    (each stock term counts), FRN 10 / (26/26 = 1) = 10.
inline void handWorkedStore(ProgramFolder &folder) {
    using lodvik::Variant;
    const auto t = [](const char *text) { return Variant::String(QString::fromUtf8(text)); };
    const auto n = [](double d) { return Variant::Double(d); };
    const auto add = [&](const char *table, const QStringList &columns,
                         const std::vector<Variant> &values) {
        folder.insert(QString::fromLatin1(table), values, columns);
    };
    const QStringList omr{"iblitm", "imdsc1", "umconv"};
    add("pjomr", omr, {t("P2"), t("Pall blå"), n(2)});
    add("pjomr", omr, {t("P1"), t("Pall röd"), n(1)});
    add("pjomr", omr, {t("P3"), Variant::Null(), n(1)});
    add("pjomr", omr, {t("P5"), t("Pall grön"), n(1)});
    for (const auto &[product, stock, available] :
         {std::tuple{"P5", 10, 0}, std::tuple{"P1", 30, 20}, std::tuple{"P2", 8, 20}}) {
        add("pjstkfrn", {"ivcitm", "lipqoh"}, {t(product), n(stock)});
        add("avail", {"ivcitm", "quantity"}, {t(product), n(available)});
    }
    add("DTSPL", {"Fält2", "Fält39"}, {t("P5"), n(4)});
    add("DTSPL", {"Fält2", "Fält39"}, {t("P1"), n(5)});
    add("DTSPL", {"Fält2", "Fält39", "Fält18"}, {t("P3"), n(9), n(4)});
    add("pjstk", {"imlitm", "lipqoh"}, {t("P5"), n(6000)});
    add("pjstk", {"imlitm", "lipqoh"}, {t("P2"), n(5000)});
    add("PJOTBALLA", {"sdaitm", "antaltusen"}, {t("P2"), n(3)});
    add("pjpvmens", {"mflitm", "mffqt"}, {t("P2"), n(1)});
    add("PJOFBACK", {"sdaitm", "antaltusen"}, {t("P2"), n(5)});
    add("PJOTALLA", {"sdaitm", "antaltusen"}, {t("P2"), n(7)});
    add("PJOFFRAM", {"sdaitm", "antaltusen"}, {t("P2"), n(1)});
    for (const auto &[product, sold] : {std::pair{"P5", 78}, {"P1", 104}, {"P2", 13}, {"P3", 52}})
        add("pjsfakt", {"sdlitm", "sdpqor"}, {t(product), n(sold)});
    QStringList hist{"ivcitm"};
    std::vector<Variant> p1{t("P1")}, p5(13, n(0));
    for (int m = 1; m <= 12; ++m) {
        hist << QStringLiteral("IHSQ%1").arg(m, 2, 10, QLatin1Char('0'));
        p1.push_back(n(13));
    }
    p5[0] = t("P5");
    p5[5] = n(20); // May and August of the six months before November
    p5[8] = n(6);
    add("frnhist", hist, p1);
    add("frnhist", hist, p5);
}

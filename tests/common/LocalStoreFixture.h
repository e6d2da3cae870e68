#pragma once

#include "ProgramFolder.h"

// A fresh program folder whose local.mdb has every catalogue table, empty.
class LocalStoreFixture : public ProgramFolder {
public:
    // A DTSPL row: the product at position 2 and the given quantities by position (4-45); the
    // other quantities are Null.
    void dtspl(const lodvik::Variant &product, const QList<QPair<int, lodvik::Variant>> &values) {
        std::vector<lodvik::Variant> row(46, lodvik::Variant::Null());
        row[0] = lodvik::Variant::Long(++m_dtsplId);
        row[1] = lodvik::Variant::String(QStringLiteral("DP1"));
        row[2] = product;
        for (const auto &[position, value] : values)
            row[size_t(position)] = value;
        insert(QStringLiteral("DTSPL"), row);
    }

private:
    int m_dtsplId = 0;
};

namespace testvalues {
inline lodvik::Variant S(const QString &text) {
    return lodvik::Variant::String(text);
}
inline lodvik::Variant D(double d) {
    return lodvik::Variant::Double(d);
}
inline lodvik::Variant L(int i) {
    return lodvik::Variant::Long(i);
}
inline lodvik::Variant N() {
    return lodvik::Variant::Null();
}
} // namespace testvalues

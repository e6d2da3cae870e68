#pragma once

#include "figures/Period.h"
#include "planning/Planning.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include <vector>

// The purchase proposal (planning::proposalLines) as files.
namespace reports {

// As a Swedish spreadsheet opens it on a double-click: UTF-8 with BOM, ';', decimal comma, the
// columns Leverantör, Produkt, Benämning, Varugrupp, Antal förp., Multipel, Förs./v PJ, Slut,
// Beställ senast; formula-like texts neutralised.
QByteArray proposalCsv(const std::vector<planning::ProposalLine> &lines, const QDate &period);
// The same as a workbook, the dates as date cells, with a "Att beställa" total under the packs;
// raises lodvik::Error when it cannot be saved (an earlier file stays as it was).
void saveProposalWorkbook(const std::vector<planning::ProposalLine> &lines,
                          const figures::Period &period, const QString &fileName);
// The lines (in proposalLines' order) as a workbook and a CSV per supplier in folder,
// Inkopsforslag<period>-<supplier>.xls/.csv ("utan-leverantor" for none); the files written.
// Raises lodvik::Error when one cannot be saved.
QStringList saveProposalPerSupplier(const std::vector<planning::ProposalLine> &lines,
                                    const figures::Period &period, const QString &folder);
// {"period", "target_weeks", "suppliers": [{"supplier", "total_packs", "rows": [...]}]}
QByteArray proposalJson(const std::vector<planning::ProposalLine> &lines,
                        const figures::Period &period, double targetWeeks);

} // namespace reports

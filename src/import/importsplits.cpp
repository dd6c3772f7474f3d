#include "import/importsplits.h"

#include "model/budget.h"
#include "model/split.h"

namespace {
ItemId envelopeNamed(const Budget& budget, const QString& category) {
    if (category.isEmpty())
        return kNoId;
    const QString last = category.section(u':', -1).trimmed();
    ItemId byLast = kNoId;
    for (const AccountBase* item : budget.itemsOfType(ItemType::Envelope)) {
        if (item->id() == kChargesEnvelopeId)
            continue;
        if (item->getName().compare(category, Qt::CaseInsensitive) == 0)
            return item->id();
        if (byLast == kNoId && !last.isEmpty() &&
            item->getName().compare(last, Qt::CaseInsensitive) == 0)
            byLast = item->id();
    }
    return byLast;
}
} // namespace

void mapImportParts(const Budget& budget, std::vector<ImportRecord>& records) {
    for (ImportRecord& record : records)
        for (ImportPart& part : record.parts) {
            part.envelopeId = envelopeNamed(budget, part.category);
            if (part.envelopeId == kNoId)
                part.envelopeId = record.envelopeId;
        }
}

bool partsAssigned(const Budget& budget, const ImportRecord& record) {
    for (const ImportPart& part : record.parts)
        if (!budget.findEnvelope(part.envelopeId))
            return false;
    return !record.parts.empty();
}

QString importSplitText(const ImportRecord& record) {
    return QStringLiteral("Split (%1)").arg(record.parts.size());
}

std::vector<Transaction> importTransactions(const Transaction& payment, const ImportRecord& record,
                                            quint32 splitNumber) {
    if (record.parts.size() < 2)
        return {payment};
    std::vector<SplitPart> parts;
    for (const ImportPart& part : record.parts)
        parts.push_back(SplitPart{part.envelopeId, part.amount,
                                  part.memo.isEmpty() ? payment.description : part.memo});
    return splitTransactions(payment, parts, splitNumber);
}

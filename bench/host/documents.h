#pragma once
// 300 land-records documents for the emulator (and the test server): books 1000-1029, ten pages
// each. With image ids, each document names an image-master row IM<10-digit number>.
#include <QString>

inline QString landRecordsDocuments(bool withImageIds)
{
    QString docs = QStringLiteral("INSERT INTO documents(db, book, page, year, month, day, ctl, inst, key_code, "
                                  "doc_id, doc_type%1) VALUES ")
                       .arg(withImageIds ? ", imid" : "");
    for (int i = 0; i < 300; ++i) {
        docs += QString("%1('LR','%2','%3','2020','01','02','%4','000001','K','LR2020%4','DEED'")
                    .arg(i ? "," : "")
                    .arg(1000 + i / 10, 6, 10, QChar('0'))
                    .arg(1 + i % 10, 4, 10, QChar('0'))
                    .arg(i, 5, 10, QChar('0'));
        docs += withImageIds ? QString(",'IM%1')").arg(i, 10, 10, QChar('0')) : QStringLiteral(")");
    }
    return docs + ";\n";
}

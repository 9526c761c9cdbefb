#include "platform/annot/annoterror.h"

QString annotErrorText(int number)
{
    switch (number) {
    case annotErr::BadData: return QStringLiteral("Invalid annotation data");
    case annotErr::TooLarge: return QStringLiteral("Annotation data is too large");
    case annotErr::BadVersion: return QStringLiteral("Unsupported annotation data version");
    case annotErr::BadValue: return QStringLiteral("Invalid annotation property value");
    default: return QStringLiteral("Annotation error");
    }
}

void raiseAnnotError(int number, const QString &detail)
{
    QString text = annotErrorText(number);
    if (!detail.isEmpty())
        text += QStringLiteral(": ") + detail;
    throw VbError(number, text, QStringLiteral("QelAnnot"));
}

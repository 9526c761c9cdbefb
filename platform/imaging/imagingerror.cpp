#include "platform/imaging/imagingerror.h"

namespace {
struct Entry {
    int number;
    const char *text;
};
constexpr Entry table[] = {
    {ezErr::NoImage, "No image is loaded"},
    {ezErr::InvalidPage, "Invalid page number"},
    {ezErr::FileNotFound, "File not found"},
    {ezErr::BadImageFile, "Invalid or corrupt image file"},
    {ezErr::WriteFailed, "Unable to write the image file"},
    {ezErr::NoSaveFileName, "No save file name has been set"},
    {ezErr::EmptyDocument, "There are no pages to save"},
    {ezErr::BadPageList, "Invalid page list"},
    {ezErr::BadValue, "Invalid property value"},
    {ezErr::BadAnnotationData, "Invalid annotation data"},
    {ezErr::BadHandle, "Invalid image handle"},
    {ezErr::PrintFailed, "Printing failed"},
    {ezErr::ImageTooLarge, "The image is too large"},
    {ezErr::BadIndex, "Index out of range"},
};
}

QString imagingErrorText(int number)
{
    for (const Entry &e : table)
        if (e.number == number)
            return QString::fromLatin1(e.text);
    return QStringLiteral("Imaging error");
}

void raiseImagingError(int number, const QString &detail)
{
    QString text = imagingErrorText(number);
    if (!detail.isEmpty())
        text += QStringLiteral(": ") + detail;
    throw VbError(number, text, QStringLiteral("QelEzImage"));
}

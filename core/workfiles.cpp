#include "core/workfiles.h"

namespace {

struct WorkFile {
    const char *name;
    int kinds;
};

const WorkFile kWorkFiles[] = {
    {"temp.tif", WorkspaceFile},
    {"temp2.tif", WorkspaceFile | EditorCopy},
    {"temp3.tif", WorkspaceFile},
    {"tempburn.tif", WorkspaceFile},
    {"tempoverlay.tif", WorkspaceFile},
    {"tempoverlayANN.tif", WorkspaceFile},
    {"tempredact.tif", WorkspaceFile | EditorCopy},
    {"tempprintpreview.tif", WorkspaceFile},
    {"resize.tif", WorkspaceFile | EditorCopy},
    {"resize2.tif", WorkspaceFile | EditorCopy},
    {"temp4.tif", WorkspaceFile},
    {"temp5.tif", WorkspaceFile},
    {"byteAlign.tif", WorkspaceFile},
    {"redact2.tif", EditorCopy},
    {"tempprintpreview2.tif", EditorCopy},
    {"crop.tif", EditorCopy},
    {"crop2.tif", EditorCopy},
    {"cropprebytealign.tif", EditorCopy},
    {"temp8.tif", RoadFile},             // the e-filed store's image
    {"tempextrastep.tif", RoadFile},     // the view's extra save step
    {"tempcoversheet1.tif", RoadFile},   // the cover sheet joined to the document
    {"tempcoversheet2.tif", RoadFile},
    {"tempprocessannotate.tif", RoadFile}, // e-file annotations taken off
    {"tmp1st.tif", RoadFile},            // barcode separation's first page
    {"tmpMismatch.tif", RoadFile},       // barcode separation's page-count check
    {"bctemp.tif", RoadFile},            // barcode separation's document
    {"storebackup.tif", RoadFile},       // a store's copy of the document, to put it back
};

} // namespace

QStringList workFileNames(int kinds)
{
    QStringList names;
    for (const WorkFile &f : kWorkFiles)
        if (f.kinds & kinds)
            names << QString::fromLatin1(f.name);
    return names;
}

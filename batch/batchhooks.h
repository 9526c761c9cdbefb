#pragma once
// Calls from the batch procedures into procedures of other subsystems that are wired in at
// start-up. Each hook does nothing until it is set.
#include <QString>
#include <functional>

class Form;
class QelEzImage;

namespace batchhooks {

// Parks each page's annotations in its "QuorlaCrop.ann" file and drops those outside the
// rectangle: form, control, left, top, width, height, page, all pages, flag.
inline std::function<void(Form &, QelEzImage &, int, int, int, int, int, bool, bool)>
    do_delete_annotations_outside_regions;

// The redaction editor's fresh annotation security for every page.
inline std::function<void(Form &)> redact_set_annotation_security;

} // namespace batchhooks

#pragma once
// Procedures of other parts of the workstation that the annotation procedures call. Each is
// installed by the part that provides it; an empty hook does nothing.
#include <QSize>
#include <functional>

class QWidget;

struct AnnotHooks {
    // Pixel size (cx, cy) of one line of maxLen letters "W" in "Courier New" at fontSize points.
    // Empty: 0 x 0.
    std::function<QSize(qint16 maxLen, qint16 fontSize)> do_calculate_textsize_in_pixels;
    // The redaction editor reinstalls the security handlers of its page view.
    std::function<void(QWidget *redactionForm)> redact_set_annotation_security;
};

inline AnnotHooks &annotHooks()
{
    static AnnotHooks hooks;
    return hooks;
}

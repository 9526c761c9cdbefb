#pragma once
// Procedures of other parts of the workstation that the annotation procedures call. Each is
// installed by the part that provides it; an empty hook does nothing.
#include <functional>

class QWidget;

struct AnnotHooks {
    // The redaction editor reinstalls the security handlers of its page view.
    std::function<void(QWidget *redactionForm)> redact_set_annotation_security;
};

inline AnnotHooks &annotHooks()
{
    static AnnotHooks hooks;
    return hooks;
}

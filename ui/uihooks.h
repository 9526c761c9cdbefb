#pragma once
#include <QString>
#include <functional>

// Procedures of the capture workflow and the batch subsystem that the main window calls. Each
// is installed by its subsystem; an empty hook does nothing.
struct UiHooks {
    std::function<void()> user_go;                       // Go: check the fields, look up
    std::function<void(const QString &)> run_program;    // request road ("P", "N", "A", ...)
    std::function<void()> do_HandFeedScan;               // hand-feed scan (result unused)
    std::function<void()> showOverhead;                  // frmOverhead, modal over the main window
    std::function<void()> showBatchRotate;               // frmBatchRotate, modal
    std::function<void()> showBatch;                     // frmBatch, modal
};

inline UiHooks &uiHooks()
{
    static UiHooks hooks;
    return hooks;
}

template <class F, class... A> void callHook(const F &hook, A &&...args)
{
    if (hook)
        hook(std::forward<A>(args)...);
}

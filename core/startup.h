#pragma once
// Start-up of the workstation: everything from the debug switch to the shown main window.
#include <QString>
#include <functional>

// The title the program's message boxes and About box carry, and its version (the client
// version it reports to the host); set before the first window.
void setProgramTitleAndVersion();
// Brings the program up; called once from the main window's Load, before the first reset.
void app_init();
// Prepares the imaging controls and the scanner for scanning (only with a scanner).
void initScanner();

// Services of neighbouring parts that start-up and shutdown call. Each can be replaced (tests
// record the calls; the host and filter layers plug in the real ones).
struct CoreHooks {
    // Creates g_FilterSettings when needed and restores it from the stored filter text.
    std::function<void(const QString &filterText)> restoreFilterChain;
    // The normal book-size preset of the overhead scanner.
    std::function<void()> setBookSizeNormal;
    // Loads the e-file partner list for the customer (signs on first when needed).
    std::function<void(qint16 state)> getEfilePartners;
    // Host sign-off: opens a connection (connection text, user, password) and sends function
    // code "9". Raises VbError on failure. Default: the host is not available (raises).
    std::function<void(const QString &connection, const QString &user, const QString &password)> signOff;
    // Ends the process at once (no shutdown, nothing written).
    std::function<void(int code)> endProcess;
    // The command line the program was started with (arguments after the program name).
    std::function<QString()> commandLine;
};
CoreHooks &coreHooks();
// Puts every hook back to its default.
void resetCoreHooks();

// Where the scanner's settings file lives: beside the settings store.
QString scannerConfigPath();

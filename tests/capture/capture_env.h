#pragma once
// Shared set-up of the capture tests: private settings and temp folders, message boxes and
// modal forms answered by scripts, and a fake scanner installed as the process's session.
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

#include "hostsim/emulator.h"
#include "platform/forms/forms.h"
#include "platform/forms/msgbox.h"
#include "platform/scan/fakescanner.h"

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

MsgBoxScript &boxes();
FormScript &forms();

// The main window loaded and the state reset after its Load.
void loadMainWindow();
// The merge timer stopped and both of the main window's views emptied; the state reset.
void clearMainViews();

// A fresh fake scanner (open, 200 dpi, Legal page) behind every control; the overhead model's
// table ("MIN7PS") in a private table folder.
class ScannerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The error number a call raises (0 when none).
    static int errorOf(const std::function<void()> &fn);

    FakeScanner *fake = nullptr;
    QTemporaryDir dir;
};

// A store's surroundings under dir: the temp folder "temp", the share "share" with the store
// folder, the records-host emulator with one account, operator and document (DOC1), the host
// settings, a signed-on operator and the New York recorded-land mode. Returns the emulator;
// tearDownStoreHost undoes the environment.
std::unique_ptr<hostsim::HostEmulator> setUpStoreHost(const QTemporaryDir &dir);
void tearDownStoreHost();

// The host's values of a store road come from the emulator, blank-padded to their widths as a
// records host returns them:
// an e-filed document (0000000002, two pages, recorded land) queued with that burned-image path
// and fetched as "Get Batch" does; the e-file document type and the recorded-land mode set.
// False when the host refused.
bool fetchEFiledDocument(hostsim::HostEmulator &em,
                         const QString &burnedPath = QStringLiteral("\\\\QHOST\\EFILE\\BURNED\\0000000002.TIF"));

// A fixture over setUpStoreHost: the main window loaded, the state reset, the emulator and the
// scripted boxes and forms; both views and the merge timer cleared afterwards.
template <class Base = ::testing::Test>
class StoreHostTest : public Base {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        loadMainWindow(); // before the state is set: its Load resets the workspace
        em = setUpStoreHost(dir);
        msg = std::make_unique<MsgBoxScript>();
        script = std::make_unique<FormScript>();
    }

    void TearDown() override
    {
        clearMainViews();
        script.reset();
        msg.reset();
        em.reset();
        tearDownStoreHost();
    }

    QTemporaryDir dir;
    std::unique_ptr<hostsim::HostEmulator> em;
    std::unique_ptr<MsgBoxScript> msg;
    std::unique_ptr<FormScript> script;
};

#pragma once
// Host tests: a fresh emulator database per test behind the data-access layer, the stored host
// settings, the main window, and message boxes and modal forms answered by scripts.
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "../hostsim/programparams.h"
#include "hostsim/emulator.h"
#include "platform/ado/ado.h"
#include "platform/forms/forms.h"
#include "platform/forms/msgbox.h"
#include "support/checks.h"

// One open of a connection as the provider saw it.
struct OpenCall {
    QString connectionString;
    QString userId;
    QString password;
};

class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Stores the connection settings (frmConfig DSN, UID, PWD).
    void setHostSettings(const QString &dsn, const QString &uid, const QString &pwd);
    // A connection opened as the callers open theirs.
    void openConnection();
    // The last call of a program (fails the test when there is none).
    hostsim::HostCall lastCall(const QString &program) const;
    // Checks the program's last call: its statement, one bound marker per parameter, and names,
    // widths and values in order.
    void expectCall(const QString &program, const std::vector<Param> &params) const;
    // The program's next call answers with these values instead of running.
    void scriptAnswer(const QString &program, const QMap<QString, QString> &answer);
    // The program's next call fails with this error.
    void failNextCall(const QString &program, int number = adoErr::ProviderFailed, const QString &text = QString());
    // The prompts of the boxes shown so far.
    QStringList prompts() const;

    QTemporaryDir dir;
    std::shared_ptr<hostsim::HostEmulator> em;
    std::vector<OpenCall> opens;
    std::unique_ptr<MsgBoxScript> boxes;
    std::unique_ptr<FormScript> forms;
    std::unique_ptr<AdoConnection> conn;
};

// The statement that calls a program with that many markers.
QString callText(const QString &program, int markers);
// A program's parameters as this fixture's workstation sends them.
std::vector<Param> fromStation(const std::vector<Param> &params);

#pragma once
// Shared fixture of the core tests: fresh state, a private settings folder and temp folder.
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/state.h"
#include "platform/settings/settings.h"
#include "platform/system/system.h"
#include "support/checks.h"

class CoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        resetState();
        setSettingsFolder(dir.filePath("config"));
        setTempBase(dir.filePath("tmp"));
        setProgramFolder(dir.filePath("prog/bin"));
    }
    void TearDown() override
    {
        resetState();
        setTempBase(QString());
        setProgramFolder(QString());
    }
    QTemporaryDir dir;
};

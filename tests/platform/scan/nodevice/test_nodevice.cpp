// The SANE backend with a configuration that loads no backend: nothing answers. A process of
// its own, since SANE keeps the backends it loaded for the life of the process.
#include "platform/scan/sanesession.h"
#include "support/checks.h"

#include <gtest/gtest.h>

TEST(SaneNoDevice, OpenFailsWhenNoScannerAnswers)
{
    SaneSession session;
    EXPECT_TRUE(session.sourceList().isEmpty());
    EXPECT_EQ(errorOf([&] { session.setScannerOpen(true); }), scanErr::NoScanner);
    EXPECT_FALSE(session.scannerOpen());
    EXPECT_EQ(session.sourceName(), QString());
    EXPECT_EQ(session.scanStateText().section(QLatin1Char(','), 0, 0), QStringLiteral("Source="));
}

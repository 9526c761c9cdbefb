#include "platform/analysis/ip2filterdialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <gtest/gtest.h>

TEST(FilterDialog, EditsOrderAndSettings)
{
    FilterChain chain;
    chain.loadFromText(QStringLiteral("IP2PrefilterA|IP2BlankDetector(3)"));
    IP2FilterDialog dlg(chain);
    auto *list = dlg.findChild<QListWidget *>(QStringLiteral("lstFilters"));
    auto *settings = dlg.findChild<QLineEdit *>(QStringLiteral("txtSettings"));
    ASSERT_TRUE(list && settings);
    ASSERT_EQ(list->count(), 2);

    list->setCurrentRow(0);
    dlg.addFilter(QStringLiteral("IP2MarginFilter")); // behind the selection, selected, defaults shown
    EXPECT_EQ(settings->text(), u"0in;0in;0in");
    dlg.setSelectedSettings(QStringLiteral("1/10in;(1/10in);0in|")); // separators are dropped
    dlg.moveSelected(-1);
    dlg.moveSelected(-1); // already first: stays
    EXPECT_EQ(dlg.chainText(), u"IP2MarginFilter(1/10in;1/10in;0in)|IP2PrefilterA|IP2BlankDetector(3)");
    list->setCurrentRow(2);
    dlg.removeSelected();
    dlg.accept();
    EXPECT_EQ(dlg.editedChain().settingsText(), u"IP2MarginFilter(1/10in;1/10in;0in)|IP2PrefilterA");
    EXPECT_EQ(chain.count(), 2); // the caller's chain changes only through edit()
}

TEST(FilterDialog, RefusesInvalidSettings)
{
    FilterChain chain;
    IP2FilterDialog dlg(chain);
    dlg.addFilter(QStringLiteral("IP2BlankDetector"));
    dlg.setSelectedSettings(QStringLiteral("high"));
    dlg.accept();
    EXPECT_NE(dlg.result(), int(QDialog::Accepted));
    EXPECT_EQ(dlg.editedChain().count(), 0);
    EXPECT_FALSE(dlg.findChild<QLabel *>(QStringLiteral("lblError"))->text().isEmpty());
    dlg.setSelectedSettings(QStringLiteral("4"));
    dlg.accept();
    EXPECT_EQ(dlg.editedChain().settingsText(), u"IP2BlankDetector(4)");
}

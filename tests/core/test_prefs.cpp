#include "core/errors.h"
#include "core/prefs.h"
#include "coretest.h"

namespace {

class Prefs : public CoreTest {
protected:
    void TearDown() override
    {
        setSettingsObserver({});
        setPreferencesLoaded(false);
        CoreTest::TearDown();
    }
    StartupSettings read(QStringList *bad = nullptr)
    {
        return readStartupSettings([bad](const QString &key, const VbError &e) {
            if (bad)
                *bad << key + "=" + QString::number(e.number);
        });
    }
    static void store(const char *key, const char *value)
    {
        SaveSetting(APP_TITLE, "Preferences", key, value);
    }
};

} // namespace

TEST_F(Prefs, FirstStartWithAnEmptyStoreGivesTheDefaults)
{
    QStringList bad;
    const StartupSettings s = read(&bad);
    EXPECT_TRUE(bad.isEmpty());
    EXPECT_EQ(s.filterState, "NOTFOUND");
    EXPECT_EQ(s.dsn, "");
    EXPECT_EQ(s.storedMode, 0);
    EXPECT_EQ(g_APP_STATE, 0);
    EXPECT_EQ(g_intBaseLineBrightness, 128);
    EXPECT_EQ(g_intDefaultPaperSource, 0);
    EXPECT_EQ(g_IntDefaultRescanAction, 1);
    EXPECT_EQ(g_intBlankSensitivity, 3);
    EXPECT_EQ(g_AutoNextPageInterface, 1);
    for (bool b : {g_blnReturnDefault, g_blnPromptOnDelete, g_blnDetectBlank, g_blnDefaultDuplex,
                   g_blnDoByteAlign, g_blnProcessBatch, g_blnImprint})
        EXPECT_TRUE(b);
    EXPECT_EQ(gdtDocType, 0);
    EXPECT_EQ(g_AutoMaticRedaction, 0);
    EXPECT_EQ(g_RedactionDefaultFillColor, 0);
    EXPECT_EQ(g_blnUseDefaultPrinter, 0);
    EXPECT_EQ(g_intDefaultPrintScale, 0);
    EXPECT_TRUE(preferencesLoaded());
}

TEST_F(Prefs, StoredValuesConvertAndFixUpsApply)
{
    struct Case { const char *key, *stored; std::function<bool()> check; };
    const Case cases[] = {
        {"g_intBaseLineBrightness", "0", [] { return g_intBaseLineBrightness == 128; }},
        {"g_intDefaultPaperSource", "-1", [] { return g_intDefaultPaperSource == 0; }},
        {"g_intBlankSensitivity", "5", [] { return g_intBlankSensitivity == 5; }},
        {"G_BLNPROCESSBATCH", "False", [] { return !g_blnProcessBatch; }},
        {"g_blnDetectBlank", "0", [] { return !g_blnDetectBlank; }},
        {"g_blnImprint", "true", [] { return g_blnImprint; }},
        {"g_RedactionDefaultFillColor", "16777215", [] { return g_RedactionDefaultFillColor == 16777215; }},
        {"g_AutoNextPageInterface", "2.5", [] { return g_AutoNextPageInterface == 2; }},
        {"g_strByteAlignLog", "", [] { return g_strByteAlignLog == "c:\\bytealignlog.txt"; }},
        {"g_strBarcodeLog", "", [] { return g_strBarcodeLog.endsWith(": Barcode Scan Log Initialized\r\n"); }},
    };
    for (const Case &c : cases) {
        resetState();
        store(c.key, c.stored);
        read();
        applyPreferenceFixups();
        EXPECT_TRUE(c.check()) << c.key << "=" << c.stored;
    }
}

TEST_F(Prefs, BadStoredTextTakesTheDefaultAndIsReported)
{
    store("g_intBlankSensitivity", "lots");
    store("g_intBaseLineBrightness", "40000");
    store("g_blnDetectBlank", "maybe");
    store("g_dbMode", "9");
    QStringList bad;
    const StartupSettings s = read(&bad);
    EXPECT_EQ(bad, QStringList({"g_intBaseLineBrightness=6", "g_blnDetectBlank=13",
                                "g_intBlankSensitivity=13"}));
    EXPECT_EQ(g_intBlankSensitivity, 3);
    EXPECT_EQ(g_intBaseLineBrightness, 128);
    EXPECT_TRUE(g_blnDetectBlank);
    EXPECT_EQ(s.storedMode, 9); // later keys are still read
}

// The write order is checked on the shutdown road (Window tests, kWriteOrder).
TEST_F(Prefs, ReadOrder)
{
    QStringList traffic;
    setSettingsObserver([&traffic](char op, const QString &section, const QString &key) {
        traffic << QString(QChar(op)) + " " + section + "/" + key;
    });
    read();
    const QStringList readOrder = {
        "R Settings/FilterSettings2", "R frmConfig/DSN", "R Preferences/g_APP_STATE",
        "R Preferences/g_dbMode", "R Preferences/g_blnReturnDefault",
        "R Preferences/g_intBaseLineBrightness", "R Preferences/g_intDefaultPaperSource",
        "R Preferences/g_blnPromptOnDelete", "R Preferences/g_IntDefaultRescanAction",
        "R Preferences/g_blnDetectBlank", "R Preferences/g_intBlankSensitivity",
        "R Preferences/g_blnDefaultDuplex", "R Preferences/g_blnDoByteAlign",
        "R Preferences/g_blnprocessBatch", "R Preferences/g_strBarcodeLog",
        "R Preferences/g_strByteAlignLog", "R Preferences/g_blnImprint", "R Preferences/gdtDocType",
        "R Preferences/g_AutoNextPageInterface", "R Preferences/g_AutoMaticRedaction",
        "R Preferences/g_RedactionDefaultFillColor", "R Preferences/g_blnUseDefaultPrinter",
        "R Preferences/g_intDefaultPrintScale"};
    EXPECT_EQ(traffic, readOrder);
}

TEST_F(Prefs, WriteBackTextsAndCaseFoldedBatchKey)
{
    store("g_blnprocessBatch", "True");
    store("g_intBaseLineBrightness", "0");
    store("g_strBarcodeLog", "old log");
    read();
    applyPreferenceFixups();
    g_blnProcessBatch = false;
    g_dbMode = 9;
    writePreferences();
    auto stored = [](const char *key) { return GetSetting(APP_TITLE, "Preferences", key, "<missing>"); };
    EXPECT_EQ(stored("g_blnprocessbatch"), "False"); // one key whatever its case
    EXPECT_EQ(stored("g_intBaseLineBrightness"), "128");
    EXPECT_EQ(stored("g_strBarcodeLog"), "");
    EXPECT_EQ(stored("g_strByteAlignLog"), "");
    EXPECT_EQ(stored("g_dbMode"), "9");
    EXPECT_EQ(stored("g_blnImprint"), "True");
    EXPECT_EQ(stored("gdtDocType"), "0");
}
